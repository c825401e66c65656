// The listing cache against the test server: one fetch per folder with the site's revision and the deleted
// files as the setting says, empty folders cached, failures logged and not cached, lookups without requests,
// and the Refresh action.
#include "client/views/arkive_listing_cache.h"

#include "client/app/akui_app.h"
#include "repo/packets_sites.h"
#include "tests/client/file_views_fixture.h"
#include "tests/support/seeded_random.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"

#include <QAction>

#include <gtest/gtest.h>

namespace {

std::vector<std::string> paths_of(const qvector<arkive_file_info_t> &records)
{
  std::vector<std::string> out;
  for ( const arkive_file_info_t &record : records )
    out.push_back(str(record.path));
  return out;
}

class listing_cache_test_t : public file_views_fixture_t
{
protected:
  void SetUp() override
  {
    file_views_fixture_t::SetUp();
    server.repository().commit_files("alice", "ws", "more", {{"//depot/sub/c.txt", "gamma"}, {"//top.txt", "t"}});
    // A file deleted on the server.
    qvector<qstring> gone;
    gone.push_back("//top.txt");
    ASSERT_EQ(app().facade.delete_files(gone, 1), 0);
    int32_t commit = 0;
    ASSERT_EQ(app().facade.commit_worklist(&commit, "drop top", 1, 0), 0);
    app().forget_listings(false);
    server.clear_received();
    ui.clear();
  }
};

TEST_F(listing_cache_test_t, folders_are_fetched_once_with_the_site_revision_and_the_setting_for_deleted_files)
{
  struct row_t
  {
    const char *folder;
    bool show_deleted;
    std::vector<std::string> listed;
    std::string pattern;
    int32_t options;
  };
  const row_t rows[] = {
    {"//", false, {"//depot"}, "//*", 6},
    {"//", true, {"//depot", "//top.txt"}, "//*", 7},
    {"//depot", false, {"//depot/sub", "//depot/a.txt", "//depot/b.txt"}, "//depot/*", 6},
    {"//depot/sub", true, {"//depot/sub/c.txt"}, "//depot/sub/*", 7},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.folder + std::string(row.show_deleted ? " with deleted" : ""));
    app().set_show_deleted_files(row.show_deleted);
    app().forget_listings(false);
    server.clear_received();
    qvector<arkive_file_info_t> records;
    ASSERT_TRUE(fetch_folder_listing(&records, row.folder, false));
    EXPECT_EQ(paths_of(records), row.listed);
    ASSERT_EQ(listing_requests().size(), 1u);
    EXPECT_EQ(listing_requests()[0].patterns, std::vector<std::string>{row.pattern});
    EXPECT_EQ(listing_requests()[0].revision, -3);
    EXPECT_EQ(listing_requests()[0].options, row.options);
    // Again: from the cache, also without an output.
    qvector<arkive_file_info_t> again;
    ASSERT_TRUE(fetch_folder_listing(&again, row.folder, false));
    ASSERT_TRUE(fetch_folder_listing(nullptr, row.folder, false));
    EXPECT_EQ(paths_of(again), row.listed);
    EXPECT_EQ(listing_requests().size(), 1u);
  }
}

TEST_F(listing_cache_test_t, an_empty_folder_is_cached_as_empty_whether_the_server_fails_it_with_43_or_not)
{
  qvector<arkive_file_info_t> records;
  records.push_back(arkive_file_info_t());
  ASSERT_TRUE(fetch_folder_listing(&records, "//nothing", false));
  EXPECT_TRUE(records.empty());

  server.add_fault({server_fault_t::raw_reply, GET_ARKIVE_FILES, 0, RPC_OK, {fail_frame(43, "//empty/*")}});
  records.push_back(arkive_file_info_t());
  ASSERT_TRUE(fetch_folder_listing(&records, "//empty", false));
  EXPECT_TRUE(records.empty());
  ASSERT_TRUE(fetch_folder_listing(&records, "//empty", false));
  EXPECT_EQ(listing_requests().size(), 2u) << "each empty folder asked once";
  for ( const std::string &line : log_lines() )
    EXPECT_EQ(line.find("Failed to retrieve"), std::string::npos) << line;
}

TEST_F(listing_cache_test_t, a_failed_fetch_is_logged_unless_quiet_and_asked_again_next_time)
{
  server.add_fault({server_fault_t::raw_reply, GET_ARKIVE_FILES, 0, RPC_OK, {fail_frame(22, "alice")}});
  server.add_fault({server_fault_t::raw_reply, GET_ARKIVE_FILES, 0, RPC_OK, {fail_frame(22, "alice")}});
  qvector<arkive_file_info_t> records;
  EXPECT_FALSE(fetch_folder_listing(&records, "//depot", false));
  ASSERT_EQ(log_lines().size(), 1u);
  EXPECT_EQ(log_lines()[0].rfind("Failed to retrieve arkive files: ", 0), 0u) << log_lines()[0];
  ui.clear();
  EXPECT_FALSE(fetch_folder_listing(&records, "//depot", true));
  EXPECT_TRUE(log_lines().empty());
  EXPECT_TRUE(fetch_folder_listing(&records, "//depot", false));
  EXPECT_EQ(records.size(), 3u);
  EXPECT_EQ(listing_requests().size(), 3u);
}

TEST_F(listing_cache_test_t, refused_paths_and_a_missing_connection_send_nothing)
{
  EXPECT_FALSE(fetch_folder_listing(nullptr, "//depot/", false));
  EXPECT_TRUE(fetch_folder_listing(nullptr, "//", false)) << "the root keeps its slashes";
  app().set_connection(nullptr);
  server.clear_received();
  EXPECT_FALSE(fetch_folder_listing(nullptr, "//depot", false));
  EXPECT_TRUE(listing_requests().size() == 0);
  EXPECT_TRUE(log_lines().empty());
}

TEST_F(listing_cache_test_t, find_file_sees_only_loaded_folders_never_a_folder_and_never_asks)
{
  EXPECT_EQ(find_arkive_file_info("//depot/a.txt"), nullptr) << "not loaded yet";
  ASSERT_TRUE(fetch_folder_listing(nullptr, "//depot", false));
  ASSERT_TRUE(fetch_folder_listing(nullptr, "//", false));
  server.clear_received();
  const arkive_file_info_t *a = find_arkive_file_info("//depot/a.txt");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(str(a->path), "//depot/a.txt");
  EXPECT_EQ(a->last_revision, 1);
  EXPECT_NE(find_arkive_file_info("//depot/b.txt"), nullptr);
  EXPECT_EQ(find_arkive_file_info("//depot/sub"), nullptr) << "a folder record";
  EXPECT_EQ(find_arkive_file_info("//depot"), nullptr) << "a folder record of the root";
  EXPECT_EQ(find_arkive_file_info("//depot/a.txt/"), nullptr);
  EXPECT_EQ(find_arkive_file_info("//depot/sub/c.txt"), nullptr) << "//depot/sub not loaded";
  EXPECT_EQ(find_arkive_file_info("//depot/zz"), nullptr);
  EXPECT_TRUE(listing_requests().empty());
}

TEST_F(listing_cache_test_t, lookups_do_not_depend_on_the_order_the_server_lists_in)
{
  // A server that lists files before folders and out of order.
  file_query_result_packet_t reply(GET_ARKIVE_FILES_RESULT);
  for ( const char *path : {"//x/zeta", "//x/dir", "//x/alpha", "//x/mid"} )
  {
    arkive_file_info_t record;
    record.path = path;
    record.last_revision = std::string_view(path) == "//x/dir" ? 0 : 2;
    record.site_revision = 1;
    reply.files.push_back(record);
  }
  server.add_fault({server_fault_t::raw_reply, GET_ARKIVE_FILES, 0, RPC_OK, {packet_frame(reply)}});
  qvector<arkive_file_info_t> records;
  ASSERT_TRUE(fetch_folder_listing(&records, "//x", false));
  EXPECT_EQ(paths_of(records), (std::vector<std::string>{"//x/zeta", "//x/dir", "//x/alpha", "//x/mid"}))
    << "shown in the server's order";
  for ( const char *path : {"//x/zeta", "//x/alpha", "//x/mid"} )
    EXPECT_NE(find_arkive_file_info(path), nullptr) << path;
  EXPECT_EQ(find_arkive_file_info("//x/dir"), nullptr);
}

TEST_F(listing_cache_test_t, events_and_the_refresh_action_forget_the_listings)
{
  ui_action_t *refresh = app().get_action_registry()->find_action("rebuild_tree_structure");
  ASSERT_NE(refresh, nullptr);
  ASSERT_NE(refresh->qaction(), nullptr);
  EXPECT_EQ(refresh->qaction()->text(), "Refresh");

  ASSERT_TRUE(fetch_folder_listing(nullptr, "//depot", false));
  (void)app().opened_file("//depot/a.txt");
  app().refresh_widgets(all_widget_kinds, false);
  server.clear_received();
  // The handler itself; the tree views' tests trigger it from a tree.
  EXPECT_EQ(rebuild_tree_structure_activate(nullptr), 1);
  EXPECT_FALSE(app().listing_cache().has_folder("//depot"));
  EXPECT_EQ(app().pending_refresh_mask() & 1, 1u);
  EXPECT_EQ(refresh->refresh_mask, 0x47u) << "Arkive files, Local files, Worklists, File history";
  (void)app().opened_file("//depot/a.txt");
  bool refetched = false;
  for ( const recorded_frame_t &frame : server.received() )
    refetched = refetched || frame.type == GET_WORKLIST_FILES;
  EXPECT_TRUE(refetched) << "the opened files were marked stale";

  struct row_t
  {
    uint64_t code;
    bool forgets;
    bool refreshes;
  };
  const row_t rows[] = {{arkive_event_worklist_committed, true, true}, {arkive_event_files_synced, true, true},
                        {arkive_event_merge_finished, true, true},     {arkive_event_filters_set, true, true},
                        {arkive_event_disconnected, true, false},      {arkive_event_connected, true, false},
                        {arkive_event_files_edited, false, false}};
  const qvector<qstring> paths;
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.code);
    ASSERT_TRUE(fetch_folder_listing(nullptr, "//depot", false));
    app().refresh_widgets(all_widget_kinds, false);
    if ( row.code == arkive_event_disconnected )
      app().facade.notify(row.code);
    else if ( row.code == arkive_event_connected )
      app().facade.notify(row.code, "127.0.0.1:1");
    else if ( row.code == arkive_event_merge_finished )
      app().facade.notify(row.code, 0, "//depot/a.txt");
    else
      app().facade.notify(row.code, 0, &paths, 1);
    EXPECT_EQ(!app().listing_cache().has_folder("//depot"), row.forgets);
    EXPECT_EQ((app().pending_refresh_mask() & 1) != 0, row.refreshes);
  }
  app().refresh_widgets(all_widget_kinds, false);

  ASSERT_TRUE(fetch_folder_listing(nullptr, "//depot", false));
  app().set_show_deleted_files(true);
  EXPECT_FALSE(app().listing_cache().has_folder("//depot")) << "toggling show deleted files";
  EXPECT_NE(app().pending_refresh_mask() & 1, 0u);
}

} // namespace

namespace {

arkive_file_info_t hostile_record(const std::string &path, int32_t last)
{
  arkive_file_info_t record;
  record.path = qstring(path.data(), path.size());
  record.site_revision = last;
  record.last_revision = last;
  return record;
}

TEST_F(listing_cache_test_t, hostile_names_in_a_listing_are_kept_as_text_and_looked_up_safely)
{
  const std::string long_name = "//h/" + std::string(5000, 'n');
  const std::vector<std::pair<std::string, int32_t>> listed = {
    {"//h/", 2},          {"//h/.", 2},           {"//h/..", 0},         {"//h/../../etc/passwd", 2},
    {"//h/a\\..\\b", 2},  {"//h/ctl\x01\x1f", 2}, {"//h/bad\xc3\x28", 2}, {long_name, 2},
    {"//h/dup", 2},       {"//h/dup", 3},         {"//h/same", 0},       {"//h/same", 2},
    {"//elsewhere/x", 2}, {"", 2},
  };
  file_query_result_packet_t reply(GET_ARKIVE_FILES_RESULT);
  for ( const auto &[path, last] : listed )
    reply.files.push_back(hostile_record(path, last));
  server.add_fault({server_fault_t::raw_reply, GET_ARKIVE_FILES, 0, RPC_OK, {packet_frame(reply)}});
  qvector<arkive_file_info_t> records;
  ASSERT_TRUE(fetch_folder_listing(&records, "//h", false));
  EXPECT_EQ(records.size(), listed.size()) << "the server's records as they came";

  EXPECT_EQ(find_arkive_file_info("//h/"), nullptr);
  for ( const char *path : {"//h/.", "//h/a\\..\\b", "//h/ctl\x01\x1f", "//h/bad\xc3\x28"} )
    EXPECT_NE(find_arkive_file_info(path), nullptr) << "a file record under its text";
  EXPECT_EQ(find_arkive_file_info("//h/.."), nullptr) << "a folder record";
  EXPECT_NE(find_arkive_file_info(long_name.c_str()), nullptr);
  const arkive_file_info_t *dup = find_arkive_file_info("//h/dup");
  ASSERT_NE(dup, nullptr);
  EXPECT_EQ(dup->last_revision, 2) << "the first of two equal paths";
  const arkive_file_info_t *same = find_arkive_file_info("//h/same");
  ASSERT_NE(same, nullptr);
  EXPECT_EQ(same->last_revision, 2) << "the file, never the folder of the same name";
  for ( const char *path : {"//elsewhere/x", "//h/../../etc/passwd"} )
    EXPECT_EQ(find_arkive_file_info(path), nullptr) << path << ": a record outside its folder is not filed there";
}

TEST_F(listing_cache_test_t, mutated_listing_replies_neither_crash_nor_hang)
{
  file_query_result_packet_t reply(GET_ARKIVE_FILES_RESULT);
  for ( const char *path : {"//m/sub", "//m/a.txt", "//m/b.zdb"} )
    reply.files.push_back(hostile_record(path, std::string_view(path) == "//m/sub" ? 0 : 2));
  const frame_bytes_t valid = packet_frame(reply);
  uint32_t state = 0x2545F491;
  const int runs = seeded_runs(200);
  for ( int run = 0; run < runs; ++run )
  {
    frame_bytes_t frame = valid;
    // Only the body changes: the frame's length stays true, so the client never waits for bytes.
    const int flips = 1 + int(next_random(&state) % 6);
    for ( int i = 0; i < flips; ++i )
      frame[5 + next_random(&state) % (frame.size() - 5)] = uint8_t(next_random(&state));
    server.add_fault({server_fault_t::raw_reply, GET_ARKIVE_FILES, 0, RPC_OK, {frame}});
    app().forget_listings(false);
    qvector<arkive_file_info_t> records;
    if ( fetch_folder_listing(&records, "//m", true) )
      for ( const arkive_file_info_t &record : records )
        (void)find_arkive_file_info(record.path.c_str());
    if ( !app().has_usable_connection() )
    {
      app().set_connection(connect_alice());
      ASSERT_TRUE(app().has_usable_connection());
    }
  }
  app().forget_listings(false);
  EXPECT_TRUE(fetch_folder_listing(nullptr, "//depot", false)) << "the connection still serves";
}

} // namespace
