// The registry values behind the client's view state: column widths, visible columns and tree state.
#include "client/views/view_state_persistence.h"

#include "core/internal_error.h"
#include "core/registry.h"
#include "core/ui_callback.h"
#include "ui/app_base.h"
#include "views/chooser/chooser_widget.h"

#include <QWidget>

namespace {

qstring value_name(const qstring &name, const char *suffix)
{
  qstring out = name;
  out += suffix;
  return out;
}

bool read_binary(const qstring &name, byte_buffer_t *out, const char *subkey = nullptr)
{
  return registry_binary(name.c_str(), false, out, 0, subkey, registry_binary_buffer);
}

bool write_binary(const qstring &name, const byte_buffer_t &bytes, const char *subkey = nullptr)
{
  return registry_binary(name.c_str(), true, const_cast<byte_buffer_t *>(&bytes), 0, subkey, registry_binary_buffer);
}

enum class widths_read_t
{
  missing,
  damaged,
  read,
};

// The stored widths of a view; a damaged value is reported here, once.
widths_read_t read_widths(const qstring &name, std::vector<int32_t> *out)
{
  byte_buffer_t bytes;
  if ( !read_binary(value_name(name, column_widths_suffix), &bytes) )
    return widths_read_t::missing;
  if ( decode_column_widths(bytes, out) )
    return widths_read_t::read;
  log_printf("The saved column widths of \"%s\" are damaged; the default widths are used\n", name.c_str());
  return widths_read_t::damaged;
}

qstring utf8_of(const QString &text)
{
  const QByteArray bytes = text.toUtf8();
  return qstring(bytes.constData(), size_t(bytes.size()));
}

} // namespace

bool decode_column_widths(const byte_buffer_t &bytes, std::vector<int32_t> *out)
{
  if ( bytes.size() % 4 != 0 )
    return false;
  for ( size_t i = 0; i < bytes.size(); i += 4 )
    out->push_back(int32_t(uint32_t(bytes[i]) | uint32_t(bytes[i + 1]) << 8 | uint32_t(bytes[i + 2]) << 16
                           | uint32_t(bytes[i + 3]) << 24));
  return true;
}

byte_buffer_t encode_column_widths(const std::vector<int32_t> &widths)
{
  byte_buffer_t bytes;
  for ( const int32_t width : widths )
    for ( int shift = 0; shift < 32; shift += 8 )
      bytes.push_back(uint8_t(uint32_t(width) >> shift));
  return bytes;
}

// ---- Choosers ------------------------------------------------------------------------------------------------

akui_chooser_persistence_helper_t::akui_chooser_persistence_helper_t(chooser_widget_t *widget)
{
  if ( widget == nullptr )
    interr(INTERR_PERSISTENCE_WITHOUT_WIDGET);
  QString title;
  app_t *app = current_app();
  if ( app == nullptr || !app->query_generic_title(title, widget) )
    title = widget->windowTitle();
  name_ = utf8_of(title);
}

bool akui_chooser_persistence_helper_t::read_column_widths(std::vector<int32_t> *widths)
{
  return read_widths(name_, widths) != widths_read_t::damaged;
}

bool akui_chooser_persistence_helper_t::read_columns_visible(byte_buffer_t *bytes)
{
  return read_binary(value_name(name_, columns_visible_suffix), bytes);
}

bool akui_chooser_persistence_helper_t::write_column_widths(const std::vector<int32_t> &widths)
{
  return write_binary(value_name(name_, column_widths_suffix), encode_column_widths(widths));
}

bool akui_chooser_persistence_helper_t::write_columns_visible(const byte_buffer_t &bytes)
{
  return write_binary(value_name(name_, columns_visible_suffix), bytes);
}

// ---- Directory trees -------------------------------------------------------------------------------------------

akui_dirtree_widget_persistence_helper_t::akui_dirtree_widget_persistence_helper_t(QWidget *view)
  : name_(view != nullptr ? utf8_of(view->windowTitle()) : qstring())
{
}

bool akui_dirtree_widget_persistence_helper_t::load_state(byte_buffer_t *out)
{
  return read_binary(name_, out, widget_state_subkey);
}

bool akui_dirtree_widget_persistence_helper_t::load_column_widths(std::vector<int32_t> *out)
{
  return read_widths(name_, out) == widths_read_t::read;
}

bool akui_dirtree_widget_persistence_helper_t::load_columns_visible(byte_buffer_t *out)
{
  return read_binary(value_name(name_, columns_visible_suffix), out);
}

bool akui_dirtree_widget_persistence_helper_t::store_state(const byte_buffer_t &bytes)
{
  return write_binary(name_, bytes, widget_state_subkey);
}

bool akui_dirtree_widget_persistence_helper_t::store_column_widths(const std::vector<int32_t> &widths)
{
  return write_binary(value_name(name_, column_widths_suffix), encode_column_widths(widths));
}

bool akui_dirtree_widget_persistence_helper_t::store_columns_visible(const byte_buffer_t &bytes)
{
  return write_binary(value_name(name_, columns_visible_suffix), bytes);
}
