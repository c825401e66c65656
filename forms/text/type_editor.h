// The type editor: a text area for a C-like type declaration, with offset and size margins and a validity signal.
#pragma once

#include "forms/text/text_area.h"

#include <cstdint>
#include <vector>

// A type as the editor refers to it: its identifier (0 for none), its name and a second text of the caller's.
struct type_reference_t
{
  uint64_t type_id = 0;
  qstring name;
  qstring second;
};

// One member of a laid-out structure; its comment may carry a line marker (parse_line_marker).
struct type_member_t
{
  uint64_t offset_bits = 0;
  uint64_t size_bits = 0;
  qstring comment;
};

// What the type service says of a type's layout.
struct type_layout_t
{
  bool is_struct = false;
  uint64_t size_bits = 0;
  std::vector<type_member_t> members;
};

// The type system behind the editor. The program has none: the base fails for every text and type. An
// application that has one installs it with set_type_service.
class type_service_t
{
public:
  virtual ~type_service_t() = default;
  // Parses a declaration (UTF-8, ending in ';'); true with *out describing the type.
  [[nodiscard]] virtual bool parse_declaration(type_reference_t * /*out*/, const char * /*text*/, int /*flags*/)
  {
    return false;
  }
  // Lays out a type; true with *out filled.
  [[nodiscard]] virtual bool layout_type(type_layout_t * /*out*/, const type_reference_t & /*type*/)
  {
    return false;
  }
};

// The installed service, or the empty one. GUI thread.
[[nodiscard]] type_service_t &type_service();
// Installs a service (not owned; null puts the empty one back).
void set_type_service(type_service_t *service);

// The 1-based line a member comment names with its marker (the byte 0x05, decimal digits, optionally '.' and
// one more character), removing the marker from the comment; 0 when the comment has no marker.
[[nodiscard]] int parse_line_marker(qstring *comment);

class type_editor_t;

// A margin of the type editor: beside each line, a value of the line table in bytes ("%04X"), or nothing.
class type_editor_text_margin_t : public text_area_margin_widget_t
{
  Q_OBJECT

public:
  type_editor_text_margin_t(type_editor_t *editor, const QString &name);
  // The line's value in bits, -1 for none.
  [[nodiscard]] virtual int64_t line_value(int line) const = 0;
  QString block_text(int block) const override;

protected:
  [[nodiscard]] const type_editor_t &type_editor() const;
};

// "Offset": the offset of what each line declares.
class offsets_margin_t : public type_editor_text_margin_t
{
  Q_OBJECT

public:
  explicit offsets_margin_t(type_editor_t *editor) : type_editor_text_margin_t(editor, "Offset") {}
  int64_t line_value(int line) const override;
};

// "Size": the size of what each line declares.
class sizes_margin_t : public type_editor_text_margin_t
{
  Q_OBJECT

public:
  explicit sizes_margin_t(type_editor_t *editor) : type_editor_text_margin_t(editor, "Size") {}
  int64_t line_value(int line) const override;
};

// A text area for a type declaration: highlighted as declarations, Tab moving the focus, and after every
// change validity_updated with whether the type service parses the text. The margins show only while the
// service lays the type out (never with the empty service).
class type_editor_t : public text_area_t
{
  Q_OBJECT

public:
  // One line of the table: offset and size in bits, -1 for none.
  struct line_entry_t
  {
    int64_t offset = -1;
    int64_t size = -1;
  };

  // type_id 0: no type given; second may be null.
  type_editor_t(QWidget *parent, uint64_t type_id, const char *name, const char *second, const QString &text,
                uint32_t options);
  ~type_editor_t() override;

  // The parse of the current text (trailing white space removed, ';' appended when missing), with flags | 4
  // unless flag 8 is set; on failure "Parse error" is appended to messages when given.
  [[nodiscard]] bool parse_declaration(type_reference_t *out, int flags, qvector<qstring> *messages);
  // Replaces the text when given, then rebuilds the line table and shows the margins as the layout allows.
  void refresh_layout(const QString *text);
  // The edited type: name, and the second text when given (else cleared); no type clears both.
  void set_type_reference(uint64_t type_id, const char *name, const char *second);

  [[nodiscard]] const type_reference_t &type_reference() const { return reference_; }
  [[nodiscard]] const std::vector<line_entry_t> &line_table() const { return lines_; }
  [[nodiscard]] uint32_t options() const { return options_; }
  [[nodiscard]] offsets_margin_t *offsets_margin() const { return offsets_; }
  [[nodiscard]] sizes_margin_t *sizes_margin() const { return sizes_; }

signals:
  void validity_updated(bool valid);

public slots:
  // The framework calls these when the editor becomes or stops being the active widget; nothing to do.
  void form_activate() {}
  void form_deactivate() {}
  void changedText() override;

private:
  // Fills the line table from the service's layout; false when there is none.
  bool lay_out(bool *is_struct);

  type_reference_t reference_;
  std::vector<line_entry_t> lines_;
  uint32_t options_;
  offsets_margin_t *offsets_; // children
  sizes_margin_t *sizes_;
};
