// The ready-made directory-tree widget: construction, the engine's operations, model updates, keys, menus.
#include "views/filter/standalone_dirtree_widget.h"

#include "ui/action_context.h"
#include "ui/app_base.h"
#include "ui/header_visibility.h"
#include "ui/popup_menu.h"
#include "ui/ui_action_registry.h"
#include "ui/widget_factory.h"
#include "views/dirtree/dirtree_actions.h"
#include "views/dirtree/standalone_dirtree_item_model.h"
#include "views/filter/filtered_item_view_style.h"
#include "views/filter/filtered_widget_update.h"
#include "views/filter/quick_filter_widget.h"
#include "views/filter/row_search.h"
#include "views/filter/standalone_dirtree_operations.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStatusBar>

#include <array>
#include <iterator>

namespace
{

// Stored as 0xAABBGGRR.
constexpr std::array<style_property_desc_t, 4> dirtree_styles = {{
  {"highlight-bg-default", "Highlight color", 0xff00ffff},
  {"highlight-bg-selected", "Highlight color (selected row)", 0xffc0c000},
  {"cut-text-color-default", "Cut text color", 0xff000000},
  {"cut-text-color-selected", "Cut text color (selected row)", 0xff000000},
}};

// The actions that show whether a view is sorted.
void refresh_unsort_actions()
{
  static const char *const names[] = {"ChooserUnsort", "DirTreeUnsort", "ActinsUnsort"};
  update_action_filter_t filter;
  filter.add_action_names(names, std::size(names));
  if ( !filter.entries.empty() )
    refresh_actions_for(UPDACT_LISTED, nullptr, &filter);
}

// Raises engine flags the widget drives for a scope; the ones already raised stay raised.
class widget_flags_scope_t
{
public:
  widget_flags_scope_t(filtered_widget_mixin_t *engine, uint32_t flags)
    : engine_(engine), flags_(flags & ~engine->engine_flags())
  {
    engine_->set_widget_flags(flags_, true);
  }
  ~widget_flags_scope_t() { engine_->set_widget_flags(flags_, false); }
  widget_flags_scope_t(const widget_flags_scope_t &) = delete;
  widget_flags_scope_t &operator=(const widget_flags_scope_t &) = delete;

private:
  filtered_widget_mixin_t *engine_;
  uint32_t flags_;
};

// Applies the label, tooltip and icon given (null and -1 keep the action's own).
void apply_action_look(const char *name, const standalone_dirtree_widget_options_t::action_look_t &look)
{
  ui_action_t *action = find_ui_action(name);
  if ( action == nullptr )
    return;
  if ( look.label != nullptr )
    (void)action->apply_property(ACTION_PROP_LABEL, look.label);
  if ( look.tooltip != nullptr )
    (void)action->apply_property(ACTION_PROP_TOOLTIP, look.tooltip);
  if ( look.icon != -1 )
    (void)action->apply_property(ACTION_PROP_ICON, &look.icon);
}

} // namespace

standalone_dirtree_widget_t *as_standalone_dirtree(dirtree_view_t *view)
{
  return dynamic_cast<standalone_dirtree_widget_t *>(view);
}

standalone_dirtree_widget_t::standalone_dirtree_widget_t(const char *tree_id, uint32_t tree_options,
                                                         const standalone_dirtree_widget_options_t &options,
                                                         QWidget *parent)
  : base_dirtree_widget_t(tree_id, tree_options, parent),
    stylable_widget_mixin_t(dirtree_styles.data(), dirtree_styles.size(), staticMetaObject.className()),
    filtered_widget_mixin_t(this), options_(options)
{
  setStyle(shared_filtered_item_view_style());
  if ( app_t *app = current_app(); app != nullptr && app->get_widget_factory() != nullptr )
    if ( auto *bar = qobject_cast<quick_filter_widget_t *>(app->get_widget_factory()->new_quick_filter_widget(this)) )
    {
      attach_quick_filter(bar);
      set_quick_filter_visible(false);
    }
  connect(header(), &QHeaderView::sectionClicked, this, &standalone_dirtree_widget_t::on_header_section_clicked);
  connect(this, &QAbstractItemView::doubleClicked, this, [this] {
    // A double click opens the selection exactly as Enter does.
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Enter, QGuiApplication::keyboardModifiers());
    QCoreApplication::sendEvent(this, &enter);
  });
  if ( (options_.allowed & standalone_dirtree_status_bar) != 0 )
  {
    auto *bar = new QStatusBar(this);
    bar->setSizeGripEnabled(false);
    bar->show();
    status_watch_.watch_object(bar);
  }
  header()->setStretchLastSection(true);
  header()->setSectionsClickable(true);
  header()->installEventFilter(this);
  reset_row_cache(1);
}

standalone_dirtree_widget_t::~standalone_dirtree_widget_t() = default;

QStatusBar *standalone_dirtree_widget_t::status_bar() const
{
  return status_watch_.watched_as<QStatusBar>();
}

// ---- Item operations --------------------------------------------------------------------------------------

bool standalone_dirtree_widget_t::crud_action_state(const dirtree_selection_t *entries, uint32_t kind)
{
  if ( (options_.allowed & kind) == 0 )
    return false;
  return kind == standalone_dirtree_insert || (entries != nullptr && !entries->empty());
}

bool standalone_dirtree_widget_t::create_item(filtered_widget_mixin_update_strategy_t *, const dirtree_selection_t *,
                                              const std::vector<qstring> &)
{
  return false;
}

bool standalone_dirtree_widget_t::delete_items(filtered_widget_mixin_update_strategy_t *, const dirtree_selection_t *,
                                               const std::vector<qstring> &)
{
  return false;
}

bool standalone_dirtree_widget_t::activate_items(filtered_widget_mixin_update_strategy_t *,
                                                 const dirtree_selection_t *, const std::vector<qstring> &)
{
  return false;
}

bool standalone_dirtree_widget_t::run_selection_operation(selection_operation_t *operation,
                                                          const dirtree_selection_t *entries)
{
  view_snapshot_t snapshot;
  take_snapshot(&snapshot, 7);
  // The tree's events post no updates meanwhile: the one strategy below, from the state before, does.
  const widget_flags_scope_t selecting(this, engine_selecting);
  std::vector<qstring> paths;
  if ( const dirtree_item_model_base_t *model = tree_model(); model != nullptr && entries != nullptr )
    for ( const dirtree_cursor_t &cursor : *entries )
    {
      qstring path;
      if ( !model->tree()->cursor_text(&path, cursor, 0) )
        path.clear();
      paths.push_back(std::move(path));
    }
  std::unique_ptr<filtered_widget_mixin_update_strategy_t> strategy = make_update_strategy(&snapshot, 7);
  const bool changed = operation->run(this, strategy.get(), entries, paths);
  if ( !changed )
    return false;
  if ( (strategy->flags & strategy_remove_empty_folders) != 0 )
    remove_empty_folders(paths);
  // A pending update already reloads from the tree as it is now; this strategy then goes with its owner.
  post_update_strategy(std::move(strategy), false);
  return true;
}

// ---- The model ----------------------------------------------------------------------------------------------

void standalone_dirtree_widget_t::setModel(QAbstractItemModel *model)
{
  base_dirtree_widget_t::setModel(model);
  dirtree_item_model_base_t *tree = tree_model();
  if ( tree == nullptr )
    return;
  const bool lazy = (tree->options() & dirtree_model_lazy) != 0 && tree->lazy_loader() != nullptr;
  if ( lazy )
    connect(this, &QTreeView::expanded, this, &standalone_dirtree_widget_t::on_folder_expanded, Qt::UniqueConnection);

  QHeaderView *columns = header();
  std::vector<int32_t> widths;
  dirtree_widget_persistence_helper_t *helper = persistence_helper();
  if ( helper == nullptr || !helper->load_column_widths(&widths) || widths.size() != size_t(columns->count()) )
  {
    widths.clear();
    for ( int column = 0; column < columns->count(); ++column )
      widths.push_back(tree->column_width(column, this));
  }
  for ( size_t column = 0; column < widths.size(); ++column )
    if ( widths[column] >= 0 )
      columns->resizeSection(int(column), widths[column]);
  byte_buffer_t visible;
  if ( helper != nullptr && helper->load_columns_visible(&visible) )
    (void)restore_header_sections_visibility(columns, visible);

  if ( lazy && (options() & dirtree_view_persisted) == 0 )
  {
    (void)tree->lazy_loader()->load_path("/", 0);
    (void)flush_model_update();
  }
}

void standalone_dirtree_widget_t::on_folder_expanded(const QModelIndex &index)
{
  if ( (engine_flags() & engine_applying_update) != 0 )
    return;
  dirtree_item_model_base_t *tree = tree_model();
  dirtree_lazy_loader_t *loader = tree != nullptr ? tree->lazy_loader() : nullptr;
  if ( loader == nullptr )
    return;
  const widget_flags_scope_t no_scroll(this, engine_no_auto_scroll);
  loader->on_folder_expanded(index);
}

void standalone_dirtree_widget_t::on_header_section_clicked(int /*section*/)
{
  if ( !sorting_allowed() || isSortingEnabled() )
    return;
  setSortingEnabled(true);
  refresh_unsort_actions();
}

bool standalone_dirtree_widget_t::reload_model(filtered_widget_mixin_update_strategy_t &strategy)
{
  dirtree_widget_state_t state;
  const bool keep_state = (strategy.reason & update_tree_state) != 0;
  int scrolled = 0;
  if ( keep_state )
  {
    // Folder paths: a rebuilt tree numbers its folders anew.
    (void)collect_tree_state(&state, tree_state_folders | tree_state_folder_paths | tree_state_selection |
                                       tree_state_persistent,
                             &strategy.snapshot);
    scrolled = verticalScrollBar()->value();
    if ( auto *lazy = dynamic_cast<standalone_dirtree_item_model_t *>(tree_model()) )
      lazy->preload_expanded_folders(&strategy.snapshot, state);
  }
  set_idle();
  reset_buckets();
  resync_view(strategy.snapshot, 0);
  if ( keep_state )
  {
    // After the rows are in: expanding before would show rows the views were never told of.
    (void)restore_buckets(state);
    verticalScrollBar()->setValue(scrolled);
  }
  if ( (strategy.flags & strategy_restore_own_selection) != 0 && tree_model() != nullptr )
  {
    QItemSelection selection;
    QModelIndex current;
    for ( const dirtree_cursor_t &cursor : strategy.selection )
      if ( const QModelIndex row = tree_model()->index_of_cursor(cursor); row.isValid() && row != rootIndex() )
      {
        selection.select(row, row);
        if ( !current.isValid() )
          current = row;
      }
    view_selection_records_t records;
    add_view_selection(&records, this, selection, current);
    selectionModel()->clearSelection();
    restore_view_selections(records);
  }
  return true;
}

// ---- The engine's operations ------------------------------------------------------------------------------

bool standalone_dirtree_widget_t::find_next_match(QAbstractItemView *view, const char *text)
{
  return jump_match(view, QString::fromUtf8(text), jump_next_substring);
}

bool standalone_dirtree_widget_t::find_match(QAbstractItemView *view, const char *text, int32_t flags)
{
  return jump_match(view, QString::fromUtf8(text), jump_match_flags(flags));
}

void standalone_dirtree_widget_t::jump_to_row(int row)
{
  (void)select_visual_row(row);
}

qstring standalone_dirtree_widget_t::window_title_text()
{
  const QByteArray title = windowTitle().toUtf8();
  return qstring(title.constData(), size_t(title.size()));
}

void standalone_dirtree_widget_t::load_cached_rows(row_cache_t *cache)
{
  struct my_visitor_t final : dirtree_visitor_t
  {
    my_visitor_t(standalone_dirtree_widget_t *widget, row_cache_t *cache) : widget(widget), cache(cache) {}
    int visit(const dirtree_cursor_t & /*cursor*/, const dirtree_entry_t &entry) override
    {
      if ( entry.is_folder || cache->count(entry.id) != 0 )
        return 0;
      item_info_t row(size_t(std::max(widget->column_count(), 1)));
      if ( widget->fetch_row_texts(&row, entry.id) )
        cache->emplace(entry.id, std::move(row));
      return 0;
    }
    standalone_dirtree_widget_t *widget;
    row_cache_t *cache;
  };
  const dirtree_item_model_base_t *model = tree_model();
  if ( model == nullptr )
    return;
  my_visitor_t visitor(this, cache);
  (void)model->current_tree()->visit_entries(visitor);
}

bool standalone_dirtree_widget_t::fetch_row_texts(item_info_t *row, uint64_t key)
{
  qstring name;
  if ( const dirtree_item_model_base_t *model = tree_model() )
    (void)model->current_tree()->entry_name(&name, {key, false}, dirtree_display_name);
  row->set_text(0, name.view());
  return true;
}

void standalone_dirtree_widget_t::sync_view(const view_snapshot_t &snapshot, uint32_t /*reason*/,
                                            view_selection_records_t *records)
{
  sync_view_helper(nullptr, records, snapshot, 0, false);
}

const filter_match_t *standalone_dirtree_widget_t::row_for_index(const QModelIndex &index)
{
  const dirtree_item_model_base_t *model = tree_model();
  if ( model == nullptr || !is_filtering() )
    return nullptr;
  const dirtree_entry_t entry = model->current_tree()->entry_at_cursor(dirtree_item_model_base_t::index_to_cursor(index));
  if ( entry.is_none() || entry.is_folder )
    return nullptr;
  row_cache_t &cache = row_cache();
  const auto found = cache.find(entry.id);
  if ( found == cache.end() || found->second.match.column != index.column() )
    return nullptr;
  return &found->second.match;
}

QColor standalone_dirtree_widget_t::highlight_color(bool selected)
{
  return color_property(selected ? dirtree_style_highlight_bg_selected : dirtree_style_highlight_bg, true);
}

bool standalone_dirtree_widget_t::cut_text_color(QColor *out, const QModelIndex &index)
{
  const dirtree_item_model_base_t *model = tree_model();
  if ( model == nullptr || !model->is_cut(dirtree_item_model_base_t::index_to_cursor(index)) )
    return false;
  const bool selected = selectionModel() != nullptr && selectionModel()->isSelected(index);
  *out = color_property(selected ? dirtree_style_cut_text_selected : dirtree_style_cut_text, true);
  return true;
}

std::unique_ptr<filtered_bucket_t> standalone_dirtree_widget_t::bucket_for_key(uint64_t bucket_key)
{
  dirtree_item_model_base_t *model = tree_model();
  return model != nullptr ? model->create_bucket(bucket_key) : nullptr;
}

void standalone_dirtree_widget_t::expand_all_if_filtered()
{
  if ( is_filtering() )
    expandAll();
}

void standalone_dirtree_widget_t::reset_view_sort()
{
  sortByColumn(-1, Qt::AscendingOrder);
}

void standalone_dirtree_widget_t::column_titles(std::vector<qstring> *titles)
{
  const QAbstractItemModel *shown = model();
  for ( int column = 0; shown != nullptr && column < shown->columnCount(); ++column )
  {
    const QByteArray title = shown->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString().toUtf8();
    titles->emplace_back(title.constData(), size_t(title.size()));
  }
}

void standalone_dirtree_widget_t::view_key_press(const QKeyEvent &event)
{
  QKeyEvent copy(event.type(), event.key(), event.modifiers(), event.text(), event.isAutoRepeat(), ushort(event.count()));
  QTreeView::keyPressEvent(&copy);
}

std::unique_ptr<filtered_widget_mixin_update_strategy_t>
standalone_dirtree_widget_t::make_update_strategy(view_snapshot_t *snapshot, uint32_t reason)
{
  if ( (engine_flags() & engine_no_auto_scroll) != 0 )
    reason |= update_no_auto_scroll;
  return std::make_unique<filtered_widget_mixin_update_strategy_t>(snapshot, reason);
}

int standalone_dirtree_widget_t::column_count()
{
  return model() != nullptr ? model()->columnCount() : 0;
}

uint32_t standalone_dirtree_widget_t::column_flags(int column)
{
  const dirtree_item_model_base_t *model = tree_model();
  if ( model == nullptr || column < 0 || size_t(column) >= model->columns().flags.size() ||
       column >= model->columnCount() )
    return 0;
  return model->columns().flags[size_t(column)];
}

// ---- Events, keys and menus ---------------------------------------------------------------------------------

bool standalone_dirtree_widget_t::event(QEvent *event)
{
  if ( handle_engine_event(this, event) )
    return true;
  if ( event->type() == save_state_event_type )
    save_header_state();
  return base_dirtree_widget_t::event(event);
}

void standalone_dirtree_widget_t::save_header_state()
{
  dirtree_widget_persistence_helper_t *helper = persistence_helper();
  if ( helper == nullptr )
    return;
  std::vector<int32_t> widths;
  for ( int section = 0; section < header()->count(); ++section )
    widths.push_back(header()->sectionSize(section));
  (void)helper->store_column_widths(widths);
  byte_buffer_t visible;
  save_header_sections_visibility(header(), &visible);
  (void)helper->store_columns_visible(visible);
}

bool standalone_dirtree_widget_t::eventFilter(QObject *watched, QEvent *event)
{
  if ( watched == header() && event->type() == QEvent::ContextMenu )
  {
    // The section under the pointer is the one "Hide column" hides.
    static const char *const names[] = {"DirTreeHideColumn"};
    update_action_filter_t filter;
    filter.add_action_names(names, std::size(names));
    if ( !filter.entries.empty() )
      refresh_actions_for(UPDACT_LISTED, nullptr, &filter);
    open_context_menu(static_cast<QContextMenuEvent *>(event));
    return true;
  }
  return base_dirtree_widget_t::eventFilter(watched, event);
}

void standalone_dirtree_widget_t::contextMenuEvent(QContextMenuEvent *event)
{
  open_context_menu(event);
}

void standalone_dirtree_widget_t::open_context_menu(QContextMenuEvent *event)
{
  app_t *app = current_app();
  if ( app == nullptr )
    return;
  popup_menu_ctx_t popup(this);
  app->exec_popup(&popup, event, POPUP_AT_EVENT);
}

void standalone_dirtree_widget_t::populate_popup(void *popup)
{
  auto *context = static_cast<popup_menu_ctx_t *>(popup);
  populate_dirtree_popup(context);
  static constexpr popup_entry_desc_t entries[] = {
    {nullptr, 0, nullptr},
    {"DirTreeQuickFilter", 0, nullptr},
    {"DirTreeModifyFilters", 0, nullptr},
    {"DirTreeResetFilters", 0, nullptr},
    {"DirTreeUnsort", 0, nullptr},
    {nullptr, 0, nullptr},
    {"DirTreeInsert", 0, nullptr},
    {"DirTreeDelete", 0, nullptr},
    {nullptr, 0, nullptr},
    {"DirTreeHideColumn", 0, nullptr},
    {"DirTreeManageColumns", 0, nullptr},
    {nullptr, 0, nullptr},
  };
  QList<popup_entry_t> list;
  fill_popup_entry_list(&list, entries, std::size(entries));
  context->attach_action_list(list);
}

void standalone_dirtree_widget_t::form_activate()
{
  apply_action_look("DirTreeInsert", options_.insert_look);
  apply_action_look("DirTreeDelete", options_.delete_look);
  if ( quick_filter_widget_t *bar = quick_filter() )
    bar->update_mode_actions();
}

void standalone_dirtree_widget_t::keyPressEvent(QKeyEvent *event)
{
  if ( handle_search_key(this, event) || state() != NoState )
    return;
  if ( event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter )
  {
    dirtree_selection_t selection;
    collect_current_selection(selection);
    standalone_dirtree_widget_crud_action_helper_t open(standalone_dirtree_open);
    (void)run_selection_operation(&open, &selection);
  }
  QTreeView::keyPressEvent(event);
}
