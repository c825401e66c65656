// Tests of JSON text output: scalar forms, escaping of strings and keys, indentation, key order, failures.
#include "core/json_writer.h"

#include "json_builders.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace {

std::string to_text(const json_value_t &v, int flags)
{
  qstring out;
  EXPECT_TRUE(json_to_text(&out, &v, flags));
  return std::string(out.view());
}

struct scalar_case_t
{
  const char *name;
  json_value_t value;
  const char *text;
};

TEST(JsonWriter, ScalarsAndStrings)
{
  const scalar_case_t cases[] = {
    {"zero", jint(0), "0"},
    {"negative", jint(-42), "-42"},
    {"int64 max", jint(INT64_MAX), "9223372036854775807"},
    {"int64 min", jint(INT64_MIN), "-9223372036854775808"},
    {"double with six decimals", jdouble(0.5), "0.500000"},
    {"negative double", jdouble(-2.5), "-2.500000"},
    {"negative zero", jdouble(-0.0), "-0.000000"},
    {"large double", jdouble(1e20), "100000000000000000000.000000"},
    {"true", jbool(true), "true"},
    {"false", jbool(false), "false"},
    {"null", jnull(), "null"},
    {"empty string", jstr(""), "\"\""},
    {"tab", jstr("\t"), "\"\\t\""},
    {"quote and backslash", jstr("a\"b\\c"), "\"a\\\"b\\\\c\""},
    {"line breaks", jstr("1\r\n2"), "\"1\\r\\n2\""},
    {"control byte", jstr("\x01"), "\"\\x01\""},
    {"NUL inside", jstr(std::string_view("a\0b", 3)), "\"a\\x00b\""},
    {"delete", jstr("\x7F"), "\"\\x7F\""},
    {"lone lead byte", jstr("\xC3"), "\"\\xC3\""},
    {"UTF-8 kept", jstr("\xC3\xA9t\xC3\xA9"), "\"\xC3\xA9t\xC3\xA9\""},
    {"single quote kept", jstr("it's"), "\"it's\""},
  };
  for ( const scalar_case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(to_text(c.value, 0), c.text);
    EXPECT_EQ(to_text(c.value, JSON_TEXT_PRETTY | JSON_TEXT_SORTED_KEYS), c.text);
  }
}

TEST(JsonWriter, LayoutAndOrder)
{
  const json_value_t sample = jobj({{"b", jint(1)}, {"a", jarr({jint(1)})}});
  struct layout_case_t
  {
    const char *name;
    json_value_t value;
    int flags;
    const char *text;
  };
  const layout_case_t cases[] = {
    {"compact keeps insertion order", sample, 0, "{\"b\":1,\"a\":[1]}"},
    {"sorted keys", sample, JSON_TEXT_SORTED_KEYS, "{\"a\":[1],\"b\":1}"},
    {"pretty", sample, JSON_TEXT_PRETTY, "{\n    \"b\":1,\n    \"a\":[\n        1\n    ]\n}"},
    {"pretty and sorted", sample, JSON_TEXT_PRETTY | JSON_TEXT_SORTED_KEYS,
     "{\n    \"a\":[\n        1\n    ],\n    \"b\":1\n}"},
    {"empty object", jobj({}), 0, "{}"},
    {"empty array", jarr({}), 0, "[]"},
    {"pretty empty object breaks twice", jobj({}), JSON_TEXT_PRETTY, "{\n    \n}"},
    {"pretty empty array breaks twice", jarr({}), JSON_TEXT_PRETTY, "[\n    \n]"},
    {"pretty nested empty", jarr({jarr({})}), JSON_TEXT_PRETTY, "[\n    [\n        \n    ]\n]"},
    {"array of scalars", jarr({jint(1), jstr("x"), jnull(), jbool(false)}), 0, "[1,\"x\",null,false]"},
    {"sorted applies at every depth", jarr({jobj({{"z", jint(1)}, {"y", jobj({{"d", jint(2)}, {"c", jint(3)}})}})}),
     JSON_TEXT_SORTED_KEYS, "[{\"y\":{\"c\":3,\"d\":2},\"z\":1}]"},
    {"sorted by unsigned bytes", jobj({{"\xC3\xA9", jint(1)}, {"z", jint(2)}, {"Z", jint(3)}, {"", jint(4)}}),
     JSON_TEXT_SORTED_KEYS, "{\"\":4,\"Z\":3,\"z\":2,\"\xC3\xA9\":1}"},
    {"sorting keeps repeated keys", jobj({{"k", jint(1)}, {"a", jint(0)}, {"k", jint(2)}}), JSON_TEXT_SORTED_KEYS,
     "{\"a\":0,\"k\":1,\"k\":2}"},
    {"prefix sorts first", jobj({{"ab", jint(1)}, {"a", jint(2)}}), JSON_TEXT_SORTED_KEYS,
     "{\"a\":2,\"ab\":1}"},
    {"keys are escaped like strings", jobj({{"a\"b", jint(1)}, {"c\\d\n", jint(2)}, {"\x01", jint(3)}}), 0,
     "{\"a\\\"b\":1,\"c\\\\d\\n\":2,\"\\x01\":3}"},
  };
  for ( const layout_case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(to_text(c.value, c.flags), c.text);
  }
}

TEST(JsonWriter, AppendsToTheOutput)
{
  qstring out("x=");
  const json_value_t v = jarr({jint(7)});
  ASSERT_TRUE(json_to_text(&out, &v, 0));
  EXPECT_EQ(out, "x=[7]");
}

TEST(JsonWriter, ValuesWithoutTextFormFail)
{
  struct fail_case_t
  {
    const char *name;
    json_value_t value;
    const char *written; // what the output holds when the write stops
  };
  fail_case_t cases[] = {
    {"empty slot at the top", json_value_t(), ""},
    {"empty slot in an array", jarr({jint(1), json_value_t(), jint(2)}), "[1,"},
    {"empty slot as a member value", jobj({{"a", jint(1)}, {"b", json_value_t()}}), "{\"a\":1,\"b\":"},
    {"NaN", jarr({jdouble(std::nan(""))}), "["},
    {"infinity", jobj({{"x", jdouble(-std::numeric_limits<double>::infinity())}}), "{\"x\":"},
    {"unknown tag", json_value_t(), ""},
  };
  cases[5].value.tag = 8;
  for ( const fail_case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    for ( const int flags : {0, JSON_TEXT_SORTED_KEYS} )
    {
      qstring out;
      EXPECT_FALSE(json_to_text(&out, &c.value, flags));
      EXPECT_EQ(out, c.written);
    }
  }
  // Freeing a tag above 7 is an internal error.
  cases[5].value.tag = JSON_NONE;
}

TEST(JsonWriter, ContainerMetTwiceFails)
{
  // Two slots pointing at one array: a tree the builders never make, but one a hand-filled value can hold.
  json_value_t inner = jarr({jint(5)});
  json_value_t outer = jarr({jnull(), jnull()});
  for ( json_value_t &slot : *outer.u.arr )
  {
    slot.tag = JSON_ARRAY;
    slot.u.arr = inner.u.arr;
  }
  qstring out;
  EXPECT_FALSE(json_to_text(&out, &outer, 0));
  EXPECT_EQ(out, "[[5],");
  // Each write starts with an empty set of written containers.
  qstring again;
  EXPECT_TRUE(json_to_text(&again, &inner, 0));
  EXPECT_EQ(again, "[5]");

  // An object that holds itself.
  json_value_t self = jobj({{"me", jnull()}});
  json_value_t &member = (*self.u.obj)[0].value;
  member.tag = JSON_OBJECT;
  member.u.obj = self.u.obj;
  qstring cyclic;
  EXPECT_FALSE(json_to_text(&cyclic, &self, 0));
  EXPECT_EQ(cyclic, "{\"me\":");

  // Unshare before the values are freed.
  for ( json_value_t &slot : *outer.u.arr )
    slot.tag = JSON_NONE;
  member.tag = JSON_NONE;
}

} // namespace
