// Searchable widget mixin: type-ahead keys, row numbers, whole UTF-8 characters, the substring prompt.
#include "ui/searchable_widget.h"

#include "core/ui_callback.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/screenshots.h"

#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>
#include <vector>

namespace {

// A list that searches its rows case-insensitively, the way a filtered view does, and records what the
// mixin asked of it.
class search_list_t : public QListWidget, public searchable_widget_mixin_t
{
public:
  explicit search_list_t(const std::vector<std::string> &rows)
  {
    for ( const std::string &row : rows )
      addItem(QString::fromStdString(row));
    setCurrentRow(0);
    resize(240, 200);
  }

  bool find_next_match(QAbstractItemView *view, const char *text) override
  {
    EXPECT_EQ(view, this);
    EXPECT_EQ(busy, 1);
    return find_from(currentRow() + 1, +1, text);
  }
  bool find_match(QAbstractItemView *view, const char *text, int32_t flags) override
  {
    EXPECT_EQ(view, this);
    EXPECT_EQ(busy, 1);
    searched.emplace_back(text);
    search_flags.push_back(flags);
    const int step = (flags & search_backwards) != 0 ? -1 : 1;
    return find_from(currentRow() + ((flags & search_repeat) != 0 ? step : 0), step, text);
  }
  void show_status_text(const char *text) override { status = text; }
  void jump_to_row(int row) override
  {
    jumps.push_back(row);
    setCurrentRow(row);
  }

  // Whether the mixin used the last key, as the widget's key handling sees it.
  bool last_handled = false;
  std::vector<std::string> searched;
  std::vector<int32_t> search_flags;
  std::vector<int> jumps;
  std::string status;

protected:
  void keyPressEvent(QKeyEvent *event) override
  {
    last_handled = handle_search_key(this, event);
    if ( !last_handled )
      QListWidget::keyPressEvent(event);
  }

private:
  // From row `from` on in direction `step`, wrapping around, the first row containing the text.
  bool find_from(int from, int step, const char *text)
  {
    const QString needle = QString::fromUtf8(text);
    for ( int i = 0; i < count(); ++i )
    {
      const int row = ((from + step * i) % count() + count()) % count();
      if ( item(row)->text().contains(needle, Qt::CaseInsensitive) )
      {
        setCurrentRow(row);
        return true;
      }
    }
    return false;
  }
};

std::string typed_text(const search_list_t &list)
{
  return std::string(list.typed, size_t(list.typed_len));
}

// Sends one key press whose text is `text` (a whole character, surrogate pairs included).
void press_text(QWidget &widget, const QString &text, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
  QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, mods, text);
  QApplication::sendEvent(&widget, &press);
}

std::vector<std::string> numbered_rows(int n)
{
  std::vector<std::string> rows;
  for ( int i = 1; i <= n; ++i )
    rows.push_back("row" + std::to_string(i));
  return rows;
}

} // namespace

TEST(SearchableWidget, CharacterThatMatchesNothingIsDroppedAndOverwritten)
{
  search_list_t list({"zero", "xabd", "other"});
  list.show();
  QTest::keyClicks(&list, "ab");
  EXPECT_EQ(typed_text(list), "ab");
  EXPECT_EQ(list.currentRow(), 1);
  QTest::keyClick(&list, Qt::Key_C);
  EXPECT_TRUE(list.last_handled);
  EXPECT_EQ(typed_text(list), "ab");
  QTest::keyClick(&list, Qt::Key_D);
  EXPECT_EQ(typed_text(list), "abd");
  EXPECT_EQ(list.searched, (std::vector<std::string>{"a", "ab", "abc", "abd"}));
  EXPECT_EQ(list.search_flags, (std::vector<int32_t>{2, 2, 2, 2}));
  EXPECT_EQ(list.busy, 0);
  save_screenshot(list, "typed-abd");
}

TEST(SearchableWidget, NonAsciiCharactersAreStoredAndRemovedWhole)
{
  search_list_t list({"plain", "caf\xC3\xA9 cr\xC3\xA8me", "na\xC3\xAFve", "smile \xF0\x9F\x98\x80 face"});
  list.show();
  QTest::keyClicks(&list, "caf");
  press_text(list, QString::fromUtf8("\xC3\x89")); // capital E acute finds the lower-case row
  EXPECT_EQ(typed_text(list), "caf\xC3\x89");
  EXPECT_EQ(list.currentRow(), 1);
  press_text(list, QString::fromUtf8("\xC3\xB1")); // n tilde matches nothing: dropped whole
  EXPECT_EQ(typed_text(list), "caf\xC3\x89");
  EXPECT_EQ(list.searched.back(), "caf\xC3\x89\xC3\xB1");

  QTest::keyClick(&list, Qt::Key_Backspace);
  EXPECT_TRUE(list.last_handled);
  EXPECT_EQ(typed_text(list), "caf");
  EXPECT_EQ(list.status, "caf");
  EXPECT_EQ(list.typed[3], '\0');

  // A character outside the basic plane arrives as a surrogate pair and is kept as its four bytes.
  for ( int i = 0; i < 3; ++i )
    QTest::keyClick(&list, Qt::Key_Backspace);
  EXPECT_EQ(list.typed_len, 0);
  press_text(list, QString::fromUtf8("\xF0\x9F\x98\x80"));
  EXPECT_EQ(typed_text(list), "\xF0\x9F\x98\x80");
  EXPECT_EQ(list.currentRow(), 3);
  QTest::keyClick(&list, Qt::Key_Backspace);
  EXPECT_EQ(list.typed_len, 0);
  EXPECT_EQ(list.status, "");
}

TEST(SearchableWidget, DigitsTypeARowNumberUntilTextIsTyped)
{
  search_list_t list(numbered_rows(15));
  list.show();
  QTest::keyClick(&list, Qt::Key_1);
  QTest::keyClick(&list, Qt::Key_2);
  EXPECT_EQ(list.jumps, (std::vector<int>{0, 11}));
  EXPECT_EQ(list.currentRow(), 11);
  EXPECT_EQ(list.row_number, 12);
  EXPECT_TRUE(list.searched.empty());

  // Escape clears the row number and the text and goes on to the view.
  QTest::keyClick(&list, Qt::Key_Escape);
  EXPECT_FALSE(list.last_handled);
  EXPECT_EQ(list.row_number, 0);

  // A leading 0 is swallowed without a jump.
  list.jumps.clear();
  QTest::keyClick(&list, Qt::Key_0);
  EXPECT_TRUE(list.last_handled);
  EXPECT_TRUE(list.jumps.empty());
  QTest::keyClick(&list, Qt::Key_3);
  EXPECT_EQ(list.jumps, (std::vector<int>{2}));
  QTest::keyClick(&list, Qt::Key_Escape);

  // After a letter, digits are searched as text.
  QTest::keyClicks(&list, "w1");
  EXPECT_EQ(list.searched, (std::vector<std::string>{"w", "w1"}));
  EXPECT_EQ(typed_text(list), "w1");
  EXPECT_EQ(list.jumps, (std::vector<int>{2}));
}

TEST(SearchableWidget, KeysThatAreNotSearchKeys)
{
  search_list_t list(numbered_rows(5));
  list.show();
  list.setCurrentRow(2);

  // Keypad digits carry the keypad modifier: not handled at all.
  QTest::keyClick(&list, Qt::Key_4, Qt::KeypadModifier);
  EXPECT_FALSE(list.last_handled);
  EXPECT_TRUE(list.jumps.empty());
  EXPECT_EQ(list.typed_len, 0);

  // Backspace with an empty buffer clears the row number and is passed on.
  QTest::keyClick(&list, Qt::Key_1);
  EXPECT_EQ(list.row_number, 1);
  QTest::keyClick(&list, Qt::Key_Backspace);
  EXPECT_FALSE(list.last_handled);
  EXPECT_EQ(list.row_number, 0);

  // Ctrl+Return with nothing typed, and letters with Control, are not handled; the view moves on Down.
  QTest::keyClick(&list, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_FALSE(list.last_handled);
  QTest::keyClick(&list, Qt::Key_A, Qt::ControlModifier);
  EXPECT_FALSE(list.last_handled);
  EXPECT_TRUE(list.searched.empty());
  QTest::keyClick(&list, Qt::Key_Down);
  EXPECT_FALSE(list.last_handled);
  EXPECT_EQ(list.currentRow(), 1);

  // Shift-typed letters are text; a disabled mixin handles nothing.
  QTest::keyClick(&list, 'R', Qt::ShiftModifier);
  EXPECT_TRUE(list.last_handled);
  EXPECT_EQ(typed_text(list), "R");
  list.enabled = false;
  QTest::keyClick(&list, Qt::Key_O);
  EXPECT_FALSE(list.last_handled);
  EXPECT_EQ(typed_text(list), "R");
}

TEST(SearchableWidget, ControlReturnRepeatsTheSearchBothWays)
{
  search_list_t list({"alpha", "beta", "alps", "gamma", "alto"});
  list.show();
  QTest::keyClicks(&list, "al");
  EXPECT_EQ(list.currentRow(), 0);
  QTest::keyClick(&list, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_TRUE(list.last_handled);
  EXPECT_EQ(list.currentRow(), 2);
  QTest::keyClick(&list, Qt::Key_Enter, Qt::ControlModifier);
  EXPECT_EQ(list.currentRow(), 4);
  QTest::keyClick(&list, Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(list.currentRow(), 2);
  EXPECT_EQ(list.search_flags, (std::vector<int32_t>{2, 2, 1, 1, 5}));
  EXPECT_EQ(list.searched.back(), "al");
  EXPECT_EQ(typed_text(list), "al");
}

TEST(SearchableWidget, TypedTextKeepsWholeCharactersWithinItsRoom)
{
  search_list_t list({std::string(1100, 'a') + "\xC3\xA9"});
  list.show();
  const QString ascii(1022, QLatin1Char('a'));
  for ( const QChar c : ascii )
    press_text(list, QString(c));
  ASSERT_EQ(list.typed_len, 1022);
  // Two bytes do not fit in the one byte left: dropped, the key still counts as used.
  press_text(list, QString::fromUtf8("\xC3\xA9"));
  EXPECT_TRUE(list.last_handled);
  EXPECT_EQ(list.typed_len, 1022);
  EXPECT_EQ(list.typed[1022], '\0');
  press_text(list, "a");
  EXPECT_EQ(list.typed_len, 1023);
  // The 1024th character is not stored and not searched.
  const size_t searches = list.searched.size();
  press_text(list, "a");
  EXPECT_TRUE(list.last_handled);
  EXPECT_EQ(list.typed_len, 1023);
  EXPECT_EQ(list.searched.size(), searches);
  EXPECT_EQ(list.typed[1023], '\0');
}

TEST(SearchableWidget, PromptSearchFindsLogsAndHonoursCancel)
{
  recording_ui_callback_t ui;
  search_list_t list({"one", "two", "three", "twelve"});
  const auto answer = [&ui](int64_t result, const char *text) {
    ui.script_form([result, text](const char *, va_list args) -> int64_t {
      *va_arg(args, qstring *) = text;
      return result;
    });
  };

  answer(1, "tw");
  list.prompt_search(&list);
  EXPECT_EQ(list.currentRow(), 1);
  ASSERT_EQ(ui.requests_of(ui_code_form_dialog).size(), 1u);
  EXPECT_EQ(ui.requests_of(ui_code_form_dialog)[0].text,
            "Enter the search substring\n\n <#The search is case-insensitive#String:q:1000:50::>\n\n");
  list.repeat_search(&list);
  EXPECT_EQ(list.currentRow(), 3);
  EXPECT_EQ(list.busy, 0);

  // Cancelled: the field keeps what the dialog returned; nothing is searched.
  answer(0, "thr");
  list.prompt_search(&list);
  EXPECT_EQ(std::string(list.last_search.c_str()), "thr");
  EXPECT_EQ(list.currentRow(), 3);
  answer(1, "");
  list.prompt_search(&list);
  EXPECT_EQ(list.currentRow(), 3);
  EXPECT_TRUE(ui.requests_of(ui_code_log).empty());

  answer(1, "four");
  list.prompt_search(&list);
  const std::vector<ui_request_record_t> logged = ui.requests_of(ui_code_log);
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].text, "String \"four\" not found\n");

  // Without a text to repeat, nothing happens.
  list.last_search = "";
  list.repeat_search(&list);
  EXPECT_EQ(ui.requests_of(ui_code_log).size(), 1u);
}

TEST(SearchableWidget, JumpMatchFlags)
{
  const int expected[8] = {9, 11, 9, 11, 13, 15, 13, 15};
  for ( int flags = 0; flags < 8; ++flags )
    EXPECT_EQ(searchable_widget_mixin_t::jump_match_flags(flags), expected[flags]) << flags;
}
