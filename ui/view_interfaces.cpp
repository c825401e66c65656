// What the framework needs of the list and tree views, which sit above it: interfaces the view widgets implement.
#include "ui/view_interfaces.h"

#include <QWidget>

#include <atomic>

namespace {

// Installed once by the views library at start-up; read on the GUI thread.
std::atomic<filter_engine_lookup_t> engine_lookup {nullptr};
// Installed by the views library with its first engine; GUI thread only.
view_widget_makers_t widget_makers;

} // namespace

chooser_view_t *as_chooser_view(QWidget *widget)
{
  return dynamic_cast<chooser_view_t *>(widget);
}

dirtree_view_t *as_dirtree_view(QWidget *widget)
{
  return dynamic_cast<dirtree_view_t *>(widget);
}

quick_filter_input_view_t *as_quick_filter_input(QWidget *widget)
{
  return dynamic_cast<quick_filter_input_view_t *>(widget);
}

dirtree_host_view_t *as_dirtree_host(QWidget *widget)
{
  return dynamic_cast<dirtree_host_view_t *>(widget);
}

void set_filter_engine_lookup(filter_engine_lookup_t lookup)
{
  engine_lookup.store(lookup);
}

filtered_widget_mixin_t *filter_engine_of(QWidget *widget)
{
  const filter_engine_lookup_t lookup = engine_lookup.load();
  return widget != nullptr && lookup != nullptr ? lookup(widget) : nullptr;
}

void set_view_widget_makers(const view_widget_makers_t &makers)
{
  widget_makers = makers;
}

const view_widget_makers_t &view_widget_makers()
{
  return widget_makers;
}
