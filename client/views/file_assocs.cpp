// File-extension associations: registry storage, defaults, the command lookup and the list that edits them.
#include "client/views/file_assocs.h"

#include "client/app/akui_app.h"
#include "core/command_line.h"
#include "core/internal_error.h"
#include "core/registry.h"
#include "core/text_utils.h"
#include "core/ui_callback.h"
#include "forms/form_values.h"
#include "repo/database_files.h"
#include "repo/disassembler_commands.h"
#include "views/chooser/chooser_widget.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char *assoc_header[] = {"Ext", "View", "Diff", "Merge"};
constexpr uint32_t assoc_widths[] = {4, 10, 10, 10};
// Keep the source, insert, delete and edit, docked at its place, widget kind 8 (the association list).
constexpr uint32_t assoc_chooser_flags =
  chooser_keep | chooser_can_insert | chooser_can_delete | chooser_can_edit | chooser_dock_remembered
  | (uint32_t(akui_kind_file_assocs + 1) << chooser_kind_shift);

constexpr char add_form[] =
  "BUTTON YES ~A~dd\n"
  "Add file extension association\n"
  "\n"
  "<#omit the '.' for example 'z64','asm','h'#File e~x~tension      :q:0:10::>\n"
  "<#absolute path#~V~iew tool path      :f:0:80::>\n"
  "<#\"%l\" will be replaced by the filename#A~r~guments           :q:0:80::>\n"
  "<#absolute path#~D~iff tool path      :f:0:80::>\n"
  "<#\"%l\" will be replaced by the filename#Ar~g~uments           :q:0:80::>\n"
  "<#absolute path#~M~erge tool path     :f:0:80::>\n"
  "<#\"%l\" will be replaced by the filename#Args (~a~uto)         :q:0:80::>\n"
  "<#\"%l\" will be replaced by the filename#Args (~l~ocal)        :q:0:80::>\n"
  "<#\"%l\" will be replaced by the filename#Args (~r~emote)       :q:0:80::>\n"
  "<#\"%l\" will be replaced by the filename#Args (ma~n~ual)       :q:0:80::>\n";

constexpr char edit_form_format[] =
  "BUTTON YES ~S~ave\n"
  "Edit file extension '%s' association\n"
  "\n"
  "<#absolute path#~V~iew tool path      :f:0:80::>\n"
  "<#\"%%l\" will be replaced by the filename#A~r~guments           :q:0:80::>\n"
  "<#absolute path#~D~iff tool path      :f:0:80::>\n"
  "<#\"%%l\" will be replaced by the filename#Ar~g~uments           :q:0:80::>\n"
  "<#absolute path#~M~erge tool path     :f:0:80::>\n"
  "<#\"%%l\" will be replaced by the filename#Args (~a~uto)         :q:0:80::>\n"
  "<#\"%%l\" will be replaced by the filename#Args (~l~ocal)        :q:0:80::>\n"
  "<#\"%%l\" will be replaced by the filename#Args (~r~emote)       :q:0:80::>\n"
  "<#\"%%l\" will be replaced by the filename#Args (ma~n~ual)       :q:0:80::>\n";

// The numeric order of a subkey name: its leading decimal number with an optional sign, 0 without digits.
// Out-of-range numbers saturate, so every name has a place.
int64_t subkey_order(const qstring &name)
{
  errno = 0;
  return std::strtoll(name.c_str(), nullptr, 10);
}

qstring subkey_of(const char *name)
{
  qstring subkey = file_assocs_key;
  subkey += "\\";
  subkey += name;
  return subkey;
}

// A tool path as the forms edit it: a buffer of the path fields' size.
using path_buffer_t = std::array<char, form_path_size>;

// False when the path does not fit: it is never cut.
bool to_buffer(path_buffer_t *buffer, const qstring &path)
{
  if ( path.size() >= buffer->size() )
    return false;
  std::memcpy(buffer->data(), path.c_str(), path.size() + 1);
  return true;
}

// The extension as it may stand in a form's title: the characters the form language reads are replaced.
std::string title_text(const qstring &ext)
{
  std::string text(ext.c_str());
  for ( char &c : text )
    if ( c == '%' || c == '~' || c == '<' || c == '>' || c == '\\' || static_cast<unsigned char>(c) < 0x20 )
      c = '_';
  return text;
}

} // namespace

const char *const file_assoc_t::field_names[field_count] = {
  "ext",  "view", "view_args", "diff", "diff_args", "merge", "merge_args_auto", "merge_args_plocal",
  "merge_args_premote", "merge_args_manual",
};

qstring *file_assoc_t::field(size_t index)
{
  qstring *const fields[field_count] = {&ext,   &view,           &view_args,         &diff,
                                        &diff_args, &merge,      &merge_args_auto,   &merge_args_plocal,
                                        &merge_args_premote, &merge_args_manual};
  return fields[index];
}

// ---- Storage --------------------------------------------------------------------------------------------------

bool load_file_assocs()
{
  qvector<qstring> names;
  if ( !registry_list_names(&names, file_assocs_key, true) || names.empty() )
    return false;
  std::vector<qstring> ordered(names.begin(), names.end());
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const qstring &a, const qstring &b) { return subkey_order(a) < subkey_order(b); });
  file_assoc_list_t &list = akui_app()->file_assocs;
  list.clear();
  for ( const qstring &name : ordered )
  {
    file_assoc_t &record = list.emplace_back();
    const qstring subkey = subkey_of(name.c_str());
    for ( size_t i = 0; i < file_assoc_t::field_count; ++i )
      (void)registry_read_text(record.field(i), file_assoc_t::field_names[i], subkey.c_str());
  }
  return true;
}

void save_file_assocs(const file_assoc_list_t &list)
{
  file_assoc_list_t &stored = akui_app()->file_assocs;
  if ( &list != &stored )
    stored = list;
  // A crash in the middle must leave either the old associations or the new ones, never none.
  registry_group([&stored] {
    (void)registry_remove_tree(file_assocs_key);
    for ( size_t i = 0; i < stored.size(); ++i )
    {
      const qstring subkey = subkey_of(std::to_string(i).c_str());
      for ( size_t f = 0; f < file_assoc_t::field_count; ++f )
        registry_write_text(file_assoc_t::field_names[f], subkey.c_str(), stored[i].field(f)->c_str());
    }
  });
}

void set_default_file_assocs(file_assoc_list_t *list)
{
  list->clear();
  akui_app_t *app = akui_app();
  if ( app == nullptr || !app->has_usable_connection() )
    return;
  const qstring diff_template = default_diff_arguments();
  for ( const char *ext : {"zdb", "z64"} )
  {
    file_assoc_t &record = list->emplace_back();
    record.ext = ext;
    record.view = zuk_executable_path(std::strcmp(ext, "z64") == 0);
    record.diff = record.view;
    record.merge = record.view;
    record.diff_args = diff_template;
    record.merge_args_auto = default_merge_arguments(1);
    record.merge_args_plocal = default_merge_arguments(2);
    record.merge_args_premote = default_merge_arguments(3);
    record.merge_args_manual = default_merge_arguments(4);
  }
  file_assoc_t &any = list->emplace_back();
  any.ext = "*";
  any.view = zuk_executable_path(true);
}

void load_or_store_default_file_assocs()
{
  if ( load_file_assocs() )
    return;
  file_assoc_list_t defaults;
  set_default_file_assocs(&defaults);
  save_file_assocs(defaults);
}

// ---- Lookup ---------------------------------------------------------------------------------------------------

const file_assoc_t *find_file_assoc(const file_assoc_list_t &list, const char *ext)
{
  for ( const file_assoc_t &record : list )
    if ( std::strcmp(record.ext.c_str(), ext) == 0 )
      return &record;
  return nullptr;
}

void warn_missing_file_assoc(const char *path)
{
  const char *ext = path_extension(path);
  warning_printf(missing_file_assoc_warning, ext != nullptr ? ext : path);
}

bool akui_app_t::find_file_assoc_command(file_assoc_command_t *out, int kind, const char *file,
                                         const char *second_file, const char *third_file, int merge_method,
                                         bool expand) const
{
  const char *ext = path_extension(file);
  const file_assoc_t *record = find_file_assoc(file_assocs, ext != nullptr ? ext : "");
  if ( record == nullptr )
    record = find_file_assoc(file_assocs, "*");
  if ( record == nullptr )
    return false;
  const qstring *program = nullptr;
  const qstring *templ = nullptr;
  const qstring none;
  switch ( kind )
  {
    case file_assoc_view:
      program = &record->view;
      templ = &record->view_args;
      break;
    case file_assoc_diff:
      program = &record->diff;
      templ = &record->diff_args;
      break;
    case file_assoc_merge:
    {
      program = &record->merge;
      const qstring *by_method[] = {&record->merge_args_auto, &record->merge_args_plocal,
                                    &record->merge_args_premote, &record->merge_args_manual};
      templ = merge_method >= 1 && merge_method <= 4 ? by_method[merge_method - 1] : &none;
      break;
    }
    default:
      interr(INTERR_FILE_ASSOC_KIND);
  }
  if ( program->empty() )
    return false;
  if ( out == nullptr )
    return true;
  if ( !expand )
  {
    out->program = *program;
    out->arguments = *templ;
    return true;
  }
  const merge_side_t local {file, nullptr, false};
  const merge_side_t remote {second_file != nullptr ? second_file : "", nullptr, false};
  const auto expanded = [&](const qstring &text) {
    return expand_merge_template(text.c_str(), "", local, &remote, third_file);
  };
  out->program = std::strchr(program->c_str(), '%') != nullptr ? expanded(*program) : *program;
  if ( std::strchr(templ->c_str(), '%') != nullptr )
    out->arguments = expanded(*templ);
  else
  {
    qstring quoted = file;
    (void)quote_shell_argument(&quoted);
    out->arguments = *templ;
    if ( !templ->empty() )
      out->arguments += " ";
    out->arguments += quoted;
  }
  return true;
}

// ---- The list of the Options dialog ---------------------------------------------------------------------------

file_assoc_chooser_t::file_assoc_chooser_t()
{
  version = 3;
  flags = assoc_chooser_flags;
  title = "File extension associations";
  columns = 4;
  header = assoc_header;
  widths = assoc_widths;
  popup_names[0] = "Add association...";
  popup_names[1] = "Delete association...";
  popup_names[2] = "Edit association...";
  set_default_file_assocs(&list);
}

bool file_assoc_chooser_t::prepare()
{
  akui_app_t *app = akui_app();
  if ( !loaded_ && app != nullptr && &list != &app->file_assocs )
    list = app->file_assocs;
  loaded_ = true;
  return true;
}

void file_assoc_chooser_t::describe_row(std::span<qstring> texts, int32_t *, chooser_row_attrs_t *, uint64_t row)
{
  const file_assoc_t &record = list[row];
  texts[0] = record.ext;
  texts[1] = record.view;
  texts[2] = record.diff;
  texts[3] = record.merge;
}

chooser_single_result_t file_assoc_chooser_t::insert_item(int64_t row)
{
  file_assoc_t record;
  path_buffer_t view {};
  path_buffer_t diff {};
  path_buffer_t merge {};
  for ( ;; )
  {
    if ( form_dialog_printf(add_form, &record.ext, view.data(), &record.view_args, diff.data(), &record.diff_args,
                            merge.data(), &record.merge_args_auto, &record.merge_args_plocal,
                            &record.merge_args_premote, &record.merge_args_manual)
         <= 0 )
      return {-1, chooser_unchanged};
    if ( find_file_assoc(list, record.ext.c_str()) != nullptr )
    {
      warning_printf("Extension \"%s\" already has an association!", record.ext.c_str());
      continue;
    }
    if ( view[0] == '\0' )
    {
      warning_printf("Please specify a viewer application");
      continue;
    }
    break;
  }
  record.view = view.data();
  record.diff = diff.data();
  record.merge = merge.data();
  const int64_t at = row >= 0 && uint64_t(row) < list.size() ? row : 0;
  list.insert(list.begin() + at, std::move(record));
  return {at, chooser_rebuild};
}

chooser_single_result_t file_assoc_chooser_t::delete_items(int64_t row)
{
  if ( row < 0 || uint64_t(row) >= list.size() )
    return {-1, chooser_unchanged};
  list.erase(list.begin() + row);
  return {std::min<int64_t>(row, int64_t(list.size()) - 1), chooser_rebuild};
}

chooser_single_result_t file_assoc_chooser_t::edit_items(int64_t row)
{
  if ( row < 0 || uint64_t(row) >= list.size() )
    return {-1, chooser_unchanged};
  file_assoc_t edited = list[size_t(row)];
  path_buffer_t view {};
  path_buffer_t diff {};
  path_buffer_t merge {};
  if ( !to_buffer(&view, edited.view) || !to_buffer(&diff, edited.diff) || !to_buffer(&merge, edited.merge) )
  {
    warning_printf("A tool path of the extension \"%s\" is too long to be edited here.", edited.ext.c_str());
    return {-1, chooser_unchanged};
  }
  qstring form;
  format_to_string(&form, edit_form_format, title_text(edited.ext).c_str());
  if ( form_dialog_printf(form.c_str(), view.data(), &edited.view_args, diff.data(), &edited.diff_args,
                          merge.data(), &edited.merge_args_auto, &edited.merge_args_plocal,
                          &edited.merge_args_premote, &edited.merge_args_manual)
       <= 0 )
    return {-1, chooser_unchanged};
  edited.view = view.data();
  edited.diff = diff.data();
  edited.merge = merge.data();
  list[size_t(row)] = std::move(edited);
  return {row, chooser_rebuild};
}

void save_chooser_file_assocs(const file_assoc_chooser_t &chooser)
{
  save_file_assocs(chooser.list);
}

void reset_chooser_file_assocs(file_assoc_chooser_t *chooser)
{
  file_assoc_list_t defaults;
  set_default_file_assocs(&defaults);
  chooser->list = std::move(defaults);
  for ( chooser_widget_t *widget : live_chooser_widgets() )
    if ( widget->source() == chooser )
      widget->refresh_items(nullptr, refresh_reason, true);
}
