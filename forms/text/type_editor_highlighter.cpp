// The type-declaration highlighter.
#include "forms/text/type_editor_highlighter.h"

type_editor_highlighter_t::type_editor_highlighter_t()
{
  line_comment = "//";
  (void)add_block_comment("/*", "*/"); // the first pair is always accepted
  add_keyword_group(
    "__cdecl|__pascal|__stdcall|__fastcall|__thiscall|__usercall|__export|__import|__thread|__declspec|__far|"
    "__near|__huge|__int8|__int16|__int32|__int64|__int128|do|if|_es|_cs|_ss|_ds|asm|for|int|new|try|auto|bool|"
    "case|char|else|enum|flat|goto|long|this|void|break|catch|class|const|float|short|throw|union|while|double|"
    "extern|friend|inline|public|return|signed|sizeof|static|struct|switch|default|mutable|private|typedef|"
    "virtual|continue|register|template|unsigned|volatile|__interrupt|namespace|protected|__unaligned|"
    "__userpurge|_BYTE|_WORD|_DWORD|_QWORD|_OWORD|_TBYTE|_UNKNOWN|_BOOL1|_BOOL2|_BOOL4|_BOOL8|__spoils|"
    "__attribute__|__pure|__noreturn|__cppobj|__ptr32|__ptr64|__restrict|__hidden|__array_ptr|__struct_ptr|"
    "__return_ptr|__unused|__shifted|__pragma|_Bool|__golang|__swiftcall|__bitmask|__offset|__strlit|__enum|"
    "__stroff|__custom|__tabform|__bin|__oct|__hex|__dec|__float|__char|__segm|__off|__invsign|__invbits|"
    "__lzero|__sbin|__soct|__shex|__udec|__signed",
    HL_KEYWORD1);
  add_keyword_group("unsigned|const", HL_KEYWORD2);
}

language_record_t &type_declaration_language()
{
  struct language_t
  {
    type_editor_highlighter_t highlighter;
    language_record_t record;
    language_t() { record.highlighter = static_cast<const syntax_highlighter_t *>(&highlighter); }
  };
  static language_t language;
  return language.record;
}
