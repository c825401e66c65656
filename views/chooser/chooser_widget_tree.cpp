// The chooser widget's folder forms: switching between the table, the folders beside it and the full tree, the
// tree's selection in rows, and the configuration that saves the form.
#include "views/chooser/chooser_widget.h"

#include "core/internal_error.h"
#include "core/json_value.h"
#include "ui/docks/desktop_widgets.h"
#include "views/chooser/chooser_dirtree.h"
#include "views/chooser/chooser_flat_bucket.h"
#include "views/chooser/chooser_table.h"
#include "views/filter/filtered_item_view_style.h"

#include <QHeaderView>
#include <QSplitter>

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace {

// Internal error: a tree mode other than the three.
constexpr int32_t interr_chooser_tree_mode = 41067;

constexpr const char *mode_names[] = {"no_tree", "folders_only", "full_tree"};

void hide_view(QAbstractItemView *view)
{
  if ( view->selectionModel() != nullptr )
    view->selectionModel()->clear();
  view->hide();
}

} // namespace

const char *chooser_tree_mode_name(int32_t mode)
{
  if ( mode < chooser_widget_t::no_tree || mode > chooser_widget_t::full_tree )
    interr(interr_chooser_tree_mode);
  return mode_names[mode];
}

bool chooser_widget_t::tree_editable() const
{
  const uint32_t editable = chooser_can_edit | chooser_tree_editable;
  return (source_->flags & editable) == editable;
}

void chooser_widget_t::edit_selection()
{
  qvector<uint64_t> rows;
  if ( (source_->flags & chooser_can_edit) != 0 && get_selected_indexes(&rows) > 0 )
    run_source_action(chooser_row_op_t::edit, whole_folders, refresh_reason);
}

// ---- Switching forms ---------------------------------------------------------------------------------------

void chooser_widget_t::set_tree_mode(int32_t mode, const chooser_widget_setup_t *setup)
{
  if ( mode < no_tree || mode > full_tree )
    interr(interr_chooser_tree_mode);
  if ( folders_ == nullptr )
    mode = no_tree;
  widget_flags |= switching_mode;
  const chooser_header_status_t header_status = capture_header_status();
  const bool changed = mode != tree_mode_;
  chooser_selection_t selection;
  if ( changed )
    (void)get_selection(&selection, 3);
  tree_mode_ = mode;

  bool made = false;
  if ( mode != no_tree )
  {
    if ( tree_view_ == nullptr )
    {
      build_tree_view(setup);
      made = true;
    }
    else
      tree_model_->set_folders_only(mode == folders_only);
  }
  if ( tree_view_ != nullptr )
  {
    if ( mode == no_tree )
      hide_view(tree_view_);
    else
      tree_view_->show();
    if ( mode == full_tree )
      hide_view(table_);
    else
      table_->show();
  }
  // The buckets of one form mean nothing in another (folders_only lists one folder's items in the table).
  if ( !made )
    reset_buckets();

  table_->setDragEnabled(mode == folders_only);
  table_->setDragDropMode(mode == folders_only ? QAbstractItemView::DragOnly : QAbstractItemView::NoDragDrop);
  on_tree_selection_changed({});

  if ( tree_view_ != nullptr )
  {
    QHeaderView *tree_header = tree_view_->header();
    disconnect(tree_header, &QHeaderView::sectionClicked, this, &chooser_widget_t::on_header_section_clicked);
    disconnect(tree_header, &QHeaderView::sectionResized, this, &chooser_widget_t::on_header_section_resized);
    if ( mode == full_tree )
    {
      connect(tree_header, &QHeaderView::sectionClicked, this, &chooser_widget_t::on_header_section_clicked);
      connect(tree_header, &QHeaderView::sectionResized, this, &chooser_widget_t::on_header_section_resized);
    }
    if ( mode != no_tree )
    {
      reset_buckets();
      emit tree_model_->layoutChanged();
    }
    transfer_header_status(header_status);
  }
  if ( setup != nullptr )
  {
    QHeaderView *header = shown_header();
    const std::vector<int32_t> &widths = setup->columns_desc.widths;
    for ( int i = 0; i < header->count() && size_t(i) < widths.size(); ++i )
      if ( widths[size_t(i)] >= 0 )
        header->resizeSection(i, widths[size_t(i)]);
  }
  if ( changed )
  {
    item_view()->setFocus();
    apply_selection(selection, apply_rows | apply_current | keep_folder_entries);
  }
  widget_flags &= ~switching_mode;
  setFocusProxy(item_view());
}

void chooser_widget_t::build_tree_view(const chooser_widget_setup_t *setup)
{
  chooser_columns_desc_t desc;
  if ( setup != nullptr )
    desc = setup->columns_desc;
  else
    desc.options = 0x70;
  desc.titles.emplace_back("Folders");
  desc.title_words.resize(desc.titles.size(), 0);
  if ( tree_mode_ == folders_only )
    desc.options |= int32_t(dirtree_model_folders_only);

  int name_column = -1;
  if ( source_->widths != nullptr )
    for ( int i = 0; i < source_->columns && name_column < 0; ++i )
      if ( (source_->widths[i] & column_names_item) != 0 )
        name_column = i;

  dirtree_columns_t columns;
  columns.titles = desc.titles;
  columns.widths = desc.widths;
  columns.flags.assign(desc.title_words.begin(), desc.title_words.end());
  columns.options = uint32_t(desc.options);

  const QByteArray name = (windowTitle() + QStringLiteral(":tree")).toUtf8();
  const uint32_t options =
    setup != nullptr && (setup->source->flags & chooser_tree_without_state) != 0 ? 0 : 7;
  tree_view_ = new chooser_dirtree_widget_t(this, name.constData(), options, nullptr);
  tree_model_ = new chooser_dirtree_item_model_t(this, folders_, std::move(columns), name_column);
  tree_model_->setParent(tree_view_);
  reset_buckets();
  tree_view_->setModel(tree_model_);
  tree_view_->setStyle(shared_filtered_item_view_style());
  tree_view_->header()->setStretchLastSection(true);
  tree_view_->setSelectionMode(table_->selectionMode());

  connect(tree_view_, &base_dirtree_widget_t::current_changed, this, &chooser_widget_t::on_tree_current_changed);
  connect(tree_view_, &base_dirtree_widget_t::selection_changed, this, &chooser_widget_t::on_tree_selection_changed);
  connect(tree_view_, &QAbstractItemView::doubleClicked, this, &chooser_widget_t::on_tree_item_double_clicked);
  splitter_->insertWidget(0, tree_view_);
  tree_view_->installEventFilter(this);
  tree_view_->header()->setSectionsClickable(sorting_allowed());
}

void chooser_widget_t::transfer_header_status(const chooser_header_status_t &status)
{
  const uint32_t copying_before = widget_flags & copying_header;
  widget_flags |= copying_header;
  const auto apply = [&](QHeaderView *header, bool with_sorting) {
    for ( int i = 0; i < header->count(); ++i )
    {
      const bool hidden = size_t(i) < status.visible.size() && status.visible[size_t(i)] == 0;
      header->setSectionHidden(i, hidden);
      if ( !hidden && size_t(i) < status.widths.size() && status.widths[size_t(i)] > 0 )
        header->resizeSection(i, status.widths[size_t(i)]);
    }
    if ( !with_sorting )
      return;
    if ( status.sort_section >= 0 )
    {
      header->setSortIndicatorShown(true);
      header->setSortIndicator(status.sort_section, status.descending != 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
    }
    else
      header->setSortIndicator(-1, Qt::AscendingOrder);
  };
  QHeaderView *tree_header = tree_view_->header();
  switch ( tree_mode_ )
  {
    case no_tree:
      apply(table_->horizontalHeader(), true);
      if ( status.sort_section >= 0 && !table_->isSortingEnabled() )
        table_->setSortingEnabled(true);
      break;
    case folders_only:
      for ( int i = 1; i < tree_header->count(); ++i )
        tree_header->setSectionHidden(i, true);
      tree_view_->setSortingEnabled(false);
      tree_header->setSectionsClickable(false);
      tree_header->setSortIndicatorShown(false);
      apply(table_->horizontalHeader(), false);
      break;
    case full_tree:
      tree_header->setSectionsClickable(sorting_allowed());
      apply(tree_header, true);
      if ( status.sort_section >= 0 && !tree_view_->isSortingEnabled() )
        tree_view_->setSortingEnabled(true);
      break;
    default:
      interr(interr_chooser_tree_mode);
  }
  widget_flags = (widget_flags & ~copying_header) | copying_before;
}

// ---- The tree's selection ----------------------------------------------------------------------------------

void chooser_widget_t::add_tree_selection(const view_snapshot_t &snapshot, uint32_t flags,
                                          chooser_selection_t *selection)
{
  const auto add = [&](uint64_t inode) {
    if ( const int64_t row = row_of_inode(inode);
         row >= 0 && std::find(selection->rows.begin(), selection->rows.end(), uint64_t(row)) == selection->rows.end() )
      selection->rows.push_back(uint64_t(row));
  };
  for ( const view_bucket_record_t &record : snapshot.buckets )
  {
    const auto *folder = dynamic_cast<const folder_data_t *>(record.selected.get());
    if ( record.key == flat_root_key || folder == nullptr )
      continue;
    for ( const dirtree_entry_t &entry : folder->entries )
    {
      if ( !entry.is_folder )
      {
        add(entry.id);
        continue;
      }
      if ( (flags & whole_folders) == 0 )
        continue;
      const dirtree_cursor_t cursor = tree_model_->current_tree()->parent_cursor_of_folder(entry.id);
      if ( is_empty_cursor(cursor) )
        continue;
      std::vector<uint64_t> inodes;
      tree_view_->collect_entries_below(&inodes, nullptr, cursor, 64);
      for ( const uint64_t inode : inodes )
        add(inode);
    }
  }
}

void chooser_widget_t::tree_selection_to_snapshot(view_snapshot_t *snapshot, const chooser_selection_t &selection,
                                                  int64_t current, uint32_t flags)
{
  directory_tree_t *tree = tree_model_->current_tree();
  const auto record_of = [&](uint64_t folder) -> view_bucket_record_t & {
    for ( view_bucket_record_t &record : snapshot->buckets )
      if ( record.key == folder )
        return record;
    const filtered_bucket_t *shown = cached_bucket(folder);
    snapshot->buckets.push_back(view_bucket_record_t {folder, shown != nullptr ? shown->shown_count() : 0, true, nullptr});
    return snapshot->buckets.back();
  };
  const auto entry_bucket = [&](uint64_t folder, uint64_t inode) {
    auto bucket = std::make_unique<chooser_folder_data_t>(this);
    bucket->folder = int64_t(folder);
    bucket->tree = tree;
    bucket->entries.push_back({inode, false});
    return bucket;
  };
  if ( (flags & apply_rows) != 0 )
  {
    for ( view_bucket_record_t &record : snapshot->buckets )
      if ( record.key != flat_root_key && (flags & keep_folder_entries) == 0 )
        record.selected.reset();
    for ( const uint64_t row : selection.rows )
    {
      const uint64_t inode = source_->item_inode(row);
      dirtree_cursor_t cursor;
      if ( inode == no_inode || tree->cursor_of_entry(&cursor, {inode, false}) != dirtree_ok || cursor.folder < 0 )
        continue;
      view_bucket_record_t &record = record_of(uint64_t(cursor.folder));
      if ( record.selected == nullptr )
        record.selected = entry_bucket(uint64_t(cursor.folder), inode);
      else
        static_cast<folder_data_t &>(*record.selected).entries.push_back({inode, false});
    }
  }
  if ( (flags & apply_current) != 0 && current >= 0 )
  {
    const uint64_t inode = source_->item_inode(uint64_t(current));
    dirtree_cursor_t cursor;
    if ( inode != no_inode && tree->cursor_of_entry(&cursor, {inode, false}) == dirtree_ok && cursor.folder >= 0 )
      snapshot->current = entry_bucket(uint64_t(cursor.folder), inode);
  }
}

void chooser_widget_t::on_tree_selection_changed(const dirtree_selection_t &selection)
{
  if ( tree_view_ == nullptr )
    return;
  if ( tree_mode_ == full_tree )
  {
    on_table_selection_changed({});
    return;
  }
  if ( tree_mode_ != folders_only )
    return;
  qstring path("/");
  directory_tree_t *tree = tree_model_->current_tree();
  if ( !selection.empty() )
  {
    const dirtree_entry_t entry = tree->entry_at_cursor(selection.front());
    qstring text;
    if ( !entry.is_none() && entry.is_folder && tree->cursor_text(&text, selection.front(), 0) && !text.empty() )
      path = std::move(text);
  }
  view_snapshot_t snapshot;
  take_snapshot(&snapshot, 3);
  (void)tree->change_folder(path.c_str());
  drop_buckets(flat_root_key);
  if ( (engine_flags() & engine_syncing) != 0 )
    post_model_update(refresh_reason, false);
  else
    resync_view(snapshot, 0);
}

void chooser_widget_t::on_tree_current_changed(const dirtree_cursor_t & /*cursor*/)
{
  if ( tree_mode_ == full_tree )
    on_table_current_changed();
}

void chooser_widget_t::on_tree_item_double_clicked(const QModelIndex &index)
{
  // In an editable source the view's editing took the double click.
  if ( tree_mode_ == full_tree && !tree_editable() )
    itemDoubleClicked(index);
}

// ---- Configuration -----------------------------------------------------------------------------------------

void chooser_widget_t::write_config(IGetWidgetConfigEvent *event)
{
  const auto set = [&](const char *key, const std::string &text) {
    json_value_t *value = json_object_find(&event->members, key, 0);
    if ( value == nullptr )
    {
      json_member_t *member = json_object_append_member(&event->members);
      member->key = key;
      value = &member->value;
    }
    json_set_string(value, new qstring(text.c_str()));
  };
  size_t count = 0;
  const uint8_t *bytes = source_->identity_bytes(&count);
  if ( bytes != nullptr && count > 0 && !(count == 1 && bytes[0] == 0) )
  {
    std::string hex;
    char digits[3];
    for ( size_t i = 0; i < count; ++i )
    {
      std::snprintf(digits, sizeof(digits), "%02X", unsigned(bytes[i]));
      hex += digits;
    }
    set("id", hex);
  }
  set("tree_mode", chooser_tree_mode_name(tree_mode_));
}

void chooser_widget_t::read_config(const ISetWidgetConfigEvent *event)
{
  if ( event->config == nullptr || folders_ == nullptr )
    return;
  const json_value_t *value = json_object_find(event->config, "tree_mode", JSON_STRING);
  if ( value == nullptr )
    return;
  const std::string_view text = json_get_string(value);
  const auto *found = std::find(std::begin(mode_names), std::end(mode_names), text);
  if ( found == std::end(mode_names) )
    return;
  const auto mode = int32_t(found - std::begin(mode_names));
  if ( mode == tree_mode_ )
    return;
  set_tree_mode(mode, nullptr);
  refresh_items(nullptr, refresh_reason, false);
}
