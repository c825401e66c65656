// The engine tables: classes and methods, functions, globals, natives, line and file tables, members, clearing.
#include "tests/script/engine_fixture.h"

#include "script/runtime/zxl_tables.h"

#include "core/directories.h"
#include "core/message_catalog.h"
#include "tests/support/interr_capture.h"

#include <string>

namespace
{

using tables = zxl_engine_test;

TEST_F(tables, methods_are_found_up_the_class_chain_to_class_0)
{
  zxl_class_t *object = zxl_class_at(0);
  zxl_class_t *a = zxl_define_class("A", nullptr);
  zxl_class_t *b = zxl_define_class("B", a);
  EXPECT_EQ(zxl_define_class("A", b), a); // an existing class comes back unchanged
  EXPECT_EQ(a->parent, 0);
  EXPECT_EQ(b->parent, a->index);
  EXPECT_EQ(b->index, 4);

  const int32_t everywhere = zxl_define_method(object, "everywhere");
  const int32_t on_a = zxl_define_method(a, "m");
  const int32_t on_b = zxl_define_method(b, "only_b");
  ASSERT_GE(everywhere, 0);
  EXPECT_EQ(zxl_function_at(everywhere)->name, "object.everywhere");
  EXPECT_EQ(zxl_function_at(on_a)->name, "A.m");
  EXPECT_EQ(zxl_find_method(b, "everywhere"), everywhere);
  EXPECT_EQ(zxl_find_method(zxl_class_at(2), "everywhere"), everywhere);
  EXPECT_EQ(zxl_find_method(b, "m"), on_a);
  EXPECT_EQ(zxl_find_method(b, "only_b"), on_b);
  EXPECT_EQ(zxl_find_method(a, "only_b"), -1);
  EXPECT_EQ(zxl_find_method(object, "m"), -1);
}

TEST_F(tables, defining_reuses_idle_functions_and_refuses_running_ones)
{
  zxl_class_t *a = zxl_define_class("A", nullptr);
  const int32_t m = zxl_define_method(a, "m");
  zxl_function_t *f = zxl_function_at(m);
  EXPECT_EQ(f->activation, -1);
  EXPECT_EQ(zxl_define_method(a, "m"), -1); // still being compiled
  f->activation = 0;
  f->param_count = 2;
  f->body.push_back(175);
  f->defaults.push_back(zxl_string("a default that owns a heap buffer of its own"));
  zxl_line_table_append(f, 0, 3);
  zxl_file_table_append(f, 0, "a.zxl");
  EXPECT_EQ(zxl_define_method(a, "m"), m);
  EXPECT_EQ(f->activation, -1);
  EXPECT_TRUE(f->body.empty());
  EXPECT_TRUE(f->defaults.empty());
  EXPECT_TRUE(f->line_table.empty());
  EXPECT_TRUE(f->file_table.empty());
  EXPECT_EQ(f->param_count, 0);

  const int32_t g = zxl_define_function("g");
  EXPECT_EQ(zxl_define_function("g"), -1); // being compiled
  zxl_function_at(g)->activation = 1;       // one call running
  EXPECT_EQ(zxl_define_function("g"), -1);
  zxl_function_at(g)->activation = 0;
  EXPECT_EQ(zxl_define_function("g"), g);
  EXPECT_EQ(zxl_function_position(zxl_function_at(g)), g);
  zxl_function_t stray;
  EXPECT_EQ(zxl_function_position(&stray), -1);
  EXPECT_EQ(zxl_function_at(g + 1), nullptr);
  EXPECT_EQ(zxl_function_at(-1), nullptr);
}

int answer_native(zxl_value_t *, zxl_value_t *result)
{
  *result = zxl_long(42);
  return 0;
}

TEST_F(tables, function_names_resolve_to_compiled_functions_then_natives)
{
  auto *without_callback = new zxl_native_t;
  without_callback->name = "nat";
  EXPECT_EQ(zxl_add_native(without_callback), -1);
  auto *nat = new zxl_native_t;
  nat->name = "nat";
  nat->callback = answer_native;
  EXPECT_EQ(zxl_add_native(nat), -2);
  EXPECT_EQ(zxl_native_count(), 3); // with the placeholder entry 0

  EXPECT_EQ(zxl_function_index("nat"), -2);
  EXPECT_EQ(zxl_find_native("nat"), nat);
  EXPECT_EQ(zxl_compiled_function_index("nat"), -1);
  EXPECT_EQ(zxl_function_index("missing"), ZXL_NO_FUNCTION);
  EXPECT_EQ(zxl_find_native("missing"), nullptr);

  const int32_t compiled = zxl_define_function("nat");
  EXPECT_EQ(zxl_function_index("nat"), compiled); // whatever its state
  EXPECT_EQ(zxl_compiled_function_index("nat"), compiled);

  // Natives added after start-up are gone after a restart.
  zxl_shutdown();
  zxl_init();
  EXPECT_EQ(zxl_native_count(), 0);
  EXPECT_EQ(zxl_function_index("nat"), ZXL_NO_FUNCTION);
}

TEST_F(tables, globals_and_classes_by_name_and_index)
{
  EXPECT_EQ(zxl_add_global("g"), 0);
  EXPECT_EQ(zxl_add_global("h"), 1);
  EXPECT_EQ(zxl_add_global("g"), 2);
  EXPECT_EQ(zxl_global_index("g"), 0);
  EXPECT_EQ(zxl_find_global("g"), zxl_global_at(0));
  EXPECT_EQ(zxl_find_global("x"), nullptr);
  EXPECT_EQ(zxl_global_index("x"), -1);
  EXPECT_EQ(zxl_global_count(), 3);
  EXPECT_EQ(interr_number([] { (void)zxl_global_at(3); }), 288);
  EXPECT_EQ(interr_number([] { (void)zxl_global_at(-1); }), 288);
  EXPECT_EQ(interr_number([] { (void)zxl_class_at(3); }), 284);
  EXPECT_EQ(interr_number([] { (void)zxl_class_at(-1); }), 284);
  EXPECT_EQ(zxl_find_class("none"), nullptr);
}

TEST_F(tables, line_and_file_tables_follow_their_append_rules)
{
  zxl_function_t f;
  const char *file = nullptr;
  int32_t line = -5;
  zxl_position_of(f, 0, &file, &line);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(line, 0);

  zxl_line_table_append(&f, 0, 1);
  zxl_line_table_append(&f, 0, 2);  // same pc: replaced
  zxl_line_table_append(&f, 4, 3);
  zxl_line_table_append(&f, 9, 3);
  zxl_file_table_append(&f, 2, "a.zxl");
  zxl_file_table_append(&f, 5, "a.zxl"); // same name: nothing
  zxl_file_table_append(&f, 7, "b.zxl");
  zxl_file_table_append(&f, 7, "c.zxl"); // same pc: renamed
  ASSERT_EQ(f.line_table.size(), 3u);
  EXPECT_EQ(f.line_table[0].line, 2u);
  ASSERT_EQ(f.file_table.size(), 2u);

  const struct
  {
    uint32_t pc;
    const char *file;
    int32_t line;
  } cases[] = {{0, nullptr, 2}, {1, nullptr, 2}, {2, "a.zxl", 2}, {4, "a.zxl", 3},
               {6, "a.zxl", 3}, {7, "c.zxl", 3},  {9, "c.zxl", 3},  {1000, "c.zxl", 3}};
  for ( const auto &c : cases )
  {
    zxl_position_of(f, c.pc, &file, &line);
    EXPECT_STREQ(file, c.file) << c.pc;
    EXPECT_EQ(line, c.line) << c.pc;
  }
}

TEST_F(tables, members_read_attributes_methods_globals_and_functions)
{
  zxl_class_t *a = zxl_define_class("A", nullptr);
  const int32_t method = zxl_define_method(a, "m");
  const int32_t function = zxl_define_function("f");
  ASSERT_EQ(zxl_add_global("g"), 0);
  zxl_value_replace(&zxl_global_at(0)->value, zxl_string("global"));
  owned_value_t o(make_object({{"x", zxl_long(5)}}, a->index));
  owned_value_t number(zxl_long(1));

  const struct
  {
    const zxl_value_t *object;
    const char *name;
    int code;
    const char *expected;
    const char *text;
  } cases[] = {
      {&o.v, "x", 0, "LONG 5", nullptr},
      {&o.v, "m", 0, nullptr, nullptr},
      {&o.v, "missing", 1538, "LONG 0", "A.missing"},
      {&number.v, "x", 1532, "LONG 0", nullptr},
      {nullptr, "g", 0, "STRING global", nullptr},
      {nullptr, "f", 0, nullptr, nullptr},
      {nullptr, "missing", 1538, "LONG 0", "missing"},
  };
  for ( const auto &c : cases )
  {
    owned_value_t result;
    qerrno_set(0);
    EXPECT_EQ(zxl_get_member(&result.v, c.object, c.name), c.code) << c.name;
    const std::string expected = c.expected != nullptr ? std::string(c.expected)
                                 : "FUNC " + std::to_string(c.object != nullptr ? method : function);
    EXPECT_EQ(describe(result.v), expected) << c.name;
    if ( c.text != nullptr )
    {
      EXPECT_STREQ(get_error_arg_text(0), c.text);
    }
  }

  owned_value_t seven(zxl_long(7));
  EXPECT_EQ(zxl_set_member(&o.v, "y", &seven.v), 0);
  EXPECT_EQ(describe(o.v), "OBJECT {x=LONG 5,y=LONG 7}");
  EXPECT_EQ(zxl_set_member(nullptr, "g", &seven.v), 0);
  EXPECT_EQ(describe(zxl_global_at(0)->value), "LONG 7");
  EXPECT_EQ(zxl_set_member(nullptr, "nothing", &seven.v), 1538);
  EXPECT_EQ(zxl_set_member(&number.v, "y", &seven.v), 1532);
  // A member read into the object value that is read from.
  EXPECT_EQ(zxl_get_member(&o.v, &o.v, "x"), 0);
  EXPECT_EQ(describe(o.v), "LONG 5");
}

int32_t destructor_runs = 0;
bool destructor_found_its_function = false;
void count_destructor(int32_t function_index, zxl_object_t *)
{
  ++destructor_runs;
  destructor_found_its_function = zxl_function_at(function_index) != nullptr;
}

TEST_F(tables, clearing_the_engine_runs_the_destructors_of_objects_in_globals)
{
  zxl_class_t *c = zxl_define_class("C", nullptr);
  c->destructor_method = zxl_define_method(c, "C_destructor");
  zxl_get_engine()->destructor_runner = count_destructor;
  ASSERT_EQ(zxl_add_global("g"), 0);
  zxl_global_at(0)->value = make_object({}, c->index);
  destructor_runs = 0;
  zxl_engine_clear();
  EXPECT_EQ(destructor_runs, 1);
  EXPECT_TRUE(destructor_found_its_function);
  EXPECT_EQ(zxl_global_count(), 0);
  EXPECT_EQ(zxl_class_count(), 0);
  EXPECT_EQ(zxl_get_engine()->reader, nullptr);
}

} // namespace

namespace
{

TEST(engine_error_texts, come_from_the_catalogue)
{
  ASSERT_EQ(load_help_file(install_directory("zuk.hlp")), 0);
  error_arg_text(0, "A.missing");
  EXPECT_STREQ(error_code_text(1538), "No such attribute or global variable: A.missing");
  for ( int32_t code : {61, 86, 97, 98, 1531, 1532, 1563, 1568} )
    EXPECT_EQ(std::string(error_code_text(code)).find("Unknown error code"), std::string::npos) << code;
}

} // namespace
