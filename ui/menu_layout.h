// Menus and toolbars built from the configuration's JSON layout descriptions.
#pragma once

#include "core/json_value.h"

class QMenu;
class QToolBar;
class QWidget;
class ui_main_window_t;

// Fills menus or toolbars for one main window. Promises: the window outlives the builder.
class action_set_builder_mixin_t
{
public:
  explicit action_set_builder_mixin_t(ui_main_window_t *window) : window_(window) {}
  virtual ~action_set_builder_mixin_t() = default;

  // Adds the special item `name` (it begins with '@') to the target; true when it did.
  virtual bool handle_special_item(const char *name, QWidget *target, ui_main_window_t *window) = 0;

  [[nodiscard]] ui_main_window_t *window() const { return window_; }

private:
  ui_main_window_t *window_;
};

// Builds menus: special items are never handled by it.
class menu_builder_t : public action_set_builder_mixin_t
{
public:
  using action_set_builder_mixin_t::action_set_builder_mixin_t;
  bool handle_special_item(const char *name, QWidget *target, ui_main_window_t *window) override;
};

// Builds toolbars: special items go to the window's add_special_item (internal error 40415 for a target
// that is not a toolbar).
class toolbar_builder_t : public action_set_builder_mixin_t
{
public:
  using action_set_builder_mixin_t::action_set_builder_mixin_t;
  bool handle_special_item(const char *name, QWidget *target, ui_main_window_t *window) override;
};

// The menu of one menu object (a submenu when not top-level), made and named through the window's make_menu,
// or null after a warning when the description is unusable. A bad item is a warning and is left out.
[[nodiscard]] QMenu *build_menu_from_desc(action_set_builder_mixin_t *builder, const json_object_t &desc,
                                          bool toplevel);

// A new parentless toolbar of one toolbar object, or null after a warning when the description is unusable.
// A bad item is a warning and is left out.
[[nodiscard]] QToolBar *build_toolbar_from_desc(action_set_builder_mixin_t *builder, const json_object_t &desc);

// The side of a toolbar's square icons for a font height: the height rounded to the nearest multiple of 16.
[[nodiscard]] constexpr int toolbar_icon_side(int font_height)
{
  return (font_height + 8) / 16 * 16;
}
