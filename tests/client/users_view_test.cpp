// The Users view against the test server, played with real key and mouse events as an administrator (alice)
// and as a plain user (bob): the list, the add, edit and set-password forms with their checks, and deletion.
#include "client/app/akui_app.h"
#include "client/views/users_view.h"
#include "forms/form_widget.h"
#include "forms/inputs/form_dialog.h"
#include "forms/text/text_area.h"
#include "repo/packets_users.h"
#include "tests/client/admin_views_fixture.h"
#include "tests/forms/modal_player.h"
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/screenshots.h"
#include "ui/message_box.h"
#include "ui/ui_action_registry.h"
#include "views/chooser/chooser_table.h"
#include "views/chooser/chooser_widget.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace {

using strings = std::vector<std::string>;

bool ok_enabled(QWidget &dialog)
{
  QPushButton *ok = dialog_button(dialog, "OK");
  return ok != nullptr && ok->isEnabled();
}

void fill_user(QWidget &dialog, const char *login, const char *real_name, const char *email, const char *password,
               const char *confirmation)
{
  type_into(dialog, "Login", QString::fromUtf8(login));
  type_into(dialog, "Real name", QString::fromUtf8(real_name));
  type_into(dialog, "Email", QString::fromUtf8(email));
  type_into(dialog, "Password", QString::fromUtf8(password));
  type_into(dialog, "Confirm password", QString::fromUtf8(confirmation));
}

class UsersView : public admin_views_fixture_t
{
protected:
  bool can_log_in(const char *user, const char *password)
  {
    auto connection = connect();
    qstring error;
    return connection != nullptr && connection->login(&error, user, password, "elsewhere");
  }
};

TEST_F(UsersView, TheListShowsEveryAccountWithTheOwnRowBold)
{
  chooser_widget_t *list = open_list("open_users_widget", "Users");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(column(*list, 0), (strings {"alice", "bob"}));
  EXPECT_EQ(column(*list, 1), (strings {"Alice", ""}));
  EXPECT_EQ(column(*list, 2), (strings {"alice@example.org", ""}));
  EXPECT_EQ(column(*list, 3), (strings {"Y", ""}));
  EXPECT_TRUE(row_bold(*list, 0));
  EXPECT_FALSE(row_bold(*list, 1));
  save_screenshot(*list->window(), QStringLiteral("users_admin"));
}

TEST_F(UsersView, TheAddFormChecksItsFieldsAndTheNewUserGetsThePassword)
{
  chooser_widget_t *list = open_list("open_users_widget", "Users");
  ASSERT_NE(list, nullptr);
  struct row_t
  {
    const char *what;
    const char *field;
    const char *text;
  };
  const row_t bad[] = {
    {"a login of 17 characters", "Login", "abcdefghijklmnopq"},
    {"a login beginning with a digit", "Login", "1carol"},
    {"a login holding '.'", "Login", "car.ol"},
    {"an empty real name", "Real name", ""},
    {"a bad e-mail address", "Email", "carol@"},
    {"differing passwords", "Confirm password", "other"},
  };
  const row_t restore[] = {
    {"", "Login", "carol"}, {"", "Login", "carol"}, {"", "Login", "carol"},
    {"", "Real name", "Carol"}, {"", "Email", "carol@example.org"}, {"", "Confirm password", "pw1"},
  };
  bool valid_enabled = false;
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the add form", [&](ui_form_dialog_t &dialog) {
    EXPECT_FALSE(ok_enabled(dialog)) << "an empty form cannot be sent";
    fill_user(dialog, "carol", "Carol", "carol@example.org", "pw1", "pw1");
    valid_enabled = ok_enabled(dialog);
    for ( size_t i = 0; i < std::size(bad); ++i )
    {
      type_into(dialog, bad[i].field, QString::fromUtf8(bad[i].text));
      EXPECT_FALSE(ok_enabled(dialog)) << bad[i].what;
      type_into(dialog, restore[i].field, QString::fromUtf8(restore[i].text));
      EXPECT_TRUE(ok_enabled(dialog)) << "after " << bad[i].what;
    }
    auto *admin = dialog.findChild<QCheckBox *>();
    ASSERT_NE(admin, nullptr);
    click(admin);
    auto *notes = dialog.findChild<text_area_t *>();
    ASSERT_NE(notes, nullptr);
    notes->setFocus(Qt::OtherFocusReason);
    QTest::keyClicks(notes, QStringLiteral("new colleague"));
    save_screenshot(dialog, QStringLiteral("users_add_form"));
    click(dialog_button(dialog, "OK"));
  });
  ASSERT_TRUE(choose_from_menu(*list, 0, "Add new user..."));
  ASSERT_TRUE(wait_rows(*list, 3));
  EXPECT_TRUE(valid_enabled);
  EXPECT_EQ(row_texts(*list)[2], (strings {"carol", "Carol", "carol@example.org", "Y", row_texts(*list)[2][4],
                                           "new colleague"}));
  EXPECT_TRUE(can_log_in("carol", "pw1"));
}

TEST_F(UsersView, ARefusedAddEmptiesThePasswordsAndAFailedPasswordStillListsTheUser)
{
  chooser_widget_t *list = open_list("open_users_widget", "Users");
  ASSERT_NE(list, nullptr);
  std::vector<std::string> boxes;
  QString login_again;
  QString password_again;
  {
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the add form", [&](ui_form_dialog_t &dialog) {
      fill_user(dialog, "bob", "Bob", "bob@example.org", "pw", "pw");
      click(dialog_button(dialog, "OK"));
    });
    player.on_next<message_box_t>("the refused add", answer(&boxes, "OK"));
    player.on_next<ui_form_dialog_t>("the form again", [&](ui_form_dialog_t &dialog) {
      login_again = field_text(dialog, "Login");
      password_again = field_text(dialog, "Password");
      click(dialog_button(dialog, "Cancel"));
    });
    (void)choose_from_menu(*list, 0, "Add new user...");
    settle();
  }
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("Failed to add user\n", 0), 0u) << boxes[0];
  EXPECT_EQ(login_again.toStdString(), "bob");
  EXPECT_TRUE(password_again.isEmpty());
  EXPECT_EQ(list->table_model()->rowCount(), 2);

  boxes.clear();
  server.add_fault({server_fault_t::raw_reply, SET_PASSWORD, 0, RPC_OK, {fail_frame(22, "alice")}});
  {
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the add form", [&](ui_form_dialog_t &dialog) {
      fill_user(dialog, "dave", "Dave", "dave@example.org", "pw", "pw");
      click(dialog_button(dialog, "OK"));
    });
    player.on_next<message_box_t>("the refused password", answer(&boxes, "OK"));
    (void)choose_from_menu(*list, 0, "Add new user...");
    ASSERT_TRUE(wait_rows(*list, 3));
  }
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("Failed to set password\n", 0), 0u) << boxes[0];
  EXPECT_EQ(column(*list, 0), (strings {"alice", "bob", "dave"}));
}

TEST_F(UsersView, EditingChangesTheRowOnlyOnceTheServerTookIt)
{
  chooser_widget_t *list = open_list("open_users_widget", "Users");
  ASSERT_NE(list, nullptr);
  click_row(*list, 1);
  server.add_fault({server_fault_t::raw_reply, EDIT_USER, 0, RPC_OK, {fail_frame(22, "alice")}});
  std::vector<std::string> boxes;
  bool login_field = true;
  bool password_field = true;
  bool bad_email_disabled = false;
  {
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the edit form", [&](ui_form_dialog_t &dialog) {
      login_field = form_field(dialog, "Login") != nullptr;
      password_field = form_field(dialog, "Password") != nullptr;
      type_into(dialog, "Email", QStringLiteral("not an address"));
      bad_email_disabled = !ok_enabled(dialog);
      type_into(dialog, "Email", QStringLiteral("bob@example.org"));
      type_into(dialog, "Real name", QStringLiteral("Robert"));
      save_screenshot(dialog, QStringLiteral("users_edit_form"));
      click(dialog_button(dialog, "OK"));
    });
    player.on_next<message_box_t>("the refused edit", answer(&boxes, "OK"));
    player.on_next<ui_form_dialog_t>("the form again", [&](ui_form_dialog_t &dialog) {
      EXPECT_EQ(field_text(dialog, "Real name").toStdString(), "Robert") << "the typed values stay";
      click(dialog_button(dialog, "Cancel"));
    });
    (void)choose_from_menu(*list, 1, "Edit user...");
    settle();
  }
  EXPECT_FALSE(login_field);
  EXPECT_FALSE(password_field);
  EXPECT_TRUE(bad_email_disabled);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("Failed to edit user\n", 0), 0u) << boxes[0];
  EXPECT_EQ(row_texts(*list)[1][1], "") << "the refused values never reach the row";

  {
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the edit form", [&](ui_form_dialog_t &dialog) {
      type_into(dialog, "Real name", QStringLiteral("Robert"));
      type_into(dialog, "Email", QStringLiteral("bob@example.org"));
      click(dialog_button(dialog, "OK"));
    });
    click_row(*list, 1);
    (void)choose_from_menu(*list, 1, "Edit user...");
    ASSERT_TRUE(pump_until([&] { return row_texts(*list)[1][1] == "Robert"; }, std::chrono::seconds(2)));
  }
}

TEST_F(UsersView, DeletingAUserWithWorklistsAsksAgainAndNoKeepsThatUser)
{
  server.repository().add_user("carol", "pw", false);
  // Bob has a file opened in his site.
  {
    auto bob = connect();
    ASSERT_NE(bob, nullptr);
    qstring error;
    ASSERT_TRUE(bob->login(&error, "bob", "builder", "bob-pc")) << error.c_str();
    ASSERT_EQ(bob->use_site(nullptr, "bob_site", ""), 0) << error_detail();
    qvector<int32_t> codes;
    qvector<qstring> paths;
    paths.push_back("//depot/new.txt");
    ASSERT_EQ(bob->add_files(&codes, paths, 1), 0) << error_detail();
  }
  chooser_widget_t *list = open_list("open_users_widget", "Users");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(column(*list, 0), (strings {"alice", "bob", "carol"}));
  click_row(*list, 1);
  click_row(*list, 2, Qt::ShiftModifier);
  std::vector<std::string> questions;
  {
    modal_player_t player;
    player.on_next<message_box_t>("the delete question", answer(&questions, "Yes"));
    player.on_next<message_box_t>("the worklists question", answer(&questions, "No"));
    (void)choose_from_menu(*list, 2, "Delete user...");
    ASSERT_TRUE(wait_rows(*list, 2));
  }
  ASSERT_EQ(questions.size(), 2u);
  EXPECT_EQ(questions[0], "Do you really want to delete these users?\nbob\ncarol\n");
  EXPECT_EQ(questions[1], "User 'bob' still has worklists.\nDo you still want to delete it?");
  EXPECT_EQ(column(*list, 0), (strings {"alice", "bob"}));
  EXPECT_TRUE(server.repository().has_user("bob"));
  EXPECT_FALSE(server.repository().has_user("carol"));
}

TEST_F(UsersView, AnAdministratorSetsAnyPasswordAndARefusalEmptiesTheFields)
{
  chooser_widget_t *list = open_list("open_users_widget", "Users");
  ASSERT_NE(list, nullptr);
  click_row(*list, 1);
  server.add_fault({server_fault_t::raw_reply, SET_PASSWORD, 0, RPC_OK, {fail_frame(22, "alice")}});
  std::vector<std::string> boxes;
  QString emptied;
  {
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the set-password form", [&](ui_form_dialog_t &dialog) {
      EXPECT_FALSE(ok_enabled(dialog));
      type_into(dialog, "Password", QStringLiteral("new-pw"));
      type_into(dialog, "Confirm password", QStringLiteral("new-pw"));
      EXPECT_TRUE(ok_enabled(dialog));
      save_screenshot(dialog, QStringLiteral("users_set_password"));
      click(dialog_button(dialog, "OK"));
    });
    player.on_next<message_box_t>("the refusal", answer(&boxes, "OK"));
    player.on_next<ui_form_dialog_t>("the form again", [&](ui_form_dialog_t &dialog) {
      emptied = field_text(dialog, "Password");
      type_into(dialog, "Password", QStringLiteral("new-pw"));
      type_into(dialog, "Confirm password", QStringLiteral("new-pw"));
      click(dialog_button(dialog, "OK"));
    });
    player.on_next<message_box_t>("the confirmation", answer(&boxes, "OK"));
    ASSERT_TRUE(choose_from_menu(*list, 1, "Set password..."));
    settle();
  }
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].rfind("Failed to set password\n", 0), 0u) << boxes[0];
  EXPECT_TRUE(emptied.isEmpty());
  EXPECT_EQ(boxes[1], "The new password for 'bob' has been set");
  EXPECT_TRUE(can_log_in("bob", "new-pw"));
}

TEST_F(UsersView, APlainUserSetsOnlyTheOwnPasswordAndCannotInsertDeleteOrEdit)
{
  log_in("bob", "builder", "bob_site");
  chooser_widget_t *list = open_list("open_users_widget", "Users");
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(row_bold(*list, 1));
  click_row(*list, 0);
  std::vector<std::string> entries;
  EXPECT_FALSE(choose_from_menu(*list, 0, "Set password...", &entries)) << "not on another user's row";
  for ( const char *entry : {"Add new user...", "Delete user...", "Edit user..."} )
    EXPECT_EQ(std::find(entries.begin(), entries.end(), entry), entries.end()) << entry;
  click_row(*list, 1);
  std::vector<std::string> boxes;
  {
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the set-password form", [&](ui_form_dialog_t &dialog) {
      type_into(dialog, "Password", QStringLiteral("mine"));
      type_into(dialog, "Confirm password", QStringLiteral("mine"));
      click(dialog_button(dialog, "OK"));
    });
    player.on_next<message_box_t>("the confirmation", answer(&boxes, "OK"));
    ASSERT_TRUE(choose_from_menu(*list, 1, "Set password..."));
    settle();
  }
  EXPECT_EQ(boxes, (strings {"The new password for 'bob' has been set"}));
  EXPECT_TRUE(can_log_in("bob", "mine"));
}

TEST_F(UsersView, FailuresAreReportedAndALostConnectionIsOnlyLogged)
{
  for ( int i = 0; i < 2; ++i )
    server.add_fault({server_fault_t::raw_reply, GET_USERS, 0, RPC_OK, {fail_frame(22, "alice")}});
  {
    modal_player_t no_box;
    chooser_widget_t *list = open_list("open_users_widget", "Users", 0);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->table_model()->rowCount(), 0);
  }
  EXPECT_TRUE(starts_with(log_since_mark(), "Failed to retrieve users: ")) << testing::PrintToString(log_since_mark());
  while ( close_chooser_by_title("Users") )
    ;
  settle();

  // A refused delete warns; a lost stream is only logged.
  server.repository().add_user("carol", "pw", false);
  app().facade.set_connection(connect_alice());
  chooser_widget_t *list = open_list("open_users_widget", "Users");
  ASSERT_NE(list, nullptr);
  std::vector<std::string> boxes;
  server.add_fault({server_fault_t::raw_reply, DEL_USER, 0, RPC_OK, {fail_frame(22, "alice")}});
  {
    modal_player_t player;
    player.on_next<message_box_t>("the question", answer(&boxes, "Yes"));
    player.on_next<message_box_t>("the warning", answer(&boxes, "OK"));
    click_row(*list, 1);
    (void)choose_from_menu(*list, 1, "Delete user...");
    settle();
  }
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].rfind("Failed to delete user\n", 0), 0u) << boxes[1];
  mark_log();
  boxes.clear();
  server_fault_t drop;
  drop.on_type = DEL_USER;
  server.add_fault(drop);
  {
    modal_player_t player;
    player.on_next<message_box_t>("the question", answer(&boxes, "Yes"));
    click_row(*list, 1);
    (void)choose_from_menu(*list, 1, "Delete user...");
    settle();
  }
  EXPECT_EQ(boxes.size(), 1u) << "the question only";
  EXPECT_TRUE(starts_with(log_since_mark(), "Disconnected from the server: ")) << testing::PrintToString(log_since_mark());
}

TEST_F(UsersView, HostileUserRecordsAreShownAndNeverCrash)
{
  user_list_packet_t reply(GET_USERS_RESULT);
  const auto user = [](std::string login, std::string name, std::string notes) {
    user_info_t info;
    info.login = qstring(login.data(), login.size());
    info.real_name = qstring(name.data(), name.size());
    info.notes = qstring(notes.data(), notes.size());
    info.last_active = ~uint64_t(0);
    return info;
  };
  reply.users.push_back(user("", "", ""));
  reply.users.push_back(user(std::string(100000, 'u'), std::string(5000, 'n'), std::string(20000, '\n')));
  reply.users.push_back(user("c%s%n\x01\x1b", "\xff\xfe\xc3", "bad\x80utf8"));
  reply.users.push_back(user("dup", "one", ""));
  reply.users.push_back(user("dup", "two", ""));
  for ( int i = 0; i < 2; ++i )
    server.add_fault({server_fault_t::raw_reply, GET_USERS, 0, RPC_OK, {packet_frame(reply)}});
  chooser_widget_t *list = open_list("open_users_widget", "Users", 5);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->table_model()->rowCount(), 5);
  EXPECT_EQ(row_texts(*list)[4][1], "two");
  save_screenshot(*list->window(), QStringLiteral("users_hostile"));
  // The edit form of a login full of form syntax shows it as a plain label.
  bool shown = false;
  {
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the edit form", [&](ui_form_dialog_t &dialog) {
      shown = true;
      click(dialog_button(dialog, "Cancel"));
    });
    click_row(*list, 2);
    (void)choose_from_menu(*list, 2, "Edit user...");
    settle();
  }
  EXPECT_TRUE(shown);
}

} // namespace
