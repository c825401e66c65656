// The Worklists view's test fixture.
#include "tests/client/worklists_fixture.h"

#include "client/app/akui_main_window.h"
#include "client/commands/worklist_commands.h"
#include "repo/packets_worklists.h"
#include "tests/ui/app/screenshots.h"
#include "ui/action_context.h"
#include "ui/docks/dock_node.h"
#include "ui/docks/dock_widget.h"
#include "ui/ui_action_registry.h"
#include "views/dirtree/dirtree_actions.h"
#include "views/filter/filtered_widget_update.h"
#include "views/filter/standalone_dirtree_operations.h"
#include "views/filter/standalone_dirtree_widget_host.h"

#include <QApplication>
#include <QDropEvent>
#include <QTest>

#include <deque>

std::string item_text(const char *path, const char *revisions)
{
  return std::string(path) + revisions;
}

namespace {

// The tree widget's rows as the client's table gives them, for a table that does not hold them yet: the
// library's handlers, their context requirements in the high half of the context word.
void register_missing_tree_rows()
{
  ui_action_registry_t &registry = *akui_app()->get_action_registry();
  // The registry keeps the records: they live for the process.
  static std::deque<action_desc_t> rows;
  const auto add = [&](action_desc_t desc) {
    if ( registry.find_action(desc.name) != nullptr )
      return;
    desc.context_word = ((desc.context_word >> 32) | (desc.context_word & 0xFFFFFFFFu)) << 32;
    (void)registry.register_core_action(rows.emplace_back(desc));
  };
  for ( const action_desc_t &desc : dirtree_action_descs() )
    add(desc);
  for ( const action_desc_t &desc : standalone_dirtree_action_descs() )
    add(desc);
}

} // namespace

void worklists_test_t::SetUp()
{
  worklist_test_t::SetUp();
  if ( HasFatalFailure() )
    return;
  register_missing_tree_rows();
  // As the start-up does; other suites install choosers of their own.
  install_worklists_view_chooser();
  // Each test starts with a view of its own and the show-all setting off.
  if ( QWidget *old = find_worklists_widget(); old != nullptr )
    close_view(old);
}

void worklists_test_t::TearDown()
{
  if ( host != nullptr )
    close_view(host);
  host = nullptr;
  view = nullptr;
  worklist_test_t::TearDown();
}

void worklists_test_t::close_view(QWidget *view_host)
{
  app().close_hosted_widget(view_host, 0);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QCoreApplication::processEvents();
}

int32_t worklists_test_t::add_ws_worklist(const char *description)
{
  int32_t number = -1;
  EXPECT_EQ(app().facade.add_worklist(&number, description), 0);
  return number;
}

void worklists_test_t::add_files(int32_t worklist, const std::vector<std::string> &paths)
{
  qvector<qstring> list;
  for ( const std::string &path : paths )
    list.push_back(qstring(path.c_str()));
  qvector<int32_t> codes;
  ASSERT_EQ(app().facade.add_files(&codes, list, worklist), 0);
  for ( const int32_t code : codes )
    ASSERT_EQ(code, 0);
}

void worklists_test_t::edit_files(int32_t worklist, const std::vector<std::string> &paths)
{
  qvector<qstring> list;
  for ( const std::string &path : paths )
    list.push_back(qstring(path.c_str()));
  ASSERT_EQ(app().facade.edit_files(list, worklist), 0);
}

void worklists_test_t::seed_other_site(const std::vector<std::string> &added)
{
  other_root = site_root + "-other";
  server.repository().add_site("other", "bob", other_root, "bob-pc");
  ASSERT_EQ(server.repository().add_worklist("bob", "other", "bob's work"), 2);
  auto bob = connect();
  ASSERT_NE(bob, nullptr);
  qstring error;
  ASSERT_TRUE(bob->login(&error, "bob", "builder", "bob-pc")) << error.c_str();
  ASSERT_EQ(bob->use_site(nullptr, "other", ""), 0);
  if ( !added.empty() )
  {
    qvector<qstring> list;
    for ( const std::string &path : added )
      list.push_back(qstring(path.c_str()));
    qvector<int32_t> codes;
    ASSERT_EQ(bob->add_files(&codes, list, 2), 0);
    for ( const int32_t code : codes )
      ASSERT_EQ(code, 0);
  }
  server.clear_received();
}

worklists_dirtree_widget_t *worklists_test_t::open_view()
{
  // A refresh still pending from the seeding would reload the view later, in the middle of the test.
  app().on_dirty_widgets_refresh_timer();
  server.clear_received();
  ui.clear();
  ui_action_t *open = find_ui_action("open_worklists_widget");
  EXPECT_NE(open, nullptr);
  if ( open == nullptr )
    return nullptr;
  (void)trigger_ui_action(open);
  host = find_worklists_widget();
  view = worklists_widget_of_host(host);
  EXPECT_NE(view, nullptr);
  if ( view != nullptr )
  {
    client_session().window->resize(1100, 640);
    client_session().window->show();
    QApplication::setActiveWindow(client_session().window);
    view->setFocus();
    settle();
  }
  return view;
}

void worklists_test_t::settle()
{
  QCoreApplication::sendPostedEvents();
  if ( view != nullptr )
    (void)view->flush_model_update();
  QCoreApplication::processEvents();
}

std::vector<std::string> worklists_test_t::shown_rows() const
{
  std::vector<std::string> rows;
  const QAbstractItemModel *model = view->model();
  const std::function<void(const QModelIndex &, const std::string &)> walk = [&](const QModelIndex &parent,
                                                                                const std::string &indent) {
    for ( int r = 0; r < model->rowCount(parent); ++r )
    {
      const QModelIndex index = model->index(r, 0, parent);
      rows.push_back(indent + index.data().toString().toStdString());
      if ( view->isExpanded(index) )
        walk(index, indent + "  ");
    }
  };
  walk(view->rootIndex(), "");
  return rows;
}

QModelIndex worklists_test_t::row(const std::string &text, int column) const
{
  const QAbstractItemModel *model = view->model();
  std::vector<QModelIndex> pending {view->rootIndex()};
  while ( !pending.empty() )
  {
    const QModelIndex parent = pending.back();
    pending.pop_back();
    for ( int r = 0; r < model->rowCount(parent); ++r )
    {
      const QModelIndex index = model->index(r, 0, parent);
      if ( index.data().toString().toStdString() == text )
        return index.siblingAtColumn(column);
      if ( view->isExpanded(index) )
        pending.push_back(index);
    }
  }
  return {};
}

void worklists_test_t::click(const std::string &text, Qt::KeyboardModifiers modifiers)
{
  const QModelIndex index = row(text);
  ASSERT_TRUE(index.isValid()) << text;
  view->scrollTo(index);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, view->visualRect(index).center());
}

void worklists_test_t::double_click(const std::string &text)
{
  const QModelIndex index = row(text);
  ASSERT_TRUE(index.isValid()) << text;
  const QPoint at = view->visualRect(index).center();
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

void worklists_test_t::press(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
  QTest::keyClick(view, key, modifiers);
}

int worklists_test_t::run_action(const char *name)
{
  ui_action_t *action = find_ui_action(name);
  EXPECT_NE(action, nullptr) << name;
  if ( action == nullptr )
    return 0;
  QApplication::setActiveWindow(view->window());
  view->setFocus();
  // The states as the menus see them when they open.
  app().refresh_actions(UPDACT_ACTION_RAN, nullptr, nullptr);
  const int result = trigger_ui_action(action) ? 1 : 0;
  settle();
  return result;
}

bool worklists_test_t::drop_on(const QMimeData &data, const QModelIndex &target)
{
  QWidget *viewport = view->viewport();
  const QPoint at = target.isValid() ? view->visualRect(target).center()
                                     : QPoint(viewport->width() / 2, viewport->height() - 4);
  QDragEnterEvent enter(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &enter);
  QDragMoveEvent move(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &move);
  QDropEvent drop(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &drop);
  settle();
  return drop.isAccepted();
}

void worklists_test_t::shoot(const char *step)
{
  QWidget *window = view != nullptr ? view->window() : nullptr;
  if ( window != nullptr )
    (void)save_screenshot(*window, QString::fromUtf8(step));
}

std::vector<worklists_test_t::path_request_t> worklists_test_t::path_requests(uint8_t type) const
{
  std::vector<path_request_t> out;
  for ( const path_list_packet_t &packet : requests_of<path_list_packet_t>(type) )
    out.push_back(path_request_t {strings_of(packet.paths), packet.number});
  return out;
}
