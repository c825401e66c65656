// Tests of loading the message catalogue, its lookups, and the start-up failure path.
#include "core/message_catalog.h"

#include "core/catalog_lookup.h"
#include "core/directories.h"
#include "core/error_state.h"
#include "tests/support/env_guard.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{

using bytes_t = std::vector<uint8_t>;
using section_texts_t = std::vector<std::optional<std::string>>;

void put16(bytes_t &b, uint32_t v)
{
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}

void put32(bytes_t &b, uint32_t v)
{
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}

void set32(bytes_t &b, size_t at, uint32_t v)
{
  for ( int i = 0; i < 4; ++i )
    b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// An "HF" image written independently of the build tool: header, tables, marker, texts.
bytes_t build_catalog(const std::vector<section_texts_t> &sections, uint8_t version = 2)
{
  size_t tables = 0;
  for ( const section_texts_t &s : sections )
    tables += 2 + 4 * s.size();
  uint32_t offset = uint32_t(11 + tables + 2);
  bytes_t head{'H', 'F', version};
  put32(head, 0x12345678);
  put16(head, 0xABCD);
  put16(head, uint32_t(sections.size()));
  bytes_t texts;
  for ( const section_texts_t &s : sections )
  {
    put16(head, uint32_t(s.size()));
    for ( const std::optional<std::string> &t : s )
    {
      if ( !t )
      {
        put32(head, 0);
        continue;
      }
      put32(head, offset);
      put16(texts, uint32_t(t->size() + 1));
      texts.insert(texts.end(), t->begin(), t->end());
      texts.push_back(0);
      offset += uint32_t(2 + t->size() + 1);
    }
  }
  head.push_back('H');
  head.push_back('F');
  head.insert(head.end(), texts.begin(), texts.end());
  return head;
}

class CatalogTest : public testing::Test
{
protected:
  void SetUp() override
  {
    std::string tmpl = (fs::temp_directory_path() / "catalog-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { unload_help_file(); }

  std::string write(const std::string &name, const bytes_t &image) const
  {
    const fs::path p = fs::path(dir_) / name;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char *>(image.data()), std::streamsize(image.size()));
    return p.string();
  }

  std::string dir_;
};

TEST_F(CatalogTest, BuiltCatalogHoldsTheCoreTexts)
{
  const char *path = install_directory("zuk.hlp");
  ASSERT_NE(path, nullptr);
  ASSERT_EQ(load_help_file(path), 0);
  EXPECT_STREQ(catalog_message(2), "Only part of the data could be written");
  EXPECT_STREQ(catalog_message(3), "Unexpected end of file");
  // Every id the core's readers report has a text.
  const int ids[] = {2,  3,  20, 21, 22, 23, 24, 26, 27, 29, 30,   31,   32,   34,   35,   36,   37,  38,
                     39, 41, 46, 47, 86, 1347, 1348, 1352, 1353, 1355, 1362, 1363, 1364, 1680};
  for ( int id : ids )
  {
    const char *text = catalog_message(id);
    ASSERT_NE(text, nullptr) << "message " << id;
    EXPECT_GT(std::strlen(text), 0u) << "message " << id;
  }
  EXPECT_EQ(catalog_message(1), nullptr) << "code 1 is the system's text";
  EXPECT_EQ(catalog_message(60000), nullptr);
  EXPECT_EQ(catalog_lookup(1, 2), nullptr) << "only section 0 exists";
}

TEST_F(CatalogTest, ErrorTextsComeFromTheCatalogue)
{
  ASSERT_EQ(load_help_file(install_directory("zuk.hlp")), 0);
  error_arg_text(0, "inc/missing.h");
  EXPECT_STREQ(error_code_text(32), "Can't open include file \"inc/missing.h\"");
  set_error_arg_number(0, 'g');
  EXPECT_STREQ(error_code_text(20), "Bad digit 'g' in a number");
  set_error_arg_number(0, uint64_t(int64_t(-128)));
  EXPECT_STREQ(error_code_text(27), "Illegal character (code -128)");
  error_arg_text(0, "macro_name");
  EXPECT_STREQ(error_code_text(39), "Wrong number of arguments for macro 'macro_name'");
  qerrno_set(2);
  EXPECT_STREQ(error_code_text(-1), "Only part of the data could be written");
  unload_help_file();
  EXPECT_STREQ(error_code_text(32), "Unknown error code 32");
}

TEST_F(CatalogTest, LookupsBySectionAndId)
{
  // Two sections with counts 3 and 2: the second count follows the first section's third offset.
  const bytes_t image = build_catalog({{"zero", std::nullopt, "two %s"}, {"s1 zero", "s1 one"}});
  EXPECT_EQ(image[11 + 2 + 12], 2) << "second section's count";
  EXPECT_EQ(image[11 + 2 + 12 + 2 + 8], 'H') << "marker after the second section's second offset";
  ASSERT_EQ(load_help_file(write("two.hlp", image).c_str()), 0);
  struct lookup_case
  {
    int section;
    int id;
    const char *text; // null: no text
  };
  const lookup_case cases[] = {
      {0, 0, "zero"}, {0, 1, nullptr}, {0, 2, "two %s"}, {0, 3, nullptr},
      {1, 0, "s1 zero"}, {1, 1, "s1 one"}, {1, 2, nullptr}, {2, 0, nullptr}, {-1, 0, nullptr},
  };
  for ( const lookup_case &c : cases )
  {
    const char *got = catalog_lookup(c.section, c.id);
    if ( c.text == nullptr )
    {
      EXPECT_EQ(got, nullptr) << c.section << "/" << c.id;
    }
    else
    {
      EXPECT_STREQ(got, c.text) << c.section << "/" << c.id;
    }
  }
  EXPECT_STREQ(catalog_message(2), "two %s");
  unload_help_file();
  EXPECT_EQ(catalog_message(0), nullptr) << "nothing is loaded after unloading";
}

TEST_F(CatalogTest, EveryLoadingErrorCode)
{
  const bytes_t good = build_catalog({{"a", "bb"}, {std::nullopt, "ccc"}});
  // Offsets in `good`: section 0 table at 11 (count) and 13, 17; section 1 at 21 (count), 23, 27;
  // marker at 31; texts at 33 ("a"), 37 ("bb"), 42 ("ccc").
  ASSERT_EQ(good[31], 'H');
  struct bad_case
  {
    const char *what;
    std::function<void(bytes_t &)> damage;
    int code;
  };
  const bad_case cases[] = {
      {"14 bytes", [](bytes_t &b) { b.resize(14); }, HELP_BAD_FILE},
      {"not HF", [](bytes_t &b) { b[0] = 'X'; }, HELP_BAD_FILE},
      {"version 1", [](bytes_t &b) { b[2] = 1; }, HELP_OBSOLETE},
      {"version 3", [](bytes_t &b) { b[2] = 3; }, HELP_OBSOLETE},
      {"text not terminated", [](bytes_t &b) { b[37 + 2 + 2] = 'x'; }, HELP_BAD_FILE},
      {"text of length 0", [](bytes_t &b) { b[37] = 0; }, HELP_BAD_FILE},
      {"text longer than the file", [](bytes_t &b) { b[42] = 200; }, HELP_BAD_FILE},
      {"offset into the tables", [](bytes_t &b) { set32(b, 13, 21); }, HELP_BAD_FILE},
      {"offset into the marker", [](bytes_t &b) { set32(b, 13, 31); }, HELP_BAD_FILE},
      {"offset 13", [](bytes_t &b) { set32(b, 13, 13); }, HELP_BAD_FILE},
      {"offset past the end", [](bytes_t &b) { set32(b, 27, uint32_t(b.size())); }, HELP_BAD_FILE},
      {"offset near 4 GiB", [](bytes_t &b) { set32(b, 27, 0xFFFFFFF0u); }, HELP_BAD_FILE},
      {"second table past the end", [](bytes_t &b) { b[21] = 0xFF; b[22] = 0xFF; }, HELP_BAD_FILE},
      {"second table's text unterminated", [](bytes_t &b) { b.back() = 'x'; }, HELP_BAD_FILE},
      {"more sections than tables", [](bytes_t &b) { b[9] = 40; }, HELP_BAD_FILE},
      {"missing second marker", [](bytes_t &b) { b[32] = 'X'; }, HELP_BAD_FILE},
      {"first table count too large", [](bytes_t &b) { b[11] = 200; }, HELP_BAD_FILE},
  };
  for ( const bad_case &c : cases )
  {
    bytes_t image = good;
    c.damage(image);
    const std::string path = write("bad.hlp", image);
    EXPECT_EQ(load_help_file(path.c_str()), c.code) << c.what;
  }
  EXPECT_EQ(load_help_file(write("good.hlp", good).c_str()), 0);
  EXPECT_STREQ(catalog_lookup(1, 1), "ccc");
  EXPECT_EQ(load_help_file((dir_ + "/missing.hlp").c_str()), HELP_CANT_FIND);
  EXPECT_STREQ(catalog_lookup(1, 1), "ccc") << "a failed load keeps the loaded catalogue";
  EXPECT_EQ(load_help_file(dir_.c_str()), HELP_IO_ERROR) << "a directory opens but cannot be read";
  const std::string huge = write("huge.hlp", good);
  fs::resize_file(huge, uint64_t(5) << 30); // sparse
  EXPECT_EQ(load_help_file(huge.c_str()), HELP_BAD_FILE) << "larger than 32-bit offsets can describe";
}

TEST(CatalogErrorTexts, ReasonOfEachCode)
{
  struct reason_case
  {
    int code;
    const char *text;
  };
  const reason_case cases[] = {
      {HELP_CANT_FIND, "can't find file"},     {HELP_BAD_FILE, "bad help file"},
      {HELP_OBSOLETE, "obsolete version of help file"}, {HELP_IO_ERROR, "I/O error"},
      {HELP_NO_MEMORY, "no memory"},
  };
  for ( const reason_case &c : cases )
    EXPECT_STREQ(help_error_text(c.code), c.text);
  EXPECT_EQ(help_error_text(0), nullptr);
  EXPECT_EQ(help_error_text(-6), nullptr);
}

using CatalogDeathTest = CatalogTest;

TEST_F(CatalogDeathTest, NoMemoryForTheImage)
{
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#else
  // A sparse file of 1 GiB cannot be read into memory under a tight address-space limit.
  const std::string path = dir_ + "/huge.hlp";
  {
    std::ofstream(path, std::ios::binary) << "HF";
  }
  fs::resize_file(path, uint64_t(1) << 30);
  EXPECT_EXIT(
      {
        struct rlimit limit {};
        limit.rlim_cur = limit.rlim_max = rlim_t(512) << 20;
        setrlimit(RLIMIT_AS, &limit);
        std::_Exit(load_help_file(path.c_str()) == HELP_NO_MEMORY ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
#endif
}

TEST_F(CatalogTest, TemplatesExpandNameAndLanguage)
{
  write("msg/En_US/zuk.hlp", build_catalog({{"x"}}));
  write("plain/zuk.hlp", build_catalog({{"x"}}));
  write("fr/app-zuk.hlp.cat", build_catalog({{"x"}}));
  struct template_case
  {
    std::string list;
    const char *language;
    bool found;
    std::string path;
  };
  const template_case cases[] = {
      {dir_ + "/msg/%L/%N", "En_US", true, dir_ + "/msg/En_US/zuk.hlp"},
      {dir_ + "/msg/%L/%N", "de_DE", false, ""},
      {dir_ + "/plain", "En_US", true, dir_ + "/plain/zuk.hlp"},
      {dir_ + "/none;;" + dir_ + "/plain/", "En_US", true, dir_ + "/plain/zuk.hlp"},
      {dir_ + "/none:" + dir_ + "/plain", "En_US", true, dir_ + "/plain/zuk.hlp"},
      {dir_ + "/%Lr/app-%N.cat", "f", true, dir_ + "/fr/app-zuk.hlp.cat"},
      {"", "En_US", false, ""},
  };
  for ( const template_case &c : cases )
  {
    char buf[PATH_MAX] = "";
    EXPECT_EQ(expand_help_templates("zuk.hlp", c.language, c.list.c_str(), buf, sizeof(buf)), c.found) << c.list;
    if ( c.found )
    {
      EXPECT_EQ(std::string(buf), c.path) << c.list;
    }
  }
  char small[8];
  EXPECT_FALSE(expand_help_templates("zuk.hlp", "En_US", (dir_ + "/plain").c_str(), small, sizeof(small)))
      << "an expansion that does not fit is skipped, never cut";
}

TEST_F(CatalogTest, FindAndLoadSearchOrder)
{
  write("nls/En_US/zuk.hlp", build_catalog({{"from NLSPATH"}}));
  write("a/zuk.hlp", build_catalog({{"from a"}}));
  write("b/zuk.hlp", build_catalog({{"from b"}}));
  const std::string search = dir_ + "/none;" + dir_ + "/a;" + dir_ + "/b";
  struct find_case
  {
    const char *nlspath; // null: unset
    const char *lang;    // null: unset
    std::string search;
    int rc;
    const char *text;
  };
  const std::string nls = dir_ + "/nls/%L/%N";
  const find_case cases[] = {
      {nls.c_str(), nullptr, search, 0, "from NLSPATH"},
      {nls.c_str(), "de_DE", search, 0, "from a"},
      {nullptr, nullptr, search, 0, "from a"},
      {nullptr, nullptr, dir_ + "/b", 0, "from b"},
      {nullptr, nullptr, dir_ + "/none", HELP_CANT_FIND, nullptr},
  };
  {
    const env_guard_t guard({"NLSPATH", "LANG"});
    for ( const find_case &c : cases )
    {
      set_env("NLSPATH", c.nlspath);
      set_env("LANG", c.lang);
      unload_help_file();
      EXPECT_EQ(find_and_load_help_file(c.search.c_str(), "zuk.hlp"), c.rc) << c.search;
      if ( c.text != nullptr )
      {
        EXPECT_STREQ(catalog_message(0), c.text) << c.search;
      }
    }
  }
  unsetenv("NLSPATH");

  const std::string absolute = write("abs/own.hlp", build_catalog({{"absolute"}}));
  EXPECT_EQ(find_and_load_help_file("", absolute.c_str()), 0);
  EXPECT_STREQ(catalog_message(0), "absolute");
}

TEST_F(CatalogTest, StartUpFindsTheCatalogueBesideTheExecutable)
{
  unsetenv("NLSPATH");
  init_help_system("zuk.hlp");
  EXPECT_STREQ(catalog_message(3), "Unexpected end of file");
}

TEST_F(CatalogDeathTest, StartUpFailureExitsWith255)
{
  unsetenv("NLSPATH");
  EXPECT_EXIT(init_help_system("missing.hlp"), testing::ExitedWithCode(255),
              "Can't initialize help system.\nFile name: 'missing.hlp', Reason: can't find file.\n"
              "Press Enter to exit.");
  bytes_t image = build_catalog({{"x"}});
  image[2] = 1;
  const std::string old = write("old.hlp", image);
  EXPECT_EXIT(init_help_system(old.c_str()), testing::ExitedWithCode(255),
              "Reason: obsolete version of help file.");
}

} // namespace
