// File-extension associations: the viewer, diff and merge tools of each extension, their registry storage,
// their defaults, the lookup of a command, and the list that edits them.
#pragma once

#include "core/qstring.h"
#include "views/chooser/chooser_base.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The key of the stored associations: one numbered subkey per association.
inline constexpr char file_assocs_key[] = "FileExtensionAssocs";
// A lookup of a kind other than view, diff or merge.
inline constexpr int32_t INTERR_FILE_ASSOC_KIND = 80146;

// The warning of a missing association, with the extension.
inline constexpr char missing_file_assoc_warning[] =
  "No application is defined for '%s' files.\nPlease add it in View, Options, File associatations";

// Kinds of a lookup.
enum file_assoc_kind_t : int
{
  file_assoc_view = 0,
  file_assoc_diff = 1,
  file_assoc_merge = 2,
};

// One association. The field names are the registry value names. ext is compared byte for byte; "*" serves
// every extension without an association of its own.
struct file_assoc_t
{
  qstring ext;
  qstring view;
  qstring view_args;
  qstring diff;
  qstring diff_args;
  qstring merge;
  qstring merge_args_auto;
  qstring merge_args_plocal;
  qstring merge_args_premote;
  qstring merge_args_manual;

  // The fields in registry order with their value names.
  static constexpr size_t field_count = 10;
  static const char *const field_names[field_count];
  [[nodiscard]] qstring *field(size_t index);
  [[nodiscard]] const qstring *field(size_t index) const { return const_cast<file_assoc_t *>(this)->field(index); }
};

// The associations in the order the user arranged them.
using file_assoc_list_t = std::vector<file_assoc_t>;

// The program and the arguments an association gives for a file.
struct file_assoc_command_t
{
  qstring program;
  qstring arguments;
};

// Reads the stored associations into the application's list, in the numeric order of their subkey names (a
// name that is no number counts as 0; negative and huge numbers keep their order). False, the list unchanged,
// when none are stored; a missing value reads as an empty field.
bool load_file_assocs();
// Makes a copy of the list the application's list and replaces the stored associations with it, as one
// indivisible change of the settings store. An empty list leaves nothing stored.
void save_file_assocs(const file_assoc_list_t &list);
// Replaces the list by the defaults: the disassembler for "zdb" and "z64" databases and as the viewer of
// every other file ("*"). Without a usable connection the list stays empty.
void set_default_file_assocs(file_assoc_list_t *list);
// The first association of exactly that extension, null when none.
[[nodiscard]] const file_assoc_t *find_file_assoc(const file_assoc_list_t &list, const char *ext);
// Warns that no application is defined for the path's extension (the whole path when it has none).
void warn_missing_file_assoc(const char *path);
// Start-up: loads the stored associations, or stores the defaults when there are none.
void load_or_store_default_file_assocs();

// The list of associations as the Options dialog edits it. Promises: rows are the list's records; a change
// answers the changed row (clamped to the list) with chooser_rebuild; the application's list is copied in at
// the first preparation only, so a dialog shown again keeps the user's edits.
class file_assoc_chooser_t : public chooser_t
{
public:
  // The defaults (empty without a connection).
  file_assoc_chooser_t();

  [[nodiscard]] bool prepare() override;
  [[nodiscard]] uint64_t item_count() override { return list.size(); }
  void describe_row(std::span<qstring> texts, int32_t *icon, chooser_row_attrs_t *attrs, uint64_t row) override;
  // The add form before the row (position 0 when the row is outside the list); the extension must be new and
  // the viewer given.
  chooser_single_result_t insert_item(int64_t row) override;
  // Removes the row without asking.
  chooser_single_result_t delete_items(int64_t row) override;
  // The edit form of the row's nine tools and templates; the extension stays.
  chooser_single_result_t edit_items(int64_t row) override;
  chooser_single_result_t activate_items(int64_t row) override { return edit_items(row); }
  chooser_single_result_t reload_items(int64_t row) override { return {row, chooser_rebuild}; }

  file_assoc_list_t list;

private:
  bool loaded_ = false;
};

// Saves the chooser's list as the application's list (save_file_assocs).
void save_chooser_file_assocs(const file_assoc_chooser_t &chooser);
// Puts the defaults into the chooser's list and reloads the widgets that show it; nothing is saved.
void reset_chooser_file_assocs(file_assoc_chooser_t *chooser);
