// An administrator at work: users added, given a password, edited and deleted in the Users view; a site added,
// its filters edited, switched to and back, and deleted in the Sites view; and what a log-off leaves enabled.
#include "repo/rpc_packet.h"
#include "tests/e2e/akui_run.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace fs = std::filesystem;

namespace {

const QString list_class = QStringLiteral("chooser_table_widget_t");
const QString filters_label = QStringLiteral("Path filters will be applied to all operations");

class Administration : public akui_run_t
{
protected:
  // The field a form shows beside its label (or under it, for a text area); the label's mnemonic mark and
  // trailing spaces do not count.
  static const shown_widget_t *form_field(const shown_window_t &form, const QString &label)
  {
    const shown_widget_t *caption = nullptr;
    for ( const shown_widget_t *candidate : form.all("QLabel") )
      if ( QString(candidate->text).remove(QRegularExpression("</?u>")).trimmed() == label )
        caption = candidate;
    if ( caption == nullptr )
      return nullptr;
    for ( const shown_widget_t &widget : form.widgets )
    {
      const bool beside = widget.kind == "QLineEdit" && widget.rect.left() > caption->rect.right()
                          && std::abs(widget.rect.center().y() - caption->rect.center().y()) < caption->rect.height();
      const bool under = widget.kind == "QPlainTextEdit" && widget.rect.top() > caption->rect.bottom()
                         && widget.rect.top() - caption->rect.bottom() < 20
                         && widget.rect.left() <= caption->rect.left() + 10;
      if ( beside || under )
        return &widget;
    }
    return nullptr;
  }

  // Types into the form's field by its label.
  void fill(const shown_window_t &form, const QString &label, const std::string &text)
  {
    const shown_widget_t *field = form_field(form, label);
    ASSERT_NE(field, nullptr) << label.toStdString() << "\n" << screen().visible_texts();
    type_into(*field, text);
  }

  // Clicks the form's OK button once the form has checked what was typed, and waits for the form to close.
  void press_ok(const QString &title)
  {
    shown_widget_t ok;
    ASSERT_TRUE(wait_for("an enabled OK in \"" + title.toStdString() + "\"", [&](const shown_screen_t &shown) {
      const shown_window_t *form = shown.window(title);
      const shown_widget_t *button = form != nullptr ? form->find("QPushButton", "OK") : nullptr;
      if ( button != nullptr && button->enabled )
        ok = *button;
      return button != nullptr && button->enabled;
    }));
    click(ok);
    ASSERT_TRUE(wait_for("\"" + title.toStdString() + "\" to close",
                         [&](const shown_screen_t &shown) { return shown.window(title) == nullptr; }));
  }

  // Waits for the message box whose text holds `text`, saves a screenshot and clicks its button.
  void answer_box(const QString &text, const QString &button, const std::string &step_name)
  {
    shown_widget_t answer;
    ASSERT_TRUE(wait_for("the box \"" + text.toStdString() + "\"", [&](const shown_screen_t &shown) {
      for ( const shown_window_t &window : shown.windows )
        for ( const shown_widget_t *label : window.all("QLabel") )
          if ( window.active && label->text.contains(text) )
            if ( const shown_widget_t *found = window.find("QPushButton", button) )
            {
              answer = *found;
              return true;
            }
      return false;
    }));
    step(step_name);
    click(answer);
  }

  // Waits until the list shows no row whose first column is `text`.
  bool row_gone(const QString &text)
  {
    return wait_for("the row \"" + text.toStdString() + "\" to go", [&](const shown_screen_t &shown) {
      const shown_widget_t *list = view_of_class(shown, list_class);
      return list != nullptr && std::none_of(list->rows.begin(), list->rows.end(), [&](const shown_row_t &row) {
               return !row.texts.isEmpty() && row.texts[0] == text;
             });
    });
  }

  // Waits until the list shows the row `text` with the column's text.
  bool row_shows(const QString &text, int column, const QString &value)
  {
    return wait_for("the row \"" + text.toStdString() + "\" showing \"" + value.toStdString() + "\"",
                    [&](const shown_screen_t &shown) {
                      if ( const shown_widget_t *list = view_of_class(shown, list_class) )
                        for ( const shown_row_t &row : list->rows )
                          if ( row.texts.size() > column && row.texts[0] == text && row.texts[column] == value )
                            return true;
                      return false;
                    });
  }

  // Waits until the row `text` of the list is bold: the current site, the own account.
  bool row_bold(const QString &text)
  {
    return wait_for("the row \"" + text.toStdString() + "\" in bold", [&](const shown_screen_t &shown) {
      if ( const shown_widget_t *list = view_of_class(shown, list_class) )
        for ( const shown_row_t &row : list->rows )
          if ( !row.texts.isEmpty() && row.texts[0] == text )
            return row.bold;
      return false;
    });
  }

  // Whether the server received a request of the type whose body holds the text.
  bool received_with(uint8_t type, const std::string &text) const
  {
    for ( const recorded_frame_t &frame : server.received() )
      if ( frame.type == type && std::search(frame.body.begin(), frame.body.end(), text.begin(), text.end())
                                   != frame.body.end() )
        return true;
    return false;
  }

  // The content of a file of the work directory.
  std::string work_file(const std::string &path) const
  {
    std::string content;
    if ( FILE *file = std::fopen((work / path).c_str(), "r") )
    {
      char buffer[256];
      while ( const size_t got = std::fread(buffer, 1, sizeof(buffer), file) )
        content.append(buffer, got);
      std::fclose(file);
    }
    return content;
  }
};

// The entry of a menu's entries, or a disabled entry with no text when the menu lacks it.
std::pair<QString, bool> entry_of(const std::vector<std::pair<QString, bool>> &entries, const QString &text)
{
  for ( const auto &entry : entries )
    if ( entry.first == text )
      return entry;
  return {};
}

TEST_F(Administration, AddsAUserSetsAPasswordEditsAndDeletesTheUser)
{
  start_logged_in();
  ASSERT_NO_FATAL_FAILURE(choose_menu("View", "Users"));
  ASSERT_TRUE(select_row(list_class, "bob"));
  EXPECT_TRUE(row_bold("alice")) << "the own account";
  step("users");

  // Add: the form's fields typed one by one; the list and the server take the account with its password.
  server.clear_received();
  ASSERT_NO_FATAL_FAILURE(choose_context_entry("Add new user..."));
  std::unique_ptr<shown_window_t> form = wait_window("Add user");
  ASSERT_NE(form, nullptr);
  ASSERT_NO_FATAL_FAILURE(fill(*form, "Login", "carol"));
  ASSERT_NO_FATAL_FAILURE(fill(*form, "Real name", "Carol"));
  ASSERT_NO_FATAL_FAILURE(fill(*form, "Email", "carol@example.org"));
  ASSERT_NO_FATAL_FAILURE(fill(*form, "Password", "first1"));
  ASSERT_NO_FATAL_FAILURE(fill(*form, "Confirm password", "first1"));
  step("add-user-form");
  ASSERT_NO_FATAL_FAILURE(press_ok("Add user"));
  ASSERT_TRUE(row_shows("carol", 2, "carol@example.org"));
  user_info_t user;
  std::string password;
  ASSERT_TRUE(server.repository().user_record("carol", &user, &password));
  EXPECT_EQ(user.real_name, "Carol");
  EXPECT_FALSE(user.admin);
  EXPECT_EQ(password, "first1");
  EXPECT_TRUE(received_with(EDIT_USER, "carol"));
  EXPECT_TRUE(received_with(SET_PASSWORD, "first1"));
  step("user-added");

  // Set password: the form names the account; the server takes the new password.
  ASSERT_TRUE(select_row(list_class, "carol"));
  ASSERT_NO_FATAL_FAILURE(choose_context_entry("Set password..."));
  form = wait_window("Set password");
  ASSERT_NE(form, nullptr);
  EXPECT_NE(form->find("QLabel", "Login:"), nullptr);
  EXPECT_NE(form->find("QLabel", "carol"), nullptr) << "the account the password is for";
  ASSERT_NO_FATAL_FAILURE(fill(*form, "Password", "second2"));
  ASSERT_NO_FATAL_FAILURE(fill(*form, "Confirm password", "second2"));
  step("set-password-form");
  ASSERT_NO_FATAL_FAILURE(press_ok("Set password"));
  ASSERT_NO_FATAL_FAILURE(answer_box("The new password for 'carol' has been set", "OK", "password-set"));
  ASSERT_TRUE(server.repository().user_record("carol", &user, &password));
  EXPECT_EQ(password, "second2");

  // Edit, by its key: no login or password fields; the new real name reaches the row and the server.
  ASSERT_TRUE(select_row(list_class, "carol"));
  press({"Control_L", "e"});
  form = wait_window("Edit user");
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form_field(*form, "Login"), nullptr);
  EXPECT_EQ(form_field(*form, "Password"), nullptr);
  ASSERT_NO_FATAL_FAILURE(fill(*form, "Real name", "Carol Jones"));
  step("edit-user-form");
  ASSERT_NO_FATAL_FAILURE(press_ok("Edit user"));
  ASSERT_TRUE(row_shows("carol", 1, "Carol Jones"));
  ASSERT_TRUE(server.repository().user_record("carol", &user, &password));
  EXPECT_EQ(user.real_name, "Carol Jones");
  EXPECT_EQ(user.email, "carol@example.org");
  EXPECT_EQ(password, "second2");
  step("user-edited");

  // Delete, by its key: the question names the account; the row and the account go.
  ASSERT_TRUE(select_row(list_class, "carol"));
  press({"Delete"});
  ASSERT_NO_FATAL_FAILURE(answer_box("carol", "Yes", "delete-user-question"));
  ASSERT_TRUE(row_gone("carol"));
  EXPECT_FALSE(server.repository().has_user("carol"));
  EXPECT_TRUE(received_with(DEL_USER, "carol"));
  EXPECT_TRUE(server.repository().has_user("bob"));
  step("user-deleted");
  ASSERT_NO_FATAL_FAILURE(choose_menu("File", "Exit"));
  EXPECT_EQ(wait_akui_exit(), 0) << akui->output();
}

TEST_F(Administration, AddsASiteEditsItsFiltersSwitchesToItAndBackAndDeletesIt)
{
  const std::string second = "alice-second";
  const fs::path second_root = home / "second";
  start_logged_in();
  ASSERT_NO_FATAL_FAILURE(choose_menu("View", "Sites"));
  ASSERT_TRUE(select_row(list_class, QString::fromStdString(site_name)));
  EXPECT_TRUE(row_bold(QString::fromStdString(site_name))) << "the current site";
  EXPECT_FALSE(wait_row(list_class, "bob-ws").rect.isEmpty()) << "an administrator sees every site";
  step("sites");

  // Add, by its key: the user and this computer come filled in; a site added beside others is not switched to.
  server.clear_received();
  press({"Insert"});
  std::unique_ptr<shown_window_t> form = wait_window("Enter the new site data");
  ASSERT_NE(form, nullptr);
  ASSERT_NE(form_field(*form, "User"), nullptr);
  EXPECT_EQ(form_field(*form, "User")->text, "alice");
  ASSERT_NO_FATAL_FAILURE(fill(*form, "Name", second));
  ASSERT_NO_FATAL_FAILURE(fill(*form, "Rootdir", second_root.string()));
  step("add-site-form");
  ASSERT_NO_FATAL_FAILURE(press_ok("Enter the new site data"));
  ASSERT_TRUE(row_shows(QString::fromStdString(second), 2, QString::fromStdString(second_root.string())));
  site_info_t site;
  std::vector<std::string> filters;
  ASSERT_TRUE(server.repository().site_record(second, &site, &filters));
  EXPECT_EQ(site.user, "alice");
  EXPECT_EQ(site.root_dir, second_root.string().c_str());
  EXPECT_TRUE(filters.empty()) << "the default filter text sends no filters";
  EXPECT_FALSE(received(SET_SITE_FILTERS));
  EXPECT_FALSE(received(USE_SITE));
  step("site-added");

  // Edit the filters: a line typed under the default text; only that line reaches the server.
  server.clear_received();
  ASSERT_TRUE(select_row(list_class, QString::fromStdString(second)));
  ASSERT_NO_FATAL_FAILURE(choose_context_entry("Edit site..."));
  const QString edit_title = QString::fromStdString("Edit site " + second);
  form = wait_window(edit_title);
  ASSERT_NE(form, nullptr);
  const shown_widget_t *area = form_field(*form, filters_label);
  ASSERT_NE(area, nullptr) << screen().visible_texts();
  EXPECT_TRUE(area->text.startsWith("# By default all arkive files are visible.")) << area->text.toStdString();
  click(*area);
  ASSERT_TRUE(wait_for("the keyboard focus in the filters", [&](const shown_screen_t &shown) {
    const shown_window_t *now = shown.window(edit_title);
    const shown_widget_t *field = now != nullptr ? form_field(*now, filters_label)
                                                 : nullptr;
    return field != nullptr && field->focus;
  }));
  press({"Control_L", "End"});
  x.type("!//depot/db/...");
  ASSERT_TRUE(wait_for("the typed filter", [&](const shown_screen_t &shown) {
    const shown_window_t *now = shown.window(edit_title);
    const shown_widget_t *field = now != nullptr ? form_field(*now, filters_label)
                                                 : nullptr;
    return field != nullptr && field->text.endsWith("\n!//depot/db/...");
  }));
  step("edit-site-filters");
  ASSERT_NO_FATAL_FAILURE(press_ok(edit_title));
  ASSERT_TRUE(wait_received(SET_SITE_FILTERS, "the site's filters"));
  ASSERT_TRUE(server.repository().site_record(second, &site, &filters));
  EXPECT_EQ(filters, (std::vector<std::string> {"!//depot/db/..."}));
  EXPECT_FALSE(received(EDIT_SITE)) << "only the filters changed";

  // Switch to the new site after the question, and back.
  ASSERT_TRUE(select_row(list_class, QString::fromStdString(second)));
  ASSERT_NO_FATAL_FAILURE(choose_context_entry("Use this site..."));
  ASSERT_NO_FATAL_FAILURE(answer_box(QString::fromStdString("Do you really want to switch to '" + second + "'?"),
                                     "Yes", "switch-question"));
  ASSERT_TRUE(status_shows("Local site: " + second));
  ASSERT_TRUE(status_shows("Root directory: " + second_root.string()));
  EXPECT_TRUE(received_with(USE_SITE, second));
  EXPECT_TRUE(row_bold(QString::fromStdString(second)));
  // The other views follow the switch: the Worklists view lists the new site's default worklist.
  EXPECT_FALSE(wait_row("worklists_dirtree_widget_t", QString::fromStdString("1, alice@" + second)).rect.isEmpty());
  step("switched");
  server.clear_received();
  ASSERT_TRUE(select_row(list_class, QString::fromStdString(site_name)));
  ASSERT_NO_FATAL_FAILURE(choose_context_entry("Use this site..."));
  ASSERT_NO_FATAL_FAILURE(answer_box(QString::fromStdString("Do you really want to switch to '" + site_name + "'?"),
                                     "Yes", "switch-back-question"));
  ASSERT_TRUE(status_shows("Local site: " + site_name));
  EXPECT_TRUE(received_with(USE_SITE, site_name));
  EXPECT_TRUE(row_bold(QString::fromStdString(site_name)));
  EXPECT_FALSE(wait_row("worklists_dirtree_widget_t", QString::fromStdString("1, alice@" + site_name)).rect.isEmpty());
  step("switched-back");

  // Delete the new site; the work directory of the current one is untouched by all of it.
  ASSERT_TRUE(select_row(list_class, QString::fromStdString(second)));
  ASSERT_NO_FATAL_FAILURE(choose_context_entry("Delete site..."));
  ASSERT_NO_FATAL_FAILURE(answer_box("Do you really want to delete these sites?", "Yes", "delete-site-question"));
  ASSERT_TRUE(row_gone(QString::fromStdString(second)));
  EXPECT_FALSE(server.repository().has_site(second));
  EXPECT_TRUE(server.repository().has_site(site_name));
  EXPECT_TRUE(received_with(DEL_SITE, second));
  EXPECT_EQ(work_file("depot/readme.txt"), "Hello");
  EXPECT_EQ(work_file("depot/db/model.zdb"), "ZDB1 model");
  step("site-deleted");
  ASSERT_NO_FATAL_FAILURE(choose_menu("File", "Exit"));
  EXPECT_EQ(wait_akui_exit(), 0) << akui->output();
}

TEST_F(Administration, LoggingOffDisablesTheSiteBoundActions)
{
  start_logged_in();
  ASSERT_NO_FATAL_FAILURE(choose_menu("View", "Arkive files"));
  ASSERT_TRUE(select_row(arkive_files_class, "depot"));
  const auto connected_file = menu_entries("File");
  const auto connected_search = menu_entries("Search");
  EXPECT_TRUE(entry_of(connected_file, "Disconnect").second);
  EXPECT_FALSE(entry_of(connected_file, "Connect").second);
  EXPECT_TRUE(entry_of(connected_search, "Find in arkive...").second);

  ASSERT_NO_FATAL_FAILURE(choose_menu("File", "Disconnect"));
  ASSERT_TRUE(status_shows("Disconnected"));
  const auto file = menu_entries("File");
  const auto search = menu_entries("Search");
  EXPECT_FALSE(entry_of(file, "Disconnect").second);
  EXPECT_TRUE(entry_of(file, "Connect").second);
  EXPECT_TRUE(entry_of(file, "Exit").second);
  for ( const auto &[text, enabled] : search )
    EXPECT_FALSE(enabled) << text.toStdString() << " stays enabled without a connection";
  ASSERT_NO_FATAL_FAILURE(choose_menu("File", "Exit"));
  EXPECT_EQ(wait_akui_exit(), 0) << akui->output();
}

} // namespace
