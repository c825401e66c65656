// Tests of the preprocessor: directives, conditional regions, logical lines, includes and the include search path.
#include "core/include_search.h"
#include "core/token_reader.h"

#include "token_stream.h"

#include "core/error_state.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

class Preprocessed : public testing::TestWithParam<stream_case>
{
};

TEST_P(Preprocessed, GivesTheTokens)
{
  EXPECT_EQ(tokens_of(GetParam().source), GetParam().tokens);
}

INSTANTIATE_TEST_SUITE_P(
  Conditionals, Preprocessed,
  testing::Values(
    stream_case {"SkippedRegionIgnoresItsContent",
                 "#if 0\n#bogus\n#error x\n\"unbalanced\n'\n#if 1\n#endif\nhidden\n#endif\nshown", "shown"},
    stream_case {"SecondElseSwitchesBack", "#if 1\na\n#else\nb\n#else\nc\n#endif", "a c"},
    stream_case {"FirstTrueElifWins", "#if 0\na\n#elif 1\nb\n#elif 1\nc\n#else\nd\n#endif", "b"},
    stream_case {"ElifAfterTakenBranchIsNotEvaluated", "#if 1\na\n#elif 1/0\nb\n#else\nc\n#endif", "a"},
    stream_case {"ElseAfterElifTaken", "#if 0\na\n#elif 1\nb\n#else\nc\n#endif\nd", "b d"},
    stream_case {"NestedInsideSkipped", "#if 0\n#if 1\nx\n#else\ny\n#endif\n#else\nz\n#endif", "z"},
    stream_case {"NestedElifInsideSkipped", "#if 0\n#if 0\n#elif 1\nx\n#endif\n#endif\ny", "y"},
    stream_case {"IfdefAndIfndef", "#ifdef X\na\n#endif\n#define X\n#ifdef X\nb\n#endif\n#ifndef X\nc\n#endif", "b"},
    stream_case {"TextAfterIfdefNameIgnored", "#define X\n#ifdef X junk\na\n#endif", "a"},
    stream_case {"DynamicNamesAreNotDefined", "#ifdef __LINE__\na\n#endif\n#ifndef __FILE__\nb\n#endif", "b"},
    stream_case {"UndefRemoves", "#define X\n#undef X extra\n#ifdef X\na\n#endif\nb", "b"},
    stream_case {"UndefOfUnknownName", "#undef NOPE\nb", "b"},
    stream_case {"IfEvaluates", "#define N 3\n#if N * 2 == 6\nyes\n#endif", "yes"},
    stream_case {"IfWithParenthesisRightAfterWord", "#if(1)\nyes\n#endif", "yes"}),
  case_name);

INSTANTIATE_TEST_SUITE_P(
  DirectiveErrors, Preprocessed,
  testing::Values(stream_case {"EndifWithoutIf", "a\n#endif", "a !E36"},
                  stream_case {"ElseWithoutIf", "#else", "!E35"},
                  stream_case {"ElifWithoutIf", "#elif 1", "!E35"},
                  stream_case {"EndInsideIfdef", "#ifdef X\na", "!E37"},
                  stream_case {"EndInsideActiveIf", "#if 1\na", "a !E37"},
                  stream_case {"IfdefWithoutName", "#ifdef\n#endif", "!E29"},
                  stream_case {"IfndefWithoutName", "#ifndef 1\n#endif", "!E29"},
                  stream_case {"UndefWithoutName", "#undef", "!E29"},
                  stream_case {"DefineWithoutName", "#define 1 2", "!E29"},
                  stream_case {"UnknownDirective", "#bogus", "!E29"},
                  stream_case {"HashAlone", "#", "!E29"},
                  stream_case {"ErrorDirective", "a\n#error stop here", "a !E41"},
                  stream_case {"IfExpressionError", "#if 1 +\n#endif", "!E47"}),
  case_name);

INSTANTIATE_TEST_SUITE_P(
  Lines, Preprocessed,
  testing::Values(stream_case {"WarningIsSilent", "#warning careful\nx", "x"},
                  stream_case {"OtherPragmasIgnored", "#pragma pack(1)\nx", "x"},
                  stream_case {"BlanksAroundHash", "  #  define X 1\nX", "i:1"},
                  stream_case {"BackslashJoinsWithoutBlank", "ab\\\ncd", "abcd"},
                  stream_case {"DoubleBackslashStaysAndDoesNotJoin", "a\\\\\nb", "a \\ b"},
                  stream_case {"JoinedDirective", "#define X \\\n 5\nX", "i:5"},
                  stream_case {"LinesCountContinuations", "x\\\ny __LINE__\n__LINE__", "xy i:2 i:3"},
                  stream_case {"HashInsideOpenCommentIsText", "/*\n#define X 1\n*/ X", "X"},
                  stream_case {"CommentOpenedInDirective", "#define X 1 /* open\nstill */ X", "i:1"},
                  stream_case {"CommentInsideSkippedRegion", "#if 0\n/*\n#endif\n*/\n#endif\nx", "x"},
                  stream_case {"NoFusionOfMinus", "#define M a - -b\nM", "a - - b"},
                  stream_case {"NoCommentFromSlashStar", "#define D a / * b\nD", "a / * b"},
                  stream_case {"NoFusionOfDots", "#define E . . .\nE", ". . ."},
                  stream_case {"NoFusionOfExponentSign", "#define F 1e- 5\nF", "!E22"},
                  stream_case {"BlankAfterPunctuationDropped", "#define S(x) #x\n#define T S(a   +   b)\nT", "\"a +b\""},
                  stream_case {"CommentBetweenOperatorsSeparates", "#define G -/**/-\nG", "- -"}),
  case_name);

// Installs a search path object for a test and removes it afterwards.
class IncludeSearch : public testing::Test
{
protected:
  static include_search_path_t &search()
  {
    static include_search_path_t object;
    return object;
  }
  static include_search_path_t *get_search() { return &search(); }

  void SetUp() override
  {
    previous_ = set_include_search_path_getter(get_search);
    search().set_paths(nullptr, false);
  }
  void TearDown() override
  {
    search().set_paths(nullptr, false);
    set_include_search_path_getter(previous_);
  }

  std::string read_file(const std::string &path)
  {
    reader_ptr reader = make_reader();
    EXPECT_EQ(reader->open_file(path.c_str()), 0);
    return read_all(reader.get());
  }

  scratch_dir_t dir_;
  include_search_path_getter_t previous_ = nullptr;
};

TEST_F(IncludeSearch, QuotedNamesBesideTheIncludingFiles)
{
  const std::string main = dir_.write("main.cfg", "#include \"sub/inc.h\"\nafter __LINE__");
  dir_.write("sub/inc.h", "inside\n#include \"deeper.h\"\n#include \"top.h\"");
  dir_.write("sub/deeper.h", "deep");
  dir_.write("top.h", "top");
  EXPECT_EQ(read_file(main), "inside deep top after i:2");
}

TEST_F(IncludeSearch, AngleNamesOnlyInTheSearchPath)
{
  const std::string main = dir_.write("main.cfg", "#include <a.h>\n#include <b.h>");
  dir_.write("a.h", "beside");
  dir_.write("p1/b.h", "first");
  dir_.write("p2/a.h", "second_a");
  dir_.write("p2/b.h", "second_b");
  ASSERT_TRUE(set_include_paths((dir_.path("p1") + ";" + dir_.path("p2")).c_str(), false));
  EXPECT_EQ(read_file(main), "second_a first");
}

TEST_F(IncludeSearch, SearchPathTextSplitsAndExtends)
{
  dir_.write("p1/x.h", "");
  dir_.write("p3/y.h", "");
  ASSERT_TRUE(set_include_paths((";" + dir_.path("p1") + ":").c_str(), false));
  ASSERT_TRUE(set_include_paths(dir_.path("p3").c_str(), true));
  char found[4096];
  EXPECT_EQ(search().find(found, sizeof(found), "x.h", nullptr), std::string(dir_.path("p1/x.h")));
  EXPECT_EQ(search().find(found, sizeof(found), "y.h", nullptr), std::string(dir_.path("p3/y.h")));
  EXPECT_EQ(search().find(found, sizeof(found), "y.h", dir_.path("P1").c_str()), std::string(dir_.path("p3/y.h")));
  EXPECT_EQ(search().find(found, sizeof(found), "x.h", dir_.path("p1").c_str()), nullptr);
  ASSERT_TRUE(set_include_paths(nullptr, false));
  EXPECT_EQ(search().find(found, sizeof(found), "x.h", nullptr), nullptr);
}

TEST_F(IncludeSearch, IncludeNextContinuesAfterTheFilesOwnDirectory)
{
  const std::string main = dir_.write("main.cfg", "#include <n.h>");
  dir_.write("d1/n.h", "first\n#include_next <n.h>");
  dir_.write("d2/n.h", "second\n#include_next <n.h>");
  dir_.write("d3/n.h", "third");
  set_include_paths((dir_.path("d1") + ";" + dir_.path("d2") + ";" + dir_.path("d3")).c_str(), false);
  EXPECT_EQ(read_file(main), "first second third");
}

TEST_F(IncludeSearch, OperandBuiltFromMacros)
{
  const std::string main = dir_.write(
    "main.cfg", "#define HDR <sub/n.h>\n#include HDR\n#define Q \"q.h\"\n#include Q\n#define D sub\n#include <D/n.h>");
  dir_.write("q.h", "quoted");
  dir_.write("p/sub/n.h", "angled");
  set_include_paths(dir_.path("p").c_str(), false);
  EXPECT_EQ(read_file(main), "angled quoted !E32"); // "<" operands are taken as written
}

TEST_F(IncludeSearch, OperandForms)
{
  dir_.write("i.h", "in");
  const struct
  {
    const char *text;
    const char *tokens;
  } cases[] = {
    {"#include\"i.h\"\nx", "in x"},
    {"#import \"i.h\" trailing\nx", "in x"},
    {"#include", "!E30"},
    {"#include i.h", "!E30"},
    {"#include \"i.h", "!E30"},
    {"#include <i.h", "!E30"},
    {"#include 5", "!E30"},
    {"#include \"missing.h\"", "!E32"},
    {"#softinclude \"missing.h\"\nx", "x"},
    {"#if 0\n#include \"missing.h\"\n#endif\nx", "x"},
  };
  for ( const auto &c : cases )
    EXPECT_EQ(read_file(dir_.write("main.cfg", c.text)), c.tokens) << c.text;
}

TEST_F(IncludeSearch, MissingFileIsNamed)
{
  const std::string main = dir_.write("main.cfg", "#include \"no/such.h\"");
  reader_ptr reader = make_reader();
  ASSERT_EQ(reader->open_file(main.c_str()), 0);
  lexer_token_t token;
  EXPECT_EQ(read_token(reader.get(), &token), 32);
  EXPECT_STREQ(get_error_arg_text(0), "no/such.h");
}

TEST_F(IncludeSearch, BackslashesInNamesAreSeparators)
{
  const std::string main = dir_.write("main.cfg", "#include \"sub\\\\inc.h\"");
  dir_.write("sub/inc.h", "found");
  EXPECT_EQ(read_file(main), "found");
}

TEST_F(IncludeSearch, PragmaOnceSkipsTheSameFoundPath)
{
  const std::string main = dir_.write("main.cfg", "#include \"once.h\"\n#include \"once.h\"\n#include \"sub/../once.h\"");
  dir_.write("sub/keep", "");
  dir_.write("once.h", "#pragma once\nx");
  EXPECT_EQ(read_file(main), "x x");
}

TEST_F(IncludeSearch, SelfIncludeStopsAtTheDepthLimit)
{
  const std::string self = dir_.write("self.h", "x\n#include \"self.h\"");
  std::string expected;
  for ( int i = 0; i < 129; ++i )
    expected += "x ";
  EXPECT_EQ(read_file(self), expected + "!E31");
}

TEST_F(IncludeSearch, AbsoluteNameFromText)
{
  const std::string inc = dir_.write("abs.h", "abs __FILE__");
  reader_ptr reader = make_reader();
  const std::string text = "#include \"" + inc + "\"\n__FILE__ end";
  reader->set_text(text.c_str(), nullptr);
  EXPECT_EQ(read_all(reader.get()), "abs \"" + inc + "\" \"\" end");
}

TEST_F(IncludeSearch, PositionInsideAnInclude)
{
  const std::string main = dir_.write("main.cfg", "a\n#include \"inc.h\"\nb");
  const std::string inc = dir_.write("inc.h", "\nc");
  reader_ptr reader = make_reader();
  ASSERT_EQ(reader->open_file(main.c_str()), 0);
  lexer_token_t token;
  ASSERT_EQ(read_token(reader.get(), &token), 0);
  ASSERT_EQ(read_token(reader.get(), &token), 0);
  ASSERT_STREQ(token.text.c_str(), "c");
  int32_t line = 0;
  const char *text = nullptr;
  EXPECT_EQ(reader->get_position(&line, &text, 0), inc);
  EXPECT_EQ(line, 2);
  EXPECT_EQ(reader->get_position(&line, &text, 1), main);
  EXPECT_EQ(line, 2);
  EXPECT_STREQ(text, "#include ...");
  EXPECT_EQ(reader->get_position(&line, &text, 2), nullptr);
  ASSERT_EQ(read_token(reader.get(), &token), 0);
  EXPECT_STREQ(token.text.c_str(), "b");
  EXPECT_EQ(reader->get_position(&line, nullptr, 0), main);
  EXPECT_EQ(line, 3);
}

TEST_F(IncludeSearch, ConditionalsAreNotTiedToFiles)
{
  const std::string main = dir_.write("main.cfg", "#include \"open.h\"\nhidden\n#endif\nshown");
  dir_.write("open.h", "#if 0");
  EXPECT_EQ(read_file(main), "shown");
}

TEST_F(IncludeSearch, HasInclude)
{
  dir_.write("here.h", "");
  dir_.write("p/there.h", "");
  set_include_paths(dir_.path("p").c_str(), false);
  const std::string text = "#if __has_include(\"here.h\")\na\n#endif\n"
                           "#if __has_include( <there.h>)\nb\n#endif\n"
                           "#if __has_include(<here.h>)\nc\n#endif\n"
                           "#if __has_include(\"/no/such/file.h\")\nd\n#endif\n"
                           "#if !__has_include(\"nowhere.h\")\ne\n#endif\n";
  EXPECT_EQ(read_file(dir_.write("main.cfg", text)), "a b e");
  EXPECT_EQ(read_file(dir_.write("main.cfg", "#if __has_include\nx\n#endif\ny")), "y");
  EXPECT_EQ(read_file(dir_.write("main.cfg", "#if __has_include (\"here.h\")\n#endif")), "!E47");
}

TEST(IncludeSearchWithoutEngine, NoExtraDirectories)
{
  ASSERT_EQ(include_search_path(), nullptr);
  EXPECT_TRUE(set_include_paths("/somewhere", false));
  EXPECT_EQ(tokens_of("#include <stdio.h>"), "!E32");
  EXPECT_EQ(script_lock(), nullptr);
}

TEST(ScriptLock, InstalledLockIsReturned)
{
  critical_section_t *lock = lock_create();
  EXPECT_EQ(set_script_lock(lock), nullptr);
  EXPECT_EQ(script_lock(), lock);
  include_search_path_t search;
  EXPECT_TRUE(search.set_paths("a;b", false));
  EXPECT_EQ(set_script_lock(nullptr), lock);
  lock_destroy(lock);
}

} // namespace
