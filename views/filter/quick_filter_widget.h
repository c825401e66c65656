// The quick filter bar below a filtered list or tree: its condition, its mode kept per widget, and the shared
// history of filter texts that its completer offers.
#pragma once

#include "core/qstring.h"
#include "ui/object_lifecycle_monitor.h"
#include "views/filter/filter_condition.h"

#include <QAbstractListModel>
#include <QStringList>
#include <QWidget>

#include <cstdint>

class QKeyEvent;
class filtered_widget_mixin_t;
class quick_filter_input_t;

// The registry subkey of the bars' flags (one value per widget title) and the history of filter texts.
inline constexpr char quick_filter_flags_subkey[] = "QuickFilterFlags";
inline constexpr char quick_filter_history_name[] = "UIFLTR";

// The flags a bar keeps: the mode, match case, disabled, and the bit that marks the quick filter's words.
inline constexpr uint32_t quick_filter_flag_bits = filter_mode_mask | filter_match_case | filter_disabled
                                                 | filter_quick_filter;

// The filter texts typed before, newest first, shared by every bar's completer and the column filters
// dialog. Promises: rowCount is the list's size; the display and edit roles give an entry. One instance,
// owned by the application object.
class zuk_quick_filter_model_t : public QAbstractListModel
{
  Q_OBJECT

public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex &parent = QModelIndex()) const override;
  QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

  [[nodiscard]] const QStringList &entries() const { return entries_; }
  // Replaces the list when it differs (the model resets); true when it changed.
  bool replace(const QStringList &entries);

private:
  QStringList entries_;
};

// The shared history model, made on first use.
[[nodiscard]] zuk_quick_filter_model_t *quick_filter_history();
// Puts the text first in the stored history "UIFLTR" (loaded afresh from the registry) and makes the shared
// list equal to it.
void push_quick_filter_history(const QString &text);

// The bar. Its condition's flags word is its whole state: mode, match case (0x20), disabled while the bar is
// hidden under a visible parent (0x40), and bit 31, always set. Promises: the registry holds the flags under
// the parent's window title whenever a bit other than bit 31 is set, and no value otherwise; the condition's
// query is the input's text as of the last typing step.
class quick_filter_widget_t : public QWidget
{
  Q_OBJECT

public:
  // Reads the stored flags of the parent's window title (a word that names no choice counts as none).
  explicit quick_filter_widget_t(QWidget *parent);
  ~quick_filter_widget_t() override;

  // Stores the flags (bit 31 added) and their registry value, updates the mode actions and the input's
  // indicators, and rebuilds the condition, which tells the engine when it changed.
  void set_flags(uint32_t flags);
  // Replaces the mode (bits 0-1) only.
  void set_mode(uint32_t mode);
  [[nodiscard]] uint32_t flags() const { return condition_.flags; }
  [[nodiscard]] uint32_t mode() const { return condition_.mode(); }
  [[nodiscard]] bool match_case() const { return condition_.match_case(); }
  [[nodiscard]] QString text() const;
  [[nodiscard]] const filter_condition_t &condition() const { return condition_; }

  // Shows the text of the engine's condition (null: none) unless the user is still typing.
  void show_condition_text(const filter_condition_t *condition);
  // The checked state of the four mode actions from this bar's flags.
  void update_mode_actions();

  // The widget whose engine the bar serves (the engine attaches itself through it).
  void set_target_widget(QWidget *widget);
  [[nodiscard]] QWidget *target_widget() const;
  // The engine of the target widget, else of the parent widget; null when neither has one.
  [[nodiscard]] filtered_widget_mixin_t *target_engine() const;
  // The column the quick filter tests (-1: every column); the engine applies it with the next filtering.
  [[nodiscard]] int target_column() const { return condition_.column; }
  void set_target_column(int column) { condition_.column = column; }
  // True hides the column choice in the input's context menu.
  bool column_choice_hidden = false;

  [[nodiscard]] quick_filter_input_t *input() const { return input_; }
  [[nodiscard]] const qstring &settings_name() const { return settings_name_; }

  void setVisible(bool visible) override;

signals:
  void filter_changed();
  void reserved_key_press(const QKeyEvent &event);

public slots:
  void show_quick_filter();
  void hide_quick_filter();
  void on_search_text_changed(const QString &text);
  void on_search_history_changed(const QString &text);
  void on_reserved_key_press(const QKeyEvent &event);

protected:
  void showEvent(QShowEvent *event) override;
  void hideEvent(QHideEvent *event) override;

private:
  void rebuild_condition(const filter_condition_t &old);

  qstring settings_name_;
  object_lifecycle_monitor_t target_;
  quick_filter_input_t *input_; // a child
  filter_condition_t condition_;
};

// A stored flags word of a bar, or 0 when it names no choice (bits outside the bar's).
[[nodiscard]] uint32_t valid_quick_filter_flags(uint32_t stored);
