// The script language's highlighter description.
#include "forms/text/zxl_highlighter.h"

std::unique_ptr<zuk_syntax_highlighter_t> build_zxl_highlighter()
{
  auto hl = std::make_unique<zuk_syntax_highlighter_t>();
  hl->line_comment = "//";
  (void)hl->add_block_comment("/*", "*/"); // the first pair is always accepted
  hl->add_keyword_group("auto|static|extern|for|if|else|while|do|break|continue|return|try|catch|throw",
                        HL_KEYWORD1);
  hl->add_keyword_group("long|string|__int64|success|char|float|void", HL_KEYWORD2);
  hl->add_keyword_group("BADADDR|BADSEL|MAXADDR", HL_KEYWORD3);
  hl->quote1 = '"';
  hl->quote2 = '\'';
  hl->escape = '\\';
  hl->directive = '#';
  return hl;
}
