// The application's widget factory: how the framework creates the widgets and controls the application refines.
#pragma once

#include <cstdint>
#include <memory>

class QLabel;
class QMenu;
class QString;
class QWidget;
class DockWidget;
class filtered_widget_mixin_t;
class ui_action_t;
class ui_dialog_exec_ctl_t;
class dirtree_widget_persistence_helper_t;
class ui_dialog_t;
class form_widget_t;
struct ui_action_desc_t;
namespace forms_ui
{
class controller_t;
class form_model_t;
} // namespace forms_ui

// An object the framework hands back to the factory to be deleted (operation controls and the like).
class ui_owned_object_t
{
public:
  virtual ~ui_owned_object_t() = default;
};

// The control that lives around one reversible operation (a drag, a rename in place); it has no behaviour
// besides its destructor.
class ui_reversible_op_ctl_t : public ui_owned_object_t
{
public:
  int32_t state = 2;
};

// Creates the framework's widgets, dialogs and operation controls; the application implements it and
// hands it out through _base_app_mixin_t::get_widget_factory. Each object made is owned by the caller
// (or by its Qt parent).
class ui_widget_factory_t
{
public:
  virtual ~ui_widget_factory_t() = default;

  // ---- Actions (slot 0) -----------------------------------------------------------------------------
  // A new action for the description that already has its QAction (ui_action_t::set_qaction), or null.
  // The base makes none: null.
  virtual std::unique_ptr<ui_action_t> create_client_action(const ui_action_desc_t &desc);

  // ---- Plain widgets --------------------------------------------------------------------------------
  // A new menu with that title and parent.
  virtual QMenu *new_menu(const QString &title, QWidget *parent) = 0;
  // A new parentless label showing the text.
  virtual QLabel *new_label(const QString &text) = 0;
  // Slot 15: a new parentless dock around the widget (DockWidget's constructor flags).
  virtual DockWidget *new_dock_widget(QWidget *content, uint32_t flags) = 0;

  // ---- Filtered views (slots 5 and 16, ui/widget_factory.cpp) ----------------------------------------
  // A new quick filter bar, a child of the filtered widget. The base makes the views library's stock bar
  // (null when that library installed no makers, view_interfaces.h).
  virtual QWidget *new_quick_filter_widget(QWidget *parent);
  // A new column filters dialog for the engine (owned by the caller). The base makes the views library's
  // stock dialog, null without makers.
  virtual ui_dialog_t *new_edit_filters_dialog(filtered_widget_mixin_t *engine, QWidget *parent);

  // ---- Codes ----------------------------------------------------------------------------------------
  // The application's meaning of a framework code (the client's answers the code unchanged).
  virtual int32_t map_code(int32_t code) = 0;
  // Slot 1: replaces a record's code field by map_code of that code.
  virtual void map_record_code(int32_t *code) { *code = map_code(*code); }

  // ---- Forms (slots 6 and 7, ui/widget_factory.cpp) ------------------------------------------------
  // The forms library sits above the framework and installs the makers of both (set_form_makers); until it
  // does, both answer null.
  // Slot 6: a new empty form widget without parent; the caller owns it.
  [[nodiscard]] virtual form_widget_t *new_form_widget();
  // Slot 7: a new controller without parent over the form model (not owned), watching nothing; the caller
  // owns it.
  [[nodiscard]] virtual forms_ui::controller_t *new_form_controller(forms_ui::form_model_t *model);

  // ---- Modal runs (slot 8, ui/dialog_base.cpp) -------------------------------------------------------
  // A new control to live around one modal run (flag 1: give the focus back afterwards); released
  // through delete_owned_object.
  virtual ui_dialog_exec_ctl_t *new_dialog_exec_ctl(int32_t flags);

  // ---- Searches (slot 9, ui/searchable_widget.cpp) -------------------------------------------------
  // A new control to live around one row search (the argument is not used); released through
  // delete_owned_object. The base makes a ui_search_op_ctl_t.
  virtual ui_owned_object_t *new_search_op_ctl(int32_t argument);

  // ---- Reversible operations (slot 10, ui/widget_factory.cpp) ----------------------------------------
  // A new control to live around one drag or rename in place (title and text are not used); released
  // through delete_owned_object. The base makes a ui_reversible_op_ctl_t.
  virtual ui_owned_object_t *new_reversible_op_ctl(const char *title, const char *text);

  // ---- Tree views (slot 12) --------------------------------------------------------------------------
  // A new helper that keeps a directory-tree view's state between runs, owned by the view (the views
  // library defines the class); null: the view keeps nothing. The base makes none.
  virtual dirtree_widget_persistence_helper_t *new_dirtree_persistence_helper(QWidget * /*view*/) { return nullptr; }

  // ---- Deletion (slot 11) -----------------------------------------------------------------------------
  // Deletes an object the factory made, through its virtual destructor; nothing for null.
  virtual void delete_owned_object(ui_owned_object_t *object) { delete object; }
};

// The forms library's makers behind the factory's slots 6 and 7; a null member makes nothing.
struct form_makers_t
{
  form_widget_t *(*new_form_widget)() = nullptr;
  forms_ui::controller_t *(*new_form_controller)(forms_ui::form_model_t *model) = nullptr;
};
// Installs the makers and answers the previous ones. GUI thread.
form_makers_t set_form_makers(const form_makers_t &makers);
