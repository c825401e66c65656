// The type-declaration highlighter and the language record that carries it.
#pragma once

#include "core/language_record.h"
#include "forms/text/syntax_highlighter.h"

// The type editor's language: "//" and "/* */" comments, the declaration keywords in group 1 with "unsigned"
// and "const" moved to group 2; no strings and no directives.
class type_editor_highlighter_t : public zuk_syntax_highlighter_t
{
public:
  type_editor_highlighter_t();
};

// The process-wide record whose highlighter is the one type_editor_highlighter_t; built at the first use and
// kept for the whole process.
[[nodiscard]] language_record_t &type_declaration_language();
