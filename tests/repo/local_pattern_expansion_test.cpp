// Expanding the file commands' patterns: wildcards and directories globbed under the ignore rules,
// plain files checked against them, the messages, existing-only, server-path patterns, stopping, and the
// exported rules.
#include "repo/local_site.h"

#include "repo/plain_fs.h"

#include "tests/repo/work_dir_helpers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<std::string> texts(const qvector<qstring> &list)
{
  std::vector<std::string> result;
  for ( const qstring &t : list )
    result.emplace_back(t.c_str());
  return result;
}

qvector<qstring> list_of(const std::vector<std::string> &items)
{
  qvector<qstring> result;
  for ( const std::string &i : items )
    result.push_back(qstring(i.c_str()));
  return result;
}

class ExpandLocalPatterns : public testing::Test
{
protected:
  void SetUp() override
  {
    std::filesystem::current_path(dir_.path());
    dir_.write(".akignore", "*.o\nbuild/\n");
    dir_.write("a.c", "a");
    dir_.write("a.o", "o");
    dir_.write("src/b.c", "b");
    dir_.write("src/b.h", "h");
    dir_.write("src/.akignore", "*.h\n");
    dir_.write("build/out.c", "x");
    site_ = local_site_t("site", dir_.path().c_str(), &fs_);
  }

  // Expands; the paths, or {"<false>"} when the expansion answered false.
  std::vector<std::string> expand(const std::vector<std::string> &patterns, bool existing_only = false,
                                  const std::function<bool()> &stop = nullptr)
  {
    qvector<qstring> out;
    messages_.clear();
    rules_.clear();
    if ( !site_.expand_local_patterns(&out, &messages_, list_of(patterns), existing_only, stop, &rules_) )
      return {"<false>"};
    std::vector<std::string> paths = texts(out);
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  std::string at(const std::string &relative) const { return dir_.at(relative); }

  scratch_dir_t dir_;
  process_fs_t fs_;
  local_site_t site_;
  qvector<qstring> messages_;
  qvector<qstring> rules_;
};

TEST_F(ExpandLocalPatterns, DirectoriesAndWildcardsAreGlobbedUnderTheRules)
{
  EXPECT_EQ(expand({dir_.path()}), (std::vector<std::string>{"//.akignore", "//a.c", "//src/.akignore", "//src/b.c"}));
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(expand({at("*.?")}), (std::vector<std::string>{"//a.c"}));
  EXPECT_EQ(expand({"src/*"}), (std::vector<std::string>{"//src/.akignore", "//src/b.c"}));
  EXPECT_EQ(expand({"src"}), (std::vector<std::string>{"//src/.akignore", "//src/b.c"}));
}

TEST_F(ExpandLocalPatterns, EachMessageSaysWhatWasLeftOut)
{
  EXPECT_EQ(expand({at("a.o"), at("*.zip"), "src/b.h", "src/b.c"}), std::vector<std::string>{"//src/b.c"});
  EXPECT_EQ(texts(messages_), (std::vector<std::string>{at("a.o") + ": has been ignored",
                                                        "no matching files for local pattern '" + at("*.zip") + "'",
                                                        at("src/b.h") + ": has been ignored"}));
  // An ignored directory globs to nothing.
  EXPECT_EQ(expand({"build"}), std::vector<std::string>{});
  EXPECT_EQ(texts(messages_), std::vector<std::string>{"no matching files for local pattern '" + at("build") + "'"});
}

TEST_F(ExpandLocalPatterns, ExistingOnlyDropsMissingFilesSilently)
{
  EXPECT_EQ(expand({"missing.c", "a.c"}, true), std::vector<std::string>{"//a.c"});
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(expand({"missing.c", "a.c"}, false), (std::vector<std::string>{"//a.c", "//missing.c"}));
}

TEST_F(ExpandLocalPatterns, ServerPathsStandForTheirPlaceUnderTheRoot)
{
  EXPECT_EQ(expand({"//src/*.c", "//a.c", "//a.o", "//src"}),
            (std::vector<std::string>{"//a.c", "//src/.akignore", "//src/b.c", "//src/b.c"}));
  EXPECT_EQ(texts(messages_), std::vector<std::string>{at("a.o") + ": has been ignored"});
}

TEST_F(ExpandLocalPatterns, PathsOutsideTheRootStayLocal)
{
  scratch_dir_t other;
  other.write("x.o", "not covered by the site's rules");
  EXPECT_EQ(expand({other.at("x.o")}), std::vector<std::string>{other.at("x.o")});
  EXPECT_TRUE(messages_.empty());
}

TEST_F(ExpandLocalPatterns, StopCheckEndsTheExpansion)
{
  int asked = 0;
  const auto stop_second = [&asked] { return ++asked == 2; };
  qvector<qstring> out;
  EXPECT_FALSE(site_.expand_local_patterns(&out, nullptr, list_of({"a.c", "src/b.c", "x.c"}), false, stop_second,
                                           &rules_));
  // What was added stays in local form, and no rules are exported.
  EXPECT_EQ(texts(out), (std::vector<std::string>{at("a.c"), at("src/b.c")}));
  EXPECT_TRUE(rules_.empty());

  // A glob asks before each file it meets.
  asked = 0;
  out.clear();
  EXPECT_FALSE(site_.expand_local_patterns(&out, nullptr, list_of({"a.c", dir_.path()}), false, stop_second, nullptr));
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(texts(out), std::vector<std::string>{at("a.c")});
}

TEST_F(ExpandLocalPatterns, RulesOfTheDirectoriesReadAreExported)
{
  expand({"a.c"});
  EXPECT_EQ(texts(rules_), (std::vector<std::string>{"**/*.o", "**/build/"}));
  expand({"src/b.c"});
  EXPECT_EQ(texts(rules_), (std::vector<std::string>{"**/*.o", "**/build/", "src/**/*.h"}));
}

} // namespace
