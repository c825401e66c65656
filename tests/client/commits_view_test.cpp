// The Commits view and the commit details form against the test server, driven with real keys and clicks.
#include "client/app/akui_app.h"
#include "client/app/client_actions.h"
#include "client/app/desktop_factories.h"
#include "client/app/options_dialog.h"
#include "client/commands/revert_sync_commands.h"
#include "client/views/commit_details_form.h"
#include "client/views/commits_view.h"
#include "core/registry.h"
#include "forms/form_widget.h"
#include "forms/text/text_area.h"
#include "repo/packets_sites.h"
#include "tests/client/worklist_fixture.h"
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/screenshots.h"
#include "ui/docks/desktop_widgets.h"
#include "ui/docks/dock_node.h"
#include "ui/docks/dock_widget.h"
#include "views/chooser/chooser_table.h"
#include "views/chooser/chooser_widget.h"

#include <QAbstractItemModel>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr char config_key[] = "Config";

class commits_view_test_t : public worklist_test_t
{
protected:
  void SetUp() override
  {
    worklist_test_t::SetUp();
    (void)registry_remove_value(ncommits_value_name, config_key);
    // Commit 1 "import" is alice's; 2 is bob's, 3 alice's again.
    server.repository().add_site("bws", "bob", site_root + "-bob", "bob-pc");
    bob_commit = server.repository().commit_files("bob", "bws", "bob's fix", {{"//depot/c.txt", "gamma"}});
    alice_commit = server.repository().commit_files("alice", "ws", "alice's change",
                                                    {{"//depot/a.txt", "alpha 2"}, {"//depot/d.txt", "delta"}});
  }

  void TearDown() override
  {
    while ( form_widget_t *form = find_form_widget_by_title("Commit #", true) )
      delete form;
    if ( chooser_widget_t *widget = find_commits_widget() )
      close_view(widget);
    (void)registry_remove_value(ncommits_value_name, config_key);
    worklist_test_t::TearDown();
  }

  // Closes the view's dock and waits until it is gone.
  static void close_view(chooser_widget_t *widget)
  {
    // A closed view's dock stays for its next showing: the widget goes by hand.
    QPointer<QWidget> alive = widget;
    akui_app()->close_hosted_widget(widget, 0);
    QTest::qWait(10);
    delete alive.data();
    EXPECT_EQ(find_commits_widget(), nullptr);
  }

  // Logs the client in again as another user with a site of that user.
  void log_in_as(const char *user, const char *password, const char *site)
  {
    auto connection = connect(transport_t::tls);
    ASSERT_NE(connection, nullptr);
    qstring error;
    ASSERT_TRUE(connection->login(&error, user, password, "host")) << error.c_str();
    ASSERT_EQ(connection->use_site(nullptr, site, ""), 0) << error_detail();
    app().set_connection(std::move(connection));
    ASSERT_EQ(app().facade.get_arkive_info(&app().server_info), 0);
    server.clear_received();
    ui.clear();
  }

  // Opens the view through its action and waits for its rows.
  chooser_widget_t *open_view(size_t rows)
  {
    EXPECT_EQ(find_ui_action("open_commits_widget")->run_from_ui(), 1);
    chooser_widget_t *widget = find_commits_widget();
    EXPECT_NE(widget, nullptr);
    if ( widget == nullptr )
      return nullptr;
    EXPECT_TRUE(pump_until([&] { return size_t(widget->table_model()->rowCount()) == rows; }))
      << widget->table_model()->rowCount();
    return widget;
  }

  static commits_chooser_t &source_of(chooser_widget_t *widget)
  {
    return *dynamic_cast<commits_chooser_t *>(widget->source());
  }

  // The view row that shows the commit number.
  static int view_row_of(chooser_widget_t *widget, int32_t number)
  {
    const QAbstractItemModel *model = widget->table_model();
    for ( int row = 0; row < model->rowCount(); ++row )
      if ( model->index(row, 0).data().toString() == QString::number(number) )
        return row;
    ADD_FAILURE() << "no row of commit " << number;
    return 0;
  }

  // Clicks the commit's row (with Ctrl: adds it to the selection).
  static void click_commit(chooser_widget_t *widget, int32_t number, Qt::KeyboardModifiers modifiers = {})
  {
    const QAbstractItemModel *model = widget->table_model();
    QTest::mouseClick(widget->table()->viewport(), Qt::LeftButton, modifiers,
                      widget->table()->visualRect(model->index(view_row_of(widget, number), 0)).center());
  }

  // The numbers of the selected commits, ascending.
  static std::vector<int32_t> selected_numbers(chooser_widget_t *widget)
  {
    qvector<uint64_t> rows;
    (void)widget->get_selected_indexes(&rows);
    std::vector<int32_t> numbers;
    for ( uint64_t row : rows )
      numbers.push_back(source_of(widget).commits().at(size_t(row)).number);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
  }

  // Selects the commit and presses Enter: its details open.
  form_widget_t *open_details(chooser_widget_t *widget, int32_t number)
  {
    QApplication::setActiveWindow(widget->window());
    widget->table()->setFocus();
    click_commit(widget, number);
    QTest::keyClick(widget->table(), Qt::Key_Return);
    const std::string title = "Commit #" + std::to_string(number);
    EXPECT_TRUE(pump_until([&] { return find_form_widget_by_title(title.c_str(), false) != nullptr; }));
    return find_form_widget_by_title(title.c_str(), false);
  }

  // Opens the view with the three commits and the details of one of them.
  form_widget_t *open_view_and_details(chooser_widget_t **widget, int32_t number)
  {
    *widget = open_view(3);
    return *widget != nullptr ? open_details(*widget, number) : nullptr;
  }

  static QPushButton *form_button(form_widget_t *form, const char *text)
  {
    for ( QPushButton *button : form->findChildren<QPushButton *>() )
      if ( button->isVisibleTo(form) && button->text().remove(QLatin1Char('&')) == QString::fromUtf8(text) )
        return button;
    return nullptr;
  }

  static text_area_t *description_area(form_widget_t *form)
  {
    const QList<text_area_t *> areas = form->findChildren<text_area_t *>();
    return areas.isEmpty() ? nullptr : areas.front();
  }

  // The details' file list.
  static chooser_widget_t *files_list(form_widget_t *form) { return form->findChild<chooser_widget_t *>(); }

  std::string server_description(int32_t number)
  {
    commit_filter_t filter;
    filter.first_commit = number;
    filter.last_commit = number;
    qvector<commit_info_t> commits;
    EXPECT_EQ(app().facade.get_commits(&commits, {}, filter, -1), 0);
    return commits.size() == 1 ? str(commits[0].description) : "<none>";
  }

  int32_t bob_commit = 0;
  int32_t alice_commit = 0;
};

TEST_F(commits_view_test_t, NCommitsSetsTheCountOfTheQueryAndTheRowsShowTheCommits)
{
  const struct
  {
    const char *name;
    int32_t stored; // 0: none stored
    int32_t sent;
    size_t rows;
  } cases[] = {{"absent", 0, -1, 3}, {"two", 2, 2, 2}};
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    if ( c.stored != 0 )
      (void)registry_int(ncommits_value_name, true, c.stored, config_key);
    server.clear_received();
    chooser_widget_t *widget = open_view(c.rows);
    ASSERT_NE(widget, nullptr);
    const auto queries = requests_of<commit_query_packet_t>(GET_COMMITS);
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(queries[0].filter.max_count, c.sent);
    EXPECT_EQ(queries[0].filter.first_commit, 0);
    EXPECT_EQ(queries[0].filter.last_commit, 0x7FFFFFFF);
    EXPECT_TRUE(queries[0].paths.empty());
    EXPECT_EQ(queries[0].revision, -1);
    const QAbstractItemModel *model = widget->table_model();
    ASSERT_EQ(model->columnCount(), 5);
    EXPECT_EQ(model->headerData(4, Qt::Horizontal).toString(), QStringLiteral("Description"));
    const int row = view_row_of(widget, alice_commit);
    EXPECT_EQ(model->index(row, 2).data().toString(), QStringLiteral("alice"));
    EXPECT_EQ(model->index(row, 3).data().toString(), QStringLiteral("ws"));
    EXPECT_EQ(model->index(row, 4).data().toString(), QStringLiteral("alice's change"));
    EXPECT_EQ(model->index(row, 1).data().toString().size(), 19); // "%F %T"
    save_screenshot(*widget, QString::fromUtf8(c.name));
    close_view(widget);
  }
  // The action presents the open view instead of making a second one.
  chooser_widget_t *widget = open_view(2);
  EXPECT_EQ(find_ui_action("open_commits_widget")->run_from_ui(), 1);
  EXPECT_EQ(find_commits_widget(), widget);
  // The desktop factory finds it too.
  int factories = 0;
  for ( desktop_widget_factory_t *factory : desktop_widget_factories() )
    if ( dynamic_cast<akui_singleton_desktop_widget_factory_t *>(factory) != nullptr
         && factory->matches(commits_title, nullptr) )
    {
      ++factories;
      EXPECT_EQ(factory->create_widget(commits_title, nullptr), widget);
    }
  EXPECT_EQ(factories, 1);
}

TEST_F(commits_view_test_t, ACommitReloadsTheViewKeepingTheSelectedCommitsByNumber)
{
  chooser_widget_t *widget = open_view(3);
  ASSERT_NE(widget, nullptr);
  click_commit(widget, 1);
  click_commit(widget, alice_commit, Qt::ControlModifier);
  ASSERT_EQ(selected_numbers(widget), (std::vector<int32_t> {1, alice_commit}));

  // A commit through the client: event 1 reloads the view; the new commit comes first and the rows move.
  const int32_t worklist = open_in_new_worklist("more", {"//depot/b.txt"});
  int32_t made = 0;
  ASSERT_EQ(app().facade.commit_worklist(&made, "more", worklist, 0), 0) << error_detail();
  ASSERT_TRUE(pump_until([&] { return widget->table_model()->rowCount() == 4; }));
  EXPECT_EQ(source_of(widget).commits().front().number, made);
  EXPECT_EQ(selected_numbers(widget), (std::vector<int32_t> {1, alice_commit}));
  save_screenshot(*widget, QStringLiteral("after-commit"));
}

TEST_F(commits_view_test_t, AReloadWithoutTheSelectedCommitsSelectsTheOldFirstRowClamped)
{
  commits_chooser_t chooser;
  ASSERT_TRUE(chooser.prepare());
  ASSERT_EQ(chooser.commits().size(), 3u);
  // Hostile and shrinking replies: duplicates, other numbers, nothing at all.
  const auto reply_of = [](std::vector<int32_t> numbers) {
    commit_list_packet_t reply(GET_COMMITS_RESULT);
    for ( int32_t number : numbers )
    {
      commit_info_t info;
      info.number = number;
      reply.commits.push_back(info);
    }
    return reply;
  };
  const struct
  {
    const char *name;
    qvector<uint64_t> selection;
    std::vector<int32_t> reply;
    qvector<uint64_t> expected;
  } cases[] = {
    {"kept by number, duplicates take the first row", {2, 0}, {7, 1, 3, 3, 1}, {1, 2}},
    {"gone: the old first index", {1}, {7, 8, 9}, {1}},
    {"gone and shorter: the last row", {2}, {7, 8}, {1}},
    {"rows beyond the list are not remembered", {9}, {7, 8}, {1}},
    {"nothing left", {0}, {}, {}},
    {"nothing selected stays so", {}, {7, 8}, {}},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    // Start from the server's three commits 3, 2, 1.
    ASSERT_TRUE(chooser.prepare());
    server.add_fault({server_fault_t::raw_reply, GET_COMMITS, 0, RPC_OK, {packet_frame(reply_of(c.reply))}});
    qvector<uint64_t> selection = c.selection;
    EXPECT_EQ(chooser.reload_items(&selection), chooser_rebuild);
    EXPECT_EQ(selection, c.expected);
  }
}

TEST_F(commits_view_test_t, TheAuthorSavesTheDescriptionAndTheViewShowsIt)
{
  log_in_as("bob", "builder", "bws");
  chooser_widget_t *widget = open_view(3);
  ASSERT_NE(widget, nullptr);
  form_widget_t *form = open_details(widget, bob_commit);
  ASSERT_NE(form, nullptr);
  QPushButton *save = form_button(form, "Save");
  ASSERT_NE(save, nullptr);
  EXPECT_FALSE(save->isEnabled()); // unchanged
  ASSERT_NE(form_button(form, "Close"), nullptr);
  chooser_widget_t *files = files_list(form);
  ASSERT_NE(files, nullptr);
  ASSERT_TRUE(pump_until([&] { return files->table_model()->rowCount() == 1; }));
  EXPECT_EQ(files->table_model()->index(0, 0).data().toString(), QStringLiteral("//depot/c.txt#1"));
  save_screenshot(*form, QStringLiteral("details"));

  text_area_t *area = description_area(form);
  ASSERT_NE(area, nullptr);
  EXPECT_FALSE(area->isReadOnly());
  type_text(area, "");
  EXPECT_FALSE(save->isEnabled()); // empty
  type_text(area, "bob's better fix");
  EXPECT_TRUE(save->isEnabled());
  save_screenshot(*form, QStringLiteral("edited"));
  QTest::mouseClick(save, Qt::LeftButton);
  const auto edits = requests_of<code_text_packet_t>(EDIT_COMMIT);
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(edits[0].code, bob_commit);
  EXPECT_EQ(server_description(bob_commit), "bob's better fix");
  EXPECT_FALSE(save->isEnabled()); // saved
  EXPECT_EQ(find_form_widget_by_title(form->windowTitle().toUtf8().constData(), false), form); // stays open
  ASSERT_TRUE(pump_until([&] {
    return widget->table_model()->index(view_row_of(widget, bob_commit), 4).data().toString()
        == QStringLiteral("bob's better fix");
  }));

  // Close without further change asks nothing; the form and its file list go.
  QPointer<chooser_widget_t> list = files;
  QTest::mouseClick(form_button(form, "Close"), Qt::LeftButton);
  ASSERT_TRUE(pump_until([&] { return find_form_widget_by_title("Commit #", true) == nullptr && list == nullptr; }));
  EXPECT_TRUE(ui.requests_of(ui_code_question).empty());
}

TEST_F(commits_view_test_t, AnotherUsersCommitIsReadOnlyAndAnAdministratorMayEditEveryCommit)
{
  // bob is no administrator: alice's commit shows with Close alone.
  log_in_as("bob", "builder", "bws");
  chooser_widget_t *widget = open_view(3);
  ASSERT_NE(widget, nullptr);
  form_widget_t *form = open_details(widget, alice_commit);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form_button(form, "Save"), nullptr);
  ASSERT_NE(form_button(form, "Close"), nullptr);
  ASSERT_NE(description_area(form), nullptr);
  EXPECT_TRUE(description_area(form)->isReadOnly());
  save_screenshot(*form, QStringLiteral("read-only"));
  QTest::mouseClick(form_button(form, "Close"), Qt::LeftButton);
  ASSERT_TRUE(pump_until([&] { return find_form_widget_by_title("Commit #", true) == nullptr; }));
  close_view(widget);

  // alice is an administrator: bob's commit has Save.
  log_in_as("alice", "secret", "ws");
  widget = open_view(3);
  ASSERT_NE(widget, nullptr);
  form = open_details(widget, bob_commit);
  ASSERT_NE(form, nullptr);
  ASSERT_NE(form_button(form, "Save"), nullptr);
  type_text(description_area(form), "reviewed");
  QTest::mouseClick(form_button(form, "Save"), Qt::LeftButton);
  EXPECT_EQ(server_description(bob_commit), "reviewed");
}

TEST_F(commits_view_test_t, OneDetailsFormPerCommitAndCloseAsksOnlyAfterAChange)
{
  chooser_widget_t *widget = nullptr;
  form_widget_t *form = open_view_and_details(&widget, alice_commit);
  ASSERT_NE(form, nullptr);
  server.clear_received();
  // Enter again on the same commit: the open form, no second one and no second file query.
  EXPECT_EQ(open_details(widget, alice_commit), form);
  int forms = 0;
  for ( QWidget *top : QApplication::allWidgets() )
    forms += qobject_cast<form_widget_t *>(top) != nullptr && top->windowTitle() == form->windowTitle() ? 1 : 0;
  EXPECT_EQ(forms, 1);
  EXPECT_TRUE(requests_of<number_flag_packet_t>(GET_COMMIT_FILES).empty());

  type_text(description_area(form), "changed");
  ui.script(ui_code_question, 0); // keep the changes
  QTest::mouseClick(form_button(form, "Close"), Qt::LeftButton);
  QTest::qWait(20);
  EXPECT_EQ(ui.requests_of(ui_code_question).size(), 1u);
  EXPECT_NE(find_form_widget_by_title(form->windowTitle().toUtf8().constData(), false), nullptr);
  ui.script(ui_code_question, 1); // discard them
  QTest::mouseClick(form_button(form, "Close"), Qt::LeftButton);
  ASSERT_TRUE(pump_until([&] { return find_form_widget_by_title("Commit #", true) == nullptr; }));
  EXPECT_EQ(server_description(alice_commit), "alice's change");
}

TEST_F(commits_view_test_t, AFailedSaveWarnsAndKeepsTheEditedText)
{
  chooser_widget_t *widget = nullptr;
  form_widget_t *form = open_view_and_details(&widget, alice_commit);
  ASSERT_NE(form, nullptr);
  type_text(description_area(form), "refused");
  server.add_fault({server_fault_t::raw_reply, EDIT_COMMIT, 0, RPC_OK, {fail_frame(22, "alice")}});
  QTest::mouseClick(form_button(form, "Save"), Qt::LeftButton);
  const std::vector<std::string> shown = warnings();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find("Failed to edit worklist"), std::string::npos);
  EXPECT_EQ(description_area(form)->toPlainText(), QStringLiteral("refused"));
  EXPECT_TRUE(form_button(form, "Save")->isEnabled());
}

TEST_F(commits_view_test_t, TheFileListCollectsItsRowsAndSyncsEachToItsRevision)
{
  commit_files_chooser_t files(alice_commit);
  ASSERT_TRUE(files.prepare());
  ASSERT_EQ(files.files().size(), 2u);
  ui_action_activation_ctx_t context;
  context.chooser = &files;
  context.widget_kind = akui_kind_commit_files;
  context.chooser_selection = {1, 5, 0};
  selected_files_t records;
  ASSERT_TRUE(files.collect_files(&records, WANT_PATH | WANT_REVISIONS | WANT_STATE | WANT_KNOWN, context));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(str(records[0].path), str(files.files()[1].path));
  EXPECT_EQ(records[0].revision, files.files()[1].site_revision);
  EXPECT_EQ(records[0].last_revision, files.files()[1].last_revision);
  EXPECT_EQ(records[0].state, files.files()[1].action);
  EXPECT_EQ(records[0].flags, SEL_KNOWN);
  EXPECT_EQ(selection_kind_of(context), akui_kind_commit_files);

  // "Get the latest revision" in the list: one sync per file, each to its listed revision.
  context.chooser_selection = {0, 1};
  server.clear_received();
  EXPECT_TRUE(sync_to_commit(context, SYNC_BY_REVISION, SYNC_LATEST_CODE));
  const auto syncs = requests_of<path_query_packet_t>(SYNC_FILES);
  ASSERT_EQ(syncs.size(), 2u);
  for ( size_t i = 0; i < syncs.size(); ++i )
  {
    ASSERT_EQ(syncs[i].patterns.size(), 1u);
    EXPECT_EQ(str(syncs[i].patterns[0]), str(files.files()[i].path));
    EXPECT_EQ(syncs[i].revision, files.files()[i].site_revision);
  }
  EXPECT_EQ(server.repository().site_revision("ws", "//depot/d.txt"), 1);
}

TEST_F(commits_view_test_t, HostileRepliesShowWithoutMarkupOrCrash)
{
  commit_list_packet_t reply(GET_COMMITS_RESULT);
  const char *users[] = {"", "<%q\n@0:12[]\n>", "\x01\x02\x7f"};
  int32_t number = 5;
  for ( const char *user : users )
  {
    commit_info_t info;
    info.number = number;
    info.user = user;
    info.site = user;
    info.description = user;
    info.time = ~uint64_t(0);
    reply.commits.push_back(info);
    reply.commits.push_back(info); // duplicate numbers
    --number;
  }
  server.add_fault({server_fault_t::raw_reply, GET_COMMITS, 0, RPC_OK, {packet_frame(reply)}});
  chooser_widget_t *widget = open_view(6);
  ASSERT_NE(widget, nullptr);
  for ( int row = 0; row < 6; ++row )
    for ( int column = 0; column < 5; ++column )
      (void)widget->table_model()->index(row, column).data();
  save_screenshot(*widget, QStringLiteral("hostile"));

  // The user with form markup opens as plain text (alice is an administrator: editable).
  form_widget_t *form = open_details(widget, 4);
  ASSERT_NE(form, nullptr);
  bool shown = false;
  for ( QLabel *label : form->findChildren<QLabel *>() )
    shown = shown || label->text() == QString::fromUtf8("<%q\n@0:12[]\n>");
  EXPECT_TRUE(shown);
  ASSERT_NE(files_list(form), nullptr);
  save_screenshot(*form, QStringLiteral("hostile-details"));
}

TEST_F(commits_view_test_t, WithoutAConnectionTheListIsEmptyWithoutAMessage)
{
  app().set_connection(nullptr);
  ui.clear();
  commits_chooser_t chooser;
  EXPECT_TRUE(chooser.prepare());
  EXPECT_TRUE(chooser.commits().empty());
  EXPECT_TRUE(log_lines().empty());
  EXPECT_TRUE(warnings().empty());
}

} // namespace
