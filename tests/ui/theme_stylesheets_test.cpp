// Theme style sheets: the preprocessor, imports across themes directories, icon declarations, and hostile themes.
#include "ui/theme_stylesheets.h"

#include "core/debug_flags.h"
#include "tests/support/file_contents.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/support/seeded_random.h"
#include "ui/theme_loader_p.h"

#include <QApplication>
#include <QObject>
#include <QWidget>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace
{

// Receives the theme's icon declarations as the main window would.
class icon_receiver_t : public QObject
{
  Q_OBJECT

public:
  std::vector<std::pair<QString, QString>> received;

public slots:
  bool handleUnknownStyleProperty(QString key, QString value)
  {
    received.emplace_back(key, value);
    return true;
  }
};

std::vector<theme_line_t> lines_of(const std::vector<std::string> &texts)
{
  std::vector<theme_line_t> lines;
  for ( const std::string &t : texts )
    lines.push_back({t, 0, int64_t(lines.size())});
  return lines;
}

// Themes directories in a fresh folder of the test's private temporary directory.
class ThemeDirs : public testing::Test
{
protected:
  void SetUp() override
  {
    root_ = fs::temp_directory_path() / ("themes-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  // Writes <root>/<dir>/<theme>/<file>.
  void put(const std::string &dir, const std::string &theme, const std::string &file, const std::string &text)
  {
    fs::create_directories(root_ / dir / theme);
    write_file(root_ / dir / theme / file, text);
  }
  qvector<qstring> dirs(std::initializer_list<const char *> names)
  {
    qvector<qstring> out;
    for ( const char *n : names )
      out.push_back(qstring((root_ / n).string().c_str()));
    return out;
  }
  // Loads the theme; answers the error text, "" on success.
  std::string load(const char *name, const qvector<qstring> &themes_dirs, theme_t *theme)
  {
    theme->name = name;
    qstring error;
    return load_theme_stylesheets_from(theme, themes_dirs, &error) ? std::string() : std::string(error.view());
  }

  fs::path root_;
};

TEST(ThemePreprocessor, DirectivesVariablesAndColours)
{
  struct case_t
  {
    const char *name;
    std::vector<std::string> lines;
    const char *output;
  };
  const case_t cases[] = {
    {"__NT__ is defined", {"@ifdef __NT__", "a", "@else", "b", "@endif"}, "\na\n\n\n"},
    {"else of __NT__", {"@ifndef __NT__", "a", "@else", "b", "@endif"}, "\n\n\nb\n"},
    {"nested skipped block", {"@ifdef X", "@ifdef __NT__", "a", "@else", "b", "@endif", "@endif", "c"}, "\n\n\n\n\n\n\nc"},
    {"unclosed block is no error", {"@ifdef X", "a"}, "\n"},
    {"def and use", {"@def color  red;", "QWidget { color: ${color}; }"}, "\nQWidget { color: red; }"},
    {"only the first reference", {"@def a 1;", "${a} ${a}"}, "\n1 ${a}"},
    {"later def overrides", {"@def a 1;", "@def a 2;", "${a}"}, "\n\n2"},
    {"def value expands a reference", {"@def a x;", "@def b [${a}];", "${b}"}, "\n\n[x]"},
    {"ifndef fails once defined", {"@ifndef V", "@def V 1;", "skipped", "@endif", "kept"}, "\n\n\n\nkept"},
    {"empty value", {"@def e ;", "<${e}>"}, "\n<>"},
    {"lighten", {"c: @lighten(#808080, 150);"}, "c: #c0c0c0;"},
    {"darken with blanks", {"c: @darken ( #808080 , 200 ) x"}, "c: #404040 x"},
    {"lighten then darken", {"@lighten(red,100) @darken(red,100)"}, "#ff0000 #ff0000"},
    {"colour from a variable", {"@def base #808080;", "@lighten(${base}, 150)"}, "\n#c0c0c0"},
    {"negative factor keeps the colour", {"@lighten(blue, -5)"}, "#0000ff"},
    {"keyword needs a blank after it", {"@ifdefX", "@defx a b;"}, "@ifdefX\n@defx a b;"},
  };
  for ( const case_t &c : cases )
  {
    std::string out, error;
    EXPECT_TRUE(preprocess_theme_lines(lines_of(c.lines), &out, &error)) << c.name << ": " << error;
    EXPECT_EQ(out, c.output) << c.name;
  }
}

TEST(ThemePreprocessor, HostileLinesGiveTheirErrors)
{
  struct case_t
  {
    const char *name;
    std::vector<std::string> lines;
    const char *error;
  };
  const case_t cases[] = {
    {"ifdef without name", {"@ifdef   "}, "@ifdef requires an argument"},
    {"ifndef without name", {"@ifndef"}, "@ifndef requires an argument"},
    {"else without if", {"@else"}, "Unbalanced @else"},
    {"second else", {"@ifdef A", "@else", "@else"}, "Unbalanced @else"},
    {"endif without if", {"a", "@endif"}, "Unbalanced @endif"},
    {"extra endif", {"@ifdef A", "@endif", "@endif"}, "Unbalanced @endif"},
    {"unterminated reference", {"color: ${x;"}, "Malformed variable reference: color: ${x;"},
    {"undefined variable", {"${nope}"}, "Undefined variable \"nope\""},
    {"def without name", {"@def"}, "Malformed @def: "},
    {"def name then end", {"@def name"}, "Malformed @def:  name"},
    {"def name then semicolon", {"@def name;"}, "Malformed @def:  name;"},
    {"def without semicolon", {"@def name value"}, "Malformed @def:  name value"},
    {"def value with a bad reference", {"@def a ${b;"}, "Malformed variable reference: @def a ${b;"},
    {"lighten without parenthesis", {"@lighten #fff, 10"}, "Malformed @lighten directive: @lighten #fff, 10"},
    {"lighten without comma", {"@lighten(#fff)"}, "Malformed @lighten directive: @lighten(#fff)"},
    {"darken unclosed", {"@darken(#fff, 10"}, "Malformed @darken directive: @darken(#fff, 10"},
    {"bad colour", {"@lighten(notacolour, 10)"}, "Color \"notacolour\" is not valid"},
    {"bad factor", {"@darken(red, 1.5)"}, "Invalid @darken factor: 1.5"},
    {"empty factor", {"@darken(red, )"}, "Invalid @darken factor: "},
    {"factor beyond int", {"@lighten(red, 99999999999)"}, "Invalid @lighten factor: 99999999999"},
    {"sign alone", {"@lighten(red, -)"}, "Invalid @lighten factor: -"},
  };
  for ( const case_t &c : cases )
  {
    std::string out, error;
    EXPECT_FALSE(preprocess_theme_lines(lines_of(c.lines), &out, &error)) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
  }
  // Errors inside skipped blocks are not seen; conditionals there still are.
  std::string out, error;
  EXPECT_TRUE(preprocess_theme_lines(lines_of({"@ifdef X", "${nope}", "@lighten(", "@endif"}), &out, &error));
  EXPECT_FALSE(preprocess_theme_lines(lines_of({"@ifdef X", "@endif", "@endif"}), &out, &error));
}

TEST(ThemePreprocessor, GrowingVariablesStopAtTheLimitInsteadOfExhaustingMemory)
{
  // Each line doubles the value: the reference of the line and the one of the value are both expanded.
  std::vector<std::string> lines {"@def a 0123456789abcdef;"};
  for ( int i = 0; i < 64; ++i )
    lines.push_back("@def a ${a}${a};");
  std::string out, error;
  EXPECT_FALSE(preprocess_theme_lines(lines_of(lines), &out, &error));
  EXPECT_EQ(error, "Theme text exceeds " + std::to_string(theme_text_limit) + " bytes");

  // Many uses of a large value stop at the limit of the output.
  std::vector<std::string> uses {"@def big " + std::string(1 << 20, 'x') + ";"};
  for ( int i = 0; i < 40; ++i )
    uses.push_back("${big}");
  EXPECT_FALSE(preprocess_theme_lines(lines_of(uses), &out, &error));
  EXPECT_EQ(error, "Theme text exceeds " + std::to_string(theme_text_limit) + " bytes");
}

TEST(ThemePreprocessor, DeepNestingCostsNoMoreThanFlatText)
{
  std::vector<std::string> lines;
  for ( int i = 0; i < 50000; ++i )
    lines.push_back("@ifndef V" + std::to_string(i));
  for ( int i = 0; i < 50000; ++i )
    lines.push_back("@def N" + std::to_string(i) + " 1;");
  lines.push_back("@def V7 1;");
  lines.push_back("hidden");
  std::string out, error;
  ASSERT_TRUE(preprocess_theme_lines(lines_of(lines), &out, &error)) << error;
  EXPECT_EQ(out.find("hidden"), std::string::npos);
  EXPECT_EQ(out.size(), lines.size() - 1);
}

TEST_F(ThemeDirs, BothPassesJoinAndEveryDirectoryContributesInOrder)
{
  put("program", "dark", "theme.css", "QWidget { color: white; }\n\n@def bg #101010;\nQMainWindow { background: ${bg}; }\n");
  put("user", "dark", "theme.css", "QLabel { color: @lighten(#808080, 150); }\r\n");
  put("user", "dark", "user.css", "QLabel { font-weight: bold; }");
  theme_t theme;
  theme.extra_css = "QToolTip { color: black; }";
  ASSERT_EQ(load("dark", dirs({"program", "user"}), &theme), "");
  EXPECT_EQ(theme.theme_css, "QWidget { color: white; }\n\nQMainWindow { background: #101010; }\nQLabel { color: #c0c0c0; }");
  EXPECT_EQ(theme.user_css, "QLabel { font-weight: bold; }");
  EXPECT_EQ(join_theme_stylesheets(theme, theme_join_user | theme_join_extra),
            "QWidget { color: white; }\n\nQMainWindow { background: #101010; }\nQLabel { color: #c0c0c0; }\n"
            "QLabel { font-weight: bold; }\nQToolTip { color: black; }");
  EXPECT_EQ(join_theme_stylesheets(theme, 0), QString::fromUtf8(theme.theme_css.c_str()));
  EXPECT_EQ(join_theme_stylesheets(theme, theme_join_extra),
            QString::fromUtf8(theme.theme_css.c_str()) + "\nQToolTip { color: black; }");
}

TEST_F(ThemeDirs, MissingFilesAndBadNames)
{
  put("a", "plain", "theme.css", "x");
  theme_t theme;
  EXPECT_EQ(load("plain", dirs({"a"}), &theme), "");
  EXPECT_EQ(theme.user_css, "");
  EXPECT_EQ(load("absent", dirs({"a"}), &theme), "Theme \"absent\" not found");
  put("a", "empty", "theme.css", "");
  EXPECT_EQ(load("empty", dirs({"a"}), &theme), "Theme \"empty\" not found");
  for ( const char *bad : {"", "..", "../a/plain", "a\\b"} )
    EXPECT_EQ(load(bad, dirs({"a"}), &theme), std::string("Invalid theme name \"") + bad + "\"") << bad;
  put("a", "imports-missing", "theme.css", "@importtheme \"absent\"");
  EXPECT_EQ(load("imports-missing", dirs({"a"}), &theme), "Theme \"absent\" not found");
  // A user.css that imports a theme without one is fine.
  put("a", "user-imports", "theme.css", "x");
  put("a", "user-imports", "user.css", "@importtheme \"plain\"\ny");
  EXPECT_EQ(load("user-imports", dirs({"a"}), &theme), "");
  EXPECT_EQ(theme.user_css, "y");
  // A directory where the file should be is not found; an unreadable file cannot be opened.
  fs::create_directories(root_ / "a" / "dirfile" / "theme.css");
  EXPECT_EQ(load("dirfile", dirs({"a"}), &theme), "Theme \"dirfile\" not found");
  if ( geteuid() != 0 )
  {
    put("a", "locked", "theme.css", "x");
    fs::permissions(root_ / "a" / "locked" / "theme.css", fs::perms::none);
    EXPECT_EQ(load("locked", dirs({"a"}), &theme),
              "Couldn't open file \"" + (root_ / "a" / "locked" / "theme.css").string() + "\" for reading.");
  }
}

TEST_F(ThemeDirs, ImportsAreReadOnceAndCyclesEnd)
{
  put("d", "base", "theme.css", "base-1\n@importtheme \"base\"\nbase-2");
  put("d", "mid", "theme.css", "mid-1\n@importtheme \"base\" trailing\n@importtheme \"top\"\nmid-2");
  put("d", "top", "theme.css", "top-1\n@importtheme \"mid\"\n@importtheme \"base\"\ntop-2");
  theme_t theme;
  ASSERT_EQ(load("top", dirs({"d"}), &theme), "");
  // Every theme's lines once, each repeated import only dropping its line.
  EXPECT_EQ(theme.theme_css, "top-1\nmid-1\nbase-1\nbase-2\nmid-2\ntop-2");
  put("d", "bad", "theme.css", "@importtheme base");
  EXPECT_EQ(load("bad", dirs({"d"}), &theme), "Malformed @importtheme: @importtheme base");
}

TEST_F(ThemeDirs, LongImportChainsStopAtTheirLimit)
{
  const int links = theme_import_depth_limit + 5;
  for ( int i = 0; i < links; ++i )
    put("d", "t" + std::to_string(i), "theme.css", "line " + std::to_string(i) + "\n@importtheme \"t" + std::to_string(i + 1) + "\"");
  put("d", "t" + std::to_string(links), "theme.css", "end");
  theme_t theme;
  EXPECT_EQ(load("t0", dirs({"d"}), &theme).rfind("Too many nested @importtheme: ", 0), 0u);
  const std::string short_chain = "t" + std::to_string(links - theme_import_depth_limit + 1);
  EXPECT_EQ(load(short_chain.c_str(), dirs({"d"}), &theme), "");
  EXPECT_EQ(std::string(theme.theme_css.view()).substr(theme.theme_css.size() - 3), "end");
}

TEST_F(ThemeDirs, RelpathAndTracesNameTheFilesAndLinesFound)
{
  put("p", "icons", "theme.css", "\n\na\n\n@importtheme \"other\"\nurl($RELPATH/x.svg) $RELPATH");
  put("p", "other", "theme.css", "b");
  recording_ui_callback_t ui;
  const uint32_t saved_flags = debug_flags;
  debug_flags |= theme_trace_flag;
  theme_t theme;
  const std::string error = load("icons", dirs({"p", "missing"}), &theme);
  debug_flags = saved_flags;
  ASSERT_EQ(error, "");
  const std::string dir = (root_ / "p" / "icons").string();
  EXPECT_EQ(theme.theme_css, "a\nb\nurl(" + dir + "/x.svg) " + dir);
  std::vector<std::string> logs;
  for ( const ui_request_record_t &r : ui.requests_of(23) )
    logs.push_back(r.text);
  const std::string file = (root_ / "p" / "icons" / "theme.css").string();
  EXPECT_NE(std::find(logs.begin(), logs.end(), "Themes: Trying file \"" + file + "\" ... found.\n"), logs.end());
  EXPECT_NE(std::find(logs.begin(), logs.end(),
                      "Themes: Trying file \"" + (root_ / "missing" / "icons" / "theme.css").string() + "\" ... not found.\n"),
            logs.end());
  // Blank lines do not count: the import is the file's second line, number 1.
  EXPECT_NE(std::find(logs.begin(), logs.end(), "Themes: Found @importtheme (" + file + ":1)\n"), logs.end());
}

TEST_F(ThemeDirs, ThemePathsAreNeverCut)
{
  std::string deep = "deep";
  while ( (root_ / deep).string().size() < 600 )
    deep += "/a-rather-long-folder-name";
  put(deep, "long", "theme.css", "QWidget { x: 1; }\n$RELPATH");
  theme_t theme;
  const qvector<qstring> themes_dirs = dirs({deep.c_str()});
  ASSERT_EQ(load("long", themes_dirs, &theme), "");
  EXPECT_EQ(theme.theme_css, "QWidget { x: 1; }\n" + (root_ / deep / "long").string());
}

TEST_F(ThemeDirs, HostileFilesFailClearlyOrLoad)
{
  struct case_t
  {
    const char *name;
    std::string content;
    std::string error_prefix; // "" when the theme loads
  };
  const case_t cases[] = {
    {"NUL byte", std::string("QWidget {\0}", 11), "Couldn't read file"},
    {"larger than the limit", std::string(theme_text_limit + 1, 'x'), "Couldn't read file"},
    {"invalid UTF-8", "QLabel { qproperty-text: \"\xFF\xC3\x28\xE2\x82\"; }", ""},
    {"a huge line", std::string(4 << 20, 'y'), ""},
    {"unbalanced else", "@else", "Unbalanced @else"},
    {"unterminated reference", "a ${b", "Malformed variable reference"},
    {"bad colour function", "@darken(#12345, 10)", "Color \"#12345\" is not valid"},
  };
  for ( const case_t &c : cases )
  {
    put("h", "hostile", "theme.css", c.content);
    theme_t theme;
    const std::string error = load("hostile", dirs({"h"}), &theme);
    if ( c.error_prefix.empty() )
      EXPECT_EQ(error, "") << c.name;
    else
      EXPECT_EQ(error.rfind(c.error_prefix, 0), 0u) << c.name << ": " << error;
  }
  // The invalid bytes reach Qt as replacement characters, never as a crash.
  put("h", "hostile", "theme.css", "QLabel { color: red; } \xFF\xFE");
  theme_t theme;
  ASSERT_EQ(load("hostile", dirs({"h"}), &theme), "");
  QWidget w;
  w.setStyleSheet(join_theme_stylesheets(theme, theme_join_user | theme_join_extra));
  w.ensurePolished();
}

// Pieces of theme text that meet each other's edge cases when thrown together.
const char *const theme_fragments[] = {
  "@ifdef A", "@ifndef A", "@ifdef __NT__", "@else", "@endif", "@ifdef", "@def A 1;", "@def B ${A}${A};",
  "@def B ${B}${B};", "@def C", "@def ;", "${A}", "${B}", "${", "}", "${nope}", "@lighten(red, 120)",
  "@darken(#abc, 300)", "@lighten(", "@darken(red,", "@lighten(bad, 1)", "@darken(red, x)", "@importtheme \"t0\"",
  "@importtheme \"t1\"", "@importtheme \"t2\"", "@importtheme \"\"", "@importtheme \"..\"", "@importtheme",
  "$RELPATH", "QWidget { color: red; }", "themeicon-x: url(a.svg);", "\xFF\xC3", "\r", "", "/*", "*/", "\"",
};

std::string random_theme_text(uint32_t *state, uint32_t max_lines)
{
  constexpr size_t fragment_count = sizeof(theme_fragments) / sizeof(*theme_fragments);
  std::string text;
  const uint32_t n = next_random(state) % max_lines;
  for ( uint32_t i = 0; i < n; ++i )
    text += std::string(theme_fragments[next_random(state) % fragment_count]) + "\n";
  return text;
}

TEST(ThemePreprocessor, RandomLinesGiveTextOrAnErrorInBoundedSize)
{
  constexpr int runs = seeded_runs(10000);
  uint32_t state = 0x1234567u;
  for ( int run = 0; run < runs; ++run )
  {
    const std::string text = random_theme_text(&state, 40);
    std::vector<std::string> lines;
    for ( size_t pos = 0, end; (end = text.find('\n', pos)) != std::string::npos; pos = end + 1 )
      lines.push_back(text.substr(pos, end - pos));
    std::string out, error;
    if ( preprocess_theme_lines(lines_of(lines), &out, &error) )
      EXPECT_LE(out.size(), theme_text_limit);
    else
      EXPECT_FALSE(error.empty());
    EXPECT_LT(error.size(), 1024u) << error;
  }
}

TEST_F(ThemeDirs, RandomThemesImportingEachOtherLoadOrFailWithAnError)
{
  constexpr int runs = seeded_runs(150);
  uint32_t state = 0x7654321u;
  for ( int run = 0; run < runs; ++run )
  {
    // Files are overwritten in place; one left from an earlier run only adds to the mix.
    for ( int t = 0; t < 3; ++t )
      put("r", "t" + std::to_string(t), next_random(&state) % 4 == 0 ? "user.css" : "theme.css",
          random_theme_text(&state, 24));
    theme_t theme;
    const std::string error = load("t0", dirs({"r"}), &theme);
    EXPECT_LE(theme.theme_css.size() + theme.user_css.size(), 2 * theme_text_limit);
    EXPECT_LT(error.size(), 1024u) << error;
  }
}

TEST(ThemeIcons, DeclarationsInsideBlocksReachTheReceiverInTextOrder)
{
  icon_receiver_t receiver;
  const QString sheet = QString::fromUtf8(
    "/* themeicon-commented: url(no.svg); */\n"
    "themeicon-outside: x.svg;\n"
    "ui_main_window_t {\n"
    "  themeicon-refresh: url(\"/themes/dark/refresh.svg\");\n"
    "  themeicon_open : '/themes/dark/open.png' ;\n"
    "  color: red; mythemeicon-no: a.svg; themeiconX: b.svg;\n"
    "  themeicon-: url( /e.svg )\n"
    "}\n"
    "QLabel { qproperty-text: \"themeicon-quoted: q.svg;\"; themeicon-last: last.svg }");
  EXPECT_EQ(feed_theme_icons(sheet, &receiver), 4);
  const std::vector<std::pair<QString, QString>> expected {
    {"themeicon-refresh", "/themes/dark/refresh.svg"},
    {"themeicon_open", "/themes/dark/open.png"},
    {"themeicon-", "/e.svg"},
    {"themeicon-last", "last.svg"},
  };
  EXPECT_EQ(receiver.received, expected);
  QObject no_slot;
  EXPECT_EQ(feed_theme_icons(sheet, &no_slot), 0);
  EXPECT_EQ(feed_theme_icons(sheet, nullptr), 0);
  // A property without a colon is no declaration; one without a value gives an empty file name.
  EXPECT_EQ(feed_theme_icons("a { themeicon-x", &receiver), 0);
  EXPECT_EQ(feed_theme_icons("a { themeicon-x:", &receiver), 1);
  EXPECT_EQ(receiver.received.back(), (std::pair<QString, QString>("themeicon-x", "")));
}

TEST_F(ThemeDirs, AThemeWithIconsGivesTheirFilesToTheReceiverAndQtIgnoresTheDeclarations)
{
  put("p", "iconic", "theme.css",
      "@def icons $RELPATH/icons;\n"
      "ui_main_window_t {\n"
      "  themeicon-refresh: url(${icons}/refresh.svg);\n"
      "}\n");
  theme_t theme;
  ASSERT_EQ(load("iconic", dirs({"p"}), &theme), "");
  icon_receiver_t receiver;
  const QString sheet = join_theme_stylesheets(theme, theme_join_user | theme_join_extra);
  EXPECT_EQ(feed_theme_icons(sheet, &receiver), 1);
  ASSERT_EQ(receiver.received.size(), 1u);
  EXPECT_EQ(receiver.received[0].second.toStdString(), (root_ / "p" / "iconic" / "icons" / "refresh.svg").string());
  QWidget w;
  w.setStyleSheet(sheet);
  w.ensurePolished();
}

} // namespace

#include "theme_stylesheets_test.moc"
