// What an 'E' field needs of an embedded list: the forms library declares it, the chooser implements it.
#pragma once

#include "core/qvector.h"

#include <QString>

#include <cstdint>

class QSize;
class QWidget;

// A list that a form embeds. The widget it makes emits "selection_state_changed(bool)" when its selection
// changes. Promise: the widget is owned by whoever places it (the form's container).
class form_chooser_t
{
public:
  virtual ~form_chooser_t() = default;
  // A new widget showing the list, for a form of that title and the field's id.
  [[nodiscard]] virtual QWidget *create_embedded_widget(const QString &form_title, int field_id) = 0;
  // The sum over the columns of their width plus 1, plus 2; 0 without columns.
  [[nodiscard]] virtual int natural_width() const = 0;
  // The list's own title; a list without one takes the field's label while its widget is made.
  [[nodiscard]] virtual QString title() const = 0;
  virtual void set_title(const QString &title) = 0;
  // The least size the embedded widget needs in a modal form.
  [[nodiscard]] virtual QSize minimum_widget_size(QWidget *widget) const = 0;
  // The selected rows of the widget, and a new selection for it.
  [[nodiscard]] virtual qvector<uint64_t> selection(QWidget *widget) const = 0;
  virtual void set_selection(QWidget *widget, const qvector<uint64_t> &rows) = 0;
  // Loads the rows again.
  virtual void reload(QWidget *widget) = 0;
  // The list's state word; bit 0x80 keeps selection changes from the form's callback.
  [[nodiscard]] virtual uint32_t state_word() const = 0;
};
