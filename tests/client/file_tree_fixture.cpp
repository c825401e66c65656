// The file trees' fixture.
#include "tests/client/file_tree_fixture.h"

#include "client/app/akui_main_window.h"
#include "client/views/arkive_listing_cache.h"
#include "tests/client/client_session.h"
#include "repo/packets_sites.h"
#include "ui/popup_menu.h"
#include "tests/ui/app/screenshots.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <functional>

void file_tree_test_t::SetUp()
{
  // What earlier tests queued (a lost connection's handling among it) runs before this test connects.
  QCoreApplication::sendPostedEvents();
  file_command_test_t::SetUp();
  server.repository().commit_files("alice", "ws", "more", {{"//depot/sub/c.txt", "gamma"}, {"//gone.txt", "g"}});
  server.repository().commit_files("bob", "", "elsewhere", {{"//depot/zz.bin", "zz"}});
  qvector<qstring> gone;
  gone.push_back("//gone.txt");
  ASSERT_EQ(app().facade.delete_files(gone, 1), 0);
  int32_t commit = 0;
  ASSERT_EQ(app().facade.commit_worklist(&commit, "drop gone", 1, 0), 0);
  write_local(local("//depot/a.txt"), "alpha");
  write_local(local("//depot/b.txt"), "beta");
  write_local(local("//depot/sub/c.txt"), "gamma");
  app().set_show_deleted_files(false);
  app().set_show_ignored_files(false);
  app().forget_listings(false);
  app().mark_opened_files_stale();
  app().find_results.clear();
  app().refresh_widgets(all_widget_kinds, false);
  // The widgets fill their popups, as the client's dispatcher lets them.
  ui.handle_code(UI_CODE_POPULATE_POPUP, [](va_list va) -> int64_t {
    auto *widget = va_arg(va, QWidget *);
    auto *popup = va_arg(va, popup_menu_ctx_t *);
    auto *context = va_arg(va, ui_action_activation_ctx_t *);
    (void)populate_widget_popup(popup, widget, context);
    return 0;
  });
  server.clear_received();
  ui.clear();
}

void file_tree_test_t::TearDown()
{
  hosts.clear();
  app().set_show_deleted_files(false);
  app().set_show_ignored_files(false);
  app().forget_listings(false);
  app().find_results.clear();
  app().refresh_widgets(all_widget_kinds, false);
  file_command_test_t::TearDown();
}

void file_tree_test_t::show(QWidget *host)
{
  // Docked in the main window as the open actions dock it: the actions then apply to it.
  present_view_widget(host);
  akui_main_window_t &window = *client_session().window;
  window.resize(900, 600);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  if ( files_dirtree_widget_t *tree = file_tree_of(host) )
  {
    tree->setFocus();
    settle(*tree);
  }
}

void file_tree_test_t::settle(files_dirtree_widget_t &tree)
{
  QCoreApplication::sendPostedEvents();
  (void)tree.flush_model_update();
  QCoreApplication::sendPostedEvents();
}

namespace {

// Visits the shown rows depth first: the function gets the index and the depth; true stops.
bool visit_rows(const QTreeView &view, const QModelIndex &parent, int depth,
                const std::function<bool(const QModelIndex &, int)> &visit)
{
  const QAbstractItemModel *model = view.model();
  for ( int r = 0; r < model->rowCount(parent); ++r )
  {
    const QModelIndex index = model->index(r, 0, parent);
    if ( visit(index, depth) )
      return true;
    if ( view.isExpanded(index) && visit_rows(view, index, depth + 1, visit) )
      return true;
  }
  return false;
}

std::string name_of(const QModelIndex &index)
{
  const std::string shown = index.data().toString().toStdString();
  return shown.substr(0, shown.find('#'));
}

} // namespace

QModelIndex file_tree_test_t::row(files_dirtree_widget_t &tree, const std::string &name)
{
  QModelIndex found;
  (void)visit_rows(tree, tree.rootIndex(), 0, [&](const QModelIndex &index, int) {
    if ( name_of(index) != name )
      return false;
    found = index;
    return true;
  });
  return found;
}

std::vector<std::string> file_tree_test_t::rows(files_dirtree_widget_t &tree)
{
  std::vector<std::string> out;
  (void)visit_rows(tree, tree.rootIndex(), 0, [&](const QModelIndex &index, int depth) {
    out.push_back(std::string(size_t(depth) * 2, ' ') + index.data().toString().toStdString());
    return false;
  });
  return out;
}

std::string file_tree_test_t::text(files_dirtree_widget_t &tree, const std::string &name, int column)
{
  const QModelIndex index = row(tree, name);
  return index.isValid() ? index.siblingAtColumn(column).data().toString().toStdString() : "<no row>";
}

void file_tree_test_t::click(files_dirtree_widget_t &tree, const std::string &name, Qt::KeyboardModifiers modifiers)
{
  const QModelIndex index = row(tree, name);
  ASSERT_TRUE(index.isValid()) << name;
  tree.scrollTo(index);
  QTest::mouseClick(tree.viewport(), Qt::LeftButton, modifiers, tree.visualRect(index).center());
  settle(tree);
}

void file_tree_test_t::expand(files_dirtree_widget_t &tree, const std::string &name)
{
  click(tree, name);
  QTest::keyClick(&tree, Qt::Key_Right);
  settle(tree);
}

std::vector<std::string> file_tree_test_t::listed_patterns() const
{
  std::vector<std::string> out;
  for ( const path_query_packet_t &query : requests_of<path_query_packet_t>(GET_ARKIVE_FILES) )
    for ( const qstring &pattern : query.patterns )
      out.push_back(str(pattern));
  return out;
}

bool file_tree_test_t::choose_from_menu(files_dirtree_widget_t &tree, const std::string &name, const std::string &entry)
{
  const QModelIndex index = row(tree, name);
  if ( !index.isValid() )
    return false;
  const QPoint at = tree.visualRect(index).center();
  QTest::mouseClick(tree.viewport(), Qt::RightButton, Qt::NoModifier, at);
  bool chosen = false;
  QTimer::singleShot(0, &tree, [&] {
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    if ( menu == nullptr )
    {
      ADD_FAILURE() << "no menu";
      return;
    }
    for ( QAction *action : menu->actions() )
      if ( action->text().remove('&').toStdString() == entry && action->isEnabled() )
      {
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
        chosen = true;
        return;
      }
    std::string shown;
    for ( QAction *action : menu->actions() )
      shown += " [" + action->text().toStdString() + (action->isEnabled() ? "]" : " (disabled)]");
    ADD_FAILURE() << "no enabled entry " << entry << " in" << shown;
    menu->close();
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree.viewport()->mapToGlobal(at));
  QApplication::sendEvent(tree.viewport(), &event);
  settle(tree);
  return chosen;
}

void file_tree_test_t::screenshot(QWidget &widget, const char *step)
{
  (void)save_screenshot(widget, QString::fromUtf8(step));
}
