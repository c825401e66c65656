// Objects: attribute order, cloning, freeing long chains, and the destructor protocol.
#include "tests/script/engine_fixture.h"

#include "script/runtime/zxl_tables.h"

#include <string>
#include <vector>

namespace
{

using objects = zxl_engine_test;

TEST_F(objects, attributes_are_ordered_by_unsigned_bytes)
{
  owned_value_t o(make_object({}));
  for ( const char *name : {"b", "\xC3\xA9", "a", "B", "ab", "", "0", "\x7F"} )
    *zxl_attr_slot(o.v.object, name) = zxl_long(1);
  std::vector<std::string> order;
  for ( const auto &[name, value] : o.v.object->attributes )
    order.push_back(name);
  EXPECT_EQ(order, (std::vector<std::string> {"", "0", "B", "a", "ab", "b", "\x7F", "\xC3\xA9"}));
  EXPECT_EQ(zxl_attr_slot(o.v.object, "a"), zxl_find_attr(o.v.object, "a"));
  EXPECT_EQ(zxl_find_attr(o.v.object, "c"), nullptr);
}

TEST_F(objects, an_attribute_is_found_by_its_whole_name_in_small_and_large_objects)
{
  // Names that share bytes, differ only in length, are empty or hold a NUL; with one attribute up to more than
  // a handful, each is found as its own slot and no other name is.
  const std::string names[] = {"n", "nn", "", std::string("n\0", 2), "m", "nm"};
  for ( size_t count = 1; count <= std::size(names); ++count )
  {
    owned_value_t o(make_object({}));
    for ( size_t i = 0; i < count; ++i )
      *zxl_attr_slot(o.v.object, names[i]) = zxl_long(int64_t(i));
    ASSERT_EQ(o.v.object->attributes.size(), count);
    for ( size_t i = 0; i < std::size(names); ++i )
    {
      const zxl_value_t *found = zxl_find_attr(o.v.object, names[i]);
      if ( i < count )
      {
        ASSERT_NE(found, nullptr) << count << " " << i;
        EXPECT_EQ(found, &o.v.object->attributes.find(names[i])->second) << count << " " << i;
        EXPECT_EQ(found->i, int64_t(i));
      }
      else
      {
        EXPECT_EQ(found, nullptr) << count << " " << i;
      }
    }
    EXPECT_EQ(zxl_find_attr(o.v.object, "nnn"), nullptr);
  }
}

TEST_F(objects, new_objects_of_an_unknown_class_get_class_0)
{
  for ( int32_t index : {-1, 3, 1000} )
  {
    zxl_object_t *o = zxl_object_new(index);
    EXPECT_EQ(o->class_index, 0) << index;
    EXPECT_EQ(o->refs, 1);
    zxl_object_release(o);
  }
  zxl_object_t *o = zxl_object_new(2);
  EXPECT_EQ(o->class_index, 2);
  zxl_object_release(o);
}

TEST_F(objects, a_clone_copies_attributes_and_shares_sub_objects)
{
  owned_value_t inner(make_object({}));
  owned_value_t o(make_object({{"s", zxl_string("text")}, {"inner", zxl_value_share(inner.v, 283)}}, 2));
  owned_value_t clone(zxl_value_share(o.v, 283));
  zxl_object_clone(&clone.v);
  EXPECT_NE(clone.v.object, o.v.object);
  EXPECT_EQ(clone.v.object->class_index, 2);
  EXPECT_EQ(clone.v.object->refs, 1);
  EXPECT_EQ(o.v.object->refs, 1);
  EXPECT_EQ(zxl_find_attr(clone.v.object, "inner")->object, inner.v.object);
  zxl_string_append(zxl_find_attr(clone.v.object, "s"), "!");
  EXPECT_EQ(describe(*zxl_find_attr(o.v.object, "s")), "STRING text");

  owned_value_t number(zxl_long(4));
  zxl_object_clone(&number.v);
  EXPECT_EQ(describe(number.v), "LONG 4");
}

// A destructor runner that records what it saw.
struct destructor_log_t
{
  std::vector<int32_t> functions;
  std::vector<int32_t> counts;
  bool keep = false;
  int32_t keeper_global = -1;
};
destructor_log_t *destructor_log = nullptr;

void record_destructor(int32_t function_index, zxl_object_t *object)
{
  destructor_log->functions.push_back(function_index);
  destructor_log->counts.push_back(object->refs);
  if ( destructor_log->keep )
  {
    destructor_log->keep = false;
    const zxl_value_t kept = zxl_object_value(object);
    zxl_value_replace(&zxl_global_at(destructor_log->keeper_global)->value, kept);
  }
}

class destructors : public zxl_engine_test
{
protected:
  void SetUp() override
  {
    zxl_engine_test::SetUp();
    destructor_log = &log;
    zxl_get_engine()->destructor_runner = record_destructor;
    base = zxl_define_class("base", nullptr);
    derived = zxl_define_class("derived", base);
    base->destructor_method = 10;
    derived->destructor_method = 11;
    zxl_class_at(0)->destructor_method = 99; // class 0 is never visited
    log.keeper_global = zxl_add_global("keeper");
  }
  void TearDown() override
  {
    zxl_engine_test::TearDown();
    destructor_log = nullptr;
  }

  destructor_log_t log;
  zxl_class_t *base = nullptr;
  zxl_class_t *derived = nullptr;
};

TEST_F(destructors, run_from_the_class_up_with_32_extra_references)
{
  zxl_object_release(zxl_object_new(derived->index));
  EXPECT_EQ(log.functions, (std::vector<int32_t> {11, 10}));
  EXPECT_EQ(log.counts, (std::vector<int32_t> {32, 32}));

  log = {};
  log.keeper_global = 0;
  zxl_object_release(zxl_object_new(0));
  EXPECT_TRUE(log.functions.empty());
}

TEST_F(destructors, a_destructor_that_keeps_the_object_stops_the_walk)
{
  log.keep = true;
  zxl_object_t *o = zxl_object_new(derived->index);
  *zxl_attr_slot(o, "name") = zxl_string("kept alive by its destructor");
  zxl_object_release(o);
  EXPECT_EQ(log.functions, (std::vector<int32_t> {11}));
  const zxl_value_t &kept = zxl_global_at(log.keeper_global)->value;
  ASSERT_EQ(kept.kind, ZK_OBJECT);
  EXPECT_EQ(kept.object, o);
  EXPECT_EQ(o->refs, 1);
  EXPECT_EQ(describe(*zxl_find_attr(o, "name")), "STRING kept alive by its destructor");

  // Released again, it runs its destructors anew and is freed.
  zxl_value_clear(&zxl_global_at(log.keeper_global)->value);
  EXPECT_EQ(log.functions, (std::vector<int32_t> {11, 11, 10}));
}

TEST_F(destructors, objects_held_by_attributes_are_destroyed_too)
{
  zxl_object_t *outer = zxl_object_new(base->index);
  *zxl_attr_slot(outer, "inner") = make_object({}, derived->index);
  zxl_object_release(outer);
  EXPECT_EQ(log.functions, (std::vector<int32_t> {10, 11, 10}));
}

TEST_F(destructors, a_long_chain_is_freed_without_recursion)
{
  // Each node is held only by the attribute of the one before; recursion this deep would overflow the stack.
  const int n = 200000;
  zxl_object_t *head = zxl_object_new(derived->index);
  zxl_object_t *node = head;
  for ( int k = 1; k < n; ++k )
  {
    zxl_object_t *next = zxl_object_new(k % 2 == 0 ? derived->index : 0);
    zxl_value_t v;
    v.kind = ZK_OBJECT;
    v.object = next;
    *zxl_attr_slot(node, "next") = v;
    node = next;
  }
  zxl_object_release(head);
  EXPECT_EQ(log.functions.size(), size_t(n)); // every derived node ran its two destructors
}

} // namespace
