// The client's main window: the top-level dock area, the status labels, and menus and toolbars from the
// configuration.
#pragma once

#include "ui/main_window.h"

#include <array>

struct akui_client_config_t;
class QLabel;
class TopLevelDockArea;

// Texts of the fatal errors of a layout no configuration gives.
inline constexpr char missing_menus_layout_text[] = "Missing \"MENUS_LAYOUT\" directive in configuration file.";
inline constexpr char missing_toolbars_layout_text[] =
  "Missing \"TOOLBARS_LAYOUT\" directive in configuration file.";

// Promises: the central widget is the application's top-level dock area; the status bar "main_status_bar"
// holds five labels of fixed horizontal size. GUI thread only.
class akui_main_window_t : public ui_main_window_t
{
  Q_OBJECT

public:
  // The configuration's layouts are read when the menus and toolbars are built (not owned; it outlives the
  // window).
  explicit akui_main_window_t(const akui_client_config_t &config, QWidget *parent = nullptr,
                              Qt::WindowFlags flags = {});
  ~akui_main_window_t() override;

  // The menu bar from MENUS_LAYOUT, the toolbars from TOOLBARS_LAYOUT; fatal (exit 1) when the configuration
  // gave none.
  void build_menus();
  void build_toolbars();

  // "File", "View", "Actions", "Search", "Help".
  void default_menubar_menus(QStringList *out) override;
  // "@resolve_auto" only: the action "resolve_auto" with the menu "Resolve" as its submenu.
  bool add_special_item(const char *name, QWidget *target) override;

  // The first label shows the text, the others are cleared.
  void set_status_text(const QString &text);
  static constexpr int status_label_count = 5;
  [[nodiscard]] QLabel *status_label(int index) const { return status_labels_[size_t(index)]; }
  [[nodiscard]] TopLevelDockArea *dock_area() const { return dock_area_; }

protected:
  // Stores the desktop, asks every dock to save its state, then closes.
  void closeEvent(QCloseEvent *event) override;

private:
  const akui_client_config_t &config_;
  TopLevelDockArea *dock_area_; // the central widget
  std::array<QLabel *, status_label_count> status_labels_ {}; // children of the status bar
};
