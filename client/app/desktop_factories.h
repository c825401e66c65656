// The client's desktop widget factories: how a desktop's names become the client's views.
#pragma once

#include "ui/docks/desktop_widgets.h"

class QWidget;

// A factory of one exact title that finds the existing widget of that title first and creates one only when
// there is none.
class akui_singleton_desktop_widget_factory_t : public title_desktop_widget_factory_t
{
public:
  using widget_fn_t = QWidget *(*)();
  akui_singleton_desktop_widget_factory_t(const char *title, widget_fn_t find, widget_fn_t create)
    : title_desktop_widget_factory_t(title, 1), find_(find), create_(create)
  {
  }
  // The found widget, else a created one.
  QWidget *create_widget(const char *name, const json_object_t *config) override;

private:
  widget_fn_t find_;
  widget_fn_t create_;
};

// Registers the client's factories in the order the desktops know them, "Log" first. Once per process: a
// second call is the framework's internal error 40612.
void register_client_desktop_factories();
