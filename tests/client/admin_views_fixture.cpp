// The Sites and Users views' fixture.
#include "tests/client/admin_views_fixture.h"

#include "client/app/akui_app.h"
#include "client/app/akui_main_window.h"
#include "forms/inputs/buddy_label.h"
#include "tests/client/client_session.h"
#include "tests/ui/app/event_pump.h"
#include "ui/log_widget.h"
#include "ui/message_box.h"
#include "ui/ui_action_registry.h"
#include "views/chooser/chooser_base.h"
#include "views/chooser/chooser_table.h"
#include "views/chooser/chooser_widget.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFont>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <chrono>

using namespace std::chrono_literals;

void admin_views_fixture_t::SetUp()
{
  test_server_fixture_t::SetUp();
  // The lists dock in the main window, which must show for them to take the focus and the keys.
  QWidget *window = client_session().window;
  window->show();
  window->activateWindow();
  QApplication::setActiveWindow(window);
  (void)pump_until([window] { return window->isActiveWindow(); }, 2s);
  server.repository().add_site("bob_site", "bob", "/home/bob/work", "bob-pc");
  log_in("alice", "secret", "ws");
  mark_log();
}

void admin_views_fixture_t::TearDown()
{
  for ( const char *title : {"Sites", "Users"} )
    while ( close_chooser_by_title(title) )
      ;
  settle();
  app().set_connection(nullptr);
  app().connection_info();
}

akui_app_t &admin_views_fixture_t::app()
{
  return *client_session().app;
}

void admin_views_fixture_t::settle()
{
  for ( int i = 0; i < 5; ++i )
  {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

void admin_views_fixture_t::log_in(const char *user, const char *password, const char *site)
{
  auto connection = connect();
  ASSERT_NE(connection, nullptr);
  qstring error;
  ASSERT_TRUE(connection->login(&error, user, password, (std::string(user) + "-pc").c_str())) << error.c_str();
  app().set_connection(std::move(connection));
  ASSERT_TRUE(app().has_usable_connection());
  if ( site != nullptr )
  {
    ASSERT_TRUE(app().use_local_site(site, true));
  }
  app().connection_info();
  ASSERT_EQ(std::string(app().server_info.session.user.c_str()), user);
  // The views open fresh: no refresh left over from the connection change reloads them a second time.
  app().refresh_widgets(all_widget_kinds, false);
  server.clear_received();
}

chooser_widget_t *admin_views_fixture_t::open_list(const char *action, const char *title, int rows)
{
  if ( !trigger_ui_action(find_ui_action(action)) )
    return nullptr;
  chooser_widget_t *list = find_chooser_widget_by_title(title);
  if ( list != nullptr )
    (void)pump_until([list, rows] { return list->table_model()->rowCount() >= rows; }, 2s);
  settle();
  return list;
}

std::vector<std::vector<std::string>> admin_views_fixture_t::row_texts(chooser_widget_t &list)
{
  std::vector<std::vector<std::string>> out;
  const QAbstractItemModel *model = list.table_model();
  for ( int row = 0; row < model->rowCount(); ++row )
  {
    std::vector<std::string> texts;
    for ( int c = 0; c < model->columnCount(); ++c )
      texts.push_back(model->index(row, c).data().toString().toStdString());
    out.push_back(texts);
  }
  return out;
}

std::vector<std::string> admin_views_fixture_t::column(chooser_widget_t &list, int column)
{
  std::vector<std::string> out;
  for ( const auto &row : row_texts(list) )
    out.push_back(row[size_t(column)]);
  return out;
}

bool admin_views_fixture_t::row_bold(chooser_widget_t &list, int row)
{
  return list.table_model()->index(row, 0).data(Qt::FontRole).value<QFont>().bold();
}

void admin_views_fixture_t::click_row(chooser_widget_t &list, int row, Qt::KeyboardModifiers modifiers)
{
  chooser_table_widget_t *table = list.table();
  const QRect rect = table->visualRect(table->model()->index(row, 0));
  QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers, rect.center());
}

void admin_views_fixture_t::press(chooser_widget_t &list, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
  list.table()->setFocus(Qt::OtherFocusReason);
  QTest::keyClick(list.table(), key, modifiers);
}

bool admin_views_fixture_t::choose_from_menu(chooser_widget_t &list, int row, const char *entry,
                                             std::vector<std::string> *entries)
{
  // The offscreen platform has no window manager to give the main window back its activation after a dialog.
  QApplication::setActiveWindow(list.window());
  bool shown = false;
  bool chosen = false;
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    if ( menu == nullptr || !menu->isVisible() || shown )
      return;
    shown = true;
    poll.stop();
    QAction *target = nullptr;
    for ( QAction *action : menu->actions() )
    {
      const QString text = action->text().remove(QLatin1Char('&'));
      if ( action->isEnabled() && !action->isSeparator() && entries != nullptr )
        entries->push_back(text.toStdString());
      if ( text == QString::fromUtf8(entry) && action->isEnabled() )
        target = action;
    }
    if ( target == nullptr )
    {
      menu->close();
      return;
    }
    chosen = true;
    // The click runs from a call of its own: the entry's action may open further modal windows.
    QTimer::singleShot(0, menu, [menu, target] {
      QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(target).center());
    });
  });
  poll.start();
  chooser_table_widget_t *table = list.table();
  const QPoint at = row >= 0 ? table->visualRect(table->model()->index(row, 0)).center() : QPoint(5, 5);
  QContextMenuEvent request(QContextMenuEvent::Mouse, at, table->viewport()->mapToGlobal(at));
  QApplication::sendEvent(table->viewport(), &request);
  settle();
  return chosen;
}

bool admin_views_fixture_t::wait_rows(chooser_widget_t &list, int count)
{
  return pump_until([&] { return list.table_model()->rowCount() == count; }, 2s);
}

void admin_views_fixture_t::mark_log()
{
  settle();
  log_mark_ = client_session().log->entry_count();
}

std::vector<std::string> admin_views_fixture_t::log_since_mark() const
{
  settle();
  std::vector<std::string> out;
  log_widget_t *log = client_session().log;
  for ( size_t i = log_mark_; i < log->entry_count(); ++i )
    out.emplace_back(log->visible_text(i));
  return out;
}

QWidget *form_field(QWidget &dialog, const char *label)
{
  // The label and its field share a row of the form's grid.
  for ( buddy_label_t *candidate : dialog.findChildren<buddy_label_t *>() )
  {
    QString text = candidate->text();
    text.remove(QRegularExpression(QStringLiteral("<[^>]*>"))).remove(QLatin1Char('&'));
    if ( !candidate->isVisible() || !text.trimmed().startsWith(QString::fromUtf8(label)) )
      continue;
    if ( candidate->buddy_widget() != nullptr )
      return candidate->buddy_widget();
    if ( candidate->parentWidget() == nullptr )
      continue;
    for ( QGridLayout *layout : candidate->parentWidget()->findChildren<QGridLayout *>() )
    {
      const int index = layout->indexOf(candidate);
      if ( index < 0 )
        continue;
      int row = 0, col = 0, rows = 0, cols = 0;
      layout->getItemPosition(index, &row, &col, &rows, &cols);
      for ( int c = col + cols; c < layout->columnCount(); ++c )
        if ( QLayoutItem *item = layout->itemAtPosition(row, c) )
        {
          if ( QWidget *widget = item->widget() )
            return widget;
          if ( QLayout *inner = item->layout(); inner != nullptr && inner->count() > 0 )
            return inner->itemAt(0)->widget();
        }
    }
  }
  return nullptr;
}

namespace {

QLineEdit *line_of(QWidget *field)
{
  if ( auto *combo = qobject_cast<QComboBox *>(field) )
    return combo->lineEdit();
  return qobject_cast<QLineEdit *>(field);
}

} // namespace

void type_into(QWidget &dialog, const char *label, const QString &text)
{
  QLineEdit *line = line_of(form_field(dialog, label));
  ASSERT_NE(line, nullptr) << label;
  line->setFocus(Qt::OtherFocusReason);
  QTest::keyClick(line, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(line, Qt::Key_Delete);
  for ( const QChar c : text )
    if ( c.unicode() < 0x80 )
      QTest::keyClick(line, char(c.unicode()));
    else
      QTest::sendKeyEvent(QTest::Click, line, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

QString field_text(QWidget &dialog, const char *label)
{
  QLineEdit *line = line_of(form_field(dialog, label));
  return line != nullptr ? line->text() : QString();
}

QPushButton *dialog_button(QWidget &dialog, const char *text)
{
  for ( QPushButton *candidate : dialog.findChildren<QPushButton *>() )
    if ( candidate->isVisible() && candidate->text().remove(QLatin1Char('&')).trimmed() == QString::fromUtf8(text) )
      return candidate;
  return nullptr;
}

void click(QWidget *widget)
{
  ASSERT_NE(widget, nullptr);
  QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

std::function<void(message_box_t &)> answer(std::vector<std::string> *texts, const char *button)
{
  return [texts, button](message_box_t &box) {
    texts->push_back(box.text().toStdString());
    click(dialog_button(box, button));
  };
}

bool starts_with(const std::vector<std::string> &lines, const std::string &head)
{
  for ( const std::string &line : lines )
    if ( line.rfind(head, 0) == 0 )
      return true;
  return false;
}
