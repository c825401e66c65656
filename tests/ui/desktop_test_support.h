// Helpers of the desktop tests: a fixture whose main window has the client's toolbars and menus, desktops from
// text, saved desktops as text, and the views of the test desktop by name.
#pragma once

#include "core/json_reader.h"
#include "core/json_writer.h"
#include "tests/ui/app/desktop_views.h"
#include "tests/ui/dock_test_support.h"
#include "ui/desktop_layout.h"

#include <QMenuBar>
#include <QPushButton>
#include <QToolBar>

#include <string>

// The seven toolbars of the client's default desktop.
inline const QStringList &client_toolbar_names()
{
  static const QStringList names {"SyncToolBar",     "CommitToolBar",  "FilesToolBar", "ArkiveToolBar",
                                  "WorklistToolBar", "ResolveToolBar", "MiscToolBar"};
  return names;
}

// A desktop record of a JSON text; a text that is not an object fails the test.
inline desktop_config_t desktop_of(const std::string &text)
{
  desktop_config_t desktop;
  if ( !desktop.parse_json(text.c_str()) )
    ADD_FAILURE() << "not a desktop: " << text.substr(0, 200);
  return desktop;
}

// The compact text of a JSON value, as the client stores desktops.
inline std::string text_of(const json_value_t &value)
{
  qstring text;
  EXPECT_TRUE(json_to_text(&text, &value, 0));
  return std::string(text.view());
}

// The application's current desktop as text.
inline std::string saved_desktop_text()
{
  desktop_config_t desktop;
  EXPECT_TRUE(test_app().save_desktop(desktop));
  return text_of(desktop.value);
}

// The member of an object value (null when absent or the value is no object).
inline const json_value_t *member_of(const json_value_t &value, const char *key)
{
  return value.tag == JSON_OBJECT ? json_object_find(value.u.obj, key, 0) : nullptr;
}

// The title-bar button of a dock with that tooltip ("Fullscreen", "Float", "Close").
inline QPushButton *title_button(DockWidget *dock, const char *tooltip)
{
  for ( QPushButton *button : dock_title_bar(dock)->findChildren<QPushButton *>() )
    if ( button->toolTip() == QLatin1String(tooltip) )
      return button;
  return nullptr;
}

// The application's main window with the client's menus and toolbars; the desktop state, the docks, the
// menu bar and the toolbars are as before afterwards.
class DesktopFixture : public DockFixture
{
protected:
  void SetUp() override
  {
    DockFixture::SetUp();
    answer_deletion_requests();
    test_app().reset_desktop_state();
    ui_main_window_t *main = test_app().main_window();
    static bool furnished = false;
    if ( !furnished )
    {
      furnished = true;
      for ( const char *name : {"File", "View", "Actions", "Search", "Help"} )
        main->make_menu(QString::fromLatin1(name), QString::fromLatin1(name), main);
      std::string toolbars = "[";
      for ( const QString &name : client_toolbar_names() )
        toolbars += "{\"label\":\"" + name.toStdString() + "\",\"name\":\"" + name.toStdString() +
                    "\",\"actions\":[]},";
      toolbars.back() = ']';
      json_value_t desc;
      ASSERT_EQ(json_parse_text(&desc, toolbars.c_str()), 0);
      main->create_toolbars_from_desc(*desc.u.arr);
    }
  }

  void TearDown() override
  {
    desktop_test_view_t::journal = nullptr;
    test_app().leave_full_screen();
    test_app().close_by_esc_default = false;
    ui_main_window_t *main = test_app().main_window();
    main->set_toolbars({});
    main->set_menubar_menus({});
    main->setWindowState(Qt::WindowNoState);
    test_app().reset_desktop_state();
    // Persistent widgets a test left in docks go with their docks.
    for ( DockWidget *dock : leaf_dock_widgets() )
      if ( QWidget *content = dock_content(dock) )
        set_widget_close_flags(content, 0);
    DockFixture::TearDown();
  }

  // Applies a desktop text with the flags; answers apply_desktop's result.
  static bool apply_text(const std::string &text, uint32_t flags = 0)
  {
    return test_app().apply_desktop(desktop_of(text), flags);
  }
  // Applies the application's default desktop and lets the event loop come round, as at start-up (the window
  // system maximizes the main window then).
  static void apply_default()
  {
    desktop_config_t desktop;
    ASSERT_TRUE(test_app().default_desktop_layout(desktop));
    ASSERT_TRUE(test_app().apply_desktop(desktop, 0));
    settle_events();
  }

  // The dock of a name in any area, and the view it shows (null when none).
  [[nodiscard]] DockWidget *dock_of(const char *name) const { return area->find_dock_widget(QString::fromUtf8(name)); }
  [[nodiscard]] desktop_test_view_t *view_of(const char *name) const
  {
    return qobject_cast<desktop_test_view_t *>(dock_content(dock_of(name), true));
  }
  // The names of the visible toolbars, in creation order, and of the menu bar's menus.
  [[nodiscard]] static QStringList shown_toolbars()
  {
    QStringList names;
    for ( const QString &name : client_toolbar_names() )
    {
      const QToolBar *toolbar = test_app().main_window()->find_toolbar(name);
      if ( toolbar != nullptr && !toolbar->isHidden() )
        names.append(name);
    }
    return names;
  }
  [[nodiscard]] static QStringList menubar_menus()
  {
    QStringList names;
    for ( QAction *item : test_app().main_window()->menuBar()->actions() )
      if ( item->menu() != nullptr )
        names.append(item->menu()->objectName());
    return names;
  }
};
