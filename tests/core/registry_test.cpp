// Tests of the registry settings: typed values, names, lists, histories, application names, failures,
// and operations of several threads and processes on one store.
#include "core/registry.h"

#include "platform/registry_store.h"
#include "tests/support/interr_capture.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/support/string_lists.h"
#include "tests/support/test_scale.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class Registry : public testing::Test
{
protected:
  void SetUp() override
  {
    registry_shutdown();
    std::string base = (fs::temp_directory_path() / "registry-XXXXXX").string();
    ASSERT_NE(mkdtemp(base.data()), nullptr);
    root_ = base;
    setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
    unsetenv("ZUKREG_SPEC");
    unsetenv("ZUK_NO_HISTORY");
  }
  void TearDown() override
  {
    registry_shutdown();
    unsetenv("ZUKREG_SPEC");
    unsetenv("ZUK_NO_HISTORY");
    fs::remove_all(root_);
  }

  fs::path store_dir() const { return root_ / "Quorvin"; }

  // Looks at the store the way another process would.
  bool key_exists(const std::string &path) const
  {
    registry_store_t view(store_dir().string());
    EXPECT_EQ(view.begin(false), 0);
    const bool found = view.key_exists(path);
    view.end();
    return found;
  }
  std::optional<registry_value_t> stored(const std::string &path, const std::string &name) const
  {
    registry_store_t view(store_dir().string());
    EXPECT_EQ(view.begin(false), 0);
    const registry_value_t *v = view.find_value(path, name);
    std::optional<registry_value_t> result;
    if ( v != nullptr )
      result = *v;
    view.end();
    return result;
  }

  static std::vector<std::string> list(const char *subkey)
  {
    qvector<qstring> out;
    registry_read_list(&out, subkey);
    return to_strings(out);
  }
  static void store_list(const char *subkey, const std::vector<std::string> &entries)
  {
    for ( std::size_t i = 0; i < entries.size(); ++i )
      registry_write_text(std::to_string(i).c_str(), subkey, entries[i].c_str());
  }

  fs::path root_;
};

TEST_F(Registry, AFirstReadGivesTheDefaultAndCreatesTheApplicationKey)
{
  EXPECT_FALSE(key_exists("Software\\Quorvin\\ZUK"));
  EXPECT_EQ(registry_int("Width", false, 640), 640);
  EXPECT_TRUE(key_exists("Software\\Quorvin\\ZUK"));
  EXPECT_FALSE(stored("Software\\Quorvin\\ZUK", "Width").has_value());
  qstring app;
  registry_current_app(&app);
  EXPECT_EQ(app, "ZUK");
}

TEST_F(Registry, TypedValuesRoundTripAndKeepTheirType)
{
  EXPECT_EQ(registry_int("Count", true, -7), -7);
  registry_write_text("Host", nullptr, "example.org");
  registry_write_text("Folder", "Paths", "/home/u/\xC3\xA9t\xC3\xA9");
  const uint8_t blob[] = {0, 1, 2, 0xFF};
  EXPECT_TRUE(registry_binary("Blob", true, const_cast<uint8_t *>(blob), sizeof(blob), nullptr, 0));

  EXPECT_EQ(registry_int("Count", false, 0), -7);
  EXPECT_EQ(registry_int("count", false, 0), -7);  // names ignore ASCII case
  qstring text;
  EXPECT_TRUE(registry_read_text(&text, "Host", nullptr));
  EXPECT_EQ(text, "example.org");
  EXPECT_TRUE(registry_read_text(&text, "Folder", "Paths"));
  EXPECT_EQ(text, "/home/u/\xC3\xA9t\xC3\xA9");

  // A value of another type reads as missing.
  EXPECT_EQ(registry_int("Host", false, 42), 42);
  text = "untouched";
  EXPECT_FALSE(registry_read_text(&text, "Count", nullptr));
  EXPECT_FALSE(registry_read_text(&text, "Blob", nullptr));
  EXPECT_EQ(text, "untouched");
  uint8_t buf[4] = {9, 9, 9, 9};
  EXPECT_FALSE(registry_binary("Host", false, buf, sizeof(buf), nullptr, 0));
  EXPECT_EQ(buf[0], 9);

  EXPECT_EQ(*stored("Software\\Quorvin\\ZUK", "Count"), registry_value_t::integer(-7));
  EXPECT_EQ(*stored("Software\\Quorvin\\ZUK\\Paths", "Folder"), registry_value_t::text("/home/u/\xC3\xA9t\xC3\xA9"));
  EXPECT_EQ(*stored("Software\\Quorvin\\ZUK", "Blob"), registry_value_t::binary(std::string("\0\1\2\xFF", 4)));
}

TEST_F(Registry, EmptyAndNullTexts)
{
  registry_write_text("Name", nullptr, "");
  qstring text("kept");
  EXPECT_FALSE(registry_read_text(&text, "Name", nullptr));
  EXPECT_EQ(text, "kept");

  registry_write_text("Name", "Created", nullptr);
  EXPECT_TRUE(key_exists("Software\\Quorvin\\ZUK\\Created"));
  EXPECT_FALSE(stored("Software\\Quorvin\\ZUK\\Created", "Name").has_value());

  // An empty value name reads nothing and writes nothing, but a write still creates the subkey.
  EXPECT_EQ(registry_int("", true, 5, "Nameless"), 5);
  EXPECT_EQ(registry_int(nullptr, false, 3, "Nameless"), 3);
  EXPECT_TRUE(key_exists("Software\\Quorvin\\ZUK\\Nameless"));
}

TEST_F(Registry, NamesAreCleanedAndCut)
{
  struct row
  {
    const char *label;
    std::string name;
    const char *subkey;
    std::string key;
    std::string stored_name;
  };
  const std::string long_name(300, 'n');
  const std::vector<row> rows = {
    {"value name separators", "a/b:c", nullptr, "Software\\Quorvin\\ZUK", "a_b_c"},
    {"backslash in a value name", "a\\b", nullptr, "Software\\Quorvin\\ZUK", "a_b"},
    {"control bytes", "t\tab\x01", nullptr, "Software\\Quorvin\\ZUK", "t_ab_"},
    {"UTF-8 bytes stay", "\xC3\xA9", nullptr, "Software\\Quorvin\\ZUK", "\xC3\xA9"},
    {"long value name", long_name, nullptr, "Software\\Quorvin\\ZUK", std::string(255, 'n')},
    {"subkey path", "v", "X\\Y", "Software\\Quorvin\\ZUK\\X\\Y", "v"},
    {"slash in a subkey", "v", "X/Y", "Software\\Quorvin\\ZUK\\X_Y", "v"},
    {"colon and control byte in a subkey", "v", "C:\x02", "Software\\Quorvin\\ZUK\\C__", "v"},
  };
  int n = 0;
  for ( const row &r : rows )
  {
    registry_int(r.name.c_str(), true, ++n, r.subkey);
    const auto v = stored(r.key, r.stored_name);
    ASSERT_TRUE(v.has_value()) << r.label;
    EXPECT_EQ(v->as_integer(), n) << r.label;
    EXPECT_EQ(registry_int(r.name.c_str(), false, -1, r.subkey), n) << r.label;
  }
  EXPECT_FALSE(key_exists("Software\\Quorvin\\ZUK\\X/Y"));
}

TEST_F(Registry, BinaryKinds)
{
  const std::string twelve = "0123456789AB";
  ASSERT_TRUE(registry_binary("Twelve", true, const_cast<char *>(twelve.data()), twelve.size(), "Bin", registry_binary_exact));
  byte_buffer_t four;
  for ( uint8_t b : {1, 2, 3, 4} )
    four.push_back(b);
  EXPECT_TRUE(registry_binary("Four", true, &four, 0, "Bin", registry_binary_buffer));

  struct row
  {
    const char *label;
    const char *name;
    int kind;
    bool ok;
    std::string buffer_after;
  };
  const std::vector<row> rows = {
    {"exact kind, longer value", "Twelve", registry_binary_exact, false, "........"},
    {"truncating kind, longer value", "Twelve", registry_binary_truncate, true, "01234567"},
    {"exact kind, shorter value", "Four", registry_binary_exact, true, std::string("\1\2\3\4....", 8)},
    {"truncating kind, shorter value", "Four", registry_binary_truncate, true, std::string("\1\2\3\4....", 8)},
    {"missing value", "None", registry_binary_truncate, false, "........"},
  };
  for ( const row &r : rows )
  {
    char buf[8];
    std::memset(buf, '.', sizeof(buf));
    EXPECT_EQ(registry_binary(r.name, false, buf, sizeof(buf), "Bin", r.kind), r.ok) << r.label;
    EXPECT_EQ(std::string(buf, sizeof(buf)), r.buffer_after) << r.label;
  }

  byte_buffer_t whole;
  whole.resize(50);
  EXPECT_TRUE(registry_binary("Twelve", false, &whole, 0, "Bin", registry_binary_buffer));
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(whole.data()), whole.size()), twelve);
  EXPECT_FALSE(registry_binary("None", false, &whole, 0, "Bin", registry_binary_buffer));
  EXPECT_EQ(whole.size(), twelve.size());

  // No bytes at all read back as a missing value.
  byte_buffer_t none;
  EXPECT_TRUE(registry_binary("Empty", true, &none, 0, "Bin", registry_binary_buffer));
  EXPECT_FALSE(registry_binary("Empty", false, &whole, 0, "Bin", registry_binary_buffer));
}

TEST_F(Registry, ApplicationKeyFollowsZukregSpec)
{
  struct row
  {
    const char *label;
    const char *spec;  // null: unset
    const char *app;
    const char *key;
  };
  const std::vector<row> rows = {
    {"unset", nullptr, "akui", "Software\\Quorvin\\akui"},
    {"set", "Software\\Test\\Shared", "akui", "Software\\Test\\Shared"},
    {"set, other application", "Software\\Test\\Shared", "other", "Software\\Test\\Shared"},
    {"empty", "", "akui", "Software\\Quorvin\\akui"},
    {"separators only", "\\\\", "akui", "Software\\Quorvin\\akui"},
  };
  int n = 0;
  for ( const row &r : rows )
  {
    registry_shutdown();
    if ( r.spec == nullptr )
      unsetenv("ZUKREG_SPEC");
    else
      setenv("ZUKREG_SPEC", r.spec, 1);
    ASSERT_TRUE(registry_select_app(r.app)) << r.label;
    registry_int("Spec", true, ++n);
    const auto v = stored(r.key, "Spec");
    ASSERT_TRUE(v.has_value()) << r.label;
    EXPECT_EQ(v->as_integer(), n) << r.label;
  }
}

TEST_F(Registry, SelectingApplicationNames)
{
  struct row
  {
    const char *name;
    bool ok;
  };
  for ( const row &r : std::vector<row>{{"a\\b", false}, {"a/b", false}, {"", false}, {nullptr, false}} )
  {
    EXPECT_EQ(registry_select_app(r.name), r.ok) << (r.name ? r.name : "null");
    qstring app;
    registry_current_app(&app);
    EXPECT_EQ(app, "ZUK");
  }

  // An accessor keeps the key it was made with: selecting x again after the variable changed reuses it.
  ASSERT_TRUE(registry_select_app("x"));
  setenv("ZUKREG_SPEC", "Software\\Elsewhere", 1);
  ASSERT_TRUE(registry_select_app("akui"));
  registry_int("Which", true, 1);
  ASSERT_TRUE(registry_select_app("x"));
  registry_int("Which", true, 2);
  qstring app;
  registry_current_app(&app);
  EXPECT_EQ(app, "x");
  EXPECT_EQ(stored("Software\\Elsewhere", "Which")->as_integer(), 1);
  EXPECT_EQ(stored("Software\\Quorvin\\x", "Which")->as_integer(), 2);

  // A name past the limit is kept cut, and selecting it again finds the same accessor.
  const std::string long_name(1100, 'L');
  ASSERT_TRUE(registry_select_app(long_name.c_str()));
  registry_current_app(&app);
  EXPECT_EQ(app.size(), 1023u);
  setenv("ZUKREG_SPEC", "Software\\Third", 1);
  ASSERT_TRUE(registry_select_app(long_name.c_str()));
  registry_int("Which", true, 3);
  EXPECT_FALSE(stored("Software\\Third", "Which").has_value());
}

TEST_F(Registry, NumberedLists)
{
  registry_write_text("0", "List", "a");
  registry_write_text("1", "List", "a");
  registry_write_text("3", "List", "c");
  EXPECT_EQ(list("List"), (std::vector<std::string>{"a"}));

  store_list("Other", {"p", "q", "r"});
  registry_int("3", true, 4, "Other");  // not a text: the list ends before it
  registry_write_text("4", "Other", "s");
  qvector<qstring> out;
  out.push_back(qstring("q"));
  out.push_back(qstring("z"));
  registry_read_list(&out, "Other");
  EXPECT_EQ(to_strings(out), (std::vector<std::string>{"q", "z", "p", "r"}));

  EXPECT_EQ(list("Missing"), std::vector<std::string>{});
  EXPECT_FALSE(key_exists("Software\\Quorvin\\ZUK\\Missing"));
}

TEST_F(Registry, ListingNames)
{
  registry_int("b", true, 1, "Top");
  registry_int("A", true, 1, "Top");
  registry_int("v", true, 1, "Top\\Sub2");
  registry_int("v", true, 1, "Top\\sub1");
  qvector<qstring> names;
  EXPECT_TRUE(registry_list_names(&names, "Top", false));
  EXPECT_EQ(to_strings(names), (std::vector<std::string>{"A", "b"}));
  names.clear();
  EXPECT_TRUE(registry_list_names(&names, "Top", true));
  EXPECT_EQ(to_strings(names), (std::vector<std::string>{"sub1", "Sub2"}));
  EXPECT_FALSE(registry_list_names(&names, "Nowhere", true));
  EXPECT_EQ(names.size(), 2u);
  EXPECT_TRUE(registry_list_names(&names, nullptr, true));
  EXPECT_EQ(to_strings(names), (std::vector<std::string>{"sub1", "Sub2", "Top"}));
}

TEST_F(Registry, ListingNamesOfAJustCreatedApplicationKeyFails)
{
  qvector<qstring> names;
  EXPECT_FALSE(registry_list_names(&names, nullptr, false));
  EXPECT_TRUE(registry_list_names(&names, nullptr, false));
}

TEST_F(Registry, RemovingValuesKeysAndTrees)
{
  registry_int("v", true, 1);
  registry_int("v", true, 1, "K\\Leaf");
  registry_int("w", true, 1, "K");

  EXPECT_TRUE(registry_remove_value("v", "Missing"));  // missing key
  EXPECT_FALSE(key_exists("Software\\Quorvin\\ZUK\\Missing"));
  EXPECT_FALSE(registry_remove_value("nothing", nullptr));  // key there, value not
  EXPECT_TRUE(registry_remove_value("V", nullptr));
  EXPECT_FALSE(stored("Software\\Quorvin\\ZUK", "v").has_value());

  EXPECT_FALSE(registry_remove_key(""));
  EXPECT_FALSE(registry_remove_key(nullptr));
  EXPECT_FALSE(registry_remove_key("\\\\"));  // would name the application key itself
  EXPECT_FALSE(registry_remove_tree("\\"));
  EXPECT_TRUE(key_exists("Software\\Quorvin\\ZUK\\K\\Leaf"));
  EXPECT_FALSE(registry_remove_key("K"));  // has a subkey
  EXPECT_FALSE(registry_remove_key("K\\Nope"));
  EXPECT_TRUE(registry_remove_key("K\\Leaf"));
  EXPECT_FALSE(key_exists("Software\\Quorvin\\ZUK\\K\\Leaf"));
  registry_int("v", true, 1, "K\\Leaf\\Deeper");
  EXPECT_TRUE(registry_remove_tree("k"));
  EXPECT_FALSE(key_exists("Software\\Quorvin\\ZUK\\K"));
  EXPECT_FALSE(registry_remove_tree("K"));
  EXPECT_TRUE(key_exists("Software\\Quorvin\\ZUK"));

  // Deleting below an application key that did not exist yet creates it and counts as done.
  ASSERT_TRUE(registry_select_app("fresh"));
  EXPECT_TRUE(registry_remove_key("Anything"));
  EXPECT_TRUE(key_exists("Software\\Quorvin\\fresh"));
}

TEST_F(Registry, HistoryUpdates)
{
  struct row
  {
    const char *label;
    std::vector<std::string> before;
    const char *entry;
    uint32_t maximum;
    const char *drop;
    bool nocase;
    std::vector<std::string> after;
    std::vector<int> deleted;  // indexes whose values must be gone
  };
  const std::vector<row> rows = {
    {"moves an entry to the front", {"b", "c", "d"}, "c", 32, nullptr, false, {"c", "b", "d"}, {3}},
    {"drops the entry to drop", {"a", "b"}, "x", 32, "a", false, {"x", "b"}, {2}},
    {"cuts to the maximum", {"a", "b", "c"}, "x", 2, nullptr, false, {"x", "a"}, {2}},
    {"first entry is the one to drop and the new one", {"a", "b"}, "a", 32, "a", false, {"a", "b"}, {}},
    {"the new entry is also the one to drop, further down", {"b", "a", "c"}, "a", 32, "a", false, {"a", "b", "c"}, {}},
    {"maximum of one", {"a", "b", "c"}, "x", 1, nullptr, false, {"x"}, {1, 2}},
    {"case-insensitive drop", {"Abc", "d"}, "x", 32, "aBC", true, {"x", "d"}, {2}},
    {"case-sensitive drop keeps other case", {"Abc", "d"}, "x", 32, "aBC", false, {"x", "Abc", "d"}, {}},
    {"case-insensitive: new entry equals the first, dropped one", {"abc", "d"}, "ABC", 32, "Abc", true,
     {"abc", "d"}, {}},
    {"drop only, no new entry", {"a", "b", "c"}, nullptr, 32, "b", false, {"a", "c"}, {2}},
    {"an empty entry is no entry", {"a", "b"}, "", 32, nullptr, false, {"a", "b"}, {}},
    {"into an empty history", {}, "n", 32, nullptr, false, {"n"}, {1}},
    {"stored duplicates collapse", {"a", "a", "b"}, "x", 32, nullptr, false, {"x", "a", "b"}, {3}},
  };
  for ( const row &r : rows )
  {
    (void)registry_remove_tree("H"); // absent the first time
    store_list("H", r.before);
    registry_push_history("H", r.entry, r.maximum, r.drop, r.nocase);
    EXPECT_EQ(list("H"), r.after) << r.label;
    for ( int index : r.deleted )
      EXPECT_FALSE(stored("Software\\Quorvin\\ZUK\\H", std::to_string(index)).has_value())
        << r.label << ": value " << index;
  }
}

TEST_F(Registry, HistoryUpdatesThatChangeNothing)
{
  registry_push_history("H0", "x", 0);
  registry_push_history("H1001", "x", 1001);
  setenv("ZUK_NO_HISTORY", "", 1);
  registry_push_history("Hoff", "x", 10);
  unsetenv("ZUK_NO_HISTORY");
  for ( const char *key : {"H0", "H1001", "Hoff"} )
    EXPECT_FALSE(key_exists(std::string("Software\\Quorvin\\ZUK\\") + key)) << key;
  registry_push_history("H1000", "x", 1000);
  EXPECT_EQ(list("H1000"), std::vector<std::string>{"x"});
}

TEST_F(Registry, HistoryStoppedByTheDropRuleWritesNothing)
{
  store_list("H", {"a", "b"});
  const fs::path file = store_dir() / "registry";
  const auto stamp = fs::last_write_time(file);
  registry_push_history("H", "a", 32, "a");
  registry_push_history("H", "a", 32);  // already first: the same list again
  EXPECT_EQ(fs::last_write_time(file), stamp);
}

TEST_F(Registry, ListsAndHistoriesNeedASubkey)
{
  for ( const char *subkey : {static_cast<const char *>(nullptr), ""} )
  {
    qvector<qstring> out;
    EXPECT_EQ(interr_number([&] { registry_read_list(&out, subkey); }), 2716);
    EXPECT_EQ(interr_number([&] { registry_push_history(subkey, "x", 5); }), 2716);
  }
  // The locks were given back: another thread can still work.
  std::thread other([] { registry_int("after", true, 1); });
  other.join();
  EXPECT_EQ(registry_int("after", false, 0), 1);
}

TEST_F(Registry, InternalErrorWithoutThrowingEndsTheProgram)
{
  EXPECT_EXIT(
    {
      qvector<qstring> out;
      registry_read_list(&out, nullptr);
    },
    testing::ExitedWithCode(1), "Oops! internal error 2716 occurred.");
}

TEST_F(Registry, AStoreThatCannotBeUsedIsFatal)
{
  // The settings folder cannot be made below a plain file.
  std::ofstream(root_ / "file") << "x";
  setenv("XDG_CONFIG_HOME", (root_ / "file").c_str(), 1);
  registry_shutdown();
  EXPECT_EXIT(registry_int("v", false, 0), testing::ExitedWithCode(1), "Fatal registry error: Not a directory");
}

TEST_F(Registry, AnUnreadableStoreIsMovedAsideAndReportedOnce)
{
  fs::create_directories(store_dir());
  std::ofstream(store_dir() / "registry") << "not a settings store\n";
  recording_ui_callback_t ui;
  EXPECT_EQ(registry_int("v", false, 5), 5);
  registry_int("v", true, 6);
  EXPECT_EQ(registry_int("v", false, 5), 6);
  const auto warnings = ui.requests_of(24);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].kind, 2);
  EXPECT_NE(warnings[0].text.find("registry.bad"), std::string::npos) << warnings[0].text;
  EXPECT_NE(warnings[0].text.find("line 1: not a registry store"), std::string::npos) << warnings[0].text;
  std::ifstream bad(store_dir() / "registry.bad");
  std::string first;
  std::getline(bad, first);
  EXPECT_EQ(first, "not a settings store");
}

TEST_F(Registry, ThreadsOfOneProcessLoseNoWrites)
{
  constexpr int threads = 4;
  constexpr int per_thread = 100;
  std::vector<std::thread> workers;
  for ( int t = 0; t < threads; ++t )
    workers.emplace_back([t] {
      for ( int i = 0; i < per_thread; ++i )
      {
        registry_int(("t" + std::to_string(t) + "_" + std::to_string(i)).c_str(), true, i, "Threads");
        registry_push_history("SharedHistory", ("e" + std::to_string(t) + "_" + std::to_string(i)).c_str(), 1000);
      }
    });
  for ( std::thread &w : workers )
    w.join();
  for ( int t = 0; t < threads; ++t )
    for ( int i = 0; i < per_thread; ++i )
      ASSERT_EQ(registry_int(("t" + std::to_string(t) + "_" + std::to_string(i)).c_str(), false, -1, "Threads"), i);
  EXPECT_EQ(list("SharedHistory").size(), static_cast<std::size_t>(threads * per_thread));
}

// Runs `work` in `count` child processes at once; true when all of them succeeded.
template <typename F>
bool in_processes(int count, F work)
{
  std::vector<pid_t> children;
  for ( int p = 0; p < count; ++p )
  {
    const pid_t pid = fork();
    if ( pid < 0 )
      return false;
    if ( pid == 0 )
    {
      work(p);
      _exit(0);
    }
    children.push_back(pid);
  }
  bool ok = true;
  for ( pid_t pid : children )
  {
    int status = 0;
    ok = waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ok;
  }
  return ok;
}

TEST_F(Registry, TwoProcessesWritingAThousandValuesEachLoseNone)
{
  // Every write rewrites the whole store: the sanitizer builds write fewer values, just as interleaved.
  static const int per_process = int(scaled_for_sanitizers(1000, 4));
  registry_int("before", true, 1);  // the parent's accessor and store exist before the fork
  ASSERT_TRUE(in_processes(2, [](int p) {
    for ( int i = 0; i < per_process; ++i )
      registry_int(("p" + std::to_string(p) + "_" + std::to_string(i)).c_str(), true, i, "Race");
  }));
  registry_store_t view(store_dir().string());
  ASSERT_EQ(view.begin(false), 0);
  int found = 0;
  for ( int p = 0; p < 2; ++p )
    for ( int i = 0; i < per_process; ++i )
    {
      const registry_value_t *v =
        view.find_value("Software\\Quorvin\\ZUK\\Race", "p" + std::to_string(p) + "_" + std::to_string(i));
      found += v != nullptr && v->as_integer() == i;
    }
  view.end();
  EXPECT_EQ(found, 2 * per_process);
  // This process sees what its children wrote.
  const std::string last = "p1_" + std::to_string(per_process - 1);
  EXPECT_EQ(registry_int(last.c_str(), false, -1, "Race"), per_process - 1);
}

TEST_F(Registry, HistoryUpdatesOfTwoProcessesNeverInterleave)
{
  constexpr int per_process = 150;
  ASSERT_TRUE(in_processes(2, [](int p) {
    for ( int i = 0; i < per_process; ++i )
      registry_push_history("Shared", ("p" + std::to_string(p) + "_" + std::to_string(i)).c_str(), 1000);
  }));
  const std::vector<std::string> entries = list("Shared");
  EXPECT_EQ(entries.size(), 2u * per_process);
  // Each process's entries keep their own most-recent-first order.
  for ( const char *who : {"p0_", "p1_"} )
  {
    int last = per_process;
    for ( const std::string &e : entries )
      if ( e.starts_with(who) )
      {
        const int i = std::stoi(e.substr(3));
        EXPECT_LT(i, last) << e;
        last = i;
      }
  }
}

}  // namespace
