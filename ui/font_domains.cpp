// Font domains: finding a widget's domain, giving it the domain's font, re-applying fonts, the font picker.
#include "ui/font_domains.h"

#include "ui/app_base.h"
#include "ui/layout_helpers.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QPointer>
#include <QWidget>

#include <cstring>

std::vector<font_domain_t> default_font_domains()
{
  return {
    {"Tabular views", "Tabular views", font_domain_tabular},
    {"Output window", "Output window", 0},
    {"Text input", "Text input (database notepad, input fields, ...)", 0},
  };
}

namespace
{

const font_domain_t *find_domain(const app_t *app, const char *name)
{
  if ( app == nullptr || name == nullptr || *name == '\0' )
    return nullptr;
  for ( const font_domain_t &d : app->font_domains() )
    if ( d.name == name )
      return &d;
  return nullptr;
}

// Gives the widget the font of the first entry of its domain, then does the same for its children; a widget
// destroyed by an earlier call is skipped.
void apply_fonts_to_tree(QWidget *widget, const std::vector<domain_font_t> &fonts)
{
  const font_domain_t *domain = nullptr;
  if ( get_font_domain_name(&domain, widget) )
    for ( const domain_font_t &entry : fonts )
      if ( entry.domain != nullptr && entry.domain->name == domain->name )
      {
        set_widget_font(widget, entry.font);
        break;
      }
  QList<QPointer<QWidget>> children;
  for ( QObject *child : widget->children() )
    if ( child->isWidgetType() )
      children.append(static_cast<QWidget *>(child));
  for ( const QPointer<QWidget> &child : children )
    if ( !child.isNull() )
      apply_fonts_to_tree(child, fonts);
}

} // namespace

bool get_font_domain_name(const font_domain_t **out, QObject *object)
{
  if ( !has_method(object, "get_font_domain_name()") )
    return false;
  QString name;
  if ( !QMetaObject::invokeMethod(object, "get_font_domain_name", Qt::DirectConnection, Q_RETURN_ARG(QString, name)) )
    return false;
  const font_domain_t *domain = find_domain(current_app(), name.toUtf8().constData());
  if ( domain == nullptr )
    return false;
  *out = domain;
  return true;
}

bool apply_domain_font(QWidget *widget)
{
  app_t *app = current_app();
  const font_domain_t *domain = nullptr;
  if ( app == nullptr || !get_font_domain_name(&domain, widget) )
    return false;
  QFont font;
  if ( !app->stored_domain_font(&font, *domain) )
    font = app->default_domain_font(*domain);
  return set_widget_font(widget, font);
}

void apply_one_domain_font(const QFont &font, const font_domain_t &domain)
{
  if ( app_t *app = current_app() )
    app->apply_fonts({{font, &domain}});
}

bool app_t::font_of_domain(QFont *out, const char *domain_name)
{
  const font_domain_t *domain = find_domain(this, domain_name);
  return domain != nullptr && stored_domain_font(out, *domain);
}

void app_t::apply_fonts(const std::vector<domain_font_t> &fonts)
{
  QList<QPointer<QWidget>> tops;
  for ( QWidget *w : QApplication::topLevelWidgets() )
    tops.append(w);
  for ( const QPointer<QWidget> &w : tops )
    if ( !w.isNull() )
      apply_fonts_to_tree(w, fonts);
}

font_picker_t::font_picker_t(const font_domain_t &domain, const QFont &reset_font, QWidget *parent)
  : QFontDialog(reset_font, parent), domain_(&domain), reset_font_(reset_font)
{
  // The buttons live in the dialog's own box, which only the built-in dialog has.
  setOption(QFontDialog::DontUseNativeDialog);
  if ( QDialogButtonBox *box = findChild<QDialogButtonBox *>() )
  {
    box->addButton(QDialogButtonBox::Apply);
    box->addButton(QDialogButtonBox::Reset);
    connect(box, &QDialogButtonBox::clicked, this, &font_picker_t::on_dialog_button_clicked);
  }
}

void font_picker_t::on_dialog_button_clicked(QAbstractButton *button)
{
  const QDialogButtonBox *box = findChild<QDialogButtonBox *>();
  if ( box == nullptr )
    return;
  const QDialogButtonBox::StandardButton which = box->standardButton(button);
  if ( which == QDialogButtonBox::Apply )
    apply_one_domain_font(currentFont(), *domain_);
  else if ( which == QDialogButtonBox::Reset )
    setCurrentFont(reset_font_);
}
