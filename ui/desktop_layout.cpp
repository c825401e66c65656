// Desktop layouts: the JSON form of the whole arrangement of docks and windows, its checks, and the walks that
// write a dock tree out and build one back.
#include "ui/desktop_layout.h"

#include "core/byte_cursor.h"
#include "core/internal_error.h"
#include "core/json_reader.h"
#include "core/ui_callback.h"
#include "core/zlib_stream.h"
#include "platform/hex_digits.h"
#include "ui/app_base.h"
#include "ui/docks/desktop_widgets.h"
#include "ui/docks/dock_area.h"
#include "ui/docks/dock_containers.h"
#include "ui/docks/dock_widget.h"
#include "ui/json_build.h"
#include "ui/layout_helpers.h"
#include "ui/widget_factory.h"
#include "ui/window_geometry.h"

#include <QSplitter>

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <set>

// ---- desktop_config_t ------------------------------------------------------------------------------------------

bool desktop_config_t::parse_json(const char *text)
{
  json_value_t parsed;
  if ( json_parse_text(&parsed, text) != 0 || parsed.tag != JSON_OBJECT )
    return false;
  return adopt(std::move(parsed));
}

bool desktop_config_t::adopt(json_value_t object)
{
  if ( value.tag != JSON_NONE )
    interr(40613);
  if ( object.tag != JSON_OBJECT )
    return false;
  value = std::move(object);
  has_layout = json_object_find(value.u.obj, "layout", 0) != nullptr;
  return true;
}

const json_object_t *desktop_config_t::object() const
{
  return value.tag == JSON_OBJECT ? value.u.obj : nullptr;
}

const json_object_t *desktop_layout_object(const desktop_config_t &desktop)
{
  const json_object_t *object = desktop.object();
  const json_value_t *layout = object != nullptr ? json_object_find(object, "layout", 0) : nullptr;
  return layout != nullptr && layout->tag == JSON_OBJECT ? layout->u.obj : nullptr;
}

// ---- Checks -----------------------------------------------------------------------------------------------------

namespace {

// The composite type the reader makes of a node object: 1 vertical splitter, 2 horizontal, 3 tabs, 0 unknown.
int composite_kind(const json_object_t &node)
{
  const json_value_t *type = json_object_find(&node, "type", 0);
  if ( type == nullptr || type->tag != JSON_STRING )
    return 1;
  const char *name = json_get_string(type);
  if ( strcmp(name, "vsplit") == 0 )
    return 1;
  if ( strcmp(name, "hsplit") == 0 )
    return 2;
  if ( strcmp(name, "tabs") == 0 )
    return 3;
  return 0;
}

// Walks the nodes exactly as the reader will, counting what it would build.
class desktop_checker_t
{
public:
  explicit desktop_checker_t(qstring *problem) : problem_(problem) {}

  bool area(const json_value_t &area, const char *where)
  {
    if ( area.tag != JSON_OBJECT )
      return fail("%s is not an object", where);
    return node(area, 1);
  }

  bool fail(const char *format, ...)
  {
    va_list va;
    va_start(va, format);
    vformat_to_string(problem_, format, va);
    va_end(va);
    return false;
  }

private:
  bool node(const json_value_t &value, int depth)
  {
    if ( depth > desktop_max_depth )
      return fail("the layout nests deeper than %d levels", desktop_max_depth);
    if ( value.tag == JSON_STRING )
    {
      if ( ++leaves_ > desktop_max_leaves )
        return fail("the layout has more than %d docks", desktop_max_leaves);
      return true;
    }
    if ( value.tag != JSON_OBJECT || composite_kind(*value.u.obj) == 0 )
      return true; // dropped by the reader
    if ( ++composites_ > desktop_max_composites )
      return fail("the layout has more than %d splitters and tab groups", desktop_max_composites);
    const json_value_t *children = json_object_find(value.u.obj, "children", 0);
    if ( children == nullptr )
      return fail("a composite layout node has no \"children\"");
    if ( children->tag != JSON_ARRAY )
      return fail("the \"children\" of a composite layout node are not an array");
    for ( const json_value_t &child : *children->u.arr )
      if ( !node(child, depth + 1) )
        return false;
    return true;
  }

  qstring *problem_;
  int leaves_ = 0;
  int composites_ = 0;
};

} // namespace

bool check_desktop(const desktop_config_t &desktop, qstring *problem)
{
  desktop_checker_t checker(problem);
  if ( desktop.object() == nullptr )
    return checker.fail("the desktop is not a JSON object");
  const json_value_t *layout = json_object_find(desktop.object(), "layout", 0);
  if ( layout == nullptr )
    return checker.fail("the desktop has no \"layout\"");
  if ( layout->tag != JSON_OBJECT )
    return checker.fail("the desktop's \"layout\" is not an object");
  if ( const json_value_t *main = json_object_find(layout->u.obj, "main", 0) )
    if ( !checker.area(*main, "\"main\"") )
      return false;
  if ( const json_value_t *floating = json_object_find(layout->u.obj, "floating", 0) )
  {
    if ( floating->tag != JSON_ARRAY )
      return checker.fail("\"floating\" is not an array");
    if ( floating->u.arr->size() > size_t(desktop_max_floating) )
      return checker.fail("the layout has more than %d floating windows", desktop_max_floating);
    int index = 0;
    for ( const json_value_t &area : *floating->u.arr )
    {
      char where[48];
      snprintf(where, sizeof(where), "floating window #%d", index++);
      if ( !checker.area(area, where) )
        return false;
    }
  }
  return true;
}

// ---- Geometry and window state -----------------------------------------------------------------------------------

bool restore_area_geometry(const json_value_t &area, QWidget *window)
{
  const json_value_t *geometry = area.tag == JSON_OBJECT ? json_object_find(area.u.obj, "area_geom", 0) : nullptr;
  if ( geometry == nullptr || geometry->tag != JSON_OBJECT || window == nullptr || !plausible_geometry_json(*geometry) )
    return false;
  const byte_buffer_t blob = geometry_json_to_blob(*geometry);
  if ( blob.empty() )
    return false;
  // Restoring the geometry a shown window has already would only disturb it: a maximized window would be given
  // its normal rect again and keep it.
  if ( window->isVisible() )
  {
    const QByteArray bytes = window->saveGeometry();
    byte_buffer_t current;
    bytevec_append(&current, bytes.constData(), size_t(bytes.size()));
    if ( geometry_json_to_blob(geometry_blob_to_json(current)) == blob )
      return true;
  }
  // Qt restores a maximized geometry as the normal rect followed by the maximized state, which does nothing
  // to a window maximized already: it would be left with the normal rect.
  window->setWindowState(window->windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
  return window->restoreGeometry(QByteArray(reinterpret_cast<const char *>(blob.data()), int(blob.size())));
}

bool encode_window_state(const QByteArray &state, qstring *text)
{
  byte_buffer_t input;
  bytevec_append(&input, state.constData(), size_t(state.size()));
  byte_buffer_t packed;
  if ( !compress_bytes(input, packed) )
    return false;
  text->clear();
  text->reserve(packed.size() * 2);
  for ( uint8_t byte : packed )
  {
    text->push_back(upper_hex_digits[byte >> 4]);
    text->push_back(upper_hex_digits[byte & 0xF]);
  }
  return true;
}

namespace {

// Feeds the packed bytes to the inflater and collects at most desktop_max_window_state bytes.
struct bounded_inflate_t
{
  const byte_buffer_t *input;
  size_t read = 0;
  QByteArray output;

  static ssize_t reader(void *context, void *buffer, size_t capacity)
  {
    auto *self = static_cast<bounded_inflate_t *>(context);
    const size_t n = std::min(capacity, self->input->size() - self->read);
    memcpy(buffer, self->input->data() + self->read, n);
    self->read += n;
    return ssize_t(n);
  }

  static size_t writer(void *context, const void *data, size_t count)
  {
    auto *self = static_cast<bounded_inflate_t *>(context);
    if ( count > desktop_max_window_state - size_t(self->output.size()) )
      return 0; // refused: the writer's failure ends the stream
    self->output.append(static_cast<const char *>(data), int(count));
    return count;
  }
};

} // namespace

bool decode_window_state(const json_value_t *text, QByteArray *state)
{
  if ( text == nullptr || text->tag != JSON_STRING )
    return false;
  const qstring &hex = *text->u.str;
  if ( hex.empty() || hex.size() % 2 != 0 )
    return false;
  byte_buffer_t packed;
  packed.reserve(hex.size() / 2);
  for ( size_t i = 0; i < hex.size(); i += 2 )
  {
    const int high = hex_digit_value(static_cast<unsigned char>(hex[i]));
    const int low = hex_digit_value(static_cast<unsigned char>(hex[i + 1]));
    if ( high < 0 || low < 0 )
      return false;
    packed.push_back(uint8_t(high << 4 | low));
  }
  bounded_inflate_t inflater;
  inflater.input = &packed;
  if ( inflate_stream(&inflater, &bounded_inflate_t::reader, &bounded_inflate_t::writer) != 0 )
    return false;
  *state = std::move(inflater.output);
  return true;
}

// ---- Saving ---------------------------------------------------------------------------------------------------------

json_value_t save_layout_tree(json_object_t *widgets_config, BaseDockWidget *node)
{
  if ( node == nullptr )
    return {};
  if ( node->is_leaf() )
  {
    auto *leaf = static_cast<DockWidget *>(node);
    const QByteArray title = leaf->title().toUtf8();
    json_value_t config = json_object_value();
    if ( leaf->hidden )
      add_json_member(config.u.obj, "hidden", json_bool_value(true));
    if ( QWidget *content = dock_content(leaf, true) )
      collect_widget_config(content, config.u.obj);
    add_json_member(widgets_config, title.constData(), std::move(config));
    return json_string_value(title.constData());
  }

  auto *complex = static_cast<ComplexDockWidget *>(node);
  auto *splitter = qobject_cast<DockSplitter *>(complex);
  json_value_t children = json_array_value();
  QList<int> sizes;
  const QList<int> splitter_sizes = splitter != nullptr ? splitter->splitter()->sizes() : QList<int>();
  for ( int i = 0; i < complex->child_count(); ++i )
  {
    json_value_t child = save_layout_tree(widgets_config, complex->child_at(i));
    if ( child.tag == JSON_NONE )
      continue;
    *jarr_append_slot(children.u.arr) = std::move(child);
    if ( splitter != nullptr )
      sizes.append(i < splitter_sizes.size() ? splitter_sizes[i] : 0);
  }
  if ( children.u.arr->empty() )
    return {};

  json_value_t result = json_object_value();
  json_object_t *object = result.u.obj;
  const char *type = "tabs";
  if ( auto *tab = qobject_cast<DockTab *>(complex) )
    add_json_member(object, "index", json_int_value(tab->tab_to_child(tab->tab_bar()->currentIndex())));
  else
    type = splitter->orientation() == Qt::Horizontal ? "hsplit" : "vsplit";
  add_json_member(object, "type", json_string_value(type));
  add_json_member(object, "children", std::move(children));
  if ( splitter == nullptr )
    return result;
  int64_t sum = 0;
  for ( int size : sizes )
    sum += size;
  if ( sizes.size() > 1 && sum > 0 )
  {
    json_value_t partitions = json_array_value();
    int64_t given = 0;
    for ( int i = 0; i + 1 < sizes.size(); ++i )
    {
      const int64_t share = std::llround(100.0 / double(sum) * sizes[i]);
      given += share;
      json_value_set_int(jarr_append_slot(partitions.u.arr), share);
    }
    json_value_set_int(jarr_append_slot(partitions.u.arr), 100 - given);
    add_json_member(object, "partitions", std::move(partitions));
  }
  if ( splitter->splitter()->handleWidth() == 0 )
    add_json_member(object, "hide_handles", json_bool_value(true));
  return result;
}

void prune_widgets_config(json_object_t *widgets_config)
{
  // From the last member to the first: an empty member stays only while a later member of its name has
  // content, so that the members after it keep their places.
  std::set<std::string> content_follows;
  for ( size_t i = widgets_config->size(); i-- > 0; )
  {
    const json_member_t &member = (*widgets_config)[i];
    const std::string name(member.key.view());
    const bool empty = member.value.tag == JSON_OBJECT && member.value.u.obj->empty();
    if ( !empty )
      content_follows.insert(name);
    else if ( content_follows.count(name) == 0 )
      widgets_config->erase(i);
  }
}

// ---- Reading --------------------------------------------------------------------------------------------------------

layout_reader_t::layout_reader_t(const json_object_t *widgets_config, std::vector<QPointer<QWidget>> kept)
  : kept_(std::move(kept))
{
  if ( widgets_config == nullptr )
    return;
  for ( const json_member_t &member : *widgets_config )
    configs_[std::string(member.key.view())].push_back(member.value.tag == JSON_OBJECT ? member.value.u.obj
                                                                                        : nullptr);
}

bool layout_reader_t::placed(const QWidget *widget) const
{
  return std::find(placed_.begin(), placed_.end(), widget) != placed_.end();
}

BaseDockWidget *layout_reader_t::load_layout_tree(const json_value_t &node)
{
  if ( node.tag == JSON_OBJECT )
    return load_composite(*node.u.obj);
  if ( node.tag == JSON_STRING )
    return load_leaf(json_get_string(&node));
  return nullptr;
}

BaseDockWidget *layout_reader_t::load_composite(const json_object_t &object)
{
  const int kind = composite_kind(object);
  if ( kind == 0 )
  {
    const json_value_t *type = json_object_find(&object, "type", 0);
    log_printf("WARNING: unknown composite type: %s\n", json_get_string(type));
    return nullptr;
  }
  // The checks that apply_desktop made before anything changed guarantee "children" here.
  const json_value_t *children = json_object_find(&object, "children", 0);
  if ( children == nullptr )
    interr(1289);
  if ( children->tag != JSON_ARRAY )
    interr(1280);

  ComplexDockWidget *composite = nullptr;
  if ( kind == 3 )
    composite = new DockTab(-1);
  else
    composite = new DockSplitter(kind == 2 ? Qt::Horizontal : Qt::Vertical);
  app_t *app = current_app();
  for ( const json_value_t &child_value : *children->u.arr )
  {
    BaseDockWidget *child = load_layout_tree(child_value);
    if ( child == nullptr )
      continue;
    if ( child->is_leaf() && app != nullptr )
      app->on_dock_inserted(static_cast<DockWidget *>(child), composite);
    composite->insert_child(composite->child_count(), child);
  }
  if ( composite->child_count() == 0 )
  {
    delete composite;
    return nullptr;
  }
  tree_config.insert(composite, &object);
  return composite;
}

BaseDockWidget *layout_reader_t::load_leaf(const char *name)
{
  // The n-th leaf of a name takes the n-th configuration of that name, so that widgets sharing a name each
  // keep their own.
  const size_t nth = leaves_seen_[name]++;
  const json_object_t *config = nullptr;
  if ( const auto found = configs_.find(name); found != configs_.end() && nth < found->second.size() )
    config = found->second[nth];

  QWidget *widget = widget_for(name, config);
  if ( widget == nullptr || placed(widget) )
    return nullptr; // no widget, or one that stands in an earlier leaf already
  placed_.push_back(widget);
  auto *holder = new PlaceHolderWidget(widget);
  if ( holder->target() == nullptr )
    interr(40620);
  app_t *app = current_app();
  DockWidget *dock = app->get_widget_factory()->new_dock_widget(holder, 0);
  ++place_holders;
  tree_config.insert(dock, config);
  return dock;
}

QWidget *layout_reader_t::widget_for(const char *name, const json_object_t *config)
{
  app_t *app = current_app();
  const QString title = QString::fromUtf8(name);
  for ( auto it = kept_.begin(); it != kept_.end(); ++it )
  {
    QWidget *widget = it->data();
    QString generic;
    if ( widget != nullptr && !placed(widget) && app->query_generic_title(generic, widget) && generic == title )
      return widget;
  }
  const json_object_t *given = config != nullptr ? config : &empty_;
  if ( ui_callback != nullptr )
    if ( auto *widget = reinterpret_cast<QWidget *>(
           static_cast<intptr_t>(ui_callback(ui_code_widget_for_desktop_name, name, given))) )
      return widget;
  for ( desktop_widget_factory_t *factory : desktop_widget_factories() )
    if ( factory->matches(name, given) )
      if ( QWidget *widget = factory->create_widget(name, given) )
        return widget;
  return nullptr;
}

// ---- Configuring and finishing the trees ----------------------------------------------------------------------------

namespace {

// The pre-order nodes of a tree, taken before any of them changes.
QList<QPointer<BaseDockWidget>> tree_nodes(BaseDockWidget *root)
{
  struct collector_t : DockWidgetVisitor
  {
    QList<QPointer<BaseDockWidget>> nodes;
    int visit(BaseDockWidget *node) override
    {
      nodes.append(node);
      return 0;
    }
  } collector;
  walk(root, collector);
  return collector.nodes;
}

const json_object_t &node_config(const widget_tree_config_t &config, const QObject *node)
{
  static const json_object_t empty;
  const json_object_t *found = config.value(node, nullptr);
  return found != nullptr ? *found : empty;
}

bool is_true(const json_object_t &object, const char *key)
{
  const json_value_t *value = json_object_find(&object, key, JSON_BOOL);
  return value != nullptr && value->u.b != 0;
}

} // namespace

void apply_tree_layout(BaseDockWidget *root, const widget_tree_config_t &config)
{
  for ( const QPointer<BaseDockWidget> &node : tree_nodes(root) )
  {
    if ( node == nullptr )
      continue;
    const json_object_t &object = node_config(config, node);
    if ( auto *splitter = qobject_cast<DockSplitter *>(node) )
    {
      std::vector<double> fractions;
      if ( const json_value_t *partitions = json_object_find(&object, "partitions", 0);
           partitions != nullptr && partitions_from_json(&fractions, *partitions) )
        set_splitter_partitions(splitter->splitter(), fractions);
      if ( is_true(object, "hide_handles") )
        splitter->splitter()->setHandleWidth(0);
    }
    else if ( auto *tab = qobject_cast<DockTab *>(node) )
    {
      int index = 0;
      // Out of range (a huge stored number included): no tab is chosen.
      if ( const json_value_t *value = json_object_find(&object, "index", JSON_INT) )
        index = value->u.i >= 0 && value->u.i <= std::numeric_limits<int>::max() ? int(value->u.i) : -1;
      tab->set_current(index);
    }
    else if ( node->is_leaf() && is_true(object, "hidden") )
    {
      DockArea::hide_docked_widget(node);
    }
  }
}

void swap_place_holders(BaseDockWidget *root, const widget_tree_config_t &config)
{
  for ( const QPointer<BaseDockWidget> &node : tree_nodes(root) )
  {
    if ( node == nullptr || !node->is_leaf() )
      continue;
    auto *dock = static_cast<DockWidget *>(node.data());
    dock->replace_place_holder(node_config(config, dock));
    QWidget *content = dock_content(dock);
    if ( content == nullptr || ui_callback == nullptr )
      continue;
    // The dock's children, then theirs: the form widgets the dock now shows.
    QList<QWidget *> level;
    for ( QObject *child : dock->children() )
      if ( child->isWidgetType() )
        level.append(static_cast<QWidget *>(child));
    for ( int depth = 0; depth < 2 && !level.isEmpty(); ++depth )
    {
      QList<QWidget *> next;
      for ( QWidget *widget : level )
      {
        if ( has_method(widget, "form_activate()") )
          ui_callback(ui_code_form_widget_docked, widget, content, nullptr);
        for ( QObject *child : widget->children() )
          if ( child->isWidgetType() )
            next.append(static_cast<QWidget *>(child));
      }
      level = std::move(next);
    }
  }
}
