// The column filters dialog ("Modify filters..."): adds, edits, disables, deletes and resets the column filters
// of a filtered view, applying each change to the view at once.
#pragma once

#include "ui/dialog_base.h"

#include <QStringList>

#include <cstdint>
#include <memory>

class ColorButton;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class filtered_widget_mixin_t;
struct filter_condition_t;
struct view_snapshot_t;

// Registry values of the dialog's last input settings.
inline constexpr char filter_flags_value[] = "UIFilterFlags";
inline constexpr char filter_color_value[] = "UIFilterColor";

// A stored "UIFilterFlags" word, or 0 when it names no choice the dialog offers (a bit it has no control
// for, the action 3, or a condition past "is not" together with "Regular expression").
[[nodiscard]] uint32_t valid_filter_input_flags(uint32_t stored);

// The dialog. The engine owns the filter list; the table lists it newest first (table row r stands for list
// element count - 1 - r). Promises: after every change the view is resynchronised from the snapshot, which
// is then taken afresh, and changed() is true; the input settings are written to the registry when the dialog
// ends, each only when it differs from what was shown.
class edit_filters_dialog_t : public ui_dialog_t
{
  Q_OBJECT

public:
  // Builds the widgets; fill() loads them.
  edit_filters_dialog_t(filtered_widget_mixin_t *engine, QWidget *parent);
  ~edit_filters_dialog_t() override;

  // Takes the snapshot (kept by the caller, retaken after every change), loads the input settings, the value
  // history and one table row per filter.
  void fill(view_snapshot_t *snapshot);
  [[nodiscard]] bool changed() const { return changed_; }

private slots:
  void on_comboAction_currentIndexChanged(int index);
  void on_btnCancel_clicked();
  void on_btnAdd_clicked();
  void on_cbRegExp_stateChanged(int state);
  void on_tableFilters_itemActivated(QTableWidgetItem *item);
  void on_tableFilters_itemChanged(QTableWidgetItem *item);
  void on_btnReset_clicked();

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  struct widgets_t;

  [[nodiscard]] uint32_t input_flags() const;
  void set_inputs(uint32_t flags);
  void fill_conditions(bool regex);
  void insert_table_row(const filter_condition_t &filter);
  // The list index of a table row.
  [[nodiscard]] size_t filter_of_row(int row) const;
  void remove_filter_row(int row);
  // The check box of the row's "Column" item decides the filter's disabled bit; true when it changed.
  bool reconcile_row(int row);
  void apply_change();
  [[nodiscard]] uint32_t button_color() const;

  QStringList column_titles_;
  uint32_t stored_flags_ = 0;
  uint32_t shown_color_ = 0; // the colour the button showed after filling, as 0x00BBGGRR
  filtered_widget_mixin_t *engine_; // not owned
  view_snapshot_t *snapshot_ = nullptr; // the caller's
  std::unique_ptr<widgets_t> ui_;
  ColorButton *highlight_button_; // a child
  bool changed_ = false;
};

// Runs the dialog for the engine (made by the application's widget factory, parented to the active window):
// fills it with the snapshot, runs it modally, deletes it. True when the filters changed; the snapshot is
// then the one the dialog took last.
bool edit_filters_dialog_run(filtered_widget_mixin_t *engine, view_snapshot_t *snapshot);
