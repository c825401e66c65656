// The Sites view against the test server, played with real key and mouse events as an administrator (alice)
// and as a plain user (bob): the list, the new-site and edit forms, deletion, reload and the switch to a site.
#include "client/app/akui_app.h"
#include "client/views/site_forms.h"
#include "client/views/sites_view.h"
#include "forms/form_widget.h"
#include "forms/inputs/form_dialog.h"
#include "forms/text/text_area.h"
#include "repo/packets_sites.h"
#include "repo/revision_texts.h"
#include "tests/client/admin_views_fixture.h"
#include "tests/forms/modal_player.h"
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/screenshots.h"
#include "ui/message_box.h"
#include "ui/ui_action_registry.h"
#include "views/chooser/chooser_table.h"
#include "views/chooser/chooser_widget.h"

#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using strings = std::vector<std::string>;

class SitesView : public admin_views_fixture_t
{
protected:
  // The requests of a type the server received since the last clear.
  size_t received(uint8_t type) const
  {
    size_t count = 0;
    for ( const recorded_frame_t &frame : server.received() )
      count += frame.type == type ? 1 : 0;
    return count;
  }
  strings filters_of(const char *site)
  {
    qvector<qstring> lines;
    EXPECT_EQ(app().facade.get_site_filters(&lines, site), 0);
    strings out;
    for ( const qstring &line : lines )
      out.emplace_back(line.c_str());
    return out;
  }
};

// Types text into a text area, a Return key for each line break.
void type_lines(QWidget *area, const QString &text)
{
  const QStringList lines = text.split(QLatin1Char('\n'));
  for ( int i = 0; i < lines.size(); ++i )
  {
    if ( i != 0 )
      QTest::keyClick(area, Qt::Key_Return);
    QTest::keyClicks(area, lines[i]);
  }
}

// Fills the new-site form: the name (when shown), the root directory and, when given, the filter text.
void fill_new_site(ui_form_dialog_t &dialog, const char *name, const char *rootdir, const char *filters = nullptr)
{
  if ( name != nullptr )
    type_into(dialog, "Name", QString::fromUtf8(name));
  type_into(dialog, "Rootdir", QString::fromUtf8(rootdir));
  if ( filters != nullptr )
  {
    auto *area = dialog.findChild<text_area_t *>();
    ASSERT_NE(area, nullptr);
    area->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(area, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(area, Qt::Key_Delete);
    type_lines(area, QString::fromUtf8(filters));
  }
}

TEST_F(SitesView, AnAdministratorSeesEverySiteWithTheCurrentOneBold)
{
  chooser_widget_t *list = open_list("open_sites_widget", "Sites");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(column(*list, 0), (strings {"bob_site", "ws"}));
  EXPECT_EQ(column(*list, 1), (strings {"bob", "alice"}));
  EXPECT_EQ(column(*list, 3), (strings {"bob-pc", "alice-pc"}));
  EXPECT_FALSE(row_bold(*list, 0));
  EXPECT_TRUE(row_bold(*list, 1));
  EXPECT_EQ(list->table_model()->headerData(2, Qt::Horizontal).toString().toStdString(), "Rootdir");
  save_screenshot(*list->window(), QStringLiteral("sites_admin"));
  // The open action again presents the same widget.
  ASSERT_TRUE(trigger_ui_action(find_ui_action("open_sites_widget")));
  EXPECT_EQ(find_chooser_widget_by_title("Sites"), list);
}

TEST_F(SitesView, APlainUserSeesOnlyTheOwnSites)
{
  log_in("bob", "builder", "bob_site");
  chooser_widget_t *list = open_list("open_sites_widget", "Sites");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(column(*list, 0), (strings {"bob_site"}));
  EXPECT_TRUE(row_bold(*list, 0));
}

TEST_F(SitesView, AddingASiteKeepsTheCurrentSiteAndSendsNoDefaultFilters)
{
  chooser_widget_t *list = open_list("open_sites_widget", "Sites");
  ASSERT_NE(list, nullptr);
  click_row(*list, 0);
  bool ok_disabled_at_first = false;
  bool ok_enabled_when_filled = false;
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the new-site form", [&](ui_form_dialog_t &dialog) {
    QPushButton *ok = dialog_button(dialog, "OK");
    ASSERT_NE(ok, nullptr);
    ok_disabled_at_first = !ok->isEnabled();
    EXPECT_NE(form_field(dialog, "User"), nullptr) << "an administrator may name the owner";
    fill_new_site(dialog, "ws2", "/home/alice/second");
    ok_enabled_when_filled = ok->isEnabled();
    save_screenshot(dialog, QStringLiteral("sites_new_form"));
    click(ok);
  });
  ASSERT_TRUE(choose_from_menu(*list, 0, "Add new site..."));
  ASSERT_TRUE(wait_rows(*list, 3));
  EXPECT_TRUE(player.done());
  EXPECT_TRUE(ok_disabled_at_first);
  EXPECT_TRUE(ok_enabled_when_filled);
  EXPECT_EQ(column(*list, 0), (strings {"bob_site", "ws", "ws2"}));
  EXPECT_EQ(row_texts(*list)[2][2], "/home/alice/second");
  EXPECT_STREQ(app().current_site_name().c_str(), "ws") << "only the very first site is switched to";
  EXPECT_EQ(received(SET_SITE_FILTERS), 0u);
  EXPECT_EQ(received(USE_SITE), 0u);
}

TEST_F(SitesView, TheFirstSiteOfAUserBecomesTheCurrentSite)
{
  server.repository().add_user("carol", "pw", false);
  log_in("carol", "pw");
  chooser_widget_t *list = open_list("open_sites_widget", "Sites", 0);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->table_model()->rowCount(), 0);
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the new-site form", [&](ui_form_dialog_t &dialog) {
    EXPECT_EQ(form_field(dialog, "User"), nullptr) << "a plain user sees the owner as a label";
    fill_new_site(dialog, "carol_one", "/home/carol/one");
    click(dialog_button(dialog, "OK"));
  });
  ASSERT_TRUE(choose_from_menu(*list, -1, "Add new site..."));
  ASSERT_TRUE(wait_rows(*list, 1));
  EXPECT_EQ(row_texts(*list)[0][1], "carol");
  EXPECT_STREQ(app().current_site_name().c_str(), "carol_one");
  EXPECT_EQ(received(USE_SITE), 1u);
  EXPECT_TRUE(pump_until([&] { return row_bold(*list, 0); }, std::chrono::seconds(2)));
}

TEST_F(SitesView, FiltersAreSentWithoutCommentsAndBlankLinesAndARefusalRetriesOnlyThem)
{
  chooser_widget_t *list = open_list("open_sites_widget", "Sites");
  ASSERT_NE(list, nullptr);
  server.add_fault({server_fault_t::raw_reply, SET_SITE_FILTERS, 0, RPC_OK, {fail_frame(22, "alice")}});
  std::vector<std::string> boxes;
  bool rootdir_disabled = false;
  bool name_hidden = false;
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the new-site form", [&](ui_form_dialog_t &dialog) {
    fill_new_site(dialog, "filtered", "/home/alice/filtered",
                  "# my filters\n\n//depot/...   \n#!//depot/b.txt\n  !//depot/*.mov \n");
    click(dialog_button(dialog, "OK"));
  });
  player.on_next<message_box_t>("the refused filters", answer(&boxes, "OK"));
  player.on_next<ui_form_dialog_t>("the form for the filters", [&](ui_form_dialog_t &dialog) {
    QWidget *rootdir = form_field(dialog, "Rootdir");
    rootdir_disabled = rootdir != nullptr && !rootdir->isEnabled();
    name_hidden = form_field(dialog, "Name") == nullptr;
    save_screenshot(dialog, QStringLiteral("sites_filters_again"));
    click(dialog_button(dialog, "OK"));
  });
  ASSERT_TRUE(choose_from_menu(*list, 0, "Add new site..."));
  ASSERT_TRUE(wait_rows(*list, 3));
  EXPECT_TRUE(player.done());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("Failed to set filters\n", 0), 0u) << boxes[0];
  EXPECT_TRUE(rootdir_disabled);
  EXPECT_TRUE(name_hidden);
  EXPECT_EQ(received(EDIT_SITE), 1u) << "the site is added once";
  EXPECT_EQ(received(SET_SITE_FILTERS), 2u);
  EXPECT_EQ(filters_of("filtered"), (strings {"//depot/...", "  !//depot/*.mov"}));
}

TEST_F(SitesView, ARefusedAddShowsTheFormAgainWithTheTypedRootDirectory)
{
  chooser_widget_t *list = open_list("open_sites_widget", "Sites");
  ASSERT_NE(list, nullptr);
  std::vector<std::string> boxes;
  QString kept_rootdir;
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the new-site form", [&](ui_form_dialog_t &dialog) {
    fill_new_site(dialog, "ws", "/home/alice/again");
    click(dialog_button(dialog, "OK"));
  });
  player.on_next<message_box_t>("the refused add", answer(&boxes, "OK"));
  player.on_next<ui_form_dialog_t>("the form again", [&](ui_form_dialog_t &dialog) {
    kept_rootdir = field_text(dialog, "Rootdir");
    click(dialog_button(dialog, "Cancel"));
  });
  (void)choose_from_menu(*list, 0, "Add new site...");
  settle();
  EXPECT_TRUE(player.done());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("Failed to add site\n", 0), 0u) << boxes[0];
  EXPECT_EQ(kept_rootdir.toStdString(), "/home/alice/again");
  EXPECT_EQ(column(*list, 0), (strings {"bob_site", "ws"}));
}

TEST_F(SitesView, AnAdministratorEditsAnotherUsersSiteAndARefusalKeepsTheRow)
{
  chooser_widget_t *list = open_list("open_sites_widget", "Sites");
  ASSERT_NE(list, nullptr);
  click_row(*list, 0);
  // A refused change: the form comes back; cancelled, the row is as it was.
  server.add_fault({server_fault_t::raw_reply, EDIT_SITE, 0, RPC_OK, {fail_frame(22, "alice")}});
  std::vector<std::string> boxes;
  bool user_field = false;
  bool filter_field = false;
  {
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the edit form", [&](ui_form_dialog_t &dialog) {
      user_field = form_field(dialog, "User") != nullptr;
      filter_field = dialog.findChild<text_area_t *>() != nullptr;
      save_screenshot(dialog, QStringLiteral("sites_edit_form"));
      type_into(dialog, "Rootdir", QStringLiteral("/home/bob/moved"));
      type_into(dialog, "Client host", QStringLiteral("bob-laptop"));
      click(dialog_button(dialog, "OK"));
    });
    player.on_next<message_box_t>("the refused change", answer(&boxes, "OK"));
    player.on_next<ui_form_dialog_t>("the form again", [&](ui_form_dialog_t &dialog) {
      EXPECT_EQ(field_text(dialog, "Rootdir").toStdString(), "/home/bob/moved");
      click(dialog_button(dialog, "Cancel"));
    });
    (void)choose_from_menu(*list, 0, "Edit site...");
    settle();
    EXPECT_TRUE(player.done());
  }
  EXPECT_TRUE(user_field);
  EXPECT_TRUE(filter_field) << "an administrator edits every site's filters";
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("Failed to change site\n", 0), 0u) << boxes[0];
  EXPECT_EQ(row_texts(*list)[0][2], "/home/bob/work");

  // Accepted: the row shows what the server holds.
  modal_player_t again;
  again.on_next<ui_form_dialog_t>("the edit form", [&](ui_form_dialog_t &dialog) {
    type_into(dialog, "Rootdir", QStringLiteral("/home/bob/moved"));
    click(dialog_button(dialog, "OK"));
  });
  click_row(*list, 0);
  std::vector<std::string> entries;
  ASSERT_TRUE(choose_from_menu(*list, 0, "Edit site...", &entries)) << testing::PrintToString(entries);
  ASSERT_TRUE(pump_until([&] { return row_texts(*list)[0][2] == "/home/bob/moved"; }, std::chrono::seconds(2)));
  EXPECT_EQ(received(SET_SITE_FILTERS), 0u) << "unchanged filters are not sent";
  EXPECT_EQ(received(USE_SITE), 0u);
}

TEST_F(SitesView, MovingTheCurrentSitesRootDirectorySwitchesAgainAndOffersASync)
{
  chooser_widget_t *list = open_list("open_sites_widget", "Sites");
  ASSERT_NE(list, nullptr);
  click_row(*list, 1);
  std::vector<std::string> questions;
  bool user_field = true;
  {
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the edit form", [&](ui_form_dialog_t &dialog) {
      user_field = form_field(dialog, "User") != nullptr;
      type_into(dialog, "Rootdir", QString::fromStdString(site_root + "-moved"));
      click(dialog_button(dialog, "OK"));
    });
    player.on_next<message_box_t>("the sync question", answer(&questions, "No"));
    app().refresh_widgets(all_widget_kinds, false);
    (void)choose_from_menu(*list, 1, "Edit site...");
    settle();
    EXPECT_TRUE(player.done());
  }
  EXPECT_FALSE(user_field) << "the current site's owner stays";
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0], "Do you want to sync all files to '" + site_root + "-moved'?");
  EXPECT_EQ(received(USE_SITE), 1u);
  EXPECT_EQ(received(SYNC_FILES), 0u);
  EXPECT_NE(app().pending_refresh_mask() & (uint64_t(1) << akui_kind_local_files), 0u)
    << "Local files shows the new place whatever the answer";

  // Only the filters changed: no sync question; Arkive files and Commits are refreshed.
  app().refresh_widgets(all_widget_kinds, false);
  server.clear_received();
  modal_player_t filters_only;
  filters_only.on_next<ui_form_dialog_t>("the edit form", [&](ui_form_dialog_t &dialog) {
    auto *area = dialog.findChild<text_area_t *>();
    ASSERT_NE(area, nullptr);
    area->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(area, Qt::Key_A, Qt::ControlModifier);
    type_lines(area, QStringLiteral("//depot/a.txt\n"));
    click(dialog_button(dialog, "OK"));
  });
  (void)choose_from_menu(*list, 1, "Edit site...");
  settle();
  EXPECT_TRUE(filters_only.done());
  EXPECT_EQ(received(USE_SITE), 0u);
  EXPECT_EQ(filters_of("ws"), (strings {"//depot/a.txt"}));
  const uint64_t filtered = (uint64_t(1) << akui_kind_arkive_files) | (uint64_t(1) << akui_kind_commits);
  EXPECT_EQ(app().pending_refresh_mask() & filtered, filtered);
}

TEST_F(SitesView, FiltersThatCannotBeFetchedAreNotOffered)
{
  chooser_widget_t *list = open_list("open_sites_widget", "Sites");
  ASSERT_NE(list, nullptr);
  server.add_fault({server_fault_t::raw_reply, GET_SITE_FILTERS, 0, RPC_OK, {fail_frame(5, "bob_site")}});
  bool filter_field = true;
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the edit form", [&](ui_form_dialog_t &dialog) {
    filter_field = dialog.findChild<text_area_t *>() != nullptr;
    click(dialog_button(dialog, "Cancel"));
  });
  click_row(*list, 0);
  press(*list, Qt::Key_Return);
  settle();
  EXPECT_TRUE(player.done());
  EXPECT_FALSE(filter_field);
}

TEST_F(SitesView, DeletingAsksWithTheNamesAndANonEmptySiteSkippedWithNoStays)
{
  server.repository().add_site("ws2", "alice", "/home/alice/two", "alice-pc");
  chooser_widget_t *list = open_list("open_sites_widget", "Sites");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(column(*list, 0), (strings {"bob_site", "ws", "ws2"}));
  click_row(*list, 0);
  click_row(*list, 2, Qt::ShiftModifier);
  std::vector<std::string> questions;
  modal_player_t player;
  player.on_next<message_box_t>("the delete question", answer(&questions, "Yes"));
  player.on_next<message_box_t>("the not-empty question", answer(&questions, "No"));
  (void)choose_from_menu(*list, 2, "Delete site...");
  ASSERT_TRUE(wait_rows(*list, 1));
  EXPECT_TRUE(player.done());
  ASSERT_EQ(questions.size(), 2u);
  EXPECT_EQ(questions[0], "Do you really want to delete these sites?\nbob_site\nws\nws2\n");
  EXPECT_EQ(questions[1], "Site 'ws' is not empty.\nDo you still want to delete it?");
  EXPECT_EQ(column(*list, 0), (strings {"ws"}));
  EXPECT_TRUE(server.repository().has_site("ws"));
  EXPECT_FALSE(server.repository().has_site("bob_site"));
}

TEST_F(SitesView, DeletingManySitesListsThirtyNamesAndACount)
{
  for ( int i = 0; i < 30; ++i )
    server.repository().add_site("s" + std::to_string(100 + i), "alice", "/r", "h");
  chooser_widget_t *list = open_list("open_sites_widget", "Sites");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->table_model()->rowCount(), 32);
  click_row(*list, 0);
  click_row(*list, 30, Qt::ShiftModifier);
  std::vector<std::string> questions;
  modal_player_t player;
  player.on_next<message_box_t>("the delete question", answer(&questions, "No"));
  (void)choose_from_menu(*list, 30, "Delete site...");
  settle();
  ASSERT_EQ(questions.size(), 1u);
  std::string expected = "Do you really want to delete these sites?\nbob_site\n";
  for ( int i = 0; i < 29; ++i )
    expected += "s" + std::to_string(100 + i) + "\n";
  EXPECT_EQ(questions[0], expected + "... + 1 more\n");
  EXPECT_EQ(received(DEL_SITE), 0u);
}

TEST_F(SitesView, AReloadKeepsTheSelectedNamesWhereverTheirRowsMoved)
{
  chooser_widget_t *list = open_list("open_sites_widget", "Sites");
  ASSERT_NE(list, nullptr);
  click_row(*list, 1);
  server.repository().add_site("aaa", "alice", "/a", "h");
  (void)choose_from_menu(*list, 1, "Refresh");
  ASSERT_TRUE(wait_rows(*list, 3));
  qvector<uint64_t> selected;
  ASSERT_EQ(list->get_selected_indexes(&selected), 1u);
  EXPECT_EQ(selected[0], 2u) << "ws moved from row 1 to row 2";
}

TEST_F(SitesView, UseThisSiteAsksAndSwitchesOnlyToAnotherOwnSite)
{
  server.repository().add_site("ws2", "alice", site_root, "alice-pc");
  chooser_widget_t *list = open_list("open_sites_widget", "Sites");
  ASSERT_NE(list, nullptr);
  for ( int row : {0, 1} )
  {
    click_row(*list, row);
    std::vector<std::string> entries;
    EXPECT_FALSE(choose_from_menu(*list, row, "Use this site...", &entries)) << "row " << row;
  }
  click_row(*list, 2);
  std::vector<std::string> questions;
  modal_player_t player;
  player.on_next<message_box_t>("the switch question", answer(&questions, "Yes"));
  ASSERT_TRUE(choose_from_menu(*list, 2, "Use this site..."));
  settle();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0], "Do you really want to switch to 'ws2'?");
  EXPECT_STREQ(app().current_site_name().c_str(), "ws2");
  EXPECT_TRUE(pump_until([&] { return row_bold(*list, 2) && !row_bold(*list, 1); }, std::chrono::seconds(2)));
}

TEST_F(SitesView, EveryFailureIsReportedAsItsRowSays)
{
  server.repository().add_site("ws2", "alice", "/home/alice/two", "alice-pc");
  // Failed to retrieve sites: logged, no box, the load fails.
  {
    // Opening loads the list and the widget's first fill reloads it: both fail.
    for ( int i = 0; i < 2; ++i )
      server.add_fault({server_fault_t::raw_reply, GET_SITES, 0, RPC_OK, {fail_frame(22, "alice")}});
    modal_player_t no_box;
    chooser_widget_t *list = open_list("open_sites_widget", "Sites", 0);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->table_model()->rowCount(), 0);
    EXPECT_TRUE(starts_with(log_since_mark(), "Failed to retrieve sites: ")) << testing::PrintToString(log_since_mark());
  }
  chooser_widget_t *list = find_chooser_widget_by_title("Sites");
  ASSERT_NE(list, nullptr);
  (void)choose_from_menu(*list, -1, "Refresh");
  ASSERT_TRUE(wait_rows(*list, 3));

  // The new site cannot be fetched: a warning, no row.
  {
    std::vector<std::string> boxes;
    server.add_fault({server_fault_t::raw_reply, GET_SITE, 0, RPC_OK, {fail_frame(5, "ws3")}});
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the new-site form", [&](ui_form_dialog_t &dialog) {
      fill_new_site(dialog, "ws3", "/home/alice/three");
      click(dialog_button(dialog, "OK"));
    });
    player.on_next<message_box_t>("the warning", answer(&boxes, "OK"));
    (void)choose_from_menu(*list, 0, "Add new site...");
    settle();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("Failed to retrieve the new site\n", 0), 0u) << boxes[0];
    EXPECT_EQ(list->table_model()->rowCount(), 3);
  }

  // The edited site cannot be fetched: a warning, the row as it was.
  {
    std::vector<std::string> boxes;
    server.add_fault({server_fault_t::raw_reply, GET_SITE, 0, RPC_OK, {fail_frame(5, "ws2")}});
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the edit form", [&](ui_form_dialog_t &dialog) {
      type_into(dialog, "Client host", QStringLiteral("elsewhere"));
      click(dialog_button(dialog, "OK"));
    });
    player.on_next<message_box_t>("the warning", answer(&boxes, "OK"));
    click_row(*list, 2);
    (void)choose_from_menu(*list, 2, "Edit site...");
    settle();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("Failed to retrieve local site after editing it\n", 0), 0u) << boxes[0];
    EXPECT_EQ(row_texts(*list)[2][3], "alice-pc");
  }

  // The current site cannot be taken again after its root directory moved: logged, no sync question.
  {
    mark_log();
    server.add_fault({server_fault_t::raw_reply, USE_SITE, 0, RPC_OK, {fail_frame(22, "alice")}});
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the edit form", [&](ui_form_dialog_t &dialog) {
      type_into(dialog, "Rootdir", QString::fromStdString(site_root + "-elsewhere"));
      click(dialog_button(dialog, "OK"));
    });
    click_row(*list, 1);
    (void)choose_from_menu(*list, 1, "Edit site...");
    settle();
    EXPECT_TRUE(player.done());
    EXPECT_TRUE(starts_with(log_since_mark(), "Failed to use the current local site after editing it: "))
      << testing::PrintToString(log_since_mark());
  }

  // A refused delete: a warning, and the run ends there.
  {
    std::vector<std::string> boxes;
    server.add_fault({server_fault_t::raw_reply, DEL_SITE, 0, RPC_OK, {fail_frame(22, "alice")}});
    modal_player_t player;
    player.on_next<message_box_t>("the question", answer(&boxes, "Yes"));
    player.on_next<message_box_t>("the warning", answer(&boxes, "OK"));
    click_row(*list, 0);
    click_row(*list, 2, Qt::ControlModifier);
    (void)choose_from_menu(*list, 2, "Delete site...");
    settle();
    EXPECT_TRUE(player.done());
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].rfind("Failed to delete site\n", 0), 0u) << boxes[1];
    EXPECT_EQ(received(DEL_SITE), 1u) << "no further site is tried";
    EXPECT_TRUE(server.repository().has_site("bob_site"));
  }
}

TEST_F(SitesView, ALostConnectionIsLoggedAsDisconnectedWithoutABox)
{
  // A connection without the client's network handler: the lost stream is not reconnected.
  app().facade.set_connection(connect_alice());
  chooser_widget_t *list = open_list("open_sites_widget", "Sites");
  ASSERT_NE(list, nullptr);
  mark_log();
  server_fault_t drop;
  drop.on_type = DEL_SITE;
  server.add_fault(drop);
  std::vector<std::string> boxes;
  {
    modal_player_t player;
    player.on_next<message_box_t>("the question", answer(&boxes, "Yes"));
    click_row(*list, 0);
    (void)choose_from_menu(*list, 0, "Delete site...");
    settle();
  }
  EXPECT_EQ(boxes.size(), 1u) << "the question only";
  EXPECT_TRUE(starts_with(log_since_mark(), "Disconnected from the server: ")) << testing::PrintToString(log_since_mark());
  EXPECT_FALSE(starts_with(log_since_mark(), "Failed to delete site"));
  // Without a usable connection the list loads empty and says nothing.
  mark_log();
  (void)choose_from_menu(*list, 0, "Refresh");
  EXPECT_TRUE(wait_rows(*list, 0));
  EXPECT_TRUE(log_since_mark().empty()) << testing::PrintToString(log_since_mark());
}

TEST_F(SitesView, HostileSiteRecordsAreShownAndNeverCrash)
{
  site_list_packet_t reply(GET_SITES_RESULT);
  const auto site = [](std::string name, std::string user, std::string root, uint64_t used) {
    site_info_t info;
    info.name = qstring(name.data(), name.size());
    info.user = qstring(user.data(), user.size());
    info.root_dir = qstring(root.data(), root.size());
    info.client_host = "h";
    info.last_used = used;
    return info;
  };
  reply.sites.push_back(site("", "", "", 0));
  reply.sites.push_back(site(std::string(100000, 'x'), "alice", std::string(5000, '/'), ~uint64_t(0)));
  reply.sites.push_back(site("c%s%n~<x>\x01\x1b[31m", "alice", "a\tb\nc", 1));
  reply.sites.push_back(site("\xff\xfe\xc3", "\xc3(", "/bad\x80utf8", 2));
  reply.sites.push_back(site(std::string("nul\0inside", 10), "alice", "/n", 3));
  reply.sites.push_back(site("dup", "alice", "/one", 4));
  reply.sites.push_back(site("dup", "bob", "/two", 5));
  // Opening loads the list and the widget's first fill reloads it: both get the reply.
  for ( int i = 0; i < 2; ++i )
    server.add_fault({server_fault_t::raw_reply, GET_SITES, 0, RPC_OK, {packet_frame(reply)}});
  chooser_widget_t *list = open_list("open_sites_widget", "Sites", 7);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->table_model()->rowCount(), 7);
  EXPECT_EQ(row_texts(*list)[5][0], "dup");
  EXPECT_EQ(row_texts(*list)[6][1], "bob");
  save_screenshot(*list->window(), QStringLiteral("sites_hostile"));
  // The edit form of a name full of form syntax opens with that name made harmless in its title.
  std::string title;
  {
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the edit form", [&](ui_form_dialog_t &dialog) {
      title = dialog.windowTitle().toStdString();
      click(dialog_button(dialog, "Cancel"));
    });
    click_row(*list, 2);
    (void)choose_from_menu(*list, 2, "Edit site...");
    settle();
  }
  EXPECT_EQ(title, "Edit site c_s_n__x___[31m");
  // A reload keeps the second of the duplicates by name: the first row of that name.
  click_row(*list, 6);
  (void)choose_from_menu(*list, 6, "Refresh");
  ASSERT_TRUE(wait_rows(*list, 2));
  qvector<uint64_t> selected;
  ASSERT_EQ(list->get_selected_indexes(&selected), 1u);
  EXPECT_EQ(selected[0], 1u) << "dup is gone: the old index, clamped to the last row";
}

TEST_F(SitesView, ALongRootDirectoryIsShownAndKeptWhole)
{
  const std::string root = "/" + std::string(400, 'r');
  server.repository().add_site("long", "alice", root, "alice-pc");
  chooser_widget_t *list = open_list("open_sites_widget", "Sites");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(column(*list, 0), (strings {"bob_site", "long", "ws"}));
  size_t shown = 0;
  {
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the edit form", [&](ui_form_dialog_t &dialog) {
      shown = size_t(field_text(dialog, "Rootdir").size());
      type_into(dialog, "Client host", QStringLiteral("elsewhere"));
      click(dialog_button(dialog, "OK"));
    });
    click_row(*list, 1);
    (void)choose_from_menu(*list, 1, "Edit site...");
    settle();
  }
  EXPECT_EQ(shown, root.size());
  site_info_t stored;
  ASSERT_EQ(app().facade.get_site(&stored, "long"), 0);
  EXPECT_EQ(std::string(stored.root_dir.c_str()), root);
  EXPECT_STREQ(stored.client_host.c_str(), "elsewhere");
}

TEST_F(SitesView, AFailedSwitchToTheFirstSiteIsLogged)
{
  server.repository().add_user("carol", "pw", false);
  log_in("carol", "pw");
  chooser_widget_t *list = open_list("open_sites_widget", "Sites", 0);
  ASSERT_NE(list, nullptr);
  mark_log();
  server.add_fault({server_fault_t::raw_reply, USE_SITE, 0, RPC_OK, {fail_frame(22, "carol")}});
  {
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the new-site form", [&](ui_form_dialog_t &dialog) {
      fill_new_site(dialog, "carol_one", "/home/carol/one");
      click(dialog_button(dialog, "OK"));
    });
    (void)choose_from_menu(*list, -1, "Add new site...");
    ASSERT_TRUE(wait_rows(*list, 1));
  }
  EXPECT_TRUE(starts_with(log_since_mark(), "Failed to switch to the new site: "))
    << testing::PrintToString(log_since_mark());
}

} // namespace
