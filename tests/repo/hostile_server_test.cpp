// A server that names local paths outside the work directory: every such request is refused and nothing outside
// changes.
#include "tests/repo/work_directory_session.h"

#include "repo/abstract_fs.h"
#include "repo/packets_login.h"

#include <filesystem>
#include <functional>
#include <map>

namespace {

namespace fs = std::filesystem;

qvector<qstring> paths(std::initializer_list<const char *> items)
{
  qvector<qstring> out;
  for ( const char *item : items )
    out.push_back(item);
  return out;
}

// Every file under a folder with its content, and every link with its target.
std::map<std::string, std::string> snapshot(const std::string &folder)
{
  std::map<std::string, std::string> out;
  for ( const auto &entry : fs::recursive_directory_iterator(folder) )
  {
    if ( entry.is_symlink() )
      out[entry.path().string()] = "-> " + fs::read_symlink(entry.path()).string();
    else if ( entry.is_regular_file() )
      out[entry.path().string()] = read_file_text(entry.path().string());
  }
  return out;
}

class hostile_server_test_t : public work_directory_test_t
{
protected:
  void SetUp() override
  {
    work_directory_test_t::SetUp();
    outside = fs::path(site_root).parent_path().string() + "/outside-" + fs::path(site_root).filename().string();
    write_local(outside + "/victim.txt", "precious");
    write_local(outside + "/sub/deep.txt", "deep");
    write_local(local("inside.txt"), "inside");
    fs::create_directory_symlink(outside, local("dirlink"));
    fs::create_symlink(outside + "/victim.txt", local("filelink"));
  }

  std::string outside; // a sibling folder of the work directory
};

TEST_F(hostile_server_test_t, paths_that_leave_the_work_directory_are_refused_and_nothing_outside_changes)
{
  auto c = connect_site(transport_t::tls);
  ASSERT_NE(c, nullptr);
  const std::string root_name = fs::path(site_root).filename().string();
  const std::string outside_name = fs::path(outside).filename().string();
  const std::vector<std::pair<const char *, std::string>> hostile_paths = {
    {"relative ..", "../" + outside_name + "/victim.txt"},
    {"relative .. far up", "../../../../../../../../tmp/victim.txt"},
    {".. out of the root", site_root + "/../" + outside_name + "/victim.txt"},
    {".. after a folder", site_root + "/depot/../../" + outside_name + "/victim.txt"},
    {"absolute path elsewhere", outside + "/victim.txt"},
    {"a new file elsewhere", outside + "/planted.txt"},
    {"a new folder elsewhere", outside + "/new/planted.txt"},
    {"through a folder link", site_root + "/dirlink/victim.txt"},
    {"a new file through a folder link", site_root + "/dirlink/planted.txt"},
    {"deep through a folder link", site_root + "/dirlink/sub/deep.txt"},
    {"a link to a file outside", site_root + "/filelink"},
    {"backslashes", site_root + "\\..\\" + outside_name + "\\victim.txt"},
    {"a sibling sharing the root's name", site_root + "-x/victim.txt"},
    {"the server's own path form", "//depot/../../victim.txt"},
    {"empty", ""},
  };
  const std::vector<std::pair<const char *, std::function<frame_bytes_t(const std::string &)>>> requests = {
    {"open for writing", [](const std::string &p) { return open_frame(p, FS_OPEN_WRITE | FS_OPEN_DIGEST); }},
    {"open for reading", [](const std::string &p) { return open_frame(p, FS_OPEN_READ); }},
    {"delete", [](const std::string &p) { return delete_frame(p, FS_REMOVE_FORGET); }},
  };
  const auto outside_before = snapshot(outside);
  const auto inside_before = snapshot(site_root);
  for ( const auto &[path_name, path] : hostile_paths )
    for ( const auto &[request_name, frame] : requests )
    {
      SCOPED_TRACE(std::string(request_name) + ", " + path_name + ": " + path);
      server.clear_received();
      // The server tries, then writes what it would write through handle 0.
      interpose({frame(path), write_frame(0, "planted"), close_frame(0, true)});
      qvector<server_message_t> messages;
      EXPECT_EQ(c->sync_files(&messages, paths({"//nothing/..."}), -1, 0), 0);
      const std::vector<recorded_frame_t> frames = answers();
      ASSERT_EQ(frames.size(), 3u);
      const answer_t refusal = decode_answer(frames[0]);
      EXPECT_EQ(int(refusal.type), int(RPC_FAIL));
      EXPECT_EQ(refusal.code, 42);
      // The detail of code 42 is the path the server named ("'%s' is outside of site rootdir").
      EXPECT_EQ(refusal.text, path);
      for ( size_t i : {1, 2} )
      {
        EXPECT_EQ(decode_answer(frames[i]).code, 33) << "no handle may have been opened";
      }
      EXPECT_EQ(snapshot(outside), outside_before);
      EXPECT_EQ(snapshot(site_root), inside_before);
      EXPECT_FALSE(c->is_broken());
    }
}

TEST_F(hostile_server_test_t, paths_inside_the_work_directory_still_work_beside_the_refusals)
{
  auto c = connect_site(transport_t::tls);
  ASSERT_NE(c, nullptr);
  interpose({
    open_frame(site_root + "/dirlink/victim.txt", FS_OPEN_WRITE),
    open_frame(site_root + "/depot/./x/../new.txt", FS_OPEN_WRITE),
    write_frame(0, "made inside"),
    close_frame(0, true),
    delete_frame(local("inside.txt")),
  });
  qvector<server_message_t> messages;
  EXPECT_EQ(c->sync_files(&messages, paths({"//nothing/..."}), -1, 0), 0);
  const std::vector<recorded_frame_t> frames = answers();
  ASSERT_EQ(frames.size(), 5u);
  EXPECT_EQ(decode_answer(frames[0]).code, 42);
  EXPECT_EQ(int(frames[1].type), int(OPEN_FILE_RESULT));
  for ( size_t i : {2, 3, 4} )
    EXPECT_EQ(int(frames[i].type), int(RPC_OK));
  EXPECT_EQ(read_file_text(local("depot/new.txt")), "made inside");
  EXPECT_FALSE(fs::exists(local("inside.txt")));
  EXPECT_EQ(read_file_text(outside + "/victim.txt"), "precious");
}

TEST_F(hostile_server_test_t, a_site_whose_files_lead_outside_gets_refusals_in_its_sync_messages)
{
  // A server path with ".." maps to a local path that leaves the root: the client refuses, the server reports.
  server.repository().commit_files("bob", "elsewhere", "escape", {{"//depot/../../escape.txt", "planted"}});
  auto c = connect_site(transport_t::tls);
  ASSERT_NE(c, nullptr);
  const auto outside_before = snapshot(outside);
  qvector<server_message_t> messages;
  EXPECT_EQ(c->sync_files(&messages, paths({"//depot/..."}), -1, 4), 0);
  bool refused = false;
  for ( const server_message_t &m : messages )
    if ( std::string(m.text.view()).find("escape.txt") != std::string::npos )
    {
      EXPECT_EQ(m.code, 42);
      refused = true;
    }
  EXPECT_TRUE(refused);
  EXPECT_FALSE(fs::exists(fs::path(site_root).parent_path() / "escape.txt"));
  EXPECT_EQ(snapshot(outside), outside_before);
}

}  // namespace
