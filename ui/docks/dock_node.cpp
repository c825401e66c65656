// The nodes of a dock tree: the common base, the containers' base, the process-wide node registry and the walks.
#include "ui/docks/dock_node.h"

#include "core/ui_callback.h"
#include "ui/docks/dock_area.h"
#include "ui/docks/dock_widget.h"

#include <QApplication>
#include <QChildEvent>
#include <QMetaMethod>
#include <QPainter>
#include <QPointer>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace {

std::vector<BaseDockWidget *> &registry()
{
  static std::vector<BaseDockWidget *> nodes;
  return nodes;
}

} // namespace

// ---- BaseDockWidget -------------------------------------------------------------------------------------------

BaseDockWidget::BaseDockWidget(int type) : node_type(type)
{
  auto *box = new QVBoxLayout(this);
  box->setContentsMargins(0, 0, 0, 0);
  box->setSpacing(0);
  registry().push_back(this);
}

BaseDockWidget::~BaseDockWidget()
{
  auto &nodes = registry();
  const auto found = std::find(nodes.begin(), nodes.end(), this);
  if ( found != nodes.end() )
    nodes.erase(found);
}

QIcon BaseDockWidget::icon() const
{
  return QApplication::windowIcon();
}

void BaseDockWidget::refresh_layout()
{
}

void forget_dock_node(BaseDockWidget *node)
{
  auto &nodes = registry();
  const auto found = std::find(nodes.begin(), nodes.end(), node);
  if ( found != nodes.end() )
    nodes.erase(found);
}

const std::vector<BaseDockWidget *> &all_dock_nodes()
{
  return registry();
}

bool is_live_dock_node(const void *pointer)
{
  const auto &nodes = registry();
  return pointer != nullptr && std::find(nodes.begin(), nodes.end(), pointer) != nodes.end();
}

QList<DockWidget *> leaf_dock_widgets()
{
  QList<DockWidget *> leaves;
  for ( BaseDockWidget *node : registry() )
    if ( node->node_type == dock_leaf_node )
      leaves.append(static_cast<DockWidget *>(node));
  return leaves;
}

// ---- ComplexDockWidget ----------------------------------------------------------------------------------------

QString ComplexDockWidget::title() const
{
  QStringList titles;
  for ( int i = 0; i < child_count(); ++i )
  {
    const BaseDockWidget *child = child_at(i);
    if ( child != nullptr && !child->hidden )
      titles.append(child->title());
  }
  return titles.join(QStringLiteral(", "));
}

void ComplexDockWidget::refresh_layout()
{
  for ( int i = 0; i < child_count(); ++i )
    if ( BaseDockWidget *child = child_at(i) )
      child->refresh_layout();
}

void ComplexDockWidget::update_title_bars()
{
}

int ComplexDockWidget::visible_child_count() const
{
  int count = 0;
  for ( int i = 0; i < child_count(); ++i )
  {
    const BaseDockWidget *child = child_at(i);
    if ( child != nullptr && !child->hidden )
      ++count;
  }
  return count;
}

int ComplexDockWidget::insert_current(int index, BaseDockWidget *node)
{
  if ( index == -1 )
  {
    index = 0;
    for ( int c = 0; c < child_count(); ++c )
      if ( !child_at(c)->hidden )
        index = c + 1;
  }
  const int used = insert_child(index, node);
  set_current(used);
  return used;
}

bool ComplexDockWidget::eventFilter(QObject *watched, QEvent *event)
{
  if ( watched == container() && !updating && !deleting_ && event->type() == QEvent::ChildRemoved )
  {
    // The splitter still lists the leaving child at this point; the stack already dropped it.
    if ( count_without(static_cast<QChildEvent *>(event)->child()) == 0 )
    {
      deleting_ = true;
      setParent(nullptr);
      deleteLater();
    }
  }
  return false;
}

void ComplexDockWidget::paintEvent(QPaintEvent * /*event*/)
{
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(backgroundRole()));
}

void ComplexDockWidget::move_children_of(ComplexDockWidget *p)
{
  int i = index_of(p);
  if ( i < 0 )
    return;
  const bool was_updating = updating;
  updating = true;
  const int count = p->child_count();
  try
  {
    for ( int n = 0; n < count; ++n )
      insert_child(i++, p->child_at(0));
  }
  catch ( ... )
  {
    updating = was_updating;
    throw;
  }
  updating = was_updating;
}

// ---- Free functions -------------------------------------------------------------------------------------------

ComplexDockWidget *dock_container_of(const QWidget *node)
{
  if ( node == nullptr )
    return nullptr;
  QWidget *parent = node->parentWidget();
  if ( parent == nullptr )
    return nullptr;
  const QMetaObject *meta = parent->metaObject();
  if ( meta != &QStackedWidget::staticMetaObject && meta != &QSplitter::staticMetaObject )
    return nullptr;
  return qobject_cast<ComplexDockWidget *>(parent->parentWidget());
}

DockWidget *enclosing_dock_widget(QWidget *widget)
{
  for ( QWidget *w = widget; w != nullptr; w = w->parentWidget() )
    if ( auto *dock = qobject_cast<DockWidget *>(w) )
      return dock;
  return nullptr;
}

DockArea *enclosing_dock_area(const QWidget *widget)
{
  for ( QWidget *w = widget != nullptr ? widget->parentWidget() : nullptr; w != nullptr; w = w->parentWidget() )
    if ( auto *area = qobject_cast<DockArea *>(w) )
      return area;
  return nullptr;
}

void request_area_update(QWidget *widget)
{
  if ( DockArea *area = enclosing_dock_area(widget) )
    area->request_update();
}

void update_active_titles(QWidget *focus_widget)
{
  const DockWidget *active = enclosing_dock_widget(focus_widget);
  for ( DockWidget *dock : leaf_dock_widgets() )
  {
    DockWidgetTitle *bar = dock_title_bar(dock);
    if ( bar == nullptr )
      continue;
    const bool state = dock == active;
    if ( bar->property("active").toBool() == state )
      continue;
    bar->setProperty("active", state);
    bar->style()->unpolish(bar);
    bar->style()->polish(bar);
  }
}

void notify_layout_performed(QObject *object)
{
  const int index = object->metaObject()->indexOfMethod("on_layout_performed()");
  if ( index >= 0 && !object->metaObject()->method(index).invoke(object, Qt::DirectConnection) )
    log_printf("Coherency check failed: m.invoke(node)\n");
  // Watch the children: a notified widget may delete some of them.
  QList<QPointer<QObject>> children;
  for ( QObject *child : object->children() )
    children.append(child);
  for ( const QPointer<QObject> &child : children )
    if ( child != nullptr && child->isWidgetType() )
      notify_layout_performed(child);
}

int walk(BaseDockWidget *node, DockWidgetVisitor &visitor)
{
  if ( node == nullptr )
    return 0;
  if ( const int answer = visitor.visit(node) )
    return answer;
  if ( node->is_leaf() )
    return 0;
  auto *complex = static_cast<ComplexDockWidget *>(node);
  for ( int i = 0; i < complex->child_count(); ++i )
    if ( const int answer = walk(complex->child_at(i), visitor) )
      return answer;
  return 0;
}

int walk_leaves_reverse(BaseDockWidget *node, DockWidgetVisitor &visitor)
{
  if ( node == nullptr )
    return 0;
  if ( node->is_leaf() )
    return visitor.visit(node);
  auto *complex = static_cast<ComplexDockWidget *>(node);
  for ( int i = complex->child_count() - 1; i >= 0; --i )
    if ( const int answer = walk_leaves_reverse(complex->child_at(i), visitor) )
      return answer;
  return 0;
}
