// The script language's highlighter, which the client's start-up hands to the ZXL language record.
#pragma once

#include "forms/text/syntax_highlighter.h"

#include <memory>

// A new highlighter for ZXL source: "//" and "/* */" comments, three keyword groups, '"' and '\'' strings
// with '\' escapes, '#' directives.
std::unique_ptr<zuk_syntax_highlighter_t> build_zxl_highlighter();
