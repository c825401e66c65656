// The About box: the product line, the program's version and a link to the product's site.
#pragma once

#include "core/qstring.h"
#include "ui/dialog_base.h"

#include <functional>

struct ui_action_activation_ctx_t;

// The version as the About box shows it, from a raw file version ("1.2.3.456"): the last "." becomes "0"
// when at most three characters follow it and is removed otherwise ("1.2.30456" both for "1.2.3.456" and
// "1.2.3.0456"). A missing version or one without "." shows as "?".
[[nodiscard]] qstring file_version_text(const char *raw_version);

// A version read once: the reader runs at the first get only, the text is kept for every later one.
class file_version_cache_t
{
public:
  [[nodiscard]] const qstring &get(const std::function<const char *()> &read_raw_version);

private:
  qstring text_;
};

// The program's version text (the version compiled into the program), read at the first call and cached for
// the rest of the process.
[[nodiscard]] const qstring &read_file_version_string();

// The modal About box: a group with the application's large icon, the product line, the version line and the
// notice (object name "copyright"), a link opened in the browser, and a centred Ok button ("buttonBox"); no
// close or context-help button.
class about_dialog_t : public ui_dialog_t
{
  Q_OBJECT

public:
  explicit about_dialog_t(QWidget *parent);
};

// The action "about": runs the box over the application's active window; 1.
int run_about_action(ui_action_activation_ctx_t *context);
