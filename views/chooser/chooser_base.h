// The data-source interface of every list the chooser widget shows, and the services that show and find them.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"
#include "forms/form_chooser.h"

#include <cstddef>
#include <cstdint>
#include <span>

class QSize;
class QString;
class QWidget;
class chooser_widget_t;
class directory_tree_t;
struct ui_action_update_ctx_t;

// ---- Flags of a source -------------------------------------------------------------------------------------

inline constexpr uint32_t chooser_modal = 0x1;             // open_chooser shows a modal dialog and answers the row
inline constexpr uint32_t chooser_keep = 0x2;              // the widget never deletes the source
inline constexpr uint32_t chooser_multi_select = 0x4;      // extended selection in the views
inline constexpr uint32_t chooser_no_search_box = 0x10;    // no Search button box in a dialog
inline constexpr uint32_t chooser_row_callback = 0x20;     // each described row goes through UI callback code 89
inline constexpr uint32_t chooser_reopen = 0x80;           // an open widget of the same list is prepared again
inline constexpr uint32_t chooser_can_insert = 0x100;
inline constexpr uint32_t chooser_can_delete = 0x200;
inline constexpr uint32_t chooser_can_edit = 0x400;
inline constexpr uint32_t chooser_can_refresh = 0x800;
inline constexpr uint32_t chooser_quick_filter_shown = 0x1000; // the quick filter bar shows when the widget is built
inline constexpr uint32_t chooser_quick_filter_mode = 0xE000;  // its initial mode (chooser_quick_filter_mode_of)
inline constexpr uint32_t chooser_no_status_bar = 0x10000;
inline constexpr uint32_t chooser_dock_remembered = 0x20000;   // docked at its remembered place
inline constexpr uint32_t chooser_tree_editable = 0x40000;
inline constexpr int chooser_kind_shift = 19;                  // 6-bit field: widget kind plus one (0 none)
inline constexpr uint32_t chooser_kind_field = 0x1F80000;
inline constexpr uint32_t chooser_has_folders = 0x2000000;     // rows are filed in the folders of folder_tree()
inline constexpr int chooser_tree_mode_shift = 26;             // 2-bit field: initial tree mode
inline constexpr uint32_t chooser_no_sorting = 0x20000000;
inline constexpr uint32_t chooser_no_quick_filter = 0x40000000;
inline constexpr uint32_t chooser_tree_without_state = 0x80000000;

// Flags of flags2 (honoured from version 3 on).
inline constexpr uint16_t chooser_lazy_folders = 0x1;    // the folder tree is filled by load_folder on demand
inline constexpr uint16_t chooser_own_inode_index = 0x2; // inode_index maps inodes to rows

// Bits of a column's width word: its width in glyphs in the low 16 bits; the high 16 bits are the column's
// flag word for the filter engine (its kind: text, size or hexadecimal number).
inline constexpr uint32_t column_glyphs_mask = 0xFFFF;
inline constexpr uint32_t column_hidden = 0x100000;      // hidden at first
inline constexpr uint32_t column_flagged = 0x200000;     // names a row in drag labels (the first such column)
inline constexpr uint32_t column_names_item = 0x400000;  // names an item in the folder tree (the first such column)
inline constexpr uint32_t column_flags_mask = 0xFFFF0000;
inline constexpr uint32_t column_max_glyphs = 1000;

// The style bit the widget sets on a row before it is described while the full tree form shows the rows.
inline constexpr uint32_t row_style_in_full_tree = 0x80000000;

// Results of open_chooser besides a row.
inline constexpr int64_t chooser_nothing_chosen = -1;
inline constexpr int64_t chooser_prepare_failed = -2;
inline constexpr int64_t chooser_brought_forward = -3;

// Result codes of the row operations: nothing changed, or rebuild the view and select what the source left
// in the selection.
inline constexpr int chooser_unchanged = 0;
inline constexpr int chooser_rebuild = 1;

// An inode that names nothing.
inline constexpr uint64_t no_inode = ~uint64_t(0);

// Internal errors of sources that break the interface.
inline constexpr int32_t interr_chooser_version = 40217;
inline constexpr int32_t interr_chooser_columns = 40583;

// The UI callback request a source with chooser_row_callback sends after each described row: the source, the
// row (uint64) and its chooser_row_attrs_t, which the user interface may adjust.
inline constexpr int32_t ui_code_chooser_row = 89;

// The help topic of a chooser whose title names none.
inline constexpr int32_t chooser_default_help = 427;

// The quick filter mode (0 substring, 1 whole words, 2 regular expression, 3 fuzzy) that the flags' mode field
// asks for; -1 when the field is 0.
[[nodiscard]] int chooser_quick_filter_mode_of(uint32_t flags);

// The widget kind of a source's flags, -1 for none.
[[nodiscard]] constexpr int chooser_widget_kind_of(uint32_t flags)
{
  return int((flags & chooser_kind_field) >> chooser_kind_shift) - 1;
}

// The attributes of one row that describe_row may change: size (12, carried), style (row_bold and the other
// row_* bits of views/filter/item_info.h) and background colour (0x00BBGGRR, all ones for none).
struct chooser_row_attrs_t
{
  uint32_t size = 12;
  uint32_t style = 0;
  uint32_t color = ~uint32_t(0);
};

// How a source describes one of its standard actions (insert, delete, edit, refresh): the label, tooltip and
// icon the action takes, and its state. Owned by the source.
class chooser_stdact_desc_t
{
public:
  chooser_stdact_desc_t() = default;
  chooser_stdact_desc_t(const char *label, const char *tooltip, int32_t icon) : label(label), tooltip(tooltip), icon(icon)
  {
  }
  virtual ~chooser_stdact_desc_t() = default;
  // The action's state in the update context (below 4 enabled, 7 disabled); 2 in the base.
  [[nodiscard]] virtual int32_t action_state(ui_action_update_ctx_t *context);

  int32_t kind = 1;
  const char *label = nullptr;   // "~x~" markup, null: keep
  const char *tooltip = nullptr; // null: keep
  int32_t icon = -1;             // -1: keep
};

// The operations of a source that act on rows; each answers a result code and may rewrite the selection.
enum class chooser_row_op_t
{
  insert,
  remove,
  edit,
  activate,
  reload,
};

// The default selection handed to open_chooser: the rows of a multiple-selection source or the index of a
// single-selection one; null pointers: none.
struct chooser_default_t
{
  const qvector<uint64_t> *rows = nullptr;
  const int64_t *index = nullptr;
};

class chooser_base_t;

// A source as a form's 'E' field embeds it: the forms engine's view of the list.
class chooser_embedded_list_t final : public form_chooser_t
{
public:
  explicit chooser_embedded_list_t(chooser_base_t *source) : source_(source) {}
  [[nodiscard]] QWidget *create_embedded_widget(const QString &form_title, int field_id) override;
  [[nodiscard]] int natural_width() const override;
  [[nodiscard]] QString title() const override;
  // A title the source borrows (the field's label) while its widget is made; empty gives the title back.
  void set_title(const QString &text) override;
  [[nodiscard]] QSize minimum_widget_size(QWidget *widget) const override;
  [[nodiscard]] qvector<uint64_t> selection(QWidget *widget) const override;
  void set_selection(QWidget *widget, const qvector<uint64_t> &rows) override;
  void reload(QWidget *widget) override;
  // The source's flags: with chooser_reopen (0x80) a form does not report the list's selection changes.
  [[nodiscard]] uint32_t state_word() const override;

private:
  chooser_base_t *source_;          // the source this object is part of
  qstring borrowed_;                // the text the source's title points at while a title is borrowed
  const char *own_title_ = nullptr; // the title before it was borrowed
  bool borrowing_ = false;
};

// A list: rows 0 to item_count() - 1 in `columns` columns, which the chooser widget shows, sorts and filters,
// calling back into the source. Derive from chooser_multi_t or chooser_t, fill the fields in the constructor
// and implement item_count and describe_row. Promises of the views: describe_row never sees a row at or beyond
// item_count(); everything runs on the GUI thread; a source that is not kept (chooser_keep) is deleted by the
// widget that shows it, after on_closed, or by open_chooser when nothing is shown.
class chooser_base_t
{
public:
  chooser_base_t();
  virtual ~chooser_base_t();
  chooser_base_t(const chooser_base_t &) = delete;
  chooser_base_t &operator=(const chooser_base_t &) = delete;

  // ---- The header the widget reads; the flags and the four labels may change afterwards ------------------
  uint8_t version = 3;   // 0 is refused; from 2 on standard_action_descs is asked, from 3 on flags2 honoured
  uint16_t flags2 = 0;
  uint32_t flags = 0;
  // The window title (UTF-8). It may hold a help marker ("@0:", digits, "[]", a line feed, at the start or
  // after a line feed or a blank) and then start with "NOMAINMENU\n" and "NOSTATUSBAR\n"; all are removed.
  const char *title = nullptr;
  int32_t columns = 0;                 // must be above 0
  const uint32_t *widths = nullptr;    // `columns` width words, or null
  const char *const *header = nullptr; // `columns` titles ("#tooltip#title" gives both), or null
  int32_t icon = -1;                   // the icon id every row starts with, -1 none
  qstring popup_names[4];              // labels of Insert, Delete, Edit and Refresh; empty ones get defaults
  int32_t default_column = 0;          // where Home and End put the current cell

  // ---- What the widget asks --------------------------------------------------------------------------------
  // Identity bytes: two sources of one title with equal, non-empty identities show the same list. Base: none.
  [[nodiscard]] virtual const uint8_t *identity_bytes(size_t *count);
  // Loads the rows before the source is shown; false when it cannot. Base: true.
  [[nodiscard]] virtual bool prepare();
  [[nodiscard]] virtual uint64_t item_count() = 0;
  // Fills the row's texts (one empty text per column), its icon and attributes (preset by the widget).
  virtual void describe_row(std::span<qstring> texts, int32_t *icon, chooser_row_attrs_t *attrs, uint64_t row) = 0;
  // The widget showing the source is being destroyed. Base: nothing.
  virtual void on_closed();
  // With chooser_has_folders: the tree that files the rows' inodes, asked once. Base: null.
  [[nodiscard]] virtual directory_tree_t *folder_tree();
  // The inode of a row, no_inode for none. Base: none.
  [[nodiscard]] virtual uint64_t item_inode(uint64_t row);
  // From version 2 on: the descriptors of insert, delete, edit and refresh (null where none); false gives none.
  virtual bool standard_action_descs(chooser_stdact_desc_t *descs[4]);
  // Files the rows of one folder on demand (chooser_lazy_folders). Base: false.
  virtual bool load_folder(directory_tree_t *tree, const char *folder_path);
  // With chooser_own_inode_index: the row of an inode, -1 for none. Base: -1.
  [[nodiscard]] virtual int64_t inode_index(uint64_t inode);

  // ---- The row operations as the widget calls them -----------------------------------------------------------
  // Runs an operation on the rows, rewriting them as the source asks (a single-selection source sees the first
  // row or -1 and gives one row back, or none when negative); answers the result code.
  virtual int run_row_operation(chooser_row_op_t op, qvector<uint64_t> *rows) = 0;
  // Tells the source that the user changed the selection (never empty).
  virtual void selection_changed(const qvector<uint64_t> &rows) = 0;
  // The default selection as rows, before clamping.
  virtual void resolve_default(const chooser_default_t &default_selection, qvector<uint64_t> *rows) = 0;
  // Whether the source takes a vector of rows (chooser_multi_t) rather than one row (chooser_t).
  [[nodiscard]] virtual bool is_multi() const = 0;

  // ---- Services -------------------------------------------------------------------------------------------
  // Shows the source (see chooser_multi_t::open_chooser).
  int64_t open_chooser(const chooser_default_t &default_selection);
  // The widget a form embeds in a field: titled "<form title>:<field>" and marked embedded; the source is
  // prepared first (its result is not checked). Owned by the caller.
  [[nodiscard]] chooser_widget_t *create_embedded_widget(const char *form_title, int field_id);
  // The list as a form's 'E' field takes it (the field's argument).
  [[nodiscard]] form_chooser_t *embedded_list() { return &embedded_list_; }
  // The source's widget kind, -1 for none.
  [[nodiscard]] int widget_kind() const { return chooser_widget_kind_of(flags); }

private:
  chooser_embedded_list_t embedded_list_ {this};
};

// A source whose selection is a vector of row indexes.
class chooser_multi_t : public chooser_base_t
{
public:
  // Shows the source: in batch mode a modal source is only prepared and answers its default's first row (or
  // -1; a row beyond the count becomes the last); a docked one is presented as a dock and answers 0, or
  // chooser_brought_forward when a widget of the same title and identity was raised instead, or
  // chooser_prepare_failed. The source is deleted (unless kept) whenever no widget takes it.
  int64_t open_chooser(const qvector<uint64_t> *default_selection = nullptr);

  // The first selection from the default given to open_chooser; the base copies it.
  virtual void resolve_default_selection(qvector<uint64_t> *out, const qvector<uint64_t> &default_selection);
  // The actions (called only with something selected, except insert); each answers a result code and may
  // rewrite the selection. Base: chooser_unchanged.
  virtual int insert_item(qvector<uint64_t> *selection);
  virtual int delete_items(qvector<uint64_t> *selection);
  virtual int edit_items(qvector<uint64_t> *selection);
  virtual int activate_items(qvector<uint64_t> *selection);
  // Re-reads the rows; a non-zero code rebuilds the view. Base: chooser_rebuild.
  virtual int reload_items(qvector<uint64_t> *selection);
  // The user changed the selection. Base: nothing.
  virtual void on_selection_changed(const qvector<uint64_t> &selection);

  // Empties the selection and, when the source has rows, puts in the index clamped to count - 1.
  void make_single_selection(qvector<uint64_t> *selection, uint64_t index);

  int run_row_operation(chooser_row_op_t op, qvector<uint64_t> *rows) final;
  void selection_changed(const qvector<uint64_t> &rows) final { on_selection_changed(rows); }
  void resolve_default(const chooser_default_t &default_selection, qvector<uint64_t> *rows) final;
  [[nodiscard]] bool is_multi() const final { return true; }
};

// What an operation of a single-selection source answers: the row to select afterwards (-1 none) and the code.
struct chooser_single_result_t
{
  int64_t row = -1;
  int code = chooser_unchanged;
};

// A source whose selection is one row index (-1 none).
class chooser_t : public chooser_base_t
{
public:
  // Shows the source as chooser_multi_t::open_chooser does, with one default row (null or negative: none).
  int64_t open_chooser(const int64_t *default_index = nullptr);

  // The first row from the default given to open_chooser; the base answers it.
  [[nodiscard]] virtual int64_t resolve_default_selection(const int64_t *default_index);
  // The actions, on the current row (-1 none). Base: {the row, chooser_unchanged}.
  virtual chooser_single_result_t insert_item(int64_t row);
  virtual chooser_single_result_t delete_items(int64_t row);
  virtual chooser_single_result_t edit_items(int64_t row);
  virtual chooser_single_result_t activate_items(int64_t row);
  // Re-reads the rows. Base: {the row, chooser_rebuild}.
  virtual chooser_single_result_t reload_items(int64_t row);
  // The user changed the selection; the first selected row. Base: nothing.
  virtual void on_selection_changed(int64_t row);

  int run_row_operation(chooser_row_op_t op, qvector<uint64_t> *rows) final;
  void selection_changed(const qvector<uint64_t> &rows) final;
  void resolve_default(const chooser_default_t &default_selection, qvector<uint64_t> *rows) final;
  [[nodiscard]] bool is_multi() const final { return false; }
};

// Drops the last index of a selection of two or more; true when it did (a source deleting the selected rows
// one by one, from the last, loops on it).
bool selection_pop_back(qvector<uint64_t> *selection);

// ---- Live chooser widgets ----------------------------------------------------------------------------------

// The first live widget (in creation order) whose window title is the title (help marker and control
// prefixes removed); an embedded widget also matches as the title followed by ':' and decimal digits. Null
// for a null title or when none matches.
[[nodiscard]] chooser_widget_t *find_chooser_widget_by_title(const char *title);
// The live widget showing that source, or null.
[[nodiscard]] chooser_widget_t *find_chooser_widget_by_object(const chooser_base_t *source);
// Closes the widget found by title (an embedded one stays open); true when one was found.
bool close_chooser_by_title(const char *title);
// Whether the pointer is a live chooser widget.
[[nodiscard]] bool is_live_chooser_widget(const void *pointer);
// Closes a widget: an embedded one is left alone, one in a dialog is closed, any other through the
// application's close_hosted_widget (its dock).
void close_chooser_widget(chooser_widget_t *widget);
