// The name filters of file requests, the prompt's filter line, and the colon splitter of form fields.
#include "forms/inputs/file_filters.h"
#include "forms/inputs/input_requests.h"

#include "core/qstring.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// The Qt filter text of the list after the filter texts were added in order.
std::string qt_filter_of(const std::vector<const char *> &specs, file_filter_list_t *list_out = nullptr)
{
  file_filter_list_t list;
  for ( const char *spec : specs )
    list.add_spec(spec);
  qstring text;
  list.to_qt_filter(&text);
  if ( list_out != nullptr )
    *list_out = list;
  return std::string(text.view());
}

TEST(FileFilters, FilterTextsBecomeQtFilters)
{
  struct row_t
  {
    const char *what;
    std::vector<const char *> specs;
    const char *qt;
  };
  const row_t rows[] = {
    {"pairs of description and patterns", {"Text files|*.txt;*.log|All files|*.*"},
     "Text files (*.txt *.log);;All files (*.*)"},
    {"a trailing bar adds nothing", {"All files (*)|*|"}, "All files (*) (*)"},
    {"a last token without partner is ignored", {"Text|*.txt|Orphan"}, "Text (*.txt)"},
    {"empty patterns stay", {"Odd|*.a;;*.b"}, "Odd (*.a  *.b)"},
    {"an empty description writes no blank", {"|*.x"}, "(*.x)"},
    {"a default path gives its extension's filter", {"/home/ann/report.txt"}, "TXT files (*.txt)"},
    {"a mask describes itself by its extension", {"*.cfg"}, "CFG files (*.cfg)"},
    {"a mask without extension has no description", {"*"}, "(*)"},
    {"a name without extension gives All files", {"notes"}, "All files (*.*)"},
    {"the filter text's description wins for the same pattern", {"Plain text|*.TXT", "a.txt"}, "Plain text (*.TXT)"},
    {"a described filter lends its description to an undescribed one", {"|*.txt", "a.txt"}, "TXT files (*.txt)"},
    {"patterns compare without letter case", {"*.Log", "b.LOG"}, "LOG files (*.Log)"},
    {"a second different pattern is appended", {"Text|*.txt", "/tmp/x.md"}, "Text (*.txt);;MD files (*.md)"},
    {"null counts as empty", {nullptr}, ""},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(qt_filter_of(row.specs), row.qt);
  }
}

TEST(FileFilters, DefaultPathGivesFolderAndName)
{
  struct row_t
  {
    const char *spec;
    bool is_name;
    const char *folder;
    const char *name;
  };
  const row_t rows[] = {
    {"/home/ann/report.txt", true, "/home/ann", "report.txt"},
    {"report.txt", true, ".", "report.txt"},
    {"/report.txt", true, "/", "report.txt"},
    {"C:\\work\\report.txt", true, "C:\\work", "report.txt"},
    {"/home/ann/re:port.txt", true, "/home/ann", "re_port.txt"}, // a ':' cannot stand in a file name
    {"C:notes", true, "C:", "notes"},                            // a drive's colon is no part of the name
    {"/home/ann/*.txt", false, "", ""},                          // a mask names no file
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.spec);
    file_filter_list_t list;
    list.add_spec(row.spec);
    EXPECT_EQ(list.default_is_name, row.is_name);
    EXPECT_EQ(list.default_folder, row.folder);
    EXPECT_EQ(list.default_name, row.name);
  }
  // The latest single filter text decides whether a name is given.
  file_filter_list_t list;
  list.add_spec("/home/ann/report.txt");
  list.add_spec("*.log");
  EXPECT_FALSE(list.default_is_name);
  EXPECT_EQ(list.default_name, "report.txt");
}

TEST(FileFilters, FindPatternTakesTheFirstFilterIgnoringCase)
{
  file_filter_list_t list;
  list.add_spec("Logs|*.log|Both|*.txt;*.LOG");
  ASSERT_EQ(list.filters.size(), 2u);
  EXPECT_EQ(list.find_pattern("*.LOG"), &list.filters[0]);
  EXPECT_EQ(list.find_pattern("*.Txt"), &list.filters[1]);
  EXPECT_EQ(list.find_pattern("*.md"), nullptr);
  EXPECT_EQ(list.find_pattern("*.lo"), nullptr);
}

int split_header(qstring *filter, qstring *prompt, const char *format, ...)
{
  va_list va;
  va_start(va, format);
  const int help = split_filter_header(filter, prompt, format, va);
  va_end(va);
  return help;
}

TEST(FileFilters, PromptSplitsIntoFilterTitleAndHelp)
{
  struct row_t
  {
    const char *what;
    const char *text;
    const char *filter;
    const char *prompt;
    int help;
  };
  const row_t rows[] = {
    {"filter line and title", "FILTER Text files|*.txt\nOpen a text", "Text files|*.txt", "Open a text", 0},
    {"no filter line", "Open a text", "", "Open a text", 0},
    {"filter line alone", "FILTER *.md", "*.md", "", 0},
    {"help marker removed", "FILTER *.md\n@0:42[]\nChoose", "*.md", "Choose", 42},
    {"FILTER must open the text", "Open\nFILTER *.md", "", "Open\nFILTER *.md", 0},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.what);
    qstring filter = "stale";
    qstring prompt;
    EXPECT_EQ(split_header(&filter, &prompt, "%s", row.text), row.help);
    EXPECT_EQ(filter, row.filter);
    EXPECT_EQ(prompt, row.prompt);
  }
  qstring filter;
  qstring prompt;
  (void)split_header(&filter, &prompt, "FILTER %s|*.%s\nSave %d files", "Images", "png", 3);
  EXPECT_EQ(filter, "Images|*.png");
  EXPECT_EQ(prompt, "Save 3 files");
}

TEST(SplitAtUnescapedColon, CutsAtTheFirstPlainColonAndUnescapesBefore)
{
  struct row_t
  {
    const char *text;
    const char *head;
    const char *rest; // null: no plain colon
  };
  const row_t rows[] = {
    {"a\\:b:c", "a:b", "c"},
    {"a\\:b", "a:b", nullptr},
    {"a:b:c", "a", "b:c"},
    {":x", "", "x"},
    {"x:", "x", ""},
    {"a\\:\\:b:\\:c", "a::b", "\\:c"}, // escapes after the cut stay
    {"a\\\\:b", "a\\:b", nullptr},     // a colon after a backslash is escaped, whatever comes before
    {"", "", nullptr},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.text);
    std::string buffer = row.text;
    const char *rest = split_at_unescaped_colon(buffer.data());
    EXPECT_STREQ(buffer.c_str(), row.head);
    if ( row.rest == nullptr )
      EXPECT_EQ(rest, nullptr);
    else
      EXPECT_STREQ(rest, row.rest);
  }
  EXPECT_EQ(split_at_unescaped_colon(nullptr), nullptr);
}

} // namespace
