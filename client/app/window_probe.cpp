// The test builds' probe channel: a local socket answering what the windows show.
#include "client/app/window_probe.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QGroupBox>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTextEdit>
#include <QTreeView>
#include <QWindow>

#include <cstdio>
#include <functional>

namespace {

// Enough rows for any view a test fills; a view of a million rows must not stall the program.
constexpr int max_rows = 2000;
// Long documents are cut: a test looks for a few lines.
constexpr int max_text = 4000;

QJsonArray rect_json(const QRect &rect)
{
  return QJsonArray {rect.x(), rect.y(), rect.width(), rect.height()};
}

QRect global_rect(const QWidget *widget, const QRect &local)
{
  return QRect(widget->mapToGlobal(local.topLeft()), local.size());
}

QString plain(QString text)
{
  text.remove(QLatin1Char('&'));
  return text;
}

QJsonArray action_items(const QWidget *owner, const QList<QAction *> &actions,
                        const std::function<QRect(QAction *)> &geometry, const QAction *active)
{
  QJsonArray items;
  for ( QAction *action : actions )
  {
    if ( !action->isVisible() )
      continue;
    QJsonObject item {{"text", plain(action->text())},
                      {"enabled", action->isEnabled()},
                      {"separator", action->isSeparator()},
                      {"rect", rect_json(global_rect(owner, geometry(action)))}};
    if ( action->isCheckable() )
      item["checked"] = action->isChecked();
    if ( action == active )
      item["active"] = true;
    if ( !action->shortcut().isEmpty() )
      item["shortcut"] = action->shortcut().toString();
    items.append(item);
  }
  return items;
}

// The rows of a view in the order a user reads them: a tree's expanded children follow their parent.
void append_rows(const QAbstractItemView *view, const QModelIndex &parent, int depth, QJsonArray *rows)
{
  const QAbstractItemModel *model = view->model();
  const auto *tree = qobject_cast<const QTreeView *>(view);
  const QHeaderView *header = tree != nullptr ? tree->header() : nullptr;
  const int columns = model->columnCount(parent);
  const int count = model->rowCount(parent);
  for ( int row = 0; row < count && rows->size() < max_rows; ++row )
  {
    if ( tree != nullptr && tree->isRowHidden(row, parent) )
      continue;
    const QModelIndex first = model->index(row, 0, parent);
    QJsonArray texts;
    for ( int column = 0; column < columns; ++column )
      if ( header == nullptr || !header->isSectionHidden(column) )
        texts.append(model->index(row, column, parent).data(Qt::DisplayRole).toString());
    const QVariant font = first.data(Qt::FontRole);
    // The part a user sees: a view places rows scrolled out of sight above or below its viewport.
    const QRect visual = view->visualRect(first).intersected(view->viewport()->rect());
    QJsonObject entry {{"texts", texts},
                       {"bold", font.isValid() && font.value<QFont>().bold()},
                       {"depth", depth},
                       {"selected", view->selectionModel() != nullptr
                                      && view->selectionModel()->isRowSelected(row, parent)},
                       {"current", view->currentIndex().isValid() && view->currentIndex().row() == row
                                     && view->currentIndex().parent() == parent}};
    if ( !visual.isEmpty() )
      entry["rect"] = rect_json(global_rect(view->viewport(), visual));
    const bool has_children = model->hasChildren(first);
    if ( tree != nullptr && has_children )
      entry["expanded"] = tree->isExpanded(first);
    rows->append(entry);
    if ( tree != nullptr && has_children && tree->isExpanded(first) )
      append_rows(view, first, depth + 1, rows);
  }
}

QJsonObject describe_view(const QAbstractItemView *view)
{
  QJsonObject described;
  if ( view->model() == nullptr )
    return described;
  if ( const auto *tree = qobject_cast<const QTreeView *>(view); tree != nullptr && !tree->isHeaderHidden() )
  {
    QJsonArray headers;
    for ( int column = 0; column < view->model()->columnCount(); ++column )
      if ( !tree->header()->isSectionHidden(column) )
        headers.append(view->model()->headerData(column, Qt::Horizontal).toString());
    described["headers"] = headers;
  }
  QJsonArray rows;
  append_rows(view, view->rootIndex(), 0, &rows);
  described["rows"] = rows;
  return described;
}

// The standard class a widget is one of, whatever its own class: what a test looks for.
const char *standard_kind(const QWidget *widget)
{
  static constexpr const char *kinds[] = {"QCheckBox", "QRadioButton", "QPushButton", "QToolButton", "QLabel",
                                          "QLineEdit", "QComboBox", "QPlainTextEdit", "QTextEdit", "QDockWidget",
                                          "QGroupBox", "QMenuBar", "QMenu", "QTabBar", "QTreeView", "QTableView",
                                          "QListView", "QAbstractButton", "QAbstractItemView"};
  for ( const char *kind : kinds )
    if ( widget->inherits(kind) )
      return kind;
  return widget->metaObject()->className();
}

// The entry of a widget a user can read or act on; an empty object for the frames and scroll bars in between.
QJsonObject describe_widget(QWidget *widget)
{
  QJsonObject entry;
  if ( const auto *label = qobject_cast<QLabel *>(widget) )
    entry["text"] = label->text();
  else if ( const auto *button = qobject_cast<QAbstractButton *>(widget) )
  {
    entry["text"] = plain(button->text());
    if ( button->isCheckable() )
      entry["checked"] = button->isChecked();
  }
  else if ( const auto *line = qobject_cast<QLineEdit *>(widget) )
    entry["text"] = line->text();
  else if ( const auto *combo = qobject_cast<QComboBox *>(widget) )
    entry["text"] = combo->currentText();
  else if ( const auto *text = qobject_cast<QPlainTextEdit *>(widget) )
    entry["text"] = text->toPlainText().left(max_text);
  else if ( const auto *rich = qobject_cast<QTextEdit *>(widget) )
    entry["text"] = rich->toPlainText().left(max_text);
  else if ( const auto *dock = qobject_cast<QDockWidget *>(widget) )
    entry["text"] = dock->windowTitle();
  else if ( const auto *group = qobject_cast<QGroupBox *>(widget) )
    entry["text"] = plain(group->title());
  else if ( auto *bar = qobject_cast<QMenuBar *>(widget) )
    entry["items"] = action_items(bar, bar->actions(), [bar](QAction *a) { return bar->actionGeometry(a); },
                                  bar->activeAction());
  else if ( auto *menu = qobject_cast<QMenu *>(widget) )
    entry["items"] = action_items(menu, menu->actions(), [menu](QAction *a) { return menu->actionGeometry(a); },
                                  menu->activeAction());
  else if ( const auto *tabs = qobject_cast<QTabBar *>(widget) )
  {
    QJsonArray items;
    for ( int i = 0; i < tabs->count(); ++i )
      items.append(QJsonObject {{"text", plain(tabs->tabText(i))},
                                {"current", i == tabs->currentIndex()},
                                {"rect", rect_json(global_rect(tabs, tabs->tabRect(i)))}});
    entry["items"] = items;
  }
  else if ( const auto *view = qobject_cast<QAbstractItemView *>(widget) )
    entry = describe_view(view);
  else
    return entry;
  entry["kind"] = QString::fromLatin1(standard_kind(widget));
  entry["class"] = QString::fromLatin1(widget->metaObject()->className());
  entry["name"] = widget->objectName();
  entry["rect"] = rect_json(global_rect(widget, widget->rect()));
  entry["enabled"] = widget->isEnabled();
  entry["focus"] = widget->hasFocus();
  return entry;
}

QJsonObject describe_window(QWidget *window)
{
  QJsonArray widgets;
  if ( QJsonObject own = describe_widget(window); !own.isEmpty() )
    widgets.append(own);
  for ( QWidget *child : window->findChildren<QWidget *>() )
    if ( child->isVisible() )
      if ( QJsonObject entry = describe_widget(child); !entry.isEmpty() )
        widgets.append(entry);
  return QJsonObject {{"title", window->windowTitle()},
                      {"class", QString::fromLatin1(window->metaObject()->className())},
                      {"active", window->isActiveWindow()},
                      {"modal", window->isModal()},
                      {"rect", rect_json(window->frameGeometry())},
                      {"widgets", widgets}};
}

// A widget in a journal line: its class, name and window's class.
QByteArray journal_name(const QWidget *widget)
{
  if ( widget == nullptr )
    return "none";
  return QByteArray(widget->metaObject()->className()) + " '" + widget->objectName().toUtf8() + "' in "
         + widget->window()->metaObject()->className();
}

const char *mouse_kind(QEvent::Type type)
{
  switch ( type )
  {
    case QEvent::MouseButtonPress:
      return "press";
    case QEvent::MouseButtonRelease:
      return "release";
    case QEvent::MouseButtonDblClick:
      return "double click";
    default:
      return nullptr;
  }
}

} // namespace

QJsonObject describe_visible_windows()
{
  QJsonArray windows;
  for ( QWidget *window : QApplication::topLevelWidgets() )
    if ( window->isVisible() )
      windows.append(describe_window(window));
  QJsonObject snapshot {{"windows", windows}};
  if ( QWidget *focus = QApplication::focusWidget() )
    snapshot["focus"] = QString::fromLatin1(focus->metaObject()->className());
  return snapshot;
}

window_probe_t::window_probe_t()
{
  const QString path = qEnvironmentVariable("AKUI_PROBE");
  if ( path.isEmpty() )
    return;
  QLocalServer::removeServer(path);
  connect(&server_, &QLocalServer::newConnection, this, &window_probe_t::accept_clients);
  if ( !server_.listen(path) )
    qWarning("test probe: cannot listen on %s", qPrintable(path));
  clock_.start();
  connect(qApp, &QApplication::focusChanged, this, &window_probe_t::report_focus);
  qApp->installEventFilter(this);
}

void window_probe_t::report_focus(QWidget *old, QWidget *now) const
{
  std::fprintf(stderr, "probe: %lld ms: focus %s -> %s\n", static_cast<long long>(clock_.elapsed()),
               journal_name(old).constData(), journal_name(now).constData());
}

bool window_probe_t::eventFilter(QObject *watched, QEvent *event)
{
  // Input is reported where the window system hands it over, once per event: to a window, whichever widget then
  // gets it. A hidden widget's window that still gets input is what this is for.
  auto *window = qobject_cast<QWindow *>(watched);
  if ( window == nullptr || !event->spontaneous() )
    return false;
  const QByteArray where = window->objectName().toUtf8() + (window->isVisible() ? "" : " (hidden)");
  if ( const char *kind = mouse_kind(event->type()) )
  {
    const auto *mouse = static_cast<const QMouseEvent *>(event);
    std::fprintf(stderr, "probe: %lld ms: %s at %d,%d to window %s\n", static_cast<long long>(clock_.elapsed()),
                 kind, mouse->globalPos().x(), mouse->globalPos().y(), where.constData());
  }
  else if ( event->type() == QEvent::KeyPress )
  {
    std::fprintf(stderr, "probe: %lld ms: key 0x%x to window %s, focus %s\n", static_cast<long long>(clock_.elapsed()),
                 unsigned(static_cast<const QKeyEvent *>(event)->key()), where.constData(),
                 journal_name(QApplication::focusWidget()).constData());
  }
  return false;
}

window_probe_t::~window_probe_t() = default;

void window_probe_t::accept_clients()
{
  while ( QLocalSocket *client = server_.nextPendingConnection() )
  {
    connect(client, &QLocalSocket::readyRead, this, [this, client] { answer(client); });
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
  }
}

void window_probe_t::answer(QLocalSocket *client)
{
  while ( client->canReadLine() )
  {
    const QByteArray line = client->readLine().trimmed();
    const QJsonObject reply = line == "snapshot" ? describe_visible_windows()
                                                 : QJsonObject {{"error", QString::fromUtf8("unknown request")}};
    client->write(QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n');
    client->flush();
  }
}
