// The About box and the program's version text.
#include "client/views/about_dialog.h"

#include "ui/app_base.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <cstring>

namespace {

#ifndef AKUI_FILE_VERSION
#error "AKUI_FILE_VERSION: the program's file version, compiled in by the build"
#endif

constexpr char product_line[] = "<b>ZUK Kollab - Collaborative reverse-engineering work</b>";
constexpr char platform_words[] = " Linux x86-64 (64-bit address size)";
constexpr char notice[] = "Copyright &copy; Quorvin. All rights reserved.";
constexpr char site_link[] = "<b><a href=\"https://www.zuk-kollab.example/\">www.zuk-kollab.example</a></b>";
// Horizontal and vertical centre.
constexpr Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignVCenter;

QLabel *rich_label(const char *text)
{
  auto *label = new QLabel(QString::fromUtf8(text));
  label->setAlignment(centred);
  label->setTextFormat(Qt::RichText);
  return label;
}

} // namespace

qstring file_version_text(const char *raw_version)
{
  if ( raw_version == nullptr )
    return "?";
  std::string text(raw_version);
  const size_t dot = text.rfind('.');
  if ( dot == std::string::npos )
    return "?";
  if ( text.size() - dot - 1 <= 3 )
    text[dot] = '0';
  else
    text.erase(dot, 1);
  return qstring(text.data(), text.size());
}

const qstring &file_version_cache_t::get(const std::function<const char *()> &read_raw_version)
{
  if ( text_.empty() )
    text_ = file_version_text(read_raw_version());
  return text_;
}

const qstring &read_file_version_string()
{
  static file_version_cache_t cache;
  return cache.get([] { return AKUI_FILE_VERSION; });
}

about_dialog_t::about_dialog_t(QWidget *parent) : ui_dialog_t(parent)
{
  setWindowTitle(QStringLiteral("About"));
  auto *group = new QGroupBox;
  auto *group_layout = new QVBoxLayout(group);
  auto *row = new QHBoxLayout;
  group_layout->addLayout(row);

  auto *icon = new QLabel;
  if ( app_t *app = current_app() )
  {
    const QIcon large = app->icon_by_name("/large.png");
    const QList<QSize> sizes = large.availableSizes();
    if ( !sizes.isEmpty() )
      icon->setPixmap(large.pixmap(sizes.first()));
  }
  row->addWidget(icon, 0, Qt::AlignHCenter);

  auto *texts = new QVBoxLayout;
  row->addLayout(texts, 1);
  texts->addWidget(rich_label(product_line));
  const std::string version = std::string("Version ") + read_file_version_string().c_str() + platform_words;
  texts->addWidget(rich_label(version.c_str()));
  QLabel *copyright = rich_label(notice);
  copyright->setObjectName(QStringLiteral("copyright"));
  texts->addWidget(copyright);

  QLabel *link = rich_label(site_link);
  link->setOpenExternalLinks(true);
  group_layout->addWidget(link);

  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  buttons->setObjectName(QStringLiteral("buttonBox"));
  buttons->setCenterButtons(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  setWindowFlags(windowFlags() & ~(Qt::WindowContextHelpButtonHint | Qt::WindowCloseButtonHint));
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addWidget(buttons);
}

int run_about_action(ui_action_activation_ctx_t *)
{
  app_t *app = current_app();
  about_dialog_t dialog(app != nullptr ? app->active_window() : nullptr);
  (void)dialog.exec();
  return 1;
}
