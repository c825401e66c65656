// The Users view: the server's accounts in a docked list, with the add, edit, delete and set-password forms.
#pragma once

#include "core/event_source.h"
#include "core/qvector.h"
#include "repo/wire_records.h"
#include "views/chooser/chooser_base.h"

#include <cstdint>

class QWidget;
class form_actions_t;
struct ui_action_activation_ctx_t;
struct ui_action_update_ctx_t;
class ui_action_t;

// A standard action of the Users list: enabled for an administrator only.
class users_stdact_desc_t : public chooser_stdact_desc_t
{
public:
  using chooser_stdact_desc_t::chooser_stdact_desc_t;
  [[nodiscard]] int32_t action_state(ui_action_update_ctx_t *context) override;
};

// The list of accounts in server order. Promises: the login user's row is bold; without a usable connection
// the list is empty and loads without a message; a row changes only once the server accepted the change
// (an added user is listed with the values entered until the next reload).
class users_chooser_t : public chooser_multi_t, public event_handler_t
{
public:
  // Titled "Users", linked to the facade's events.
  users_chooser_t();

  [[nodiscard]] bool prepare() override;
  [[nodiscard]] uint64_t item_count() override { return users.size(); }
  void describe_row(std::span<qstring> texts, int32_t *icon, chooser_row_attrs_t *attrs, uint64_t row) override;
  // The add form, then the password of the new user.
  int insert_item(qvector<uint64_t> *selection) override;
  // Asks, then deletes the selected users from the last; a user with worklists is asked about once more.
  int delete_items(qvector<uint64_t> *selection) override;
  // The edit form of each selected row in turn; rebuilds when a row changed.
  int edit_items(qvector<uint64_t> *selection) override;
  int activate_items(qvector<uint64_t> *selection) override { return edit_items(selection); }
  // Reloads, keeping the selected logins selected.
  int reload_items(qvector<uint64_t> *selection) override;
  bool standard_action_descs(chooser_stdact_desc_t *descs[4]) override;
  // Hears every event and lets it go on.
  void *handle(uint64_t, va_list) override { return nullptr; }

  qvector<user_info_t> users;

private:
  users_stdact_desc_t insert_desc_;
  users_stdact_desc_t delete_desc_;
  users_stdact_desc_t edit_desc_;
};

// Field numbers of the user forms.
inline constexpr int user_field_login = 1;
inline constexpr int user_field_real_name = 2;
inline constexpr int user_field_email = 3;
inline constexpr int user_field_password = 5;
inline constexpr int user_field_confirmation = 6;
// The longest login.
inline constexpr size_t user_login_max = 16;

// The user forms' callback: the OK button is enabled exactly while every field the form has among login, real
// name, e-mail, password and confirmation is filled, the login is a valid user name, the e-mail address is
// valid and the two passwords are equal. Answers 1.
int user_form_callback(int field_id, form_actions_t &actions);

// The live "Users" widget, or null.
[[nodiscard]] QWidget *find_users_widget();
// Opens a new "Users" widget docked, with "Set password..." in its context menu; null when none was made.
[[nodiscard]] QWidget *create_users_widget();

// The "open_users_widget" action: the existing widget presented, else a new one. Answers 1.
int open_users_widget_activate(ui_action_activation_ctx_t *context);
// The "users_chooser_set_passwd" action: the set-password form for the one selected account; enabled for an
// administrator, and for anybody on the own row.
int users_chooser_set_passwd_activate(ui_action_activation_ctx_t *context);
int users_chooser_set_passwd_update(ui_action_t *action, ui_action_update_ctx_t *context);
