// The File history tests' fixture.
#include "tests/client/file_history_fixture.h"

#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/popup_dispatch.h"
#include "tests/ui/app/screenshots.h"
#include "views/chooser/chooser_selection.h"
#include "views/chooser/chooser_table.h"
#include "views/chooser/chooser_widget.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFont>
#include <QTest>

#include <cstring>

popup_player_t::popup_player_t()
{
  timer_.setInterval(5);
  QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
  timer_.start();
}

void popup_player_t::click_next(const char *entry, const char *step)
{
  entry_ = entry;
  step_ = step;
  entries.clear();
  done_ = false;
}

void popup_player_t::tick()
{
  auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
  if ( done_ || menu == nullptr || !menu->isVisible() )
    return;
  done_ = true;
  QAction *wanted = nullptr;
  for ( QAction *action : menu->actions() )
  {
    if ( action->isSeparator() )
      continue;
    const std::string text = action->text().remove(QLatin1Char('&')).toStdString();
    if ( action->isVisible() && action->isEnabled() )
      entries.push_back(text);
    if ( text == entry_ )
      wanted = action;
  }
  save_screenshot(*menu, QString::fromStdString(step_));
  // Clicked from a call of its own: the menu's nested loop must not run inside this timer's call.
  QPointer<QMenu> target = menu;
  QTimer::singleShot(0, menu, [target, wanted] {
    if ( target == nullptr )
      return;
    if ( wanted != nullptr && wanted->isEnabled() )
      QTest::mouseClick(target, Qt::LeftButton, {}, target->actionGeometry(wanted).center());
    else
      target->close();
  });
}

void file_history_test_t::SetUp()
{
  file_command_test_t::SetUp();
  answer_popup_requests(ui);
  for ( int revision = 2; revision <= 5; ++revision )
    server.repository().commit_files("bob", "elsewhere", "change " + std::to_string(revision),
                                     {{"//depot/a.txt", "alpha " + std::to_string(revision)}});
  server.clear_received();
  close_histories();
}

void file_history_test_t::TearDown()
{
  close_histories();
  file_command_test_t::TearDown();
}

chooser_widget_t *file_history_test_t::history_window(const char *path)
{
  const std::string title = std::string(file_history_title_prefix) + path;
  return find_chooser_widget_by_title(title.c_str());
}

file_history_chooser_t *file_history_test_t::history_of(chooser_widget_t *window)
{
  return window != nullptr ? dynamic_cast<file_history_chooser_t *>(window->source()) : nullptr;
}

int file_history_test_t::open_from_tree(const char *path)
{
  test_selection_view_t tree(akui_kind_arkive_files);
  tree.selection = {file_record(path, SEL_KNOWN | SEL_PRESENT)};
  const int result = run_history_action("file_history", tree);
  QCoreApplication::processEvents();
  // The user works in the main window, where the history is docked.
  if ( chooser_widget_t *window = history_window(path) )
  {
    QApplication::setActiveWindow(window->window());
    window->table()->setFocus();
  }
  return result;
}

int file_history_test_t::run_history_action(const char *action, test_selection_view_t &view)
{
  for ( const action_desc_t &desc : file_history_action_descs() )
    if ( std::strcmp(desc.name, action) == 0 )
    {
      ui_action_activation_ctx_t context;
      point_at(&context, view, action);
      return desc.activate(&context);
    }
  ADD_FAILURE() << "no row " << action;
  return 0;
}

std::vector<std::string> file_history_test_t::shown_rows(chooser_widget_t *window)
{
  std::vector<std::string> rows;
  const QAbstractItemModel *model = window->table_model();
  for ( int row = 0; row < model->rowCount(); ++row )
  {
    QStringList texts;
    for ( int column = 0; column < model->columnCount(); ++column )
      texts << model->index(row, column).data().toString();
    rows.push_back(texts.join(QLatin1Char('|')).toStdString());
  }
  return rows;
}

std::vector<int> file_history_test_t::bold_revisions(chooser_widget_t *window)
{
  std::vector<int> bold;
  const QAbstractItemModel *model = window->table_model();
  for ( int row = 0; row < model->rowCount(); ++row )
    if ( model->index(row, 0).data(Qt::FontRole).value<QFont>().bold() )
      bold.push_back(model->index(row, 0).data().toInt());
  return bold;
}

std::vector<int> file_history_test_t::selected_revisions(chooser_widget_t *window)
{
  std::vector<int> revisions;
  for ( const QModelIndex &index : window->table()->selectionModel()->selectedRows() )
    revisions.push_back(index.data().toInt());
  return revisions;
}

bool file_history_test_t::wait_rows(chooser_widget_t *window, const std::function<bool()> &done)
{
  return pump_until(
    [&] {
      window->table_model()->rowCount(); // applies a pending model update
      return done();
    },
    std::chrono::seconds(5));
}

namespace {

// Where the row of the revision shows in the table, once the view is laid out; false when no row shows it.
bool revision_point(chooser_widget_t *window, int revision, QPoint *at)
{
  // A pending model update would apply its selection over the click.
  QCoreApplication::processEvents();
  chooser_selection_t pending;
  (void)window->get_selection(&pending, 1);
  const QAbstractItemModel *model = window->table_model();
  chooser_table_widget_t *table = window->table();
  for ( int row = 0; row < model->rowCount(); ++row )
  {
    if ( model->index(row, 0).data().toInt() != revision )
      continue;
    (void)pump_until([&] { return table->viewport()->rect().contains(table->visualRect(model->index(row, 0))); },
                     std::chrono::seconds(2));
    *at = table->visualRect(model->index(row, 0)).center();
    return true;
  }
  ADD_FAILURE() << "no row of revision " << revision;
  return false;
}

} // namespace

bool file_history_test_t::click_revision(chooser_widget_t *window, int revision)
{
  QPoint at;
  if ( !revision_point(window, revision, &at) )
    return false;
  QTest::mouseClick(window->table()->viewport(), Qt::LeftButton, {}, at);
  return true;
}

std::vector<std::string> file_history_test_t::popup_on_revision(chooser_widget_t *window, int revision,
                                                                const char *entry, const char *step)
{
  QPoint at;
  if ( !revision_point(window, revision, &at) )
    return {};
  QWidget *viewport = window->table()->viewport();
  QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
  popup.click_next(entry, step);
  QContextMenuEvent request(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
  QApplication::sendEvent(viewport, &request);
  EXPECT_TRUE(pump_until([&] { return popup.done(); }, std::chrono::seconds(5)));
  QCoreApplication::processEvents();
  return popup.entries;
}

void file_history_test_t::close_histories()
{
  while ( chooser_widget_t *window = history_window("//depot/a.txt") )
  {
    close_chooser_widget(window);
    // The dock goes with a deferred delete, which only an event loop (or this) carries out.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    (void)pump_until([] { return history_window("//depot/a.txt") == nullptr; }, std::chrono::seconds(2));
    if ( history_window("//depot/a.txt") != nullptr )
      break;
  }
  akui_app()->history_revision = REVISION_CURRENT;
}
