// Theme style sheets: loading a theme's "theme.css" and "user.css" through the theme preprocessor, joining
// them, and handing the theme's icon declarations to the window that keeps theme icons.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <QString>

#include <cstddef>
#include <cstdint>

class QObject;

// Debug flag (-z) that traces how themes are found and imported.
constexpr uint32_t theme_trace_flag = 0x1000000;
// Largest theme file read, and largest text a pass may produce (variables can grow lines); beyond either the
// pass fails with an error rather than use unbounded memory.
constexpr size_t theme_text_limit = size_t(16) << 20;
// Deepest chain of @importtheme a pass follows.
constexpr int theme_import_depth_limit = 64;

// The caller's record of one theme. Promises: only the loader writes theme_css and user_css.
struct theme_t
{
  qstring name;      // the theme's directory name
  qstring theme_css; // "theme.css" after preprocessing
  qstring user_css;  // "user.css" after preprocessing (empty when the theme has none)
  qstring extra_css; // the application's own part
};

// Loads both passes of the theme named theme->name from the application's themes directories
// (app_t::themes_dir_name, in order): pass 1 fills theme_css from "theme.css" (required), pass 2 user_css from
// "user.css" (optional). False at the first failure, with *error set to its text ("Theme \"%s\" not found",
// "Unbalanced @endif", ...).
[[nodiscard]] bool load_theme_stylesheets(theme_t *theme, qstring *error);
// The same over an explicit list of themes directories.
[[nodiscard]] bool load_theme_stylesheets_from(theme_t *theme, const qvector<qstring> &themes_dirs, qstring *error);

// Flags of join_theme_stylesheets.
constexpr int theme_join_user = 1;  // append user_css
constexpr int theme_join_extra = 2; // append extra_css
// theme_css, then user_css (flag 1) and extra_css (flag 2), joined with "\n", decoded from UTF-8.
[[nodiscard]] QString join_theme_stylesheets(const theme_t &theme, int flags);

// Qt's style engine does not hand unknown properties to anyone, so the theme's icon declarations are found
// here: every declaration inside a rule block whose property is "themeicon" followed by '-' or '_' and a name,
// with a file name as value, written either way:
//     ui_main_window_t { themeicon-refresh: url("$RELPATH/icons/refresh.svg"); themeicon_open: open.png; }
// (a url(...) wrapper and quotes are taken off the value). Each is handed, in text order, to the receiver's slot
// "handleUnknownStyleProperty(QString,QString)" as (property, file name). Answers how many were handed over;
// 0 when the receiver is null or has no such slot. Comments are skipped.
int feed_theme_icons(const QString &style_sheet, QObject *receiver);
