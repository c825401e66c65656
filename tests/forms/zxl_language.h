// The script language's highlighter behind a language record of a test's (or benchmark's) own.
#pragma once

#include "core/language_record.h"
#include "forms/text/zxl_highlighter.h"

#include <memory>

// Promises: record.highlighter points to engine for the object's lifetime.
struct zxl_language_t
{
  std::unique_ptr<zuk_syntax_highlighter_t> engine = build_zxl_highlighter();
  language_record_t record;

  zxl_language_t() { record.highlighter = static_cast<const syntax_highlighter_t *>(engine.get()); }
};
