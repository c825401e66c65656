// The core's input requests answered by dialogs (questions, file names, forms, texts and docked forms), and the
// modal dialogs the form fields open: a folder chooser, and the Qt file and colour dialogs inside a modal exec
// control.
#pragma once

#include "core/qstring.h"

#include <QColor>
#include <QColorDialog>
#include <QFileDialog>
#include <QString>

#include <cstdarg>

class form_widget_t;

// The kinds of a text request (UI callback code 32) that are not a plain string; any other kind is one.
enum text_request_kind : int
{
  text_kind_identifier = 4,     // 'i'
  text_kind_file_path = 5,      // 'f', browsing with an open dialog
  text_kind_trimmed = 6,        // 'y'
  text_kind_long_text = 7,      // 'X', at most 1023 bytes
  text_kind_folder_path = 8,    // 'F'
  text_kind_identifier_two = 9, // 'I'
};

// ---- The requests of the UI callback ----------------------------------------------------------------------
// Every modal dialog runs between the creation and the deletion of a modal exec control of the application's
// widget factory, also when the run throws. All of them but ask_yes_no_request run on the GUI thread.

// Code 28. A question box titled "Please confirm" with the question icon and three buttons (a null label: the
// standard one), run as a GUI-thread request, so any thread may ask; the calling thread waits. Answers 1
// (first button), 0 (second) or -1 (cancel), or the answer remembered for the text's AUTOHIDE scope.
[[nodiscard]] int ask_yes_no_request(const char *yes_label, const char *no_label, const char *cancel_label,
                                     int default_answer, const char *format, va_list va);

// Code 29. A Qt open or save dialog (parent: the main window) titled by the prompt; a first line
// "FILTER <filter text>" of the prompt gives its name filters, a default path its start folder, name and
// extension filter (a default path that names a folder is ignored). True with the whole absolute path in
// *answer when a file was chosen; saving a name without extension adds the one of the selected filter. False
// with *answer unchanged when the dialog was cancelled, or when the path would not fit PATH_MAX (with a
// warning). The folder of the chosen file is remembered for the next request of that direction.
[[nodiscard]] bool ask_file_request(qstring *answer, bool for_saving, const char *default_path,
                                    const char *format, va_list va);

// Code 30. The form in a modal form dialog (parent: the active window), with the form's arguments. Answers 1
// when it was confirmed; a form with a No button answers 0 for No and -1 for Cancel, one without answers 0 for
// Cancel. 0 for a null form or one that does not compile (reported by the form compiler; no widget is left).
// A dialog result other than -1, 0 and 1 is internal error 40260.
[[nodiscard]] int ask_form_request(const char *form, va_list va);

// Code 32. A one-field form "Please enter a string" whose label is the prompt (help marker removed, ':' and '>'
// shown as blanks) and whose field type follows the kind (text_request_kind). *value holds the initial text and,
// when confirmed (true), the answer without trailing white space. A value that does not fit a path or long-text
// field is refused with a warning (false), never cut.
[[nodiscard]] bool ask_text_request(qstring *value, int kind, const char *format, va_list va);

// Code 116. A non-modal form docked in the main window: when a live form has this form's title already, its
// dock comes to the front and that form is answered (the arguments are not used); otherwise a new form is
// compiled and presented with the flags (placement bits as the dock options word). Null, leaving no widget,
// when the form does not compile.
form_widget_t *open_form_widget_request(const char *form, int flags, va_list va);

// ---- Helpers of the form fields ---------------------------------------------------------------------------

// Cuts the text at its first ':' not preceded by '\' (the ':' becomes NUL) and answers the text after it, null
// when there is none. Each "\:" before that point becomes ":" in place, also when null is answered.
char *split_at_unescaped_colon(char *text);

// Asks for a folder (title formatted from format, help marker removed), starting at initial. True and *out
// set (native separators, UTF-8) when one was chosen; false and *out unchanged otherwise.
[[nodiscard]] bool ask_directory(qstring *out, const char *initial, const char *format, ...);

// The Qt dialogs, each run between the creation and the deletion of a modal exec control (flag 0) of the
// application's widget factory; their answers unchanged.
[[nodiscard]] QString get_existing_directory_guarded(QWidget *parent, const QString &caption, const QString &folder,
                                                     QFileDialog::Options options);
[[nodiscard]] QString get_open_file_name_guarded(QWidget *parent, const QString &caption, const QString &folder,
                                                 const QString &filter, QString *selected_filter,
                                                 QFileDialog::Options options);
[[nodiscard]] QString get_save_file_name_guarded(QWidget *parent, const QString &caption, const QString &folder,
                                                 const QString &filter, QString *selected_filter,
                                                 QFileDialog::Options options);
[[nodiscard]] QColor get_color_guarded(const QColor &initial, QWidget *parent, const QString &title,
                                       QColorDialog::ColorDialogOptions options);
