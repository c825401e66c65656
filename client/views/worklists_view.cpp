// The Worklists view: its items, model, widget, the picker dialog and the view's entry points.
#include "client/views/worklists_view.h"

#include "client/app/akui_app.h"
#include "client/app/arkive_with_events.h"
#include "client/commands/worklist_choice.h"
#include "client/commands/worklist_commands.h"
#include "client/views/file_row_state.h"
#include "core/clock_time.h"
#include "core/internal_error.h"
#include "core/number_format.h"
#include "core/ui_callback.h"
#include "repo/revision_texts.h"
#include "ui/docks/dock_area.h"
#include "ui/docks/dock_node.h"
#include "ui/docks/dock_widget.h"
#include "ui/icon_registry.h"
#include "ui/main_window.h"
#include "ui/layout_helpers.h"
#include "ui/popup_menu.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"
#include "views/dirtree/base_dirtree_widget.h"
#include "views/dirtree/dirtree_paths.h"
#include "views/dirtree/dirtree_view_state.h"
#include "views/filter/filtered_widget_update.h"
#include "views/filter/item_info.h"

#include <QVBoxLayout>

#include <sys/stat.h>

namespace {

constexpr const char *worklists_title = "Worklists";
constexpr const char *worklists_icon = "icons/widgets/worklists_widget.svg";
// The registry's size of a file whose local size is not known.
constexpr uint64_t unknown_size = ~uint64_t(0);

// The columns the flags choose, and the kind of each (for a constructor's base: kinds may be null).
dirtree_columns_t worklist_columns(uint32_t column_flags, std::vector<uint32_t> *kinds)
{
  std::vector<uint32_t> ignored;
  if ( kinds == nullptr )
    kinds = &ignored;
  dirtree_columns_t columns;
  const auto add = [&](uint32_t kind, const char *title, int32_t width, uint32_t flags) {
    columns.titles.emplace_back(title);
    columns.widths.push_back(width);
    columns.flags.push_back(flags);
    kinds->push_back(kind);
  };
  add(worklist_column_name, "Name", 32, 1);
  if ( (column_flags & worklist_column_changed) != 0 )
    add(worklist_column_changed, "Last changed", 20, 1);
  if ( (column_flags & worklist_column_size) != 0 )
    add(worklist_column_size, "Size", -1, column_flags_decimal);
  if ( (column_flags & worklist_column_description) != 0 )
    add(worklist_column_description, "Description", -1, 0);
  columns.options = dirtree_model_drag_drop | dirtree_model_cut_paste | dirtree_model_owns_tree;
  return columns;
}

qstring time_text(uint64_t packed)
{
  char buffer[64];
  if ( format_packed_time(buffer, sizeof(buffer), "%F %T", packed) == 0 )
    return {};
  return qstring(buffer);
}

bool is_current_site(const qstring &site)
{
  return site == akui_app()->current_site_name();
}

// The local size and time of a file of the work directory; false when it is not there or is a folder.
bool stat_local_file(const worklist_file_t &file, uint64_t *size, uint64_t *time)
{
  qstring local;
  if ( !akui_app()->to_local_path(&local, file.path.c_str()) )
    return false;
  struct stat st {};
  if ( ::stat(local.c_str(), &st) != 0 || S_ISDIR(st.st_mode) )
    return false;
  *size = uint64_t(st.st_size);
  *time = pack_time(int64_t(st.st_mtim.tv_sec), uint32_t(st.st_mtim.tv_nsec / 1000));
  return true;
}

} // namespace

// ---- Items ----------------------------------------------------------------------------------------------------

bool worklists_dirspec_t::item_name(qstring *out, uint64_t inode, uint32_t name_flags)
{
  const std::string *registered = model != nullptr ? model->item_registry.path_of(inode) : nullptr;
  if ( registered == nullptr )
    return false;
  if ( out == nullptr )
    return true;
  // Only '/' separates: a server path may hold a backslash inside its name.
  const std::string_view path(*registered);
  const size_t slash = path.rfind('/');
  *out = qstring(slash == std::string_view::npos ? path : path.substr(slash + 1));
  if ( (name_flags & dirtree_display_name) != 0 )
    if ( const worklist_file_t *file = static_cast<const worklists_item_model_t *>(model)->worklist_file_of_path(path);
         file != nullptr )
    {
      *out = file->path;
      *out += format_revision_pair(file->site_revision, file->last_revision);
    }
  return true;
}

// ---- The model --------------------------------------------------------------------------------------------------

worklists_item_model_t::worklists_item_model_t(std::unique_ptr<directory_tree_t> tree, worklists_dirspec_t *dirspec,
                                               uint32_t column_flags, bool files_shown,
                                               worklists_dirtree_widget_t *owner)
  : files_dirtree_item_model_t(std::move(tree), dirspec, worklist_columns(column_flags, nullptr), owner),
    dirspec_(dirspec), files_shown_(files_shown), owner_(owner)
{
  (void)worklist_columns(column_flags, &column_kinds_);
}

worklists_item_model_t::~worklists_item_model_t()
{
  dirspec_->model = nullptr;
}

bool worklists_item_model_t::hasChildren(const QModelIndex &parent) const
{
  worklist_key_t key;
  if ( parent.isValid() && worklist_key_of_cursor(index_to_cursor(parent), &key) )
    return files_shown_ && files_dirtree_item_model_t::hasChildren(parent);
  return files_dirtree_item_model_t::hasChildren(parent);
}

QVariant worklists_item_model_t::worklist_row_data(const worklist_info_t &record, uint32_t kind) const
{
  switch ( kind )
  {
  case worklist_column_name:
  {
    qstring text;
    format_to_string(&text, "%d, %s@%s", record.number, record.user.c_str(), record.site.c_str());
    return QString::fromUtf8(text.c_str());
  }
  case worklist_column_changed:
    return QString::fromUtf8(time_text(record.changed).c_str());
  case worklist_column_size:
    return QString::number(record.size);
  case worklist_column_description:
    return QString::fromUtf8(record.description.c_str());
  default:
    return {};
  }
}

QVariant worklists_item_model_t::bucket_item_data(filtered_bucket_t &bucket, const QModelIndex &index, int role) const
{
  if ( size_t(index.column()) >= column_kinds_.size() )
    interr(interr_worklists_column);
  const dirtree_cursor_t cursor = index_to_cursor(index);
  worklist_key_t key;
  if ( worklist_key_of_cursor(cursor, &key) )
  {
    if ( role == Qt::FontRole || role == Qt::ForegroundRole )
      return {};
    if ( role == Qt::DisplayRole || role == Qt::EditRole )
      if ( const worklist_info_t *record = worklist_of_key(key); record != nullptr )
        return worklist_row_data(*record, column_kinds_[size_t(index.column())]);
  }
  return files_dirtree_item_model_t::bucket_item_data(bucket, index, role);
}

bool worklists_item_model_t::drop_entries(const QMimeData *data, int /*row*/, const QModelIndex &parent)
{
  std::vector<dirtree_path_entry_t> entries;
  qstring target_path;
  dirtree_cursor_t target = dirtree_no_cursor;
  worklist_key_t key;
  if ( !decode_inodes_drop(&entries, &target_path, &target, data, parent) || !worklist_key_of_cursor(target, &key) )
    return false;
  (void)migrate_entries_to_worklist(*this, entries, key);
  return true;
}

void worklists_item_model_t::move_entries_on_drop(const std::vector<dirtree_path_entry_t> &entries,
                                                  const char *target_path, const dirtree_entry_t &target, int,
                                                  std::vector<qstring> *)
{
  // Only a worklist folder directly under the root takes files.
  if ( !target.is_folder || target_path == nullptr )
    return;
  qstring folder;
  if ( !split_dirtree_path(&folder, nullptr, target_path) || folder != "/" )
    return;
  const std::optional<worklist_key_t> key = parse_worklist_path(target_path);
  if ( key.has_value() && worklist_of_key(*key) != nullptr )
    (void)migrate_entries_to_worklist(*this, entries, *key);
}

void worklists_item_model_t::preload_expanded_folders(view_snapshot_t *snapshot, const dirtree_widget_state_t &state)
{
  // Not the file trees' preload: that one empties the item registry, and the items would change inodes.
  standalone_dirtree_item_model_t::preload_expanded_folders(snapshot, state);
  reset_items();
  load_worklists();
  // The tree was built anew: each folder the snapshot knows by its old number gets the number of its path.
  std::map<uint64_t, uint64_t> renumbered;
  for ( const dirtree_folder_state_t &folder : state.folders )
  {
    const dirtree_entry_t entry = tree()->entry_of_path(folder.path.c_str());
    renumbered[folder.key] = entry.is_folder ? entry.id : dirtree_none;
  }
  for ( view_bucket_record_t &record : snapshot->buckets )
    if ( const auto found = renumbered.find(record.key); found != renumbered.end() )
      record.key = found->second;
}

bool worklists_item_model_t::worklist_key_of_cursor(const dirtree_cursor_t &cursor, worklist_key_t *out) const
{
  if ( is_empty_cursor(cursor) || cursor.folder != 0 )
    return false;
  const dirtree_entry_t entry = current_tree()->entry_at_cursor(cursor);
  if ( entry.is_none() || !entry.is_folder )
    return false;
  qstring path;
  if ( !current_tree()->cursor_text(&path, cursor, 0) )
    return false;
  std::optional<worklist_key_t> key = parse_worklist_path(path.view());
  if ( !key.has_value() )
    return false;
  if ( out != nullptr )
    *out = std::move(*key);
  return true;
}

void worklists_item_model_t::fetch_worklists()
{
  akui_app_t *app = akui_app();
  if ( !app->has_usable_connection() )
    return;
  const char *filter = owner_ != nullptr && owner_->show_all ? "*" : nullptr;
  qvector<worklist_info_t> records;
  if ( const int code = app->facade.get_worklists(&records, filter, filter, -1); code != 0 )
  {
    show_server_error(code, "Failed to retrieve worklists");
    return;
  }
  worklists_ = std::move(records);
}

void worklists_item_model_t::load_worklists()
{
  fetch_worklists();
  for ( const worklist_info_t &record : worklists_ )
    add_worklist_folder(record);
}

void worklists_item_model_t::add_worklist_folder(const worklist_info_t &record)
{
  worklist_key_t key {record.site, record.number};
  // A site that cannot be written into one folder name would read back as another worklist.
  if ( !is_showable_worklist_key(key) )
    return;
  const qstring folder = worklist_folder_path(key);
  if ( tree()->create_folder(folder.c_str()) != 0 )
    return;
  const worklist_files_t *files = nullptr;
  if ( const int code = fetch_worklist_files(key, &files); code != 0 )
  {
    show_server_error(code, "Failed to retrieve worklist files for %s", folder.c_str());
    return;
  }
  for ( const worklist_file_t &file : files->files )
  {
    // A path with the byte 0x02 would read back as another file, and an empty one names none.
    if ( !is_showable_worklist_file_path(file.path.view()) )
      continue;
    const qstring item = worklist_entry_path(key, file.path.view());
    // Stated afresh at each load: the registry outlives reloads and may hold what the disk had before.
    files_item_record_t stat {unknown_size, 0};
    if ( !stat_local_file(file, &stat.size, &stat.time) )
      stat = {unknown_size, 0};
    (void)item_registry.register_item(std::string(item.view()), false, stat);
    (void)tree()->link_or_unlink_path(item.c_str(), true);
  }
}

void worklists_item_model_t::reset_items()
{
  worklists_.clear();
  files_.clear();
  tree()->clear_tree();
}

int worklists_item_model_t::fetch_worklist_files(const worklist_key_t &key, const worklist_files_t **out)
{
  qvector<worklist_file_t> records;
  if ( const int code = akui_app()->facade.get_worklist_files(&records, "*", key.site.c_str(), key.number); code != 0 )
    return code;
  for ( worklist_file_t &record : records )
    record.site = key.site;
  worklist_files_t &entry = files_[key];
  entry.set_files(std::move(records));
  if ( out != nullptr )
    *out = &entry;
  return 0;
}

const worklist_files_t *worklists_item_model_t::cached_files(const worklist_key_t &key) const
{
  const auto found = files_.find(key);
  return found != files_.end() ? &found->second : nullptr;
}

const worklist_file_t *worklists_item_model_t::worklist_file_of_path(std::string_view item_path,
                                                                     worklist_key_t *key) const
{
  qstring folder;
  qstring name;
  if ( !split_dirtree_path(&folder, &name, item_path) || name.empty() )
    return nullptr;
  // Only a direct item of a root folder: "/7@ws" alone is a folder path, not an item.
  if ( folder.view().find('/', 1) != std::string_view::npos )
    return nullptr;
  std::optional<worklist_key_t> parsed = parse_worklist_path(folder.view());
  if ( !parsed.has_value() )
    return nullptr;
  const worklist_files_t *files = cached_files(*parsed);
  if ( files == nullptr )
    return nullptr;
  const worklist_file_t *file = files->find(worklist_file_path_of_name(name.view()).view());
  if ( file != nullptr && key != nullptr )
    *key = std::move(*parsed);
  return file;
}

const worklist_info_t *worklists_item_model_t::worklist_of_key(const worklist_key_t &key) const
{
  for ( const worklist_info_t &record : worklists_ )
    if ( record.number == key.number && record.site == key.site )
      return &record;
  return nullptr;
}

bool worklists_item_model_t::stat_worklist_file(const worklist_file_t &file, std::string_view item_path,
                                                uint64_t *size, uint64_t *time)
{
  const std::string path(item_path);
  if ( const files_item_registry_t::entry_t *known = item_registry.find(path);
       known != nullptr && known->size != unknown_size && known->time != 0 )
  {
    *size = known->size;
    *time = known->time;
    return true;
  }
  if ( !stat_local_file(file, size, time) )
    return false;
  (void)item_registry.register_item(path, false, files_item_record_t {*size, *time});
  return true;
}

// ---- The picker's model -------------------------------------------------------------------------------------

worklist_picker_item_model_t::worklist_picker_item_model_t(std::unique_ptr<directory_tree_t> tree,
                                                           worklists_dirspec_t *dirspec, uint32_t column_flags,
                                                           worklists_dirtree_widget_t *owner, worklist_key_t excluded)
  : worklists_item_model_t(std::move(tree), dirspec, column_flags, false, owner), excluded_(std::move(excluded))
{
}

QVariant worklist_picker_item_model_t::bucket_item_data(filtered_bucket_t &bucket, const QModelIndex &index,
                                                        int role) const
{
  if ( size_t(index.column()) >= column_kinds().size() )
    interr(interr_worklist_picker_column);
  const dirtree_cursor_t cursor = index_to_cursor(index);
  worklist_key_t key;
  if ( (role == Qt::DisplayRole || role == Qt::EditRole) && worklist_key_of_cursor(cursor, &key)
       && key.number == new_worklist_row_number && !worklists_.empty() )
  {
    const worklist_info_t &pseudo = worklists_[0];
    switch ( column_kinds()[size_t(index.column())] )
    {
    case worklist_column_name:
      return QString::fromUtf8(pseudo.site.c_str());
    case worklist_column_description:
      return QString::fromUtf8(pseudo.description.c_str());
    default:
      return QString();
    }
  }
  return worklists_item_model_t::bucket_item_data(bucket, index, role);
}

bool worklist_picker_item_model_t::worklist_key_of_cursor(const dirtree_cursor_t &cursor, worklist_key_t *out) const
{
  // The first entry of the root is the "New worklist" folder, whose name is no worklist path.
  if ( cursor.folder == 0 && cursor.position == 0 && !worklists_.empty()
       && worklists_[0].number == new_worklist_row_number )
  {
    if ( out != nullptr )
      *out = worklist_key_t {worklists_[0].site, worklists_[0].number};
    return true;
  }
  return worklists_item_model_t::worklist_key_of_cursor(cursor, out);
}

void worklist_picker_item_model_t::load_worklists()
{
  fetch_worklists();
  worklist_info_t pseudo;
  pseudo.site = "New worklist";
  pseudo.description = "Create new worklist for files";
  pseudo.number = new_worklist_row_number;
  worklists_.insert(0, std::move(pseudo));
  for ( size_t i = 0; i < worklists_.size(); ++i )
  {
    const worklist_info_t &record = worklists_[i];
    if ( i == 0 )
    {
      (void)tree()->create_folder("New worklist");
      continue;
    }
    if ( record.number == excluded_.number && record.site == excluded_.site )
      continue;
    add_worklist_folder(record);
  }
}

// ---- The widget ---------------------------------------------------------------------------------------------

worklists_dirtree_widget_t::worklists_dirtree_widget_t(const char *title, bool files_shown, uint32_t view_options,
                                                       const standalone_dirtree_widget_options_t &options,
                                                       uint32_t column_flags, const worklist_key_t &excluded)
  : files_dirtree_widget_t(title, akui_kind_worklists, worklists_icon, view_options & ~worklists_view_picker, options),
    picker_((view_options & worklists_view_picker) != 0)
{
  auto dirspec = std::make_unique<worklists_dirspec_t>();
  worklists_dirspec_t *items = dirspec.get();
  auto tree = std::make_unique<directory_tree_t>(std::move(dirspec));
  worklists_item_model_t *model = nullptr;
  if ( picker_ )
    model = new worklist_picker_item_model_t(std::move(tree), items, column_flags, this, excluded);
  else
    model = new worklists_item_model_t(std::move(tree), items, column_flags, files_shown, this);
  attach_model(items, model);
  model->load_worklists();
  (void)flush_model_update();
  expand_worklists();
  set_show_all_worklists(this, false);
}

worklists_dirtree_widget_t::~worklists_dirtree_widget_t() = default;

worklists_item_model_t *worklists_dirtree_widget_t::worklists_model() const
{
  return static_cast<worklists_item_model_t *>(tree_model());
}

const worklist_info_t *worklists_dirtree_widget_t::worklist_at_cursor(const dirtree_cursor_t &cursor) const
{
  const worklists_item_model_t *model = worklists_model();
  worklist_key_t key;
  if ( model == nullptr || !model->worklist_key_of_cursor(cursor, &key) )
    return nullptr;
  return model->worklist_of_key(key);
}

const worklist_file_t *worklists_dirtree_widget_t::worklist_file_at_cursor(const dirtree_cursor_t &cursor) const
{
  const worklists_item_model_t *model = worklists_model();
  if ( model == nullptr || !model->files_shown() || is_empty_cursor(cursor) )
    return nullptr;
  const directory_tree_t *tree = model->current_tree();
  const dirtree_entry_t entry = tree->entry_at_cursor(cursor);
  if ( entry.is_none() || entry.is_folder )
    return nullptr;
  qstring path;
  if ( !tree->cursor_text(&path, cursor, 0) )
    return nullptr;
  return model->worklist_file_of_path(path.view());
}

bool worklists_dirtree_widget_t::worklist_key_of_entry(const dirtree_cursor_t &cursor, worklist_key_t *out) const
{
  const worklists_item_model_t *model = worklists_model();
  if ( model == nullptr )
    return false;
  if ( model->worklist_key_of_cursor(cursor, out) )
    return true;
  if ( !model->files_shown() || is_empty_cursor(cursor) || cursor.folder < 0 )
    return false;
  const directory_tree_t *tree = model->current_tree();
  const dirtree_entry_t entry = tree->entry_at_cursor(cursor);
  if ( entry.is_none() || entry.is_folder )
    return false;
  const dirtree_cursor_t folder = tree->parent_cursor_of_folder(uint64_t(cursor.folder));
  return model->worklist_key_of_cursor(folder, out);
}

dirtree_selection_t worklists_dirtree_widget_t::selected_entries()
{
  dirtree_selection_t entries;
  collect_current_selection(entries);
  return entries;
}

void worklists_dirtree_widget_t::expand_worklists()
{
  const worklists_item_model_t *model = worklists_model();
  if ( model == nullptr )
    return;
  const QModelIndex root = rootIndex();
  for ( int row = 0; row < model->rowCount(root); ++row )
    expand(model->index(row, 0, root));
}

bool worklists_dirtree_widget_t::fetch_row_texts(item_info_t *row, uint64_t key)
{
  // The name only: a worklist file's row is described from its worklist, not from the server's listing.
  (void)standalone_dirtree_widget_t::fetch_row_texts(row, key);
  worklists_item_model_t *model = worklists_model();
  if ( model == nullptr )
    return true;
  const std::vector<uint32_t> &kinds = model->column_kinds();
  if ( row->texts.size() < kinds.size() )
    row->texts.resize(kinds.size());
  const std::string *registered = model->item_registry.path_of(key);
  if ( registered == nullptr )
    return true;
  const std::string item_path = *registered; // a copy: the stat may register items
  worklist_key_t worklist;
  const worklist_file_t *file = model->worklist_file_of_path(item_path, &worklist);
  if ( file == nullptr )
    return true;
  const bool local = is_current_site(worklist.site);
  uint64_t size = unknown_size;
  uint64_t time = 0;
  const bool stated = local && model->stat_worklist_file(*file, item_path, &size, &time);
  for ( size_t column = 1; column < kinds.size(); ++column )
  {
    qstring text;
    switch ( kinds[column] )
    {
    case worklist_column_changed:
      if ( stated )
        text = time_text(time);
      break;
    case worklist_column_size:
      if ( stated )
      {
        char buffer[32];
        (void)format_byte_size(buffer, sizeof(buffer), size);
        text = buffer;
      }
      break;
    case worklist_column_description:
      text = file_action_name(file->action);
      break;
    default:
      break;
    }
    row->set_text(column, text.view());
  }
  row->forget_sort_keys();
  if ( file->site_revision != file->last_revision )
    row->attributes |= row_italic;
  if ( akui_app()->is_resolving(file->path.c_str()) )
    row->attributes |= row_bold;
  row->icon = file_state_icon_id(file->action, file->site_revision == file->last_revision, file->path.c_str());
  return true;
}

bool worklists_dirtree_widget_t::reload_model(filtered_widget_mixin_update_strategy_t &strategy)
{
  const bool reloaded = files_dirtree_widget_t::reload_model(strategy);
  if ( reloaded && !show_all && (strategy.reason & update_tree_state) != 0 )
    expand_worklists();
  return reloaded;
}

bool worklists_dirtree_widget_t::crud_action_state(const dirtree_selection_t *entries, uint32_t kind)
{
  if ( !files_dirtree_widget_t::crud_action_state(entries, kind) )
    return false;
  return worklists_crud_action_state(this, entries, kind);
}

bool worklists_dirtree_widget_t::create_item(filtered_widget_mixin_update_strategy_t *strategy,
                                             const dirtree_selection_t *, const std::vector<qstring> &)
{
  return create_worklist_in_view(this, strategy);
}

bool worklists_dirtree_widget_t::delete_items(filtered_widget_mixin_update_strategy_t *strategy,
                                              const dirtree_selection_t *entries, const std::vector<qstring> &paths)
{
  return delete_worklists_in_view(this, strategy, entries, paths);
}

bool worklists_dirtree_widget_t::activate_items(filtered_widget_mixin_update_strategy_t *strategy,
                                                const dirtree_selection_t *entries, const std::vector<qstring> &paths)
{
  if ( picker_ )
  {
    if ( dialog != nullptr && entries != nullptr && entries->size() == 1 )
      (void)dialog->choose((*entries)[0]);
    return true;
  }
  return activate_worklists_in_view(this, strategy, entries, paths);
}

bool worklists_dirtree_widget_t::collect_files(selected_files_t *out, uint32_t request_bits, const action_ctx_base_t &)
{
  worklists_item_model_t *model = worklists_model();
  if ( model == nullptr )
    return true;
  const auto add = [&](const worklist_file_t &file) {
    selected_file_t record;
    if ( (request_bits & WANT_PATH) != 0 )
      record.path = file.path;
    record.flags |= request_bits & (WANT_KNOWN | WANT_LATEST);
    if ( is_current_site(file.site) )
    {
      if ( (request_bits & WANT_WORKLIST) != 0 )
        record.worklist = file.worklist;
      if ( (request_bits & WANT_PRESENT) != 0 && file.action != 2 )
        record.flags |= SEL_PRESENT;
      if ( (request_bits & WANT_NEEDS_RESOLVE) != 0 && file.site_revision != 0
           && file.site_revision != file.last_revision )
        record.flags |= SEL_NEEDS_RESOLVE;
      if ( (request_bits & WANT_OPENED_FOR_EDIT) != 0 && file.action == 3 )
        record.flags |= SEL_OPENED_FOR_EDIT;
    }
    out->push_back(std::move(record));
  };
  for ( const dirtree_cursor_t &cursor : selected_entries() )
  {
    worklist_key_t key;
    if ( model->worklist_key_of_cursor(cursor, &key) )
    {
      if ( (request_bits & WANT_NO_FOLDERS) != 0 )
        continue;
      const worklist_files_t *files = model->cached_files(key);
      if ( files == nullptr && (picker_ || model->fetch_worklist_files(key, &files) != 0) )
        continue;
      for ( const worklist_file_t &file : files->files )
        add(file);
    }
    else if ( const worklist_file_t *file = worklist_file_at_cursor(cursor); file != nullptr )
    {
      add(*file);
    }
  }
  return true;
}

void worklists_dirtree_widget_t::populate_popup(void *popup)
{
  static const popup_entry_desc_t entries[] = {
    {"open_file", 0, nullptr},
    {"commit", 0, nullptr},
    {"DirTreeInsert", 0, nullptr},
    {"edit_worklist", 0, nullptr},
    {"revert", 0, nullptr},
    {"revert_if_unchanged", 0, nullptr},
    {"DirTreeDelete", 0, nullptr},
    {"view_worklist", 0, nullptr},
    {"resolve_auto", 0, "Resolve/"},
    {"resolve_prefer_local", 0, "Resolve/"},
    {"resolve_prefer_remote", 0, "Resolve/"},
    {"resolve_interactive", 0, "Resolve/"},
    {"resolve_use_local", 0, "Resolve/"},
    {"resolve_use_remote", 0, "Resolve/"},
    {"diff_arkive_local", 0, nullptr},
    {"migrate_file_to_worklist", 0, nullptr},
    {"file_history", 0, nullptr},
    {"rebuild_tree_structure", 0, nullptr},
    {"show_all_worklists", 0, nullptr},
  };
  // Built once, at the first menu: actions registered later are not looked up again.
  static QList<popup_entry_t> list;
  static bool built = false;
  if ( !built )
  {
    fill_popup_entry_list(&list, entries, std::size(entries));
    built = true;
  }
  static_cast<popup_menu_ctx_t *>(popup)->attach_action_list(list);
  // Not the file trees' list: the tree's own entries follow the worklist actions.
  standalone_dirtree_widget_t::populate_popup(popup);
}

// ---- The picker dialog ------------------------------------------------------------------------------------------

worklists_dialog_t::worklists_dialog_t(QWidget *parent) : ui_dialog_t(parent)
{
}

bool worklists_dialog_t::choose(const dirtree_cursor_t &cursor)
{
  const worklist_info_t *record = picker != nullptr ? picker->worklist_at_cursor(cursor) : nullptr;
  if ( record == nullptr )
    return false;
  result = record->number;
  accept();
  return true;
}

bool worklists_dialog_t::on_tree_item_double_clicked(const QModelIndex &index)
{
  (void)choose(dirtree_item_model_base_t::index_to_cursor(index));
  return true;
}

// ---- Entry points -----------------------------------------------------------------------------------------------

QWidget *create_worklists_widget()
{
  standalone_dirtree_widget_options_t options;
  options.allowed = standalone_dirtree_insert | standalone_dirtree_delete | standalone_dirtree_open;
  options.insert_look.label = "Add new worklist...";
  options.insert_look.icon = icon_id_of_file("add_worklist", "icons/actions");
  options.delete_look.label = "Delete worklist...";
  options.delete_look.icon = icon_id_of_file("delete_worklist", "icons/actions");
  auto *widget = new worklists_dirtree_widget_t(worklists_title, true, 0, options, worklists_view_columns,
                                                worklist_key_t {qstring(), -1});
  return new files_dirtree_widget_host_t(widget);
}

QWidget *find_worklists_widget()
{
  akui_app_t *app = akui_app();
  TopLevelDockArea *area = app != nullptr ? app->top_level_dock_area() : nullptr;
  if ( area == nullptr )
    return nullptr;
  DockWidget *dock = area->find_dock_widget(QString::fromUtf8(worklists_title));
  return dock != nullptr ? dock->findChild<files_dirtree_widget_host_t *>() : nullptr;
}

worklists_dirtree_widget_t *worklists_widget_of_host(QWidget *host)
{
  return dynamic_cast<worklists_dirtree_widget_t *>(file_tree_of(host));
}

void present_worklists_host(QWidget *host)
{
  akui_app_t *app = akui_app();
  TopLevelDockArea *area = app->top_level_dock_area();
  if ( host == nullptr || area == nullptr )
    return;
  DockWidget *dock = enclosing_dock_widget(host);
  if ( dock == nullptr )
    dock = app->new_dock_widget(host, 0);
  if ( enclosing_dock_area(dock) != area || !dock->isVisible() )
    area->make_dock_visible(dock, dock_edge_left);
  (void)app->raise_widget_dock(host, true);
}

void set_show_all_worklists(worklists_dirtree_widget_t *widget, bool on)
{
  widget->show_all = on;
  if ( on )
    widget->collapseAll();
  if ( ui_action_t *action = find_ui_action("show_all_worklists"); action != nullptr )
    (void)action->apply_property(ACTION_PROP_CHECKED, &on);
}

int32_t choose_worklist(int32_t excluded)
{
  akui_app_t *app = akui_app();
  standalone_dirtree_widget_options_t options;
  worklists_dialog_t dialog(app->main_window());
  dialog.setWindowTitle(QStringLiteral("Choose worklist"));
  auto *picker = new worklists_dirtree_widget_t(nullptr, false, worklists_view_picker, options, worklist_picker_columns,
                                                worklist_key_t {app->current_site_name(), excluded});
  auto *layout = new QVBoxLayout(&dialog);
  layout->addWidget(picker);
  QObject::connect(picker, &QAbstractItemView::doubleClicked, &dialog, &worklists_dialog_t::on_tree_item_double_clicked);
  QSize size = picker->sizeHint();
  size.setWidth(scaled_font_height(64, picker));
  dialog.resize(size);
  dialog.picker = picker;
  picker->dialog = &dialog;
  return dialog.exec() == QDialog::Accepted ? dialog.result : WORKLIST_CHOICE_CANCELLED;
}

int32_t add_worklist_or_report(const char *description)
{
  int32_t number = -1;
  if ( const int code = akui_app()->facade.add_worklist(&number, description); code != 0 )
  {
    show_server_warning(code, "Failed to add worklist");
    return -1;
  }
  return number < 0 ? -1 : number;
}

int32_t ask_new_worklist()
{
  qstring description;
  if ( !input_value_printf(&description, 0, "Enter a new worklist description") )
    return -1;
  return add_worklist_or_report(description.c_str());
}

namespace {

class worklists_view_chooser_t final : public worklist_chooser_t
{
public:
  int32_t choose_worklist(int32_t left_out) override { return ::choose_worklist(left_out); }
  int32_t ask_new_worklist() override { return ::ask_new_worklist(); }
};

} // namespace

void install_worklists_view_chooser()
{
  static worklists_view_chooser_t chooser;
  install_worklist_chooser(&chooser);
}
