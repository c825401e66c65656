// The application's widget factory: how the framework creates the widgets and controls the application refines.
#pragma once

#include <cstdint>

class QLabel;
class QMenu;
class QString;
class QWidget;

// Creates the framework's widgets, dialogs and operation controls; the application implements it and
// hands it out through _base_app_mixin_t::get_widget_factory. Each object made is owned by the caller
// (or by its Qt parent).
class ui_widget_factory_t
{
public:
  virtual ~ui_widget_factory_t() = default;

  // ---- Plain widgets --------------------------------------------------------------------------------
  // A new menu with that title and parent.
  virtual QMenu *new_menu(const QString &title, QWidget *parent) = 0;
  // A new parentless label showing the text.
  virtual QLabel *new_label(const QString &text) = 0;

  // ---- Codes ----------------------------------------------------------------------------------------
  // The application's meaning of a framework code (the client's answers the code unchanged).
  virtual int32_t map_code(int32_t code) = 0;
};
