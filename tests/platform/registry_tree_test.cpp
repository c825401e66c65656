// Tests of the registry settings tree: keys, the case rule for names, and the text form's round trip.
#include "platform/registry_tree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

std::string all_bytes()
{
  std::string s;
  for ( int c = 0; c < 256; ++c )
    s += static_cast<char>(c);
  return s;
}

registry_tree_t round_trip(const registry_tree_t &tree)
{
  registry_tree_t back;
  std::string error;
  EXPECT_TRUE(registry_tree_t::from_text(tree.to_text(), back, error)) << error << "\n" << tree.to_text();
  return back;
}

struct value_case
{
  const char *label;
  std::string name;
  registry_value_t value;
};

TEST(RegistryTree, EveryByteOfNamesAndValuesRoundTrips)
{
  const std::vector<value_case> cases = {
    {"plain text", "Host", registry_value_t::text("example.org:65433")},
    {"empty text", "Empty", registry_value_t::text("")},
    {"text with inner and trailing spaces", "Spaced", registry_value_t::text(" two  words ")},
    {"single space text", "Space", registry_value_t::text(" ")},
    {"percent signs", "100%", registry_value_t::text("%41 is not A")},
    {"control bytes and newlines", "Lines", registry_value_t::text("a\nb\r\tc\x7f")},
    {"valid UTF-8", "Gr\xC3\xBC\xC3\x9F" "e", registry_value_t::text("\xE2\x82\xAC \xF0\x9F\x98\x80")},
    {"lone continuation and cut sequence", "\x80name\xC3", registry_value_t::text("\xC3(\xE2\x82")},
    {"overlong and surrogate forms", "\xC0\xAF", registry_value_t::text("\xED\xA0\x80\xF4\x90\x80\x80")},
    {"every byte as text", "AllText", registry_value_t::text(all_bytes())},
    {"every byte as name", all_bytes().substr(1), registry_value_t::integer(7)},
    {"every byte as binary", "AllBinary", registry_value_t::binary(all_bytes())},
    {"empty binary", "NoBytes", registry_value_t::binary("")},
    {"zero", "Zero", registry_value_t::integer(0)},
    {"minus one", "Minus", registry_value_t::integer(-1)},
    {"smallest int", "Min", registry_value_t::integer(INT32_MIN)},
    {"largest int", "Max", registry_value_t::integer(INT32_MAX)},
    {"name with backslash and slash", "a\\b/c:d", registry_value_t::text("x")},
  };
  registry_tree_t tree;
  bool created;
  registry_key_t *key = tree.create_key("Software\\Quorvin\\akui", created);
  ASSERT_NE(key, nullptr);
  for ( const value_case &c : cases )
    ASSERT_EQ(key->set_value(c.name, c.value), 0) << c.label;

  const registry_tree_t back = round_trip(tree);
  const registry_key_t *read = back.find_key("Software\\Quorvin\\akui");
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->values().size(), cases.size());
  for ( const value_case &c : cases )
  {
    const registry_value_t *v = read->value(c.name);
    ASSERT_NE(v, nullptr) << c.label;
    EXPECT_EQ(*v, c.value) << c.label;
  }
}

TEST(RegistryTree, KeyNamesWithAnyByteButTheSeparatorRoundTrip)
{
  const std::vector<std::string> names = {"with space", "%25", "tab\there", "\xFF\xFE", "caf\xC3\xA9", "trail "};
  registry_tree_t tree;
  bool created;
  for ( const std::string &name : names )
    ASSERT_NE(tree.create_key("Top\\" + name + "\\Leaf", created), nullptr) << name;
  const registry_tree_t back = round_trip(tree);
  for ( const std::string &name : names )
    EXPECT_NE(back.find_key("Top\\" + name + "\\Leaf"), nullptr) << name;
}

TEST(RegistryTree, TextFormIsReadable)
{
  registry_tree_t tree;
  bool created;
  registry_key_t *app = tree.create_key("Software\\Quorvin\\akui", created);
  registry_key_t *sub = tree.create_key("Software\\Quorvin\\akui\\History", created);
  app->set_value("Width", registry_value_t::integer(-40));
  app->set_value("Title", registry_value_t::text("My files 100%"));
  app->set_value("State", registry_value_t::binary(std::string("\x01\xAB\x00", 3)));
  sub->set_value("0", registry_value_t::text("first entry"));
  EXPECT_EQ(tree.to_text(),
            "akui registry 1\n"
            "\nkey Software\n"
            "\nkey Software\\Quorvin\n"
            "\nkey Software\\Quorvin\\akui\n"
            "bytes State 01ab00\n"
            "text Title My files 100%25\n"
            "int Width -40\n"
            "\nkey Software\\Quorvin\\akui\\History\n"
            "text 0 first entry\n");
}

TEST(RegistryTree, EmptyKeysSurviveTheRoundTrip)
{
  registry_tree_t tree;
  bool created;
  tree.create_key("A\\Empty", created);
  tree.create_key("B", created);
  const registry_tree_t back = round_trip(tree);
  EXPECT_NE(back.find_key("A\\Empty"), nullptr);
  EXPECT_NE(back.find_key("B"), nullptr);
  EXPECT_TRUE(registry_tree_t().empty());
  EXPECT_FALSE(back.empty());
}

TEST(RegistryTree, NamesIgnoreAsciiCaseAndKeepTheFirstSpelling)
{
  registry_tree_t tree;
  bool created;
  registry_key_t *key = tree.create_key("Software\\Quorvin", created);
  EXPECT_TRUE(created);
  EXPECT_EQ(tree.create_key("SOFTWARE\\quorvin", created), key);
  EXPECT_FALSE(created);
  EXPECT_EQ(tree.find_key("software\\QUORVIN"), key);

  key->set_value("UseProxy", registry_value_t::integer(1));
  key->set_value("USEPROXY", registry_value_t::integer(2));
  ASSERT_EQ(key->values().size(), 1u);
  EXPECT_EQ(key->values().begin()->first, "UseProxy");
  EXPECT_EQ(key->value("useproxy")->as_integer(), 2);
  // Only ASCII letters fold: these are different names.
  key->set_value("\xC3\xA9", registry_value_t::integer(3));
  key->set_value("\xC3\x89", registry_value_t::integer(4));
  EXPECT_EQ(key->values().size(), 3u);
  EXPECT_EQ(tree.find_key("Software")->subkeys().begin()->first, "Quorvin");
}

TEST(RegistryTree, PathsSkipEmptyNamesAndTheRootHoldsNoValues)
{
  registry_tree_t tree;
  bool created;
  registry_key_t *key = tree.create_key("\\a\\\\b\\", created);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(tree.find_key("a\\b"), key);
  EXPECT_EQ(tree.create_key("", created), nullptr);
  EXPECT_EQ(tree.create_key("\\\\", created), nullptr);
  EXPECT_EQ(tree.find_key("a\\c"), nullptr);
  EXPECT_EQ(tree.find_key("a\\b\\c"), nullptr);
}

TEST(RegistryTree, SetValueRefusesEmptyNamesAndMisshapenIntegers)
{
  registry_key_t key;
  EXPECT_EQ(key.set_value("", registry_value_t::integer(1)), EINVAL);
  EXPECT_EQ(key.set_value("n", registry_value_t{registry_type_t::integer, "abc"}), EINVAL);
  EXPECT_TRUE(key.values().empty());
  EXPECT_EQ(key.set_value("n", registry_value_t::binary("abc")), 0);
  EXPECT_TRUE(key.remove_value("N"));
  EXPECT_FALSE(key.remove_value("N"));
  EXPECT_EQ(registry_value_t::text("abcd").as_integer(), 0);
}

TEST(RegistryTree, RemoveKeyRules)
{
  struct row
  {
    const char *label;
    const char *path;
    bool tree;
    int rc;
    std::vector<const char *> left;
    std::vector<const char *> gone;
  };
  const std::vector<row> rows = {
    {"leaf with values", "a\\b\\leaf", false, 0, {"a\\b", "a\\c"}, {"a\\b\\leaf"}},
    {"key with subkeys, not a tree", "a\\b", false, ENOTEMPTY, {"a\\b\\leaf"}, {}},
    {"key with subkeys as a tree", "a\\b", true, 0, {"a", "a\\c"}, {"a\\b", "a\\b\\leaf"}},
    {"missing key", "a\\x", false, ENOENT, {"a\\b\\leaf"}, {}},
    {"missing parent", "x\\y", true, ENOENT, {"a"}, {}},
    {"root", "\\", true, EINVAL, {"a\\b\\leaf", "a\\c"}, {}},
    {"other case", "A\\C", false, 0, {"a\\b"}, {"a\\c"}},
  };
  for ( const row &r : rows )
  {
    registry_tree_t tree;
    bool created;
    tree.create_key("a\\b\\leaf", created)->set_value("v", registry_value_t::integer(1));
    tree.create_key("a\\c", created);
    EXPECT_EQ(tree.remove_key(r.path, r.tree), r.rc) << r.label;
    for ( const char *p : r.left )
      EXPECT_NE(tree.find_key(p), nullptr) << r.label << ": " << p;
    for ( const char *p : r.gone )
      EXPECT_EQ(tree.find_key(p), nullptr) << r.label << ": " << p;
  }
}

TEST(RegistryTree, ParseErrorsNameTheLineAndLeaveTheTarget)
{
  struct row
  {
    const char *label;
    std::string text;
    const char *error;
  };
  const std::string head = "akui registry 1\n";
  const std::vector<row> rows = {
    {"empty file", "", "line 0: not a registry store"},
    {"wrong header", "akui registry 2\nkey a\n", "line 1: not a registry store"},
    {"header with CR", "akui registry 1\r\n", "line 1: not a registry store"},
    {"value before key", head + "int a 1\n", "line 2: value before any key"},
    {"unknown type", head + "key a\nfloat x 1.5\n", "line 3: unknown line"},
    {"bare word", head + "key a\n\nstray\n", "line 4: unknown line"},
    {"integer too large", head + "key a\nint x 2147483648\n", "line 3: bad integer"},
    {"integer with junk", head + "key a\nint x 12z\n", "line 3: bad integer"},
    {"integer missing", head + "key a\nint x\n", "line 3: bad integer"},
    {"integer with plus", head + "key a\nint x +1\n", "line 3: bad integer"},
    {"odd hex", head + "key a\nbytes x abc\n", "line 3: bad bytes"},
    {"non-hex", head + "key a\nbytes x zz\n", "line 3: bad bytes"},
    {"bad escape", head + "key a\ntext x 50%\n", "line 3: bad text"},
    {"escape with one digit", head + "key a\ntext x %4\n", "line 3: bad text"},
    {"raw control byte", head + "key a\ntext x a\tb\n", "line 3: bad text"},
    {"trailing CR", head + "key a\ntext x ab\r\n", "line 3: bad text"},
    {"escaped separator in key name", head + "key a%5Cb\n", "line 2: bad key path"},
    {"key without a name", head + "key \\\n", "line 2: bad key path"},
    {"bad escape in value name", head + "key a\nint %zz 1\n", "line 3: bad value name"},
    {"empty value name", head + "key a\nint  1\n", "line 3: bad value name"},
    {"value twice, other case", head + "key a\nint x 1\nint X 2\n", "line 4: value listed twice"},
  };
  for ( const row &r : rows )
  {
    registry_tree_t out;
    bool created;
    out.create_key("kept", created);
    std::string error;
    EXPECT_FALSE(registry_tree_t::from_text(r.text, out, error)) << r.label;
    EXPECT_EQ(error, r.error) << r.label;
    EXPECT_NE(out.find_key("kept"), nullptr) << r.label;
  }
}

TEST(RegistryTree, ParserAcceptsCommentsRepeatedKeysAndAMissingLastNewline)
{
  registry_tree_t out;
  std::string error;
  ASSERT_TRUE(registry_tree_t::from_text("akui registry 1\n# settings\nkey a\nint x 1\nkey b\nkey A\ntext y %41 b",
                                         out, error))
    << error;
  const registry_key_t *a = out.find_key("a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->value("x")->as_integer(), 1);
  EXPECT_EQ(*a->value("y"), registry_value_t::text("A b"));
  EXPECT_NE(out.find_key("b"), nullptr);
  // Hand-written upper- or lower-case hex both read.
  ASSERT_TRUE(registry_tree_t::from_text("akui registry 1\nkey a\nbytes b 0aFf\n", out, error)) << error;
  EXPECT_EQ(*out.find_key("a")->value("b"), registry_value_t::binary("\x0a\xff"));
}

}  // namespace
