// Font domains: each kind of widget belongs to a domain whose font the application decides; the font picker.
#pragma once

#include "core/qstring.h"

#include <QFont>
#include <QFontDialog>

#include <cstdint>
#include <vector>

class QAbstractButton;
class QObject;
class QWidget;

// Flag of a domain of tables and lists.
constexpr uint32_t font_domain_tabular = 2;

// One domain. Promises: the name is the key that widgets answer from their "get_font_domain_name()" slot.
struct font_domain_t
{
  qstring name;
  qstring description;
  uint32_t flags = 0;
};

// The application's domains, in order: "Tabular views" (flag 2), "Output window", "Text input".
[[nodiscard]] std::vector<font_domain_t> default_font_domains();

// One entry of app_t::apply_fonts: a font for a domain of the application's table.
struct domain_font_t
{
  QFont font;
  const font_domain_t *domain = nullptr; // not owned: an entry of the application's table
};

// The domain that the object's "get_font_domain_name()" slot names: false when it has no such slot, or the
// name is empty or matches no domain exactly. *out points into the application's table.
[[nodiscard]] bool get_font_domain_name(const font_domain_t **out, QObject *object);
// Gives a widget its domain's font (the stored one, else the application's default) with set_widget_font;
// false for a widget without a domain, else what set_widget_font answers.
bool apply_domain_font(QWidget *widget);
// app_t::apply_fonts with one entry.
void apply_one_domain_font(const QFont &font, const font_domain_t &domain);

// A font dialog for one domain: its Apply button applies the current font to every widget of the domain, its
// Reset button goes back to the reset font. Nothing in the program makes one; an application may.
class font_picker_t : public QFontDialog
{
  Q_OBJECT

public:
  font_picker_t(const font_domain_t &domain, const QFont &reset_font, QWidget *parent = nullptr);

private slots:
  void on_dialog_button_clicked(QAbstractButton *button);

private:
  const font_domain_t *domain_; // not owned: an entry of the application's table
  QFont reset_font_;
};
