// The base tree view: construction, the live views, the model, the selection as cursors, positions and rows,
// tree changes reaching the views, and the scoped change of a tree's current folder.
#include "views/dirtree/base_dirtree_widget.h"

#include "core/internal_error.h"
#include "ui/action_context.h"
#include "ui/app_base.h"
#include "ui/font_domains.h"
#include "ui/widget_factory.h"
#include "views/dirtree/standalone_dirtree_item_model.h"
#include "views/filter/drag_scope.h"
#include "views/filter/filtered_widget_update.h"
#include "views/filter/view_rows_copy.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScrollBar>

#include <algorithm>
#include <set>

namespace
{

// Every constructed tree view, in construction order; GUI thread only.
std::vector<base_dirtree_widget_t *> &live_views()
{
  static std::vector<base_dirtree_widget_t *> views;
  return views;
}

// The selected rows (those whose every selectable column is selected), as QItemSelectionModel::selectedRows(0)
// finds them, in the same order. A row of a range that spans every column is selected when its first column
// can be selected: that answer needs one look at the row instead of one per column and range. `in_view_order`
// tells whether the rows came in the order the view shows them.
std::vector<QModelIndex> selected_rows(const QItemSelectionModel &selection_model, bool *in_view_order)
{
  std::vector<QModelIndex> rows;
  *in_view_order = false;
  const QAbstractItemModel *model = selection_model.model();
  if ( model == nullptr )
    return rows;
  const QItemSelection ranges = selection_model.selection();
  const bool single = ranges.size() == 1;
  // One range of a tree model over every column, as a click and a shift-click make it: its rows are walked in
  // the model's bucket at once, and are in view order. The tree model never takes selectable or enabled away.
  if ( const auto *tree = qobject_cast<const dirtree_item_model_base_t *>(model); tree != nullptr && single )
  {
    const QItemSelectionRange &range = ranges.front();
    const QModelIndex parent = range.parent();
    if ( range.left() == 0 && range.right() == tree->columnCount(parent) - 1 )
    {
      tree->append_row_indexes(&rows, parent, range.top(), range.bottom());
      *in_view_order = true;
      return rows;
    }
  }
  // Ranges may share rows; each row counts once.
  std::set<std::pair<QModelIndex, int>> seen;
  for ( const QItemSelectionRange &range : ranges )
  {
    const QModelIndex parent = range.parent();
    const bool all_columns = range.left() == 0 && range.right() == model->columnCount(parent) - 1;
    rows.reserve(rows.size() + size_t(range.height()));
    for ( int row = range.top(); row <= range.bottom(); ++row )
    {
      if ( !single && !seen.emplace(parent, row).second )
        continue;
      const QModelIndex first = model->index(row, 0, parent);
      const auto selectable = [&first] {
        const Qt::ItemFlags flags = first.flags();
        return flags.testFlag(Qt::ItemIsSelectable) && flags.testFlag(Qt::ItemIsEnabled);
      };
      if ( (all_columns && selectable()) || selection_model.isRowSelected(row, parent) )
        rows.push_back(first);
    }
  }
  return rows;
}

} // namespace

QSize base_dirtree_widget_item_delegate_t::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  size.setHeight(view_->fontMetrics().height() + 2);
  return size;
}

base_dirtree_widget_t::base_dirtree_widget_t(const char *title, uint32_t options, QWidget *parent)
  : QTreeView(parent), options_(options)
{
  // Checked first: a view that fails here must not stay in the live views.
  if ( (options & (dirtree_view_save_state | dirtree_view_persisted | dirtree_view_restore_state)) != 0 &&
       title == nullptr )
    interr(interr_dirtree_view_without_title);
  qRegisterMetaType<dirtree_cursor_t>();
  qRegisterMetaType<dirtree_selection_t>();
  qRegisterMetaType<QItemSelection>();
  QAbstractItemDelegate *previous = itemDelegate();
  setItemDelegate(new base_dirtree_widget_item_delegate_t(this));
  delete previous;
  if ( title != nullptr )
    setWindowTitle(QString::fromUtf8(title));
  if ( app_t *app = current_app(); app != nullptr && app->get_widget_factory() != nullptr )
    helper_.reset(app->get_widget_factory()->new_dirtree_persistence_helper(this));
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers((editTriggers() & ~QAbstractItemView::DoubleClicked) | QAbstractItemView::SelectedClicked);
  setDragEnabled(true);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDropIndicatorShown(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  if ( (options & dirtree_view_no_header) != 0 )
    header()->hide();
  apply_domain_font(this);
  std::vector<base_dirtree_widget_t *> &views = live_views();
  if ( std::find(views.begin(), views.end(), this) == views.end() )
    views.push_back(this);
}

base_dirtree_widget_t::~base_dirtree_widget_t()
{
  std::vector<base_dirtree_widget_t *> &views = live_views();
  views.erase(std::remove(views.begin(), views.end(), this), views.end());
}

dirtree_item_model_base_t *base_dirtree_widget_t::tree_model() const
{
  return qobject_cast<dirtree_item_model_base_t *>(model());
}

void base_dirtree_widget_t::startDrag(Qt::DropActions supported)
{
  filtered_widget_mixin_t *engine = filtered_engine();
  if ( engine == nullptr )
  {
    QTreeView::startDrag(supported);
    return;
  }
  view_snapshot_t snapshot;
  engine->take_snapshot(&snapshot, 7);
  const drag_scope_t scope(engine, this, &snapshot);
  QTreeView::startDrag(supported);
}

bool base_dirtree_widget_t::event(QEvent *event)
{
  if ( event->type() == save_state_event_type && (options_ & dirtree_view_save_state) != 0 )
    save_tree_state();
  return QTreeView::event(event);
}

void base_dirtree_widget_t::setModel(QAbstractItemModel *model)
{
  // The engine's rows and buckets were read from the model being replaced.
  if ( filtered_widget_mixin_t *engine = filtered_engine() )
    engine->reset_buckets();
  QTreeView::setModel(model);
  if ( model != nullptr )
    model->setParent(this);
  dirtree_item_model_base_t *tree = tree_model();
  if ( tree == nullptr )
    return;
  setRootIndex(tree->root_folder_index());
  expand(rootIndex());
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          &base_dirtree_widget_t::on_selection_model_current_changed);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &base_dirtree_widget_t::on_selection_model_selection_changed);
  connect(tree, &QAbstractItemModel::rowsAboutToBeInserted, this,
          &base_dirtree_widget_t::on_model_rows_about_to_be_inserted);
  connect(tree, &QAbstractItemModel::layoutChanged, this, &base_dirtree_widget_t::on_model_layout_changed);
  if ( (options_ & dirtree_view_restore_state) != 0 )
    restore_tree_state();
  if ( (state_flags_ & dirtree_view_state_applied) == 0 )
    expandAll();
}

void base_dirtree_widget_t::save_state_if_enabled()
{
  if ( (options_ & dirtree_view_save_state) != 0 )
    save_tree_state();
}

bool base_dirtree_widget_t::model_supports(int feature) const
{
  const dirtree_item_model_base_t *tree = tree_model();
  return tree != nullptr && tree->supports(feature, rootIndex());
}

// ---- Selection ---------------------------------------------------------------------------------------------

bool base_dirtree_widget_t::cursor_of_index(dirtree_cursor_t *out, const QModelIndex &index) const
{
  const dirtree_item_model_base_t *tree = tree_model();
  if ( tree == nullptr || !index.isValid() )
    return false;
  const dirtree_cursor_t cursor = dirtree_item_model_base_t::index_to_cursor(index);
  if ( tree->current_tree()->entry_at_cursor(cursor).is_none() )
    return false;
  *out = cursor;
  return true;
}

void base_dirtree_widget_t::collect_selection(QModelIndexList *indexes, dirtree_selection_t *cursors,
                                              dirtree_cursor_t *current, uint32_t flags, bool map) const
{
  if ( selectionModel() == nullptr )
    return;
  if ( indexes != nullptr || cursors != nullptr )
  {
    bool in_view_order = false;
    std::vector<QModelIndex> rows = selected_rows(*selectionModel(), &in_view_order);
    if ( (flags & dirtree_view_ordered_selection) != 0 && !in_view_order )
      sort_indexes_in_view_order(const_cast<base_dirtree_widget_t *>(this), &rows);
    // Mapped, a row counts when its cursor names an entry of the model's tree.
    const dirtree_item_model_base_t *tree = map ? tree_model() : nullptr;
    if ( cursors != nullptr && (!map || tree != nullptr) )
    {
      cursors->reserve(cursors->size() + rows.size());
      for ( const QModelIndex &row : rows )
      {
        const dirtree_cursor_t cursor = dirtree_item_model_base_t::index_to_cursor(row);
        if ( !map || !tree->current_tree()->entry_at_cursor(cursor).is_none() )
          cursors->push_back(cursor);
      }
    }
    if ( indexes != nullptr )
      *indexes = QModelIndexList(rows.begin(), rows.end());
  }
  if ( current != nullptr )
  {
    const QModelIndex row = currentIndex().siblingAtColumn(0);
    *current = dirtree_no_cursor;
    if ( !map )
      *current = dirtree_item_model_base_t::index_to_cursor(row);
    else if ( !cursor_of_index(current, row) )
      *current = dirtree_no_cursor;
  }
}

void base_dirtree_widget_t::collect_current_selection(dirtree_selection_t &out)
{
  if ( filtered_widget_mixin_t *engine = filtered_engine() )
    engine->flush_model_update();
  out.clear();
  collect_selection(nullptr, &out, nullptr, options_, true);
}

void base_dirtree_widget_t::on_selection_model_current_changed(const QModelIndex &current,
                                                               const QModelIndex & /*previous*/)
{
  dirtree_cursor_t cursor = dirtree_no_cursor;
  if ( !cursor_of_index(&cursor, current) )
    cursor = dirtree_no_cursor;
  emit current_changed(cursor);
  const filtered_widget_mixin_t *engine = filtered_engine();
  if ( engine == nullptr || (engine->engine_flags() & engine_syncing_rows) == 0 )
    refresh_actions_for(6, this, nullptr);
}

void base_dirtree_widget_t::on_selection_model_selection_changed(const QItemSelection & /*selected*/,
                                                                 const QItemSelection & /*deselected*/)
{
  filtered_widget_mixin_t *engine = filtered_engine();
  if ( engine != nullptr && (engine->engine_flags() & engine_syncing_rows) != 0 )
    return;
  if ( engine != nullptr )
    engine->flush_model_update();
  dirtree_selection_t selection;
  collect_selection(nullptr, &selection, nullptr, options_, true);
  emit selection_changed(selection);
  refresh_actions_for(6, this, nullptr);
}

void base_dirtree_widget_t::on_model_rows_about_to_be_inserted(const QModelIndex &parent, int /*first*/, int /*last*/)
{
  expand_if_syncing(parent);
}

void base_dirtree_widget_t::expand_if_syncing(const QModelIndex &index)
{
  const filtered_widget_mixin_t *engine = filtered_engine();
  if ( engine == nullptr || isExpanded(index) )
    return;
  if ( engine->sync_counter > 0 || (expand_inserted_ && (engine->engine_flags() & engine_applying_update) != 0) )
    expand(index);
}

void base_dirtree_widget_t::on_model_layout_changed()
{
  // The engine tells the layout change after every row change of an update: that update's new rows are in.
  const filtered_widget_mixin_t *engine = filtered_engine();
  if ( engine != nullptr && (engine->engine_flags() & engine_applying_update) != 0 )
    expand_inserted_ = false;
}

// ---- Folders and positions --------------------------------------------------------------------------------

bool base_dirtree_widget_t::current_folder_info(folder_info_t *out, uint32_t flags) const
{
  QModelIndex source;
  if ( (flags & folder_info_current) != 0 )
    source = currentIndex();
  else if ( selectionModel() != nullptr && !selectionModel()->selectedRows(0).isEmpty() )
    source = selectionModel()->selectedRows(0).front();
  if ( !source.isValid() )
    return false;
  return folder_info_of_cursor(out, dirtree_item_model_base_t::index_to_cursor(source), flags);
}

bool base_dirtree_widget_t::folder_info_of_cursor(folder_info_t *out, const dirtree_cursor_t &cursor,
                                                  uint32_t flags) const
{
  const dirtree_item_model_base_t *tree = tree_model();
  out->entry = cursor;
  if ( tree == nullptr || is_empty_cursor(cursor) )
    return false;
  directory_tree_t *current = tree->current_tree();
  dirtree_cursor_t folder = cursor;
  if ( (flags & folder_info_folder_of_item) != 0 && !current->entry_at_cursor(cursor).is_folder )
  {
    folder = current->parent_cursor_of_folder(uint64_t(cursor.folder));
    if ( is_empty_cursor(folder) )
      return false;
  }
  out->folder = folder;
  if ( (flags & folder_info_path) != 0 )
    current->cursor_text(&out->path, folder, 0);
  return true;
}

void base_dirtree_widget_t::collect_view_position(view_position_t *out, uint32_t flags) const
{
  const QScrollBar *bar = verticalScrollBar();
  const auto visual_row = [&](const QRect &rect) {
    const int height = std::max(rect.height(), 1);
    return verticalScrollMode() == QAbstractItemView::ScrollPerPixel ? (bar->value() + rect.bottom()) / height
                                                                     : bar->value() + rect.bottom() / height;
  };
  if ( (flags & view_position_current) != 0 && currentIndex().isValid() )
  {
    const QRect rect = visualRect(currentIndex());
    if ( rect.isValid() )
    {
      out->current_row = visual_row(rect);
      const dirtree_cursor_t cursor = dirtree_item_model_base_t::index_to_cursor(currentIndex());
      if ( !is_empty_cursor(cursor) && tree_model() != nullptr )
        tree_model()->current_tree()->cursor_text(&out->current_path, cursor, dirtree_display_name);
    }
  }
  if ( (flags & view_position_selected) != 0 && selectionModel() != nullptr )
    for ( const QModelIndex &row : selectionModel()->selectedRows(0) )
      if ( const QRect rect = visualRect(row); rect.isValid() )
        out->selected_rows.push_back(visual_row(rect));
  const QAbstractItemModel *shown = model();
  QModelIndex last = rootIndex();
  while ( shown != nullptr && shown->rowCount(last) > 0 && (last == rootIndex() || isExpanded(last)) )
    last = shown->index(shown->rowCount(last) - 1, 0, last);
  const QRect rect = last != rootIndex() ? visualRect(last) : QRect();
  out->row_count = rect.isValid() ? visual_row(rect) + 1 : 0;
}

QModelIndex base_dirtree_widget_t::index_at_visual_row(int n, int column) const
{
  if ( model() == nullptr || n < 0 )
    return {};
  QModelIndex row = model()->index(0, 0, rootIndex());
  for ( int i = 0; i < n && row.isValid(); ++i )
    row = indexBelow(row);
  return row.isValid() ? row.siblingAtColumn(column) : QModelIndex();
}

bool base_dirtree_widget_t::select_visual_row(int n)
{
  const QModelIndex row = index_at_visual_row(n, 0);
  if ( !row.isValid() )
    return false;
  selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollTo(row);
  return true;
}

void base_dirtree_widget_t::remove_empty_folders(const std::vector<qstring> &paths)
{
  dirtree_item_model_base_t *tree = tree_model();
  if ( tree == nullptr )
    return;
  tree->drop_snapshot_tree();
  directory_tree_t *live = tree->tree();
  for ( const qstring &path : paths )
  {
    if ( path == "/" )
      continue;
    const dirtree_entry_t entry = live->entry_of_path(path.c_str());
    if ( entry.is_folder && !entry.is_none() && live->folder_size(entry.id) == 0 )
      (void)live->remove_empty_folder(path.c_str());
  }
}

void base_dirtree_widget_t::collect_entries_below(std::vector<uint64_t> *inodes, std::vector<qstring> *folder_paths,
                                                  const dirtree_cursor_t &cursor, int depth) const
{
  dirtree_item_model_base_t *tree = tree_model();
  filtered_widget_mixin_t *engine = filtered_engine();
  if ( tree == nullptr || engine == nullptr )
    return;
  directory_tree_t *current = tree->current_tree();
  std::set<uint64_t> seen(inodes->begin(), inodes->end());
  struct pending_t
  {
    dirtree_cursor_t cursor;
    int depth;
    bool leaving; // the folder's rows were entered: its path comes now
  };
  std::vector<pending_t> pending {{cursor, depth, false}};
  while ( !pending.empty() )
  {
    const pending_t next = pending.back();
    pending.pop_back();
    if ( next.depth <= 0 )
      continue;
    const dirtree_entry_t entry = current->entry_at_cursor(next.cursor);
    if ( entry.is_none() )
      continue;
    if ( !entry.is_folder )
    {
      if ( seen.insert(entry.id).second )
        inodes->push_back(entry.id);
      continue;
    }
    if ( next.leaving )
    {
      qstring path;
      current->cursor_text(&path, next.cursor, 0);
      if ( folder_paths != nullptr && !path.empty() )
        folder_paths->push_back(std::move(path));
      continue;
    }
    pending.push_back({next.cursor, next.depth, true});
    const auto *bucket = static_cast<const folder_data_t *>(engine->cached_bucket(entry.id));
    if ( bucket == nullptr || bucket->shown_count() != bucket->row_map.size() ||
         bucket->row_map.size() != current->folder_size(entry.id) )
      continue;
    // Pushed in reverse so that rows are taken in their order.
    for ( size_t row = bucket->row_map.size(); row-- > 0; )
      pending.push_back({{int64_t(entry.id), bucket->row_map[row]}, next.depth - 1, false});
  }
}

// ---- Tree changes ------------------------------------------------------------------------------------------

// Posts an update from a fresh snapshot unless the view cannot take one now; true when it posted.
bool resync_dirtree_view(base_dirtree_widget_t *view, uint64_t code)
{
  filtered_widget_mixin_t *engine = view->filtered_engine();
  if ( engine == nullptr )
    return false;
  const uint32_t flags = engine->engine_flags();
  if ( (flags & engine_idle) == 0 || engine->drag_counter > 0 || (flags & engine_selecting) != 0 ||
       engine->updates_suppressed() )
    return false;
  view_snapshot_t snapshot;
  engine->take_snapshot(&snapshot, 7);
  engine->post_update_strategy(engine->make_update_strategy(&snapshot, 7), false);
  if ( (engine->engine_flags() & engine_idle) != 0 )
    return false;
  if ( code == dirtree_folder_created || code == dirtree_item_linked )
    view->expand_inserted_ = true;
  return true;
}

void refresh_views_of_dirtree(directory_tree_t *tree, uint64_t code, va_list args)
{
  // A copy: a view's resync may reach views made or destroyed meanwhile only through later events.
  const std::vector<base_dirtree_widget_t *> views = live_views();
  for ( base_dirtree_widget_t *view : views )
  {
    dirtree_item_model_base_t *model = view->tree_model();
    if ( model == nullptr || model->current_tree() != tree )
      continue;
    if ( code == dirtree_folder_created )
      if ( dirtree_lazy_loader_t *loader = model->lazy_loader(); loader != nullptr && loader->loading() )
      {
        va_list copy;
        va_copy(copy, args);
        const char *path = va_arg(copy, const char *);
        va_end(copy);
        const dirtree_entry_t entry = tree->entry_of_path(path);
        if ( entry.is_folder && !entry.is_none() )
          loader->add_pending(entry.id);
      }
    const filtered_widget_mixin_t *engine = view->filtered_engine();
    if ( engine != nullptr && (engine->engine_flags() & engine_applying_update) == 0 )
      resync_dirtree_view(view, code);
  }
}

// ---- The scoped current folder ----------------------------------------------------------------------------

scoped_dirtree_chdir_t::scoped_dirtree_chdir_t(base_dirtree_widget_t *view, const char *path)
{
  view_.watch_object(view);
  if ( view == nullptr || view->tree_model() == nullptr )
    return;
  base_dirtree_widget_t::folder_info_t info;
  if ( path == nullptr )
  {
    if ( !view->current_folder_info(&info, folder_info_path | folder_info_folder_of_item) )
      return;
    path = info.path.c_str();
  }
  directory_tree_t *tree = view->tree_model()->current_tree();
  tree->current_folder_path(&saved_path_);
  (void)tree->change_folder(path);
}

scoped_dirtree_chdir_t::~scoped_dirtree_chdir_t()
{
  auto *view = static_cast<base_dirtree_widget_t *>(view_.watched());
  if ( view != nullptr && view->tree_model() != nullptr && !saved_path_.empty() )
    (void)view->tree_model()->current_tree()->change_folder(saved_path_.c_str());
}
