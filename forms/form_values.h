// Field values and their text forms: what each field kind's variable is, and how it becomes text and back.
#pragma once

#include "forms/form_args.h"

#include <QString>

#include <cstddef>
#include <cstdint>

// Buffer sizes of the path fields ('F', 'f') and of the 'X' string field.
constexpr size_t form_path_size = 260;
constexpr size_t form_text_buffer_size = 1024;

// The size in bytes of a field kind's variable (max_length: an 'A' or 'T' field's width subfield). Labels
// are internal error 2507, a letter of no kind internal error 2508.
[[nodiscard]] size_t form_value_size(char type, size_t max_length);
// The kind's name in messages ("ea", "signed", "path", ...); null for a kind without one.
[[nodiscard]] const char *form_value_kind_name(char type);
// The input length of a field from its width subfield.
[[nodiscard]] int default_max_length(char type, int width);
// What a field or dynamic label of that letter takes from the argument list as its value.
[[nodiscard]] form_arg_kind form_value_arg_kind(char type);
// True for the letters whose value has a text form (value_to_text answers true for them).
[[nodiscard]] bool has_text_form(char type);

// The value as its field shows it, in that radix for 'L' and 'l'. False for a letter without a text form.
// A null value gives an empty text for the text kinds.
[[nodiscard]] bool value_to_text(const void *value, char type, int radix, QString *out);

// What text_to_value needs to know of the field.
struct form_field_info_t
{
  int flags = 0;           // 1: relative input ("+5" adds to the value) for the number kinds
  uint64_t max_length = 0; // a string field's width subfield (0: no limit)
  int id = 0;              // for messages
  int radix = 10;          // of 'L' and 'l'
};

// Reads a typed text into the variable (size bytes for the buffer kinds). False, with the variable untouched
// and, unless silent, one warning, when the text does not read. Numbers shown in hexadecimal, octal, binary or
// as a literal are read back in that form. A path longer than its buffer is refused, never cut. A letter
// without a text form is internal error 40344.
[[nodiscard]] bool text_to_value(void *value, size_t size, const QString &text, char type, bool silent,
                                 const form_field_info_t &field);

// Reads a 64-bit decimal number as "%d" would: blanks, a sign, then the digits up to the first non-digit
// ("0x10" reads as 0). Magnitudes up to 2^64-1 are kept as their bit pattern. False, with the error text
// "Failed to parse value representation '<text>'", when no digit comes or the number does not fit 64 bits.
[[nodiscard]] bool parse_number(int64_t *out, QString *error, const char *text);
// An address in upper-case hexadecimal (a "0x" is allowed); an empty text is "no address" (all ones).
[[nodiscard]] bool parse_address(uint64_t *out, const char *text);
[[nodiscard]] QString format_address(uint64_t value);
