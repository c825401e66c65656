// Control lines of message box texts, help markers and remembered-answer keys, hostile texts included.
#include "ui/message_box_header.h"

#include "tests/support/recording_ui_callback.h"
#include "tests/ui/message_box_mutations.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The warnings (request 24, kind 2) seen by ui.
std::vector<std::string> warnings(const recording_ui_callback_t &ui)
{
  std::vector<std::string> texts;
  for ( const ui_request_record_t &r : ui.requests_of(24) )
    if ( r.kind == 2 )
      texts.push_back(r.text);
  return texts;
}

TEST(MessageBoxHeader, ControlLinesSetTheHeaderAndMalformedOnesWarnAndBecomeBody)
{
  struct case_t
  {
    const char *what;
    std::string text;
    std::string body;
    std::string title;
    int32_t icon;
    int32_t autohide;
    bool ticked;
    int32_t help_id;
    bool hide_cancel;
    bool rich_text;
    std::string warning; // "" for none
  };
  const std::string long_title = std::string(1022, 'a') + "\xC3\xA9" + "tail"; // é straddles byte 1023
  const case_t cases[] = {
    {"plain body", "Hello\nworld", "Hello\nworld", "def", 0, 0, false, 0, false, false, ""},
    {"every line", "TITLE Hi there\nICON WARNING\nAUTOHIDE SESSION*\n@0:12[]\nHIDECANCEL\nRICHTEXT\nBody",
     "Body", "Hi there", 3, 3, true, 12, true, true, ""},
    {"later line wins", "ICON INFO\nICON ERROR\nx", "x", "def", 4, 0, false, 0, false, false, ""},
    {"registry scope", "AUTOHIDE REGISTRY\nQ?", "Q?", "def", 0, 2, false, 0, false, false, ""},
    {"unknown icon", "ICON PURPLE\nrest", "PURPLE\nrest", "def", 0, 0, false, 0, false, false,
     "message box: ICON error at PURPLE\nrest"},
    {"icon without newline", "ICON INFO", "INFO", "def", 0, 0, false, 0, false, false,
     "message box: ICON error at INFO"},
    {"scope with two stars", "AUTOHIDE SESSION**\nq", "SESSION**\nq", "def", 0, 0, false, 0, false, false,
     "message box: AUTOHIDE error at SESSION**\nq"},
    {"TITLE without newline", "TITLE %n%s oops", "%n%s oops", "def", 0, 0, false, 0, false, false,
     "message box: TITLE error at %n%s oops"},
    {"bad help line", "@1:5[]\nx", "1:5[]\nx", "def", 0, 0, false, 0, false, false, "message box: HELP error at 1:5[]\nx"},
    {"help digits overflow", "@0:99999999999[]\nx", "0:99999999999[]\nx", "def", 0, 0, false, 0, false, false,
     "message box: HELP error at 0:99999999999[]\nx"},
    {"lowercase is body", "title x\nicon info\n", "title x\nicon info\n", "def", 0, 0, false, 0, false, false, ""},
    {"HIDECANCEL needs its newline", "HIDECANCEL", "HIDECANCEL", "def", 0, 0, false, 0, false, false, ""},
    {"overlong title cut on a character", "TITLE " + long_title + "\nb", "b", std::string(1022, 'a'), 0, 0, false, 0,
     false, false, ""},
    {"control bytes and bad UTF-8 stay body", "TITLE \x03\xFF\xFE\nICON \x03\n", "\x03\n", "\x03\xFF\xFE", 0, 0,
     false, 0, false, false, "message box: ICON error at \x03\n"},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.what);
    recording_ui_callback_t ui;
    message_box_header_t header;
    header.title = "def";
    const size_t at = parse_message_box_header(&header, c.text.c_str());
    EXPECT_EQ(c.text.substr(at), c.body);
    EXPECT_EQ(std::string(header.text.view()), c.body);
    EXPECT_EQ(std::string(header.title.view()), c.title);
    EXPECT_EQ(header.icon, c.icon);
    EXPECT_EQ(header.autohide, c.autohide);
    EXPECT_EQ(header.ticked, c.ticked);
    EXPECT_EQ(header.help_id, c.help_id);
    EXPECT_EQ(header.hide_cancel, c.hide_cancel);
    EXPECT_EQ(header.rich_text, c.rich_text);
    EXPECT_EQ(warnings(ui), c.warning.empty() ? std::vector<std::string> {} : std::vector<std::string> {c.warning});
  }
}

TEST(MessageBoxHeader, HelpMarkersAreFoundAtLineStartsOrAfterABlank)
{
  struct case_t
  {
    const char *what;
    const char *text;
    int32_t id;
    const char *rest;
  };
  const case_t cases[] = {
    {"after a blank mid-text", "Save it? @0:12[]\nreally", 12, "Save it? really"},
    {"at the start", "@0:7[]\nbody", 7, "body"},
    {"after a newline", "a\n@0:3[]\nb", 3, "a\nb"},
    {"inside a word", "mail@0:3[]\nb", 0, "mail@0:3[]\nb"},
    {"first qualifying wins", "x@0:1[]\n @0:2[]\n @0:4[]\n", 2, "x@0:1[]\n  @0:4[]\n"},
    {"needs its newline", "see @0:9[]", 0, "see @0:9[]"},
    {"no digits", "@0:[]\n", 0, "@0:[]\n"},
    {"overflowing digits are no marker", "@0:2147483648[]\nx", 0, "@0:2147483648[]\nx"},
    {"largest int", "@0:2147483647[]\nx", 2147483647, "x"},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.what);
    std::string text = c.text;
    EXPECT_EQ(extract_help_marker(text.data()), c.id);
    EXPECT_STREQ(text.c_str(), c.rest);
    qstring q(c.text);
    EXPECT_EQ(extract_help_marker_qstring(&q), c.id);
    EXPECT_EQ(std::string(q.view()), c.rest);
  }
}

TEST(MessageBoxHeader, KeysKeepLettersAndDigitsAndShareAnswersAcrossPunctuation)
{
  message_box_header_t a, b, c, d;
  set_message_box_key(&a, "Delete file %s?");
  set_message_box_key(&b, "Delete-file:%s!");
  EXPECT_EQ(std::string(a.key.view()), "Delete file  s ");
  EXPECT_EQ(a.key.view(), b.key.view());
  EXPECT_EQ(a.hash, b.hash);
  // Only the first 100 bytes count.
  set_message_box_key(&c, (std::string(100, 'x') + "one").c_str());
  set_message_box_key(&d, (std::string(100, 'x') + "two").c_str());
  EXPECT_EQ(c.key.size(), 100u);
  EXPECT_EQ(c.hash, d.hash);

  // The hash by hand: h = (c odd ? h * 2 : ~h) + (c >> 1), 32 bits.
  struct case_t
  {
    const char *body;
    uint32_t hash;
  };
  const case_t cases[] = {
    {"", 0},
    {"A", 0 * 2 + (0x41 >> 1)},                                 // 'A' is odd
    {"B", ~0u + (0x42 >> 1)},                                   // 'B' is even
    {"AB", ~uint32_t(0x41 >> 1) + (0x42 >> 1)},
    {"?", ~0u + (0x20 >> 1)},                                   // a blank (even) stands for '?'
  };
  for ( const case_t &k : cases )
  {
    message_box_header_t h;
    set_message_box_key(&h, k.body);
    EXPECT_EQ(h.hash, k.hash) << k.body;
  }
}

TEST(MessageBoxHeader, MutatedHeadersNeverCrash)
{
  const int rounds = seeded_runs(20000);
  recording_ui_callback_t ui;
  uint32_t state = 20261210;
  for ( int round = 0; round < rounds; ++round )
  {
    const std::string text = mutated_message_box_text(&state);
    message_box_header_t header;
    const size_t body = parse_message_box_header(&header, text.c_str());
    ASSERT_LE(body, text.size());
    ASSERT_LE(header.title.size(), message_box_title_max);
    std::string copy = text;
    const int32_t id = extract_help_marker(copy.data());
    ASSERT_GE(id, 0);
    ASSERT_LE(strlen(copy.c_str()), text.size());
    set_message_box_key(&header, text.c_str() + body);
    ASSERT_LE(header.key.size(), message_box_key_max);
  }
}

} // namespace
