// The main window's shadow actions, merged context menus and the custom menus of the active core widget.
#include "tests/ui/app/test_app.h"

#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/menu_text.h"
#include "ui/qaction_shadow.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// A core widget that records its activation and offers the custom menus it is given.
class custom_menus_widget_t : public QWidget
{
  Q_OBJECT

public:
  QMenu *edit = nullptr;
  QMenu *search = nullptr;
  QMenu *jump = nullptr;
  std::vector<std::string> *calls = nullptr;

public slots:
  void form_activate() { calls->push_back("activate"); }
  void form_deactivate() { calls->push_back("deactivate"); }
  void get_custom_menus(QObject **e, QObject **s, QObject **j)
  {
    *e = edit;
    *s = search;
    *j = jump;
  }
};

namespace {

class MainWindowMenusTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    registry().clear();
    ASSERT_TRUE(register_plain_action("resolve_auto", "Resolve", &handler_, this));
    window_ = std::make_unique<test_main_window_t>();
    for ( const char *name : {"File", "Edit", "Search", "Jump"} )
      window_->make_menu(QString::fromLatin1(name), QString::fromLatin1(name), nullptr);
    window_->set_menubar_menus({"File", "Edit", "Search", "Jump"});
  }
  void TearDown() override
  {
    window_.reset();
    registry().clear();
  }
  static ui_action_registry_t &registry() { return *test_app().get_action_registry(); }
  static QAction *source() { return registry().find_action("resolve_auto")->qaction(); }

  recording_ui_callback_t ui_;
  idle_action_handler_t handler_;
  std::unique_ptr<test_main_window_t> window_;
};

TEST_F(MainWindowMenusTest, ShadowActionsFollowAndTriggerTheirSource)
{
  QMenu *resolve = window_->make_menu("Resolve", "Resolve", nullptr);
  resolve->addAction("mine");
  resolve->addAction("theirs");

  // Missing pieces: an unknown action is logged; an unknown menu leaves no shadow behind.
  const auto shadows_before = window_->findChildren<qaction_shadow_t *>().size();
  EXPECT_EQ(window_->make_menu_shadow_action("nosuch", "Resolve"), nullptr);
  EXPECT_EQ(window_->make_menu_shadow_action("resolve_auto", "NoMenu"), nullptr);
  EXPECT_EQ(window_->findChildren<qaction_shadow_t *>().size(), shadows_before);
  const auto logs = ui_.requests_of(ui_code_log);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].text, "Invalid action name: nosuch\n");

  QAction *shadow = window_->make_menu_shadow_action("resolve_auto", "Resolve");
  ASSERT_NE(shadow, nullptr);
  EXPECT_EQ(shadow->parent(), window_.get());
  ASSERT_NE(shadow->menu(), nullptr);
  EXPECT_EQ(shadow->menu()->actions(), resolve->actions());
  EXPECT_EQ(shadow->text(), "Resolve");

  QAction *src = source();
  src->setEnabled(false);
  EXPECT_FALSE(shadow->isEnabled());
  src->setEnabled(true);
  src->setText("Resolve all");
  src->setToolTip("tip");
  src->setCheckable(true);
  src->setChecked(true);
  EXPECT_TRUE(shadow->isEnabled());
  EXPECT_EQ(shadow->text(), "Resolve all");
  EXPECT_EQ(shadow->toolTip(), "tip");
  EXPECT_TRUE(shadow->isChecked());
  src->setVisible(false);
  EXPECT_FALSE(shadow->isVisible());
  src->setVisible(true);
  src->setCheckable(false);

  // Without the metadata property the icon is taken at construction only; with it, on every change of it.
  QPixmap red(8, 8);
  red.fill(Qt::red);
  src->setIcon(QIcon(red));
  EXPECT_TRUE(shadow->icon().isNull());
  src->setProperty(icon_metadata_property, "red");
  src->setText("Resolve again"); // any change notifies
  EXPECT_FALSE(shadow->icon().isNull());
  EXPECT_EQ(shadow->property(icon_metadata_property).toString(), "red");

  int triggered = 0;
  QObject::connect(src, &QAction::triggered, [&] { ++triggered; });
  shadow->trigger();
  EXPECT_EQ(triggered, 1);
}

TEST_F(MainWindowMenusTest, MergedContextMenusCarryItemsAndRole)
{
  QMenu source("Chooser edit");
  source.setProperty(menu_role_property, 1);
  source.addAction("cut");
  source.addAction("paste");
  QMenu *merged = window_->merge_context_menu(&source, "Chooser:Edit", nullptr);
  EXPECT_EQ(window_->find_named_menu("Chooser:Edit"), merged);
  EXPECT_EQ(merged->title(), "Chooser edit");
  EXPECT_EQ(merged->actions(), source.actions());
  EXPECT_EQ(merged->property(menu_role_property).toInt(), 1);
}

TEST_F(MainWindowMenusTest, CustomMenusOfTheActiveWidgetReplaceTheirRolesOnly)
{
  std::vector<std::string> calls;
  QMenu my_jump("My jump");
  QMenu my_edit("My edit");
  auto widget = std::make_unique<custom_menus_widget_t>();
  widget->calls = &calls;
  widget->jump = &my_jump;

  // Only the Jump menu is replaced, in its place.
  window_->activate_core_widget(widget.get());
  EXPECT_EQ(window_->active_core_widget(), widget.get());
  EXPECT_EQ(menu_bar_titles(*window_), "File Edit Search My jump");
  window_->deactivate_core_widget();
  EXPECT_EQ(menu_bar_titles(*window_), "File Edit Search Jump");
  EXPECT_EQ(window_->active_core_widget(), nullptr);
  EXPECT_EQ(calls, (std::vector<std::string> {"activate", "deactivate"}));

  // Destroying the active widget brings the standard menus back too.
  widget->edit = &my_edit;
  window_->activate_core_widget(widget.get());
  EXPECT_EQ(menu_bar_titles(*window_), "File My edit Search My jump");
  widget.reset();
  EXPECT_EQ(menu_bar_titles(*window_), "File Edit Search Jump");
  EXPECT_EQ(window_->active_core_widget(), nullptr);

  // A widget without the slot leaves the menus alone; a missing role is logged.
  QWidget plain;
  window_->activate_core_widget(&plain);
  EXPECT_EQ(menu_bar_titles(*window_), "File Edit Search Jump");
  window_->deactivate_core_widget();
  window_->set_menubar_menus({"File", "Search"});
  custom_menus_widget_t lonely;
  lonely.calls = &calls;
  lonely.edit = &my_edit;
  window_->activate_core_widget(&lonely);
  EXPECT_EQ(menu_bar_titles(*window_), "File Search");
  const auto logs = ui_.requests_of(ui_code_log);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].text, "Menu entry '1' doesn't exist; can't replace.\n");
  window_->activate_core_widget(nullptr);
  EXPECT_EQ(menu_bar_titles(*window_), "File Search");
}

TEST_F(MainWindowMenusTest, UserMenusGoWhereTheirPathSays)
{
  // The application's root menus come from its own main window.
  QMenu *root = test_app().main_window()->make_menu("UserRoot", "User root", nullptr);
  root->addAction("Item one");
  root->addAction("Last");
  struct row_t
  {
    const char *path;
    const char *bar;  // the menu bar afterwards
    const char *root; // the root menu afterwards
  };
  const row_t rows[] = {
    {"Search", "File Edit Mine Search Jump", "Item one|Last"},
    {"UserRoot/item", "File Edit Search Jump", "Mine[]|Item one|Last"},
    {"UserRoot/~Sub~/", "File Edit Search Jump", "Item one|Last|~Sub~[Mine[]]"},
    {"UserRoot", "File Edit Search Jump", "Item one|Last|Mine[]"},
    {"", "File Edit Search Jump Mine", "Item one|Last"},
    {"Nowhere/x", "File Edit Search Jump Mine", "Item one|Last"},
    {"Resolve", "File Edit Search Jump Mine", "Item one|Last"}, // a menu, but not on the menu bar
  };
  window_->make_menu("Resolve", "Resolve", nullptr);
  for ( const row_t &row : rows )
  {
    const auto before = root->actions();
    QMenu mine("Mine");
    window_->attach_user_menu(&mine, QString::fromLatin1(row.path));
    EXPECT_EQ(menu_bar_titles(*window_), row.bar) << row.path;
    EXPECT_EQ(menu_items(root), row.root) << row.path;
    // Back to the start for the next row.
    window_->menuBar()->removeAction(mine.menuAction());
    for ( QAction *item : root->actions() )
      if ( !before.contains(item) && item != mine.menuAction() )
        delete item->menu();
  }

  // Restoring the menu bar places the menus taken off by their path; unmarked ones stay off.
  QMenu *tools = window_->make_menu("Tools", "Tools", nullptr);
  tools->setProperty(user_menu_path_property, QStringLiteral("UserRoot/last"));
  QMenu *extra = window_->make_menu("Extra", "Extra", nullptr);
  extra->setProperty(user_menu_path_property, QStringLiteral("Edit"));
  window_->set_menubar_menus({"File", "Tools", "Extra", "Edit", "Search", "Jump"});
  window_->set_menubar_menus({"File", "Edit", "Jump"});
  EXPECT_EQ(menu_bar_titles(*window_), "File Extra Edit Jump");
  EXPECT_TRUE(root->actions().contains(tools->menuAction()));
  EXPECT_EQ(root->actions().indexOf(tools->menuAction()), root->actions().size() - 2);
  root->removeAction(tools->menuAction());
}

} // namespace

#include "main_window_menus_test.moc"
