// The file trees' common widget family.
#include "client/views/file_tree_widget.h"

#include "client/app/akui_app.h"
#include "client/commands/external_tools.h"
#include "client/commands/file_assoc_lookup.h"
#include "client/views/arkive_listing_cache.h"
#include "client/views/file_assocs.h"
#include "client/views/file_row_state.h"
#include "core/ui_callback.h"
#include "ui/docks/dock_options.h"
#include "ui/popup_menu.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"
#include "views/dirtree/directory_tree.h"
#include "views/dirtree/dirtree_view_state.h"
#include "views/filter/filtered_widget_update.h"
#include "views/filter/item_info.h"

#include <QApplication>
#include <QStatusBar>

#include <cstring>

namespace {

// Reason of the reload a refresh event asks for: keep the tree state, no auto-scroll, a full update.
constexpr uint32_t refresh_update_reason = update_tree_state | update_no_auto_scroll | update_flush_reason;
// Tree change events that reach the views.
constexpr uint64_t first_tree_event = 65;
constexpr uint64_t last_tree_event = 71;
// The parts of the view state a file tree keeps.
constexpr uint32_t file_tree_state_parts = tree_state_folders | tree_state_folder_paths;
// The presentation flags of the open actions.
constexpr uint32_t present_view_flags = 0x400004;
// The requests that need the records of the server or of the opened files.
constexpr uint32_t needs_server_record = ~(WANT_PATH | WANT_NO_FOLDERS);
constexpr uint32_t needs_opened_record = WANT_LATEST | WANT_PRESENT | WANT_WORKLIST | WANT_NEEDS_RESOLVE
                                       | WANT_OPENED_FOR_EDIT;
// The request of Enter: path, known, present, no folders.
constexpr uint32_t activate_request = WANT_PATH | WANT_KNOWN | WANT_PRESENT | WANT_NO_FOLDERS;
constexpr uint8_t action_code_delete = 2;
constexpr uint8_t action_code_edit = 3;

// The file part of a path (after its last slash or backslash).
std::string_view file_part(std::string_view path)
{
  // A plain backward scan: names are short, and a set search would look each character up in the set.
  size_t start = path.size();
  while ( start > 0 && path[start - 1] != '/' && path[start - 1] != '\\' )
    --start;
  return path.substr(start);
}

void set_flag(selected_file_t *record, uint32_t flag, bool on)
{
  record->flags = on ? record->flags | flag : record->flags & ~flag;
}

// Fills a record from an opened-file record under the request.
void fill_from_opened(selected_file_t *record, const worklist_file_t &opened, uint32_t request)
{
  if ( (request & WANT_PATH) != 0 )
    record->path = opened.path;
  if ( (request & WANT_KNOWN) != 0 )
    record->flags |= SEL_KNOWN;
  if ( (request & WANT_LATEST) != 0 )
    record->flags |= SEL_LATEST;
  if ( (request & WANT_WORKLIST) != 0 )
    record->worklist = opened.worklist;
  if ( (request & WANT_PRESENT) != 0 )
    set_flag(record, SEL_PRESENT, opened.action != action_code_delete);
  if ( (request & WANT_NEEDS_RESOLVE) != 0 )
    set_flag(record, SEL_NEEDS_RESOLVE, opened.site_revision != 0 && opened.site_revision != opened.last_revision);
  if ( (request & WANT_OPENED_FOR_EDIT) != 0 )
    set_flag(record, SEL_OPENED_FOR_EDIT, opened.action == action_code_edit);
  if ( (request & WANT_REVISIONS) != 0 )
  {
    record->revision = opened.site_revision;
    record->last_revision = opened.last_revision;
  }
  if ( (request & WANT_STATE) != 0 )
    record->state = opened.action;
}

// Fills a record from a server record under the request.
void fill_from_server(selected_file_t *record, const arkive_file_info_t &server, uint32_t request)
{
  if ( (request & WANT_PATH) != 0 )
    record->path = server.path;
  if ( (request & WANT_KNOWN) != 0 )
    record->flags |= SEL_KNOWN;
  if ( (request & WANT_PRESENT) != 0 )
    set_flag(record, SEL_PRESENT, server.site_revision != 0 && server.action != server_state_deleted);
  if ( (request & WANT_LATEST) != 0 )
    set_flag(record, SEL_LATEST, server.last_revision == server.site_revision);
  if ( (request & WANT_REVISIONS) != 0 )
  {
    record->revision = server.site_revision;
    record->last_revision = server.last_revision;
  }
  if ( (request & WANT_STATE) != 0 )
    record->state = server.action;
}

} // namespace

// ---- Registry and dirspec ----------------------------------------------------------------------------------------

uint64_t files_item_registry_t::register_item(const std::string &path, bool keep, const files_item_record_t &record)
{
  const auto [node, inserted] = by_path_.try_emplace(path, entry_t {record.size, record.time, paths_.size()});
  if ( inserted )
    paths_.push_back(&node->first);
  else if ( !keep )
  {
    node->second.size = record.size;
    node->second.time = record.time;
  }
  return node->second.inode;
}

const std::string *files_item_registry_t::path_of(uint64_t inode) const
{
  return inode < paths_.size() ? paths_[inode] : nullptr;
}

const files_item_registry_t::entry_t *files_item_registry_t::find(const std::string &path) const
{
  const auto found = by_path_.find(path);
  return found != by_path_.end() ? &found->second : nullptr;
}

void files_item_registry_t::clear()
{
  paths_.clear();
  by_path_.clear();
}

bool files_dirspec_t::item_name(qstring *out, uint64_t inode, uint32_t)
{
  const std::string *path = model != nullptr ? model->item_registry.path_of(inode) : nullptr;
  if ( path == nullptr )
    return false;
  if ( out != nullptr )
  {
    const std::string_view name = file_part(*path);
    out->assign(name.data(), name.size());
  }
  return true;
}

uint64_t files_dirspec_t::item_of_path(const char *folder_path, const char *name)
{
  if ( model == nullptr )
    return dirtree_none;
  const files_item_registry_t::entry_t *entry = model->item_registry.find(std::string(folder_path) + name);
  return entry != nullptr ? entry->inode : dirtree_none;
}

// ---- Model -------------------------------------------------------------------------------------------------------

files_dirtree_item_model_t::files_dirtree_item_model_t(std::unique_ptr<directory_tree_t> tree,
                                                       files_dirspec_t *dirspec, dirtree_columns_t columns,
                                                       files_dirtree_widget_t *owner)
  : standalone_dirtree_item_model_t(tree.release(), std::move(columns), owner, owner), owner_(owner)
{
  dirspec->model = this;
}

int files_dirtree_item_model_t::add_entry(const char *folder_path, const char *name, bool is_folder,
                                          const files_item_record_t &record)
{
  return create_entry(folder_path, name, is_folder, const_cast<files_item_record_t *>(&record));
}

void files_dirtree_item_model_t::prepare_new_item(const char *path, int, void *arg)
{
  const files_item_record_t *record = static_cast<const files_item_record_t *>(arg);
  (void)item_registry.register_item(path, false, record != nullptr ? *record : files_item_record_t {});
}

void files_dirtree_item_model_t::preload_expanded_folders(view_snapshot_t *snapshot, const dirtree_widget_state_t &state)
{
  tree()->reset_contents();
  item_registry.clear();
  // The root is read first, whether or not the state names it.
  dirtree_widget_state_t with_root;
  with_root.folders.push_back({qstring("/"), 0, true});
  for ( const dirtree_folder_state_t &folder : state.folders )
    if ( folder.key != 0 )
      with_root.folders.push_back(folder);
  standalone_dirtree_item_model_t::preload_expanded_folders(snapshot, with_root);
}

bool files_dirtree_item_model_t::load_folder(const char *path, int)
{
  return owner_->load_folder(path);
}

bool files_dirtree_item_model_t::supports(int kind, const QModelIndex &index) const
{
  switch ( kind )
  {
    case dirtree_feature_rename_folders:
    case dirtree_feature_rename_items:
      return false;
    case dirtree_feature_drag_drop:
      return (options() & dirtree_model_drag_drop) != 0;
    case dirtree_feature_cut_paste:
      return (options() & dirtree_model_cut_paste) != 0;
    case dirtree_feature_create_folders:
      return (options() & dirtree_model_create_folders) != 0;
    default:
      return standalone_dirtree_item_model_t::supports(kind, index);
  }
}

// ---- Widget ------------------------------------------------------------------------------------------------------

files_dirtree_widget_t::files_dirtree_widget_t(const char *title, int widget_kind, const char *icon_path,
                                               uint32_t view_options, const standalone_dirtree_widget_options_t &options,
                                               QWidget *parent)
  : standalone_dirtree_widget_t(title, view_options, options, parent), widget_kind_(widget_kind)
{
  if ( akui_app_t *app = akui_app(); app != nullptr )
    setWindowIcon(app->icon_by_name(icon_path));
  setIconSize(QSize(28, 16));
  connect(this, &base_dirtree_widget_t::current_changed, this, &files_dirtree_widget_t::on_current_changed);
}

files_dirtree_widget_t::~files_dirtree_widget_t()
{
  (void)save_tree_state();
  unlink_event_peers(static_cast<event_handler_t *>(this));
}

files_dirtree_item_model_t *files_dirtree_widget_t::files_model() const
{
  return static_cast<files_dirtree_item_model_t *>(tree_model());
}

directory_tree_t *files_dirtree_widget_t::tree() const
{
  const files_dirtree_item_model_t *model = files_model();
  return model != nullptr ? model->tree() : nullptr;
}

void files_dirtree_widget_t::attach_model(files_dirspec_t *dirspec, files_dirtree_item_model_t *model)
{
  dirspec_ = dirspec;
  (void)model->tree()->add_event_handler(this);
  reset_row_cache(model->columns().titles.size());
  setModel(model);
}

bool files_dirtree_widget_t::event(QEvent *event)
{
  if ( event->type() == refresh_dirty_widgets_event_t::event_type )
  {
    const uint64_t mask = static_cast<refresh_dirty_widgets_event_t *>(event)->mask;
    if ( widget_kind_ >= 0 && widget_kind_ < 64 && ((mask >> widget_kind_) & 1) != 0 )
    {
      post_model_update(refresh_update_reason, false);
      return true;
    }
  }
  return standalone_dirtree_widget_t::event(event);
}

void *files_dirtree_widget_t::handle(uint64_t code, va_list va)
{
  if ( code >= first_tree_event && code <= last_tree_event )
  {
    va_list copy;
    va_copy(copy, va);
    refresh_views_of_dirtree(tree(), code, copy);
    va_end(copy);
  }
  return nullptr;
}

void files_dirtree_widget_t::on_model_rows_about_to_be_inserted(const QModelIndex &parent, int first, int last)
{
  // A lazily loaded tree expands only what the user (or the saved state) expands.
  const files_dirtree_item_model_t *model = files_model();
  if ( model != nullptr && (model->options() & dirtree_model_lazy) != 0 )
    return;
  standalone_dirtree_widget_t::on_model_rows_about_to_be_inserted(parent, first, last);
}

void files_dirtree_widget_t::on_current_changed(dirtree_cursor_t cursor)
{
  show_current_path(cursor);
}

void files_dirtree_widget_t::show_current_path(const dirtree_cursor_t &) {}

void files_dirtree_widget_t::show_path_in_status_bar(const dirtree_cursor_t &cursor, const char *prefix)
{
  QStatusBar *bar = status_bar();
  if ( bar == nullptr )
    return;
  qstring path;
  if ( directory_tree_t *t = tree(); t != nullptr && !t->entry_at_cursor(cursor).is_none() )
  {
    path = prefix;
    qstring tree_path;
    (void)t->cursor_text(&tree_path, cursor, 0);
    path += tree_path;
  }
  bar->showMessage(QString::fromUtf8(path.c_str()));
}

bool files_dirtree_widget_t::save_tree_state()
{
  dirtree_widget_persistence_helper_t *helper = persistence_helper();
  if ( tree_model() == nullptr || helper == nullptr )
    return false;
  dirtree_widget_state_t state;
  if ( !collect_tree_state(&state, file_tree_state_parts, nullptr) )
    return false;
  byte_buffer_t bytes;
  write_tree_state_blob(state, &bytes);
  return helper->store_state(bytes);
}

void files_dirtree_widget_t::restore_tree_state()
{
  files_dirtree_item_model_t *model = files_model();
  if ( model == nullptr )
    return;
  dirtree_widget_state_t state;
  byte_buffer_t bytes;
  dirtree_widget_persistence_helper_t *helper = persistence_helper();
  const bool decoded = helper != nullptr && helper->load_state(&bytes) && read_tree_state_blob(&state, bytes);
  // Nothing is expanded but what the state names: expanding a lazy tree wholesale would never read its folders.
  set_state_flags(dirtree_view_state_applied);
  set_widget_flags(engine_selecting, true);
  view_snapshot_t snapshot;
  model->preload_expanded_folders(&snapshot, decoded ? state : dirtree_widget_state_t {});
  reset_buckets();
  collapseAll();
  if ( decoded )
    (void)restore_buckets(state);
  set_widget_flags(engine_selecting, false);
}

bool files_dirtree_widget_t::fetch_row_texts(item_info_t *row, uint64_t key)
{
  if ( !standalone_dirtree_widget_t::fetch_row_texts(row, key) )
    return false;
  const files_dirtree_item_model_t *model = files_model();
  if ( model == nullptr || key >= model->item_registry.size() )
    return false;
  const std::string *registered = model->item_registry.path_of(key);
  const qstring tree_path(registered != nullptr ? std::string_view(*registered) : std::string_view());
  qstring server_path("/");
  server_path += tree_path;
  return describe_file_row(row, key, tree_path, server_path, find_arkive_file_info(server_path.c_str()));
}

bool files_dirtree_widget_t::describe_file_row(item_info_t *row, uint64_t, const qstring &, const qstring &server_path,
                                               const arkive_file_info_t *server_record)
{
  return describe_file_row_state(row, server_path.c_str(), server_record);
}

dirtree_selection_t files_dirtree_widget_t::own_selection() const
{
  dirtree_selection_t selection;
  collect_selection(nullptr, &selection, nullptr, dirtree_view_ordered_selection, true);
  return selection;
}

bool files_dirtree_widget_t::collect_files(selected_files_t *out, uint32_t request_bits,
                                           const action_ctx_base_t &context)
{
  const bool from_context = context.tree_selection != nullptr && context.tree_view == this;
  return collect_tree_files(out, from_context ? *context.tree_selection : own_selection(), request_bits);
}

bool files_dirtree_widget_t::collect_tree_files(selected_files_t *out, const dirtree_selection_t &selection,
                                                uint32_t request)
{
  directory_tree_t *t = tree();
  if ( t == nullptr )
    return true;
  out->reserve(out->size() + selection.size());
  akui_app_t *app = akui_app();
  // The files of one folder come in runs: the folder's server path ("/" and its tree path) is made once a run.
  int64_t prefix_folder = -1;
  qstring prefix;
  qstring name;
  for ( const dirtree_cursor_t &cursor : selection )
  {
    const dirtree_entry_t entry = t->entry_at_cursor(cursor);
    if ( entry.is_none() || entry.is_folder )
    {
      if ( (request & WANT_NO_FOLDERS) != 0 )
        continue;
      qstring tree_path;
      (void)t->cursor_text(&tree_path, cursor, 0);
      selected_file_t folder;
      folder.path = "/";
      folder.path += tree_path;
      if ( folder.path.view().back() != '/' )
        folder.path += "/";
      folder.flags = SEL_FOLDER;
      if ( (request & WANT_REVISIONS) != 0 )
        folder.revision = folder.last_revision = REVISION_CURRENT;
      out->push_back(std::move(folder));
      continue;
    }
    if ( cursor.folder != prefix_folder )
    {
      qstring folder_path;
      t->impl()->folder_path(&folder_path, uint64_t(cursor.folder), true);
      prefix = "/";
      prefix += folder_path;
      prefix_folder = cursor.folder;
    }
    // A file's tree path is its folder's path and its name; one whose name is unknown has none.
    qstring server_path;
    if ( t->entry_name(&name, entry, 0) )
    {
      server_path.reserve(prefix.size() + name.size() + 1);
      server_path += prefix;
      server_path += name;
    }
    else
    {
      server_path = "/";
    }
    const arkive_file_info_t *server = nullptr;
    const worklist_file_t *opened = nullptr;
    if ( (request & needs_server_record) != 0 )
    {
      server = find_arkive_file_info(server_path.c_str());
      if ( server != nullptr && server->action == server_state_deleted )
        server = nullptr;
      if ( (request & needs_opened_record) != 0 && app != nullptr )
        opened = app->opened_file(server_path.c_str());
    }
    selected_file_t record;
    record.path = std::move(server_path);
    if ( opened != nullptr )
      fill_from_opened(&record, *opened, request);
    else if ( server != nullptr )
      fill_from_server(&record, *server, request);
    out->push_back(std::move(record));
  }
  return true;
}

bool files_dirtree_widget_t::activate_items(filtered_widget_mixin_update_strategy_t *, const dirtree_selection_t *entries,
                                            const std::vector<qstring> &)
{
  selected_files_t files;
  if ( entries != nullptr )
    (void)collect_tree_files(&files, *entries, activate_request);
  selected_files_t openable;
  bool absent = false;
  for ( const selected_file_t &file : files )
  {
    if ( file.is_known() && !file.is_present() )
    {
      absent = true;
      break;
    }
    if ( find_file_assoc_command(nullptr, file_assoc_view, file.path.c_str(), nullptr, nullptr, 0, false) )
      openable.push_back(file);
  }
  if ( !openable.empty() )
    (void)open_files(openable);
  else if ( absent )
    warning_printf("No openable files have been found");
  else if ( !files.empty() )
    warn_missing_file_assoc(files[0].path.c_str());
  return false;
}

bool files_dirtree_widget_t::select_path(const char *tree_path)
{
  files_dirtree_item_model_t *model = files_model();
  if ( model == nullptr || tree_path == nullptr )
    return false;
  const std::string_view path(tree_path);
  std::string prefix;
  QModelIndex last;
  size_t start = path.empty() || path[0] != '/' ? 0 : 1;
  while ( start <= path.size() )
  {
    size_t end = path.find('/', start);
    if ( end == std::string_view::npos )
      end = path.size();
    prefix += '/';
    prefix += path.substr(start, end - start);
    if ( last.isValid() )
    {
      expand(last);
      (void)flush_model_update();
    }
    const QModelIndex index = model->index_of_path(prefix.c_str());
    if ( !index.isValid() )
      return false;
    (void)flush_model_update();
    last = index;
    start = end + 1;
  }
  if ( !last.isValid() )
    return false;
  selectionModel()->clearSelection();
  selectionModel()->setCurrentIndex(last, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollTo(last);
  return true;
}

void files_dirtree_widget_t::populate_popup(void *popup)
{
  static const QList<popup_entry_t> file_entries = [] {
    static constexpr popup_entry_desc_t entries[] = {
      {"get_revision", 0, nullptr},
      {"get_revision_with_options", 0, nullptr},
      {"commit", 0, nullptr},
      {"checkout_for_edit", 0, nullptr},
      {"checkout_for_add", 0, nullptr},
      {"checkout_for_delete", 0, nullptr},
      {"checkout_for_move_rename", 0, nullptr},
      {"checkout_for_copy", 0, nullptr},
      {nullptr, 0, nullptr},
      {"revert", 0, nullptr},
      {"revert_if_unchanged", 0, nullptr},
      {nullptr, 0, nullptr},
      {"open_file", 0, nullptr},
      {"open_containing_folder", 0, nullptr},
      {"resolve_auto", 0, "Resolve/"},
      {"resolve_prefer_local", 0, "Resolve/"},
      {"resolve_prefer_remote", 0, "Resolve/"},
      {"resolve_interactive", 0, "Resolve/"},
      {"resolve_use_local", 0, "Resolve/"},
      {"resolve_use_remote", 0, "Resolve/"},
      {"diff_arkive_local", 0, nullptr},
      {"diff_prev", 0, nullptr},
      {"diff_any", 0, nullptr},
      {"file_history", 0, nullptr},
      {"find_in_arkive", 0, nullptr},
      {"find_in_arkive_next", 0, nullptr},
      {"find_in_arkive_prev", 0, nullptr},
      {"rebuild_tree_structure", 0, nullptr},
      {"show_deleted_files", 0, nullptr},
      {"show_ignored_files", 0, nullptr},
      {nullptr, 0, nullptr},
      {"map_to_other_filesystem", 0, nullptr},
    };
    QList<popup_entry_t> list;
    fill_popup_entry_list(&list, entries, std::size(entries));
    return list;
  }();
  static_cast<popup_menu_ctx_t *>(popup)->attach_action_list(file_entries);
  standalone_dirtree_widget_t::populate_popup(popup);
}

// ---- File system trees -------------------------------------------------------------------------------------------

filesystem_dirtree_widget_t::filesystem_dirtree_widget_t(const char *title, int widget_kind, const char *icon_path,
                                                         uint32_t view_options, uint32_t delete_request,
                                                         const standalone_dirtree_widget_options_t &options)
  : files_dirtree_widget_t(title, widget_kind, icon_path, view_options, options), delete_request_(delete_request)
{
}

bool filesystem_dirtree_widget_t::collect_deletable_files(selected_files_t *out, const dirtree_selection_t &selection)
{
  selected_files_t collected;
  (void)collect_tree_files(&collected, selection, delete_request_);
  bool any = false;
  for ( const selected_file_t &file : collected )
  {
    if ( !keep_for_delete(file) )
      continue;
    if ( out == nullptr )
      return true;
    out->push_back(file);
    any = true;
  }
  return any;
}

bool filesystem_dirtree_widget_t::crud_action_state(const dirtree_selection_t *entries, uint32_t kind)
{
  const char *label = widget_options().delete_look.label;
  if ( ui_action_t *action = find_ui_action("DirTreeDelete"); action != nullptr && label != nullptr )
    (void)action->apply_property(ACTION_PROP_LABEL, label);
  if ( !files_dirtree_widget_t::crud_action_state(entries, kind) )
    return false;
  if ( kind == standalone_dirtree_delete && entries != nullptr && !entries->empty() )
    return collect_deletable_files(nullptr, *entries);
  return true;
}

// ---- Free functions ----------------------------------------------------------------------------------------------

void present_view_widget(QWidget *widget)
{
  dock_options_t options;
  options.options = present_view_flags;
  if ( akui_app_t *app = akui_app(); app != nullptr )
    (void)app->present_widget(widget, &options);
}

void finish_tree_delete(filtered_widget_mixin_update_strategy_t *strategy, uint64_t refresh_kinds)
{
  if ( strategy != nullptr )
  {
    // The rows stay until the reload shows what the delete left.
    strategy->reason |= update_tree_state;
    strategy->flags &= ~strategy_remove_empty_folders;
  }
  if ( akui_app_t *app = akui_app(); app != nullptr )
    app->refresh_widgets(refresh_kinds, true);
}

void open_file_tree_view(QWidget *(*find)(), QWidget *(*create)())
{
  QWidget *host = find();
  present_view_widget(host != nullptr ? host : create());
}

std::string entry_name_of(std::string_view path)
{
  const size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return name == "." || name == ".." ? std::string() : std::string(name);
}

files_dirtree_widget_t *file_tree_of(QWidget *widget)
{
  if ( auto *tree = dynamic_cast<files_dirtree_widget_t *>(widget); tree != nullptr )
    return tree;
  if ( auto *host = dynamic_cast<files_dirtree_widget_host_t *>(widget); host != nullptr )
    return dynamic_cast<files_dirtree_widget_t *>(host->hosted_widget());
  return nullptr;
}

files_dirtree_widget_host_t *find_file_tree_host(const char *title)
{
  for ( QWidget *widget : QApplication::allWidgets() )
    if ( auto *host = dynamic_cast<files_dirtree_widget_host_t *>(widget);
         host != nullptr && host->hosted_widget() != nullptr && host->windowTitle() == QString::fromUtf8(title) )
      return host;
  return nullptr;
}

standalone_dirtree_widget_options_t file_tree_widget_options()
{
  standalone_dirtree_widget_options_t options;
  options.allowed = standalone_dirtree_delete | standalone_dirtree_open | standalone_dirtree_status_bar;
  options.delete_look.label = "Delete file...";
  options.delete_look.icon = icon_id_of_file("delete_file", "icons/actions");
  return options;
}

dirtree_columns_t file_tree_columns(std::initializer_list<const char *> extra)
{
  // Name widths count glyphs (bit 0); the size sorts by the value its text shows.
  constexpr uint32_t name_flags = 1;
  constexpr uint32_t size_flags = 0x30000;
  dirtree_columns_t columns;
  columns.titles = {qstring("Name"), qstring("Size")};
  columns.widths = {32, -1};
  columns.flags = {name_flags, size_flags};
  for ( const char *title : extra )
  {
    columns.titles.emplace_back(title);
    columns.widths.push_back(-1);
    columns.flags.push_back(0);
  }
  columns.options = dirtree_model_lazy | dirtree_model_owns_tree;
  return columns;
}
