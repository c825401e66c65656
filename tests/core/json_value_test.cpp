// Tests of JSON value building, deep copies, typed access, lookup and freeing.
#include "core/json_value.h"

#include "tests/core/json_builders.h"
#include "tests/support/interr_capture.h"

#include <gtest/gtest.h>

#include <functional>
#include <span>
#include <string>

namespace {

json_value_t int_value(int64_t i)
{
  json_value_t v;
  json_value_set_int(&v, i);
  return v;
}

json_value_t string_value(const char *text)
{
  json_value_t v;
  json_set_string(&v, new qstring(text));
  return v;
}

json_value_t object_value()
{
  json_value_t v;
  v.tag = JSON_OBJECT;
  v.u.obj = new json_object_t;
  return v;
}

json_value_t array_value()
{
  json_value_t v;
  v.tag = JSON_ARRAY;
  v.u.arr = new jarr_t;
  return v;
}

void add_member(json_value_t *obj, const char *key, json_value_t value)
{
  json_member_t *m = json_object_append_member(json_value_as_object(obj));
  m->key = key;
  m->value = std::move(value);
}

// {"name": "x", "n": 7, "list": [true, null, 2.5, {"deep": "y"}]}
json_value_t sample_tree()
{
  json_value_t root = object_value();
  add_member(&root, "name", string_value("x"));
  add_member(&root, "n", int_value(7));
  json_value_t list = array_value();
  jarr_t *arr = json_as_array(&list);
  json_value_t *slot = jarr_append_slot(arr);
  slot->tag = JSON_BOOL;
  slot->u.b = 1;
  jarr_append_slot(arr)->tag = JSON_NULL;
  slot = jarr_append_slot(arr);
  slot->tag = JSON_DOUBLE;
  slot->u.d = 2.5;
  json_value_t deep = object_value();
  add_member(&deep, "deep", string_value("y"));
  *jarr_append_slot(arr) = std::move(deep);
  add_member(&root, "list", std::move(list));
  return root;
}

TEST(JsonValue, BuildAndQueryATree)
{
  json_value_t root = sample_tree();
  const json_object_t *obj = json_value_as_object(&root);
  ASSERT_EQ(obj->size(), 3u);
  EXPECT_STREQ(json_get_string(json_object_find(obj, "name", JSON_STRING)), "x");
  EXPECT_EQ(json_value_as_int(json_object_find(obj, "n", 0)), 7);
  const jarr_t *list = json_as_array(json_object_find(obj, "list", JSON_ARRAY));
  ASSERT_EQ(list->size(), 4u);
  EXPECT_EQ(json_value_as_bool(&(*list)[0]), 1);
  EXPECT_EQ((*list)[1].tag, JSON_NULL);
  EXPECT_EQ(json_value_as_double(&(*list)[2]), 2.5);
  EXPECT_STREQ(json_get_string(json_object_find(json_value_as_object(&(*list)[3]), "deep", JSON_STRING)), "y");
}

TEST(JsonValue, CopyIsDeepAndKeepsMemberOrder)
{
  json_value_t source = object_value();
  add_member(&source, "c", string_value("one"));
  add_member(&source, "a", string_value("two"));
  add_member(&source, "b", string_value("three"));

  json_value_t copy;
  json_copy(&copy, &source);
  json_object_t *c = json_value_as_object(&copy);
  ASSERT_EQ(c->size(), 3u);
  EXPECT_EQ((*c)[0].key, "c");
  EXPECT_EQ((*c)[1].key, "a");
  EXPECT_EQ((*c)[2].key, "b");

  // Changing the copy leaves the source alone.
  *(*c)[0].value.u.str = "changed";
  (*c)[1].key = "z";
  json_value_set_int(&(*c)[2].value, 5);
  const json_object_t *s = json_value_as_object(&source);
  EXPECT_STREQ(json_get_string(&(*s)[0].value), "one");
  EXPECT_EQ((*s)[1].key, "a");
  EXPECT_STREQ(json_get_string(&(*s)[2].value), "three");
  EXPECT_NE(json_value_as_object(&copy), json_value_as_object(&source));
}

TEST(JsonValue, CopyReplacesTheDestinationAndHandlesAliasing)
{
  // An empty source empties the destination.
  json_value_t dst = sample_tree();
  const json_value_t empty;
  json_copy(&dst, &empty);
  EXPECT_EQ(dst.tag, JSON_NONE);

  // Copying a value onto itself changes nothing.
  json_value_t self = sample_tree();
  json_copy(&self, &self);
  EXPECT_STREQ(json_get_string(json_object_find(json_value_as_object(&self), "name", 0)), "x");

  // Copying a part of the destination into it: the part is taken before the destination is freed.
  json_value_t tree = sample_tree();
  const json_value_t *list = json_object_find(json_value_as_object(&tree), "list", JSON_ARRAY);
  json_copy(&tree, list);
  ASSERT_EQ(tree.tag, JSON_ARRAY);
  EXPECT_EQ(json_as_array(&tree)->size(), 4u);

  // Same through assignment, moving a member out of its own parent.
  json_value_t moved = sample_tree();
  moved = std::move(*json_object_find(json_value_as_object(&moved), "list", JSON_ARRAY));
  ASSERT_EQ(moved.tag, JSON_ARRAY);
  EXPECT_EQ(json_as_array(&moved)->size(), 4u);
}

TEST(JsonValue, FreeIsRecursiveAndIdempotent)
{
  json_value_t v = sample_tree();
  json_free(&v);
  EXPECT_EQ(v.tag, JSON_NONE);
  json_free(&v);
  EXPECT_EQ(v.tag, JSON_NONE);

  json_value_t s = string_value("abc");
  json_value_set_int(&s, -3);  // the old string is freed (checked by the sanitizer build)
  EXPECT_EQ(json_value_as_int(&s), -3);
  json_set_string(&s, nullptr);
  EXPECT_STREQ(json_get_string(&s), "");
  json_set_string(&s, new qstring);
  EXPECT_STREQ(json_get_string(&s), "");
}

TEST(JsonValue, FindTakesTheFirstMatchOnly)
{
  json_value_t v = object_value();
  add_member(&v, "a", int_value(1));
  add_member(&v, "a", string_value("x"));
  add_member(&v, "ab", string_value("y"));
  json_object_t *obj = json_value_as_object(&v);

  const struct
  {
    const char *key;
    uint32_t tag;
    const json_value_t *expected;
  } cases[] = {
    { "a", 0, &(*obj)[0].value },
    { "a", JSON_INT, &(*obj)[0].value },
    { "a", JSON_STRING, nullptr },  // the later "a" is not looked at
    { "ab", JSON_STRING, &(*obj)[2].value },
    { "A", 0, nullptr },
    { "", 0, nullptr },
    { "abc", 0, nullptr },
  };
  for ( const auto &c : cases )
  {
    EXPECT_EQ(json_object_find(obj, c.key, c.tag), c.expected) << c.key << " tag " << c.tag;
    EXPECT_EQ(json_object_find(static_cast<const json_object_t *>(obj), c.key, c.tag), c.expected);
  }
}

TEST(JsonValue, InsertMembersCopiesARange)
{
  json_value_t src = object_value();
  add_member(&src, "x", int_value(1));
  add_member(&src, "y", string_value("s"));
  json_value_t dst = object_value();
  add_member(&dst, "a", int_value(10));
  add_member(&dst, "b", int_value(20));

  json_object_t *s = json_value_as_object(&src);
  json_object_t *d = json_value_as_object(&dst);
  json_member_t *at = json_insert_members(d, 1, s->begin(), s->end());
  EXPECT_EQ(at, &(*d)[1]);
  ASSERT_EQ(d->size(), 4u);
  const char *keys[] = { "a", "x", "y", "b" };
  for ( size_t i = 0; i < 4; ++i )
    EXPECT_EQ((*d)[i].key, keys[i]);
  // The inserted members are copies.
  *(*d)[2].value.u.str = "changed";
  EXPECT_STREQ(json_get_string(&(*s)[1].value), "s");

  // A range of the object itself, inserted at its front.
  json_insert_members(d, 0, d->begin() + 2, d->end());
  ASSERT_EQ(d->size(), 6u);
  EXPECT_EQ((*d)[0].key, "y");
  EXPECT_EQ((*d)[1].key, "b");
  EXPECT_STREQ(json_get_string(&(*d)[0].value), "changed");

  // An empty range inserts nothing.
  EXPECT_EQ(json_insert_members(d, 6, d->end(), d->end()), d->end());
  EXPECT_EQ(d->size(), 6u);
}

TEST(JsonValue, VectorsAreReleasedWithTheirContents)
{
  json_object_t members;
  json_object_append_member(&members)->value = sample_tree();
  json_object_append_member(&members)->key = "k";
  json_members_free(&members);
  EXPECT_TRUE(members.empty());
  EXPECT_EQ(members.data(), nullptr);

  jarr_t values;
  *jarr_append_slot(&values) = sample_tree();
  EXPECT_EQ(jarr_append_slot(&values)->tag, JSON_NONE);
  release_json_value_vector(&values);
  EXPECT_TRUE(values.empty());
  EXPECT_EQ(values.data(), nullptr);
}

struct wrong_tag_case
{
  const char *name;
  std::function<void(const json_value_t *)> access;
  uint32_t right_tag;
  int32_t interr_number;
};

TEST(JsonValue, AccessorsRaiseTheirInternalErrorForOtherTags)
{
  const wrong_tag_case cases[] = {
    { "as_int", [](const json_value_t *v) { json_value_as_int(v); }, JSON_INT, 1277 },
    { "get_string", [](const json_value_t *v) { json_get_string(v); }, JSON_STRING, 1278 },
    { "as_object", [](const json_value_t *v) { json_value_as_object(v); }, JSON_OBJECT, 1279 },
    { "as_array", [](const json_value_t *v) { json_as_array(v); }, JSON_ARRAY, 1280 },
    { "as_bool", [](const json_value_t *v) { json_value_as_bool(v); }, JSON_BOOL, 1281 },
    { "as_double", [](const json_value_t *v) { json_value_as_double(v); }, JSON_DOUBLE, 2928 },
  };
  json_value_t samples[8];
  samples[JSON_INT] = int_value(1);
  samples[JSON_STRING] = string_value("s");
  samples[JSON_OBJECT] = object_value();
  samples[JSON_ARRAY] = array_value();
  samples[JSON_BOOL].tag = JSON_BOOL;
  samples[JSON_NULL].tag = JSON_NULL;
  samples[JSON_DOUBLE].tag = JSON_DOUBLE;

  for ( const wrong_tag_case &c : cases )
  {
    for ( uint32_t tag = JSON_NONE; tag <= JSON_DOUBLE; ++tag )
    {
      const int32_t expected = tag == c.right_tag ? 0 : c.interr_number;
      EXPECT_EQ(interr_number([&] { c.access(&samples[tag]); }), expected) << c.name << " on tag " << tag;
    }
  }
}

TEST(JsonValue, FreeingAnUnknownTagIsInternalError1315)
{
  json_value_t v;
  v.tag = 8;
  EXPECT_EQ(interr_number([&] { json_free(&v); }), 1315) << "tag 8 was freed";
  v.tag = JSON_NONE;
}

// A tree with one value of unknown tag at some depth, and siblings after it that must still be freed (the leak
// checker of the sanitizer build sees the ones left behind).
struct unknown_tag_tree_case
{
  const char *name;
  json_value_t (*build)();
  json_value_t *(*slot)(json_value_t *root); // where the unknown tag goes
};

const unknown_tag_tree_case unknown_tag_trees[] = {
  {"the value itself", [] { return jnull(); }, [](json_value_t *root) { return root; }},
  {"a member of an object",
   [] { return jobj({{"a", jstr("before")}, {"bad", jnull()}, {"z", jstr("after")}}); },
   [](json_value_t *root) { return &(*root->u.obj)[1].value; }},
  {"an element of an array", [] { return jarr({jstr("before"), jnull(), jarr({jstr("after")})}); },
   [](json_value_t *root) { return &(*root->u.arr)[1]; }},
  {"three levels down",
   [] { return jarr({jobj({{"k", jarr({jstr("s"), jnull(), jstr("after")})}}), jstr("after")}); },
   [](json_value_t *root) { return &(*(*(*root->u.arr)[0].u.obj)[0].value.u.arr)[1]; }},
};

// Every way of freeing a value that holds an unknown tag hands internal error 1315 to a caller that asked for
// thrown internal errors, at any depth, and leaves nothing behind for a destructor to meet later.
TEST(JsonValue, UnknownTagAtAnyDepthReachesTheCallerOfEveryFree)
{
  struct free_case
  {
    const char *name;
    void (*free)(json_value_t *v);
  };
  const free_case frees[] = {
    {"json_free", [](json_value_t *v) { json_free(v); }},
    {"json_copy over it",
     [](json_value_t *v) {
       const json_value_t src = jstr("new");
       json_copy(v, &src);
     }},
    {"json_value_set_int over it", [](json_value_t *v) { json_value_set_int(v, 5); }},
    {"moved over", [](json_value_t *v) { *v = jstr("new"); }},
  };
  for ( const unknown_tag_tree_case &tree : unknown_tag_trees )
  {
    for ( const free_case &f : frees )
    {
      json_value_t v = tree.build();
      json_value_t *slot = tree.slot(&v);
      slot->tag = 8;
      slot->u.i = 0;
      EXPECT_EQ(interr_number([&] { f.free(&v); }), 1315) << f.name << ", unknown tag in " << tree.name;
      EXPECT_EQ(v.tag, JSON_NONE) << f.name << ", unknown tag in " << tree.name;
    }
  }
}

TEST(JsonValue, FreeingMemberAndValueVectorsRaises1315AfterFreeingTheRest)
{
  // The value itself is no member of a vector: the cases below it are.
  for ( const unknown_tag_tree_case &tree : std::span(unknown_tag_trees).subspan(1) )
  {
    json_value_t v = tree.build();
    tree.slot(&v)->tag = 8;
    int32_t raised = 0;
    if ( v.tag == JSON_OBJECT )
      raised = interr_number([&] { json_members_free(v.u.obj); });
    else
      raised = interr_number([&] { release_json_value_vector(v.u.arr); });
    EXPECT_EQ(raised, 1315) << "unknown tag in " << tree.name;
    EXPECT_EQ(v.tag == JSON_OBJECT ? v.u.obj->size() : v.u.arr->size(), 0u) << "unknown tag in " << tree.name;
  }
}

// A destructor cannot pass the error on: it takes the fatal path, even where internal errors are thrown.
TEST(JsonValueDeathTest, DestroyingANestedUnknownTagIsFatalEvenWhenThrowing)
{
  EXPECT_EXIT(
    {
      set_interr_throws(1);
      json_value_t v = unknown_tag_trees[3].build();
      unknown_tag_trees[3].slot(&v)->tag = 8;
    },
    testing::ExitedWithCode(1), "internal error 1315");
}

TEST(JsonValueDeathTest, WrongTagIsFatal)
{
  const json_value_t d = [] {
    json_value_t v;
    v.tag = JSON_DOUBLE;
    v.u.d = 1.5;
    return v;
  }();
  EXPECT_EXIT(json_value_as_int(&d), testing::ExitedWithCode(1), "internal error 1277");
}

} // namespace
