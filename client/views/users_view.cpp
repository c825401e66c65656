// The Users view: the list of accounts and its forms.
#include "client/views/users_view.h"

#include "client/app/akui_app.h"
#include "client/app/arkive_with_events.h"
#include "client/views/server_list_rows.h"
#include "core/form_actions.h"
#include "core/ui_callback.h"
#include "forms/text_control_value.h"
#include "repo/arkive_errors.h"
#include "repo/input_checks.h"
#include "ui/action_context.h"
#include "ui/icon_registry.h"
#include "ui/ui_action.h"
#include "views/chooser/chooser_widget.h"
#include "views/filter/item_info.h"

#include <vector>

namespace {

constexpr char users_title[] = "Users";
// Multiple selection; insert, delete, edit and refresh; widget kind 5.
constexpr uint32_t users_flags = 0x300F04;
constexpr const char *users_header[] = {"Login", "Real name", "Email", "Admin", "Last active", "Notes"};
constexpr uint32_t users_widths[] = {16, 20, 16, 1, 20, 40};
// delete_user's force for a user who still has worklists.
constexpr int32_t delete_with_worklists = 3;
constexpr int delete_refused_worklists = 16;

constexpr char add_user_form[] = "Add user\n\n%/<Logi~n~           :q1:1000:24::>\n<~R~eal name       :q2:1000:24::>\n"
                                 "<~E~mail           :q3:1000:24::>\n<~P~assword        :p5:1000:24::>\n"
                                 "<~C~onfirm password:p6:1000:24::>\n<~A~dministrator:C4>>\n"
                                 "<No~t~es           :t7:1000:24::>\n\n";
constexpr char edit_user_form[] = "Edit user\n\n%/Login: %A\n<~R~eal name :q2:1000:24::>\n<~E~mail     :q3:1000:24::>\n"
                                  "<~A~dministrator:C4>>\n<No~t~es     :t7:1000:24::>\n\n";
constexpr char set_password_form[] = "Set password\n\n%/Login: %A\n<~P~assword        :p5:1000:24::>\n"
                                     "<~C~onfirm password:p6:1000:24::>\n\n";

const chooser_popup_entry_t users_popup = {"users_chooser_set_passwd", nullptr, 0};

// The login as a label's text buffer.
std::vector<char> label_buffer(const qstring &text)
{
  return std::vector<char>(text.c_str(), text.c_str() + text.size() + 1);
}

users_chooser_t *users_source(const action_ctx_base_t &context)
{
  return dynamic_cast<users_chooser_t *>(context.chooser);
}

// A field of the form as text; false when the form has no such field.
bool field_text(form_actions_t &actions, int field, qstring *out)
{
  if ( actions.field_widget(field, nullptr) == nullptr )
    return false;
  out->clear();
  (void)actions.read_field_value(field, out);
  return true;
}

bool user_form_valid(form_actions_t &actions)
{
  qstring texts[user_field_confirmation + 1];
  bool present[user_field_confirmation + 1] = {};
  for ( int field : {user_field_login, user_field_real_name, user_field_email, user_field_password,
                     user_field_confirmation} )
    present[field] = field_text(actions, field, &texts[field]);
  for ( int field : {user_field_login, user_field_real_name, user_field_email, user_field_password,
                     user_field_confirmation} )
  {
    if ( !present[field] )
      continue;
    const qstring &text = texts[field];
    if ( text.empty() )
      return false;
    if ( field == user_field_login && !is_valid_user_name(text.c_str(), user_login_max) )
      return false;
    if ( field == user_field_email && !is_valid_email(text.c_str()) )
      return false;
    const int partner = field == user_field_password ? user_field_confirmation : user_field_password;
    if ( (field == user_field_password || field == user_field_confirmation)
         && (!present[partner] || texts[partner] != text) )
      return false;
  }
  return true;
}

// The add form until the server takes the user; false when cancelled.
bool run_add_user_form(user_info_t *user, qstring *password)
{
  akui_app_t *app = akui_app();
  if ( app == nullptr )
    return false;
  qstring confirmation;
  text_control_value_t notes;
  notes.text = user->notes;
  uint16_t admin_box = user->admin ? 1 : 0;
  for ( ;; )
  {
    if ( form_dialog_printf(add_user_form, user_form_callback, &user->login, &user->real_name, &user->email, password,
                            &confirmation, &admin_box, &notes)
         <= 0 )
      return false;
    user->admin = (admin_box & 1) != 0;
    user->notes = notes.text;
    const int code = app->facade.edit_user(*user, 1);
    if ( code == ARKIVE_OK )
      return true;
    show_server_warning(code, "Failed to add user");
    password->clear();
    confirmation.clear();
  }
}

} // namespace

int32_t users_stdact_desc_t::action_state(ui_action_update_ctx_t *)
{
  return login_session().admin ? ACTION_STATE_INITIAL : ACTION_STATE_MISSING_CONTEXT;
}

int user_form_callback(int field_id, form_actions_t &actions)
{
  if ( field_id != form_code_ready && field_id != user_field_login && field_id != user_field_real_name
       && field_id != user_field_email && field_id != user_field_password && field_id != user_field_confirmation )
    return 1;
  (void)actions.switch_dialog_button(0, user_form_valid(actions));
  return 1;
}

users_chooser_t::users_chooser_t()
  : insert_desc_("Add new user...", nullptr, icon_id_of_file("add_user", "icons/actions")),
    delete_desc_("Delete user...", nullptr, icon_id_of_file("delete_user", "icons/actions")),
    edit_desc_("Edit user...", nullptr, icon_id_of_file("edit_user", "icons/actions"))
{
  version = 3;
  flags = users_flags;
  title = users_title;
  columns = 6;
  header = users_header;
  widths = users_widths;
  icon = icon_id_of_file("users_widget", "icons/widgets");
  if ( akui_app_t *app = akui_app() )
    (void)app->facade.add_handler(this);
}

bool users_chooser_t::prepare()
{
  users.clear();
  akui_app_t *app = akui_app();
  if ( app == nullptr || !app->facade.is_usable() )
    return true;
  if ( const int code = app->facade.get_users(&users); code != ARKIVE_OK )
  {
    users.clear();
    show_server_error(code, "Failed to retrieve users");
    return false;
  }
  return true;
}

void users_chooser_t::describe_row(std::span<qstring> texts, int32_t *, chooser_row_attrs_t *attrs, uint64_t row)
{
  const user_info_t &user = users[row];
  texts[0] = user.login;
  texts[1] = user.real_name;
  texts[2] = user.email;
  texts[3] = user.admin ? "Y" : "";
  texts[4] = list_time_text(user.last_active);
  texts[5] = user.notes;
  if ( !login_session().user.empty() && user.login == login_session().user )
    attrs->style |= row_bold;
}

int users_chooser_t::insert_item(qvector<uint64_t> *selection)
{
  akui_app_t *app = akui_app();
  user_info_t user;
  qstring password;
  if ( app == nullptr || !run_add_user_form(&user, &password) )
    return chooser_unchanged;
  if ( const int code = app->facade.set_password(user.login.c_str(), password.c_str()); code != ARKIVE_OK )
    show_server_warning(code, "Failed to set password");
  users.push_back(user);
  selection->clear();
  selection->push_back(users.size() - 1);
  return chooser_rebuild;
}

int users_chooser_t::delete_items(qvector<uint64_t> *selection)
{
  akui_app_t *app = akui_app();
  if ( app == nullptr || selection->empty() )
    return chooser_unchanged;
  named_row_delete_t how;
  how.question = "HIDECANCEL\nDo you really want to delete these users?\n%s";
  how.retry_code = delete_refused_worklists;
  how.retry_question = "HIDECANCEL\nUser '%s' still has worklists.\nDo you still want to delete it?";
  how.failure = "Failed to delete user";
  how.remove = [app](const char *login, bool forced) {
    return app->facade.delete_user(login, forced ? delete_with_worklists : 0);
  };
  how.erase = [this](uint64_t row) { users.erase(size_t(row)); };
  return delete_named_rows(*this, selection,
                           [this](uint64_t row) { return row < users.size() ? &users[row].login : nullptr; }, how);
}

int users_chooser_t::edit_items(qvector<uint64_t> *selection)
{
  akui_app_t *app = akui_app();
  if ( app == nullptr )
    return chooser_unchanged;
  bool changed = false;
  for ( const uint64_t row : qvector<uint64_t>(*selection) )
  {
    if ( row >= users.size() )
      continue;
    // The form edits a copy: the row takes the values only once the server accepted them.
    user_info_t copy = users[row];
    const std::vector<char> login = label_buffer(copy.login);
    text_control_value_t notes;
    notes.text = copy.notes;
    uint16_t admin_box = copy.admin ? 1 : 0;
    for ( ;; )
    {
      if ( form_dialog_printf(edit_user_form, user_form_callback, login.data(), &copy.real_name, &copy.email,
                              &admin_box, &notes)
           <= 0 )
        break;
      copy.admin = (admin_box & 1) != 0;
      copy.notes = notes.text;
      if ( const int code = app->facade.edit_user(copy, 0); code != ARKIVE_OK )
      {
        show_server_warning(code, "Failed to edit user");
        continue;
      }
      if ( row < users.size() )
        users[row] = copy;
      changed = true;
      break;
    }
  }
  return changed ? chooser_rebuild : chooser_unchanged;
}

int users_chooser_t::reload_items(qvector<uint64_t> *selection)
{
  return reload_keeping_names(*this, selection,
                              [this](uint64_t row) { return row < users.size() ? &users[row].login : nullptr; });
}

bool users_chooser_t::standard_action_descs(chooser_stdact_desc_t *descs[4])
{
  descs[0] = &insert_desc_;
  descs[1] = &delete_desc_;
  descs[2] = &edit_desc_;
  return true;
}

QWidget *find_users_widget()
{
  return find_chooser_widget_by_title(users_title);
}

QWidget *create_users_widget()
{
  return open_server_list(new users_chooser_t, &users_popup);
}

int open_users_widget_activate(ui_action_activation_ctx_t *)
{
  return present_server_list(find_users_widget, create_users_widget);
}

int users_chooser_set_passwd_update(ui_action_t *, ui_action_update_ctx_t *context)
{
  users_chooser_t *users = users_source(*context);
  const int64_t selected = single_selected_row(*context);
  if ( users == nullptr || selected < 0 )
    return ACTION_STATE_MISSING_CONTEXT;
  if ( login_session().admin )
    return ACTION_STATE_INITIAL;
  const auto row = uint64_t(selected);
  const bool own = row < users->users.size() && users->users[row].login == login_session().user;
  return own ? ACTION_STATE_INITIAL : ACTION_STATE_MISSING_CONTEXT;
}

int users_chooser_set_passwd_activate(ui_action_activation_ctx_t *context)
{
  akui_app_t *app = akui_app();
  users_chooser_t *users = users_source(*context);
  const int64_t selected = single_selected_row(*context);
  if ( app == nullptr || users == nullptr || selected < 0 )
    return 0;
  const auto row = uint64_t(selected);
  if ( row >= users->users.size() )
    return 0;
  const qstring login = users->users[row].login;
  const std::vector<char> label = label_buffer(login);
  qstring password;
  qstring confirmation;
  for ( ;; )
  {
    if ( form_dialog_printf(set_password_form, user_form_callback, label.data(), &password, &confirmation) <= 0 )
      return 0;
    const int code = app->facade.set_password(login.c_str(), password.c_str());
    if ( code == ARKIVE_OK )
    {
      info_printf("The new password for '%s' has been set", login.c_str());
      return 1;
    }
    show_server_warning(code, "Failed to set password");
    password.clear();
    confirmation.clear();
  }
}
