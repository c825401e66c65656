// The container of a form's text field.
#include "forms/inputs/text_area_container.h"

#include "forms/text/text_area.h"
#include "forms/text_control_value.h"

static_assert(sizeof(text_control_value_t) == 40, "the form language knows the text record as 40 bytes");

text_area_container_t::text_area_container_t(const QString &label, const text_control_value_t *record)
{
  set_up(label, new text_area_t);
  if ( record != nullptr )
    write(*record);
}

text_area_t *text_area_container_t::text_area() const
{
  return static_cast<text_area_t *>(content());
}

void text_area_container_t::write(const text_control_value_t &record)
{
  text_area_t *area = text_area();
  area->set_auto_indent((record.flags & text_flag_auto_indent) != 0);
  area->set_indent_width((record.flags & text_flag_tab_width) != 0 ? record.tab_size : 0);
  const bool read_only = (record.flags & text_flag_read_only) != 0;
  area->setReadOnly(read_only);
  if ( !record.text.empty() )
  {
    const QString text = QString::fromUtf8(record.text.c_str());
    if ( read_only && (record.flags & text_flag_html) != 0 )
    {
      area->clear();
      area->appendHtml(text);
    }
    else
    {
      area->setPlainText(text);
    }
  }
  if ( (record.flags & text_flag_select_all) != 0 )
    area->selectAll();
  area->set_modified(false);
}

void text_area_container_t::read(text_control_value_t *record)
{
  text_area_t *area = text_area();
  const QByteArray text = area->toPlainText().toUtf8();
  record->text = qstring(text.constData(), size_t(text.size()));
  if ( area->is_modified() )
    record->flags |= text_flag_modified;
  else
    record->flags &= uint16_t(~text_flag_modified);
  area->set_modified(false);
}
