// How chooser widgets are made: setup records, the persistence helper's base and the library's own factory.
#include "views/chooser/chooser_factory.h"

#include "ui/app_base.h"
#include "ui/docks/dock_area.h"
#include "ui/message_box_header.h"
#include "views/chooser/chooser_base.h"
#include "views/chooser/chooser_table.h"
#include "views/chooser/chooser_widget.h"

#include <string_view>

namespace {

chooser_widget_factory_t *installed_factory = nullptr; // not owned; GUI thread

} // namespace

qstring strip_chooser_title(const char *title, int32_t *help_id, uint32_t *prefix_bits)
{
  qstring text(title != nullptr ? title : "");
  const int32_t topic = extract_help_marker_qstring(&text);
  uint32_t bits = 0;
  std::string_view rest = text.view();
  for ( bool found = true; found; )
  {
    found = false;
    for ( const auto &[prefix, bit] : {std::pair<std::string_view, uint32_t> {"NOMAINMENU\n", prefix_no_main_menu},
                                       std::pair<std::string_view, uint32_t> {"NOSTATUSBAR\n", prefix_no_status_bar}} )
      if ( rest.starts_with(prefix) )
      {
        rest.remove_prefix(prefix.size());
        bits |= bit;
        found = true;
      }
  }
  if ( help_id != nullptr )
    *help_id = topic;
  if ( prefix_bits != nullptr )
    *prefix_bits = bits;
  return qstring(rest);
}

chooser_widget_setup_t init_chooser_widget_setup(chooser_base_t *source, const char *title_override, bool embedded)
{
  chooser_widget_setup_t setup;
  setup.source = source;
  int32_t topic = 0;
  setup.title = strip_chooser_title(title_override != nullptr ? title_override : source->title, &topic,
                                    &setup.prefix_bits);
  setup.help_id = topic != 0 ? topic : chooser_default_help;
  if ( (source->flags & chooser_no_status_bar) != 0 )
    setup.prefix_bits |= prefix_no_status_bar;
  if ( (source->flags & chooser_modal) != 0 )
    setup.flags |= setup_dialog;
  if ( embedded )
    setup.flags |= setup_embedded;
  return setup;
}

// ---- The persistence helper's base ----------------------------------------------------------------------------

bool chooser_persistence_helper_t::read_widget_state(int32_t * /*tree_mode*/)
{
  return false;
}

bool chooser_persistence_helper_t::read_column_widths(std::vector<int32_t> * /*widths*/)
{
  return false;
}

bool chooser_persistence_helper_t::read_columns_visible(byte_buffer_t * /*bytes*/)
{
  return false;
}

bool chooser_persistence_helper_t::write_widget_state(int32_t /*tree_mode*/)
{
  return false;
}

bool chooser_persistence_helper_t::write_column_widths(const std::vector<int32_t> & /*widths*/)
{
  return false;
}

bool chooser_persistence_helper_t::write_columns_visible(const byte_buffer_t & /*bytes*/)
{
  return false;
}

// ---- The library's factory ---------------------------------------------------------------------------------

chooser_widget_t *chooser_widget_factory_t::new_chooser_widget(const chooser_widget_setup_t &setup)
{
  return new chooser_widget_t(setup);
}

chooser_table_widget_t *chooser_widget_factory_t::new_table_view(chooser_widget_t *owner)
{
  return new chooser_table_widget_t(owner, nullptr);
}

std::unique_ptr<chooser_persistence_helper_t>
chooser_widget_factory_t::new_chooser_persistence_helper(chooser_widget_t * /*widget*/)
{
  return nullptr;
}

void chooser_widget_factory_t::present_widget(QWidget *widget, uint32_t placement)
{
  app_t *app = current_app();
  if ( DockArea *area = app != nullptr ? app->top_level_dock_area() : nullptr )
  {
    dock_options_t record;
    record.options = placement;
    (void)area->show_as_dock(widget, &record);
    return;
  }
  widget->show();
}

int64_t chooser_widget_factory_t::run_modal_chooser(chooser_widget_t *widget)
{
  delete widget;
  return chooser_nothing_chosen;
}

chooser_widget_factory_t &chooser_widget_factory()
{
  static chooser_widget_factory_t library_factory;
  return installed_factory != nullptr ? *installed_factory : library_factory;
}

chooser_widget_factory_t *set_chooser_widget_factory(chooser_widget_factory_t *factory)
{
  return std::exchange(installed_factory, factory);
}
