// The modal dialogs the form fields open: a folder chooser, and the Qt file and colour dialogs inside a modal
// exec control.
#pragma once

#include "core/qstring.h"

#include <QColor>
#include <QColorDialog>
#include <QFileDialog>
#include <QString>

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
