// The engine's start-up and teardown, language registration, snippet slots and the host-text helpers.
#include "tests/script/engine_fixture.h"

#include "script/runtime/zxl_source_text.h"
#include "script/runtime/zxl_tables.h"

#include "core/include_search.h"
#include "core/internal_error.h"
#include "tests/support/file_contents.h"
#include "tests/support/interr_capture.h"

#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

namespace
{

// True when another thread can take the lock at once: an internal error left no guard holding it.
bool free_for_other_threads(critical_section_t *lock)
{
  bool taken = false;
  std::thread([&] {
    taken = lock->mutex.try_lock();
    if ( taken )
      lock->mutex.unlock();
  }).join();
  return taken;
}

using engine_start = zxl_engine_test;

TEST_F(engine_start, gives_the_three_classes_and_installs_lock_and_search_path)
{
  ASSERT_EQ(zxl_class_count(), 3);
  const char *names[] = {"object", "typeinfo", "exception"};
  for ( int32_t i = 0; i < 3; ++i )
  {
    const zxl_class_t *cls = zxl_class_at(i);
    EXPECT_EQ(cls->name, names[i]);
    EXPECT_EQ(cls->index, i);
    EXPECT_EQ(cls->parent, 0);
    EXPECT_EQ(cls->destructor_method, -1);
    EXPECT_EQ(zxl_find_class(names[i]), cls);
  }
  EXPECT_EQ(zxl_function_at(0), nullptr);
  EXPECT_EQ(zxl_global_count(), 0);
  EXPECT_NE(zxl_get_engine()->reader, nullptr);

  EXPECT_EQ(script_lock(), zxl_script_lock);
  EXPECT_NE(zxl_script_lock, nullptr);
  EXPECT_EQ(include_search_path(), &zxl_get_engine()->include_paths);
  EXPECT_EQ(zxl_language_at(0), &zxl_language_record);
  EXPECT_STREQ(zxl_language_record.name, "ZXL");
  EXPECT_STREQ(zxl_language_record.extension, "zxl");
}

TEST_F(engine_start, teardown_removes_lock_and_search_path_and_a_new_start_is_fresh)
{
  zxl_add_global("g");
  ASSERT_GE(zxl_define_function("f"), 0);
  zxl_define_class("extra", nullptr);
  zxl_shutdown();
  EXPECT_EQ(script_lock(), nullptr);
  EXPECT_EQ(include_search_path(), nullptr);
  EXPECT_EQ(zxl_script_lock, nullptr);
  EXPECT_EQ(zxl_language_at(0), nullptr);

  zxl_init();
  EXPECT_EQ(zxl_class_count(), 3);
  EXPECT_EQ(zxl_global_count(), 0);
  EXPECT_EQ(zxl_compiled_function_index("f"), -1);
  EXPECT_EQ(zxl_find_class("extra"), nullptr);
}

TEST_F(engine_start, include_paths_set_through_the_core_land_in_the_engine_until_teardown)
{
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "zxl_includes";
  std::filesystem::create_directories(dir);
  write_file(dir / "lib_only_here.zxl", "static f(){}\n");
  char found[1024];
  EXPECT_EQ(include_search_path()->find(found, sizeof(found), "lib_only_here.zxl", nullptr), nullptr);
  ASSERT_TRUE(set_include_paths(dir.c_str(), false));
  ASSERT_NE(zxl_get_engine()->include_paths.find(found, sizeof(found), "lib_only_here.zxl", nullptr), nullptr);
  EXPECT_EQ(std::filesystem::path(found), dir / "lib_only_here.zxl");

  zxl_shutdown();
  zxl_init();
  EXPECT_EQ(include_search_path()->find(found, sizeof(found), "lib_only_here.zxl", nullptr), nullptr);
}

TEST_F(engine_start, a_second_start_fails_with_1447)
{
  critical_section_t *lock = zxl_script_lock;
  critical_section_t *list_lock = zxl_language_list_lock;
  EXPECT_EQ(interr_number([] { zxl_init(); }), 1447);
  // The extra locks of the failed start are not the engine's; put the first ones back for the teardown.
  lock_destroy(zxl_script_lock);
  lock_destroy(zxl_language_list_lock);
  zxl_script_lock = lock;
  zxl_language_list_lock = list_lock;
  set_script_lock(lock);
}

using language_registration = zxl_engine_test;

TEST_F(language_registration, refuses_null_busy_and_listed_records_and_reuses_free_slots)
{
  language_record_t other {.name = "Other", .extension = "oth"};
  language_record_t third {.name = "Third", .extension = "thd"};
  EXPECT_EQ(zxl_register_language(nullptr), -1);
  EXPECT_EQ(zxl_register_language(&zxl_language_record), -1);
  other.busy = 1;
  EXPECT_EQ(zxl_register_language(&other), -1);
  other.busy = 0;
  EXPECT_EQ(zxl_register_language(&other), 1);
  EXPECT_EQ(zxl_register_language(&third), 2);

  EXPECT_TRUE(zxl_unregister_language(&zxl_language_record));
  EXPECT_FALSE(zxl_unregister_language(&zxl_language_record));
  EXPECT_EQ(zxl_language_at(0), nullptr);
  EXPECT_EQ(zxl_register_language(&zxl_language_record), 0);

  EXPECT_TRUE(zxl_unregister_language(&other));
  EXPECT_EQ(zxl_register_language(&other), 1);
  EXPECT_TRUE(zxl_unregister_language(&other));
  EXPECT_TRUE(zxl_unregister_language(&third));
  EXPECT_FALSE(zxl_unregister_language(nullptr));
}

TEST_F(language_registration, unregistering_the_current_language_makes_zxl_current)
{
  language_record_t other {.name = "Other", .extension = "oth"};
  ASSERT_EQ(zxl_register_language(&other), 1);
  zxl_set_current_language(1);
  EXPECT_TRUE(zxl_unregister_language(&other));
  EXPECT_EQ(zxl_current_language(), 0);

  // The ZXL record itself being current and removed leaves the index where it was.
  zxl_set_current_language(0);
  EXPECT_TRUE(zxl_unregister_language(&zxl_language_record));
  EXPECT_EQ(zxl_current_language(), 0);
  EXPECT_EQ(zxl_register_language(&zxl_language_record), 0);
}

TEST_F(language_registration, a_busy_record_cannot_be_unregistered_outside_process_exit)
{
  language_record_t other {.name = "Other", .extension = "oth"};
  ASSERT_EQ(zxl_register_language(&other), 1);
  zxl_set_current_language(1);
  other.busy = 2;
  EXPECT_EQ(interr_number([&] { zxl_unregister_language(&other); }), 1442);
  // The current language moved before the refusal; the record stays listed and the list lock is free again.
  EXPECT_EQ(zxl_current_language(), 0);
  EXPECT_EQ(zxl_language_at(1), &other);
  EXPECT_TRUE(free_for_other_threads(zxl_language_list_lock));
  other.busy = 0;
  EXPECT_TRUE(zxl_unregister_language(&other));
}

using snippet_slots = zxl_engine_test;

TEST_F(snippet_slots, take_the_lowest_free_slot_and_refuse_the_65th_and_a_double_release)
{
  std::vector<int32_t> taken;
  for ( int n = 0; n < 64; ++n )
    taken.push_back(zxl_take_snippet_slot());
  for ( int n = 0; n < 64; ++n )
    EXPECT_EQ(taken[size_t(n)], n);
  EXPECT_EQ(interr_number([] { (void)zxl_take_snippet_slot(); }), 1443);

  zxl_release_snippet_slot(5);
  zxl_release_snippet_slot(0);
  EXPECT_EQ(zxl_take_snippet_slot(), 0);
  EXPECT_EQ(zxl_take_snippet_slot(), 5);
  zxl_release_snippet_slot(63);
  EXPECT_EQ(interr_number([] { zxl_release_snippet_slot(63); }), 1444);
  EXPECT_EQ(interr_number([] { zxl_release_snippet_slot(64); }), 1444);
  EXPECT_TRUE(free_for_other_threads(zxl_script_lock));
  for ( int32_t n = 0; n < 63; ++n )
    zxl_release_snippet_slot(n);
  EXPECT_EQ(zxl_get_engine()->snippet_slots, 0u);
}

TEST(default_resolver, knows_no_name)
{
  const zxl_resolver_pair_t pair;
  EXPECT_EQ(pair.resolver->resolve("anything"), -1);
  EXPECT_EQ(pair.context, 0u);
}

struct last_statement_case
{
  const char *name;
  const char *text;
  std::optional<size_t> position;
};

TEST(last_statement, finds_where_a_returnable_statement_starts)
{
  const last_statement_case cases[] = {
      {"assignment then a name", "x=1; x", 5},
      {"a single expression", "1+2", 0},
      {"final semicolon ignored", "x=1; x;", 5},
      {"trailing blanks ignored", "a; b \t\n", 3},
      {"empty", "", std::nullopt},
      {"blanks only", " \n\t", std::nullopt},
      {"starts with if", "if (x) y", std::nullopt},
      {"one parenthesis too many", "f(1))", std::nullopt},
      {"unbalanced earlier statement is forgiven", "f(1)); g(2)", 7},
      {"ends with a closing brace", "if (x) { y; }", std::nullopt},
      {"statement followed only by a line comment", "x = 1; // done", std::nullopt},
      {"line comment before the statement", "x = 1;\n// note\ny", 15},
      {"block comment hides a semicolon", "a /* ; */ + b", 0},
      {"unterminated block comment", "a; b /* ; c", 3},
      {"line comment hides a semicolon", "a // ;\n+ b", 0},
      {"quote with an escaped quote hides a semicolon", "s = \"a\\\";b\"", 0},
      {"single quote hides a semicolon", "c = ';' + 1", 0},
      {"semicolon after a quote", "print(\"a;b\"); n", 14},
      {"nested parentheses", "f((1), (2))", 0},
      {"semicolons inside for parentheses", "for (i = 0; i < 3; i++) x", std::nullopt},
      {"opening brace clears the start", "{ x", std::nullopt},
      {"statement after a block", "{ a; } b", 7},
      {"return keyword", "x; return x", std::nullopt},
      {"keyword then parenthesis", "while(1)", std::nullopt},
      {"keyword prefix of a name", "iffy + 1", 0},
      {"keyword then underscore", "do_it()", 0},
      {"keyword then a byte above 0x7F", "auto\xC3\xA9 + 1", 0},
      {"auto declaration", "auto x = 1", std::nullopt},
      {"every keyword: extern", "extern x", std::nullopt},
      {"every keyword: throw", "throw 1", std::nullopt},
      {"every keyword: try", "try", std::nullopt},
      {"every keyword: break", "break", std::nullopt},
      {"every keyword: continue", "a; continue", std::nullopt},
      {"every keyword: for", "for(;;)", std::nullopt},
      {"only a semicolon", ";", std::nullopt},
      {"two semicolons", "x;;", std::nullopt},
  };
  for ( const last_statement_case &c : cases )
    EXPECT_EQ(zxl_find_last_statement(c.text), c.position) << c.name;
  EXPECT_EQ(zxl_find_last_statement(nullptr), std::nullopt);
}

TEST(wrapper_text, returns_the_last_statement_or_wraps_the_text_whole)
{
  const struct
  {
    const char *text;
    const char *wrapper;
  } cases[] = {
      {"1+2", "static f(){return 1+2\n;}"},
      {"x=1; x", "static f(){x=1; return x\n;}"},
      {"if (a) b();", "static f(){if (a) b();\n;}"},
      {"x; // c", "static f(){x; // c\n;}"},
      {"x // c", "static f(){return x // c\n;}"},
  };
  for ( const auto &c : cases )
  {
    qstring out;
    zxl_wrapper_text(&out, "f", c.text);
    EXPECT_EQ(out.view(), c.wrapper) << c.text;
  }
  qstring out;
  zxl_wrapper_text(&out, "___zxlexec3", "g()");
  EXPECT_EQ(out.view(), "static ___zxlexec3(){return g()\n;}");
}

} // namespace
