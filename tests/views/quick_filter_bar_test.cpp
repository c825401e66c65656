// The quick filter bar and its input line driven by real key, mouse and context-menu events: the typing and
// history delays, the keys handed to the view, the mode actions kept per widget, hiding and showing, and the
// input's context menu with its column choice.
#include "core/registry.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/popup_dispatch.h"
#include "tests/ui/app/screenshots.h"
#include "tests/views/filtered_test_widget.h"
#include "tests/views/view_actions.h"
#include "ui/input_history.h"
#include "views/chooser/quick_filter_input.h"
#include "views/filter/quick_filter_widget.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace
{

using names_t = std::vector<std::string>;

const names_t fruit = {"apple", "banana", "cherry", "grape", "melon"};

// A list titled `title` with its bar attached and shown, the window active and the input focused.
struct listed_t
{
  std::unique_ptr<test_filtered_widget_t> widget;
  quick_filter_widget_t *bar = nullptr;

  [[nodiscard]] quick_filter_input_t *input() const { return bar->input(); }
};

listed_t list_with_bar(const char *title, const names_t &names = fruit)
{
  register_filtered_view_actions();
  listed_t listed;
  listed.widget = std::make_unique<test_filtered_widget_t>(std::vector<test_folder_t>(), make_rows(names));
  listed.widget->setWindowTitle(QString::fromUtf8(title));
  listed.bar = listed.widget->add_quick_filter_bar();
  listed.widget->show();
  EXPECT_TRUE(QTest::qWaitForWindowActive(listed.widget.get()));
  listed.widget->set_quick_filter_visible(true);
  return listed;
}

int32_t stored_flags(const char *title)
{
  return registry_int(title, false, -1, quick_filter_flags_subkey);
}

// Types the text key by key, pausing between keys.
void type_text(QWidget *input, const char *text, int pause_ms = 0)
{
  for ( const char *c = text; *c != '\0'; ++c )
  {
    if ( pause_ms > 0 && c != text )
      QTest::qWait(pause_ms);
    QTest::keyClick(input, *c);
  }
}

// The texts of a menu's entries, "-" for a separator.
QStringList entry_texts(const QMenu *menu)
{
  QStringList texts;
  for ( const QAction *action : menu->actions() )
    texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
  return texts;
}

QMenu *shown_popup()
{
  return qobject_cast<QMenu *>(QApplication::activePopupWidget());
}

// Opens the input's context menu at x (the middle of its height), lets `inspect` look at it, then closes it.
void with_context_menu(quick_filter_input_t *input, int x, const std::function<void(QMenu *)> &inspect)
{
  bool seen = false;
  QTimer::singleShot(0, input, [&] {
    QMenu *menu = shown_popup();
    seen = menu != nullptr;
    if ( menu != nullptr )
    {
      inspect(menu);
      if ( QMenu *still = shown_popup() )
        still->close();
      if ( menu->isVisible() )
        menu->close();
    }
  });
  const QPoint at(x, input->height() / 2);
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, input->mapToGlobal(at));
  QApplication::sendEvent(input, &event);
  EXPECT_TRUE(seen) << "the context menu was shown";
}

} // namespace

// ---- Typing --------------------------------------------------------------------------------------------

TEST(QuickFilterBar, TypingAppliesTheFilterOnceAfterTheLastKeyAndRecordsTheHistoryLater)
{
  listed_t l = list_with_bar("typing list");
  QSignalSpy applied(l.bar, &quick_filter_widget_t::filter_changed);
  QSignalSpy history(l.input(), &quick_filter_input_t::search_history_changed);
  type_text(l.input(), "ape", 60);
  QElapsedTimer since_last_key;
  since_last_key.start();
  EXPECT_EQ(applied.count(), 0) << "nothing applies while typing";
  EXPECT_EQ(l.widget->shown_names().size(), fruit.size());

  ASSERT_TRUE(pump_until([&] { return applied.count() > 0; }, 2s));
  // Timers may fire a little early (coarse timers: 5%).
  EXPECT_GE(since_last_key.elapsed(), quick_filter_typing_delay_ms * 95 / 100);
  EXPECT_LT(since_last_key.elapsed(), quick_filter_history_delay_ms);
  EXPECT_EQ(applied.count(), 1) << "three keys, one application";
  EXPECT_EQ(l.widget->shown_names(), names_t({"grape"}));
  EXPECT_EQ(history.count(), 0);

  ASSERT_TRUE(pump_until([&] { return history.count() > 0; }, 4s));
  EXPECT_GE(since_last_key.elapsed(), quick_filter_history_delay_ms * 95 / 100);
  EXPECT_EQ(history.count(), 1);
  EXPECT_EQ(applied.count(), 1) << "the history step does not filter again";
  EXPECT_EQ(quick_filter_history()->entries().value(0), "ape");
  input_history_t stored;
  stored.load_from_registry(quick_filter_history_name);
  EXPECT_EQ(stored.entries.value(0), "ape");
}

TEST(QuickFilterBar, ClearingAppliesAtOnceAndCancelsThePendingHistory)
{
  listed_t l = list_with_bar("clearing list");
  type_text(l.input(), "an");
  ASSERT_TRUE(pump_until([&] { return l.widget->shown_names() == names_t({"banana"}); }, 2s));
  EXPECT_TRUE(l.input()->history_pending());
  QTest::keyClick(l.input(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(l.input(), Qt::Key_Backspace);
  EXPECT_EQ(l.input()->text(), "");
  EXPECT_EQ(l.widget->shown_names(), fruit) << "the emptied filter applies at once";
  EXPECT_TRUE(l.widget->conditions().empty());
  EXPECT_FALSE(l.input()->typing_pending());
  EXPECT_FALSE(l.input()->history_pending()) << "an emptied text never reaches the history";
}

TEST(QuickFilterBar, TheEngineNeverOverwritesWhatIsBeingTyped)
{
  listed_t l = list_with_bar("overwrite list");
  type_text(l.input(), "ch");
  ASSERT_TRUE(l.input()->typing_pending());
  view_snapshot_t snapshot;
  l.widget->take_snapshot(&snapshot, 7);
  l.widget->resync_view(snapshot, 0); // the engine shows its (empty) condition
  EXPECT_EQ(l.input()->text(), "ch");
  ASSERT_TRUE(pump_until([&] { return l.widget->shown_names() == names_t({"cherry"}); }, 2s));
}

// ---- Keys for the view ---------------------------------------------------------------------------------

TEST(QuickFilterBar, ReservedKeysReachTheViewAndNeverEditTheText)
{
  listed_t l = list_with_bar("keys list", {"r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7", "r8", "r9", "r10", "r11",
                                           "r12", "r13", "r14", "r15", "r16", "r17", "r18", "r19", "r20", "r21"});
  QTreeView *view = l.widget->view();
  type_text(l.input(), "r");
  l.input()->setCursorPosition(0);
  struct row_t
  {
    Qt::Key key;
    int from;
    bool moves_down; // the current row goes down (else up)
  };
  const std::vector<row_t> rows = {
    {Qt::Key_Down, 3, true}, {Qt::Key_Up, 3, false}, {Qt::Key_PageDown, 3, true}, {Qt::Key_PageUp, 15, false},
  };
  for ( const row_t &row : rows )
  {
    view->setCurrentIndex(view->model()->index(row.from, 0));
    QTest::keyClick(l.input(), row.key);
    const int now = view->currentIndex().row();
    EXPECT_EQ(now > row.from, row.moves_down) << row.key;
    EXPECT_NE(now, row.from) << row.key;
    EXPECT_EQ(l.input()->text(), "r") << row.key;
    EXPECT_EQ(l.input()->cursorPosition(), 0) << row.key;
    EXPECT_TRUE(l.input()->hasFocus()) << row.key;
  }
  // Escape gives the focus back to the list.
  int reserved = 0;
  QObject::connect(l.bar, &quick_filter_widget_t::reserved_key_press, l.bar, [&] { ++reserved; });
  QTest::keyClick(l.input(), Qt::Key_Escape);
  EXPECT_EQ(reserved, 1);
  EXPECT_FALSE(l.input()->hasFocus());
  EXPECT_TRUE(l.widget->hasFocus());
  EXPECT_EQ(l.input()->text(), "r");
}

// ---- Modes ---------------------------------------------------------------------------------------------

TEST(QuickFilterBar, ModeActionsToggleAndPersistPerWidget)
{
  listed_t first = list_with_bar("first mode list");
  listed_t second = list_with_bar("second mode list");
  first.widget->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(first.widget.get()));
  first.input()->setFocus();
  ASSERT_TRUE(first.input()->hasFocus());

  struct row_t
  {
    const char *action;
    uint32_t flags; // the first bar's flags afterwards
  };
  const std::vector<row_t> rows = {
    {"QuickFilterModeFuzzy", 0x80000003},
    {"QuickFilterModeFuzzy", 0x80000000}, // twice: back to substring
    {"QuickFilterModeRegex", 0x80000002},
    {"QuickFilterModeWholeWords", 0x80000001}, // another mode replaces it
    {"QuickFilterMatchCase", 0x80000021},
    {"QuickFilterModeWholeWords", 0x80000020},
    {"QuickFilterMatchCase", 0x80000000},
  };
  for ( const row_t &row : rows )
  {
    QAction *action = qaction_of(row.action);
    ASSERT_NE(action, nullptr) << row.action;
    action->trigger();
    EXPECT_EQ(first.bar->flags(), row.flags) << row.action;
    // Stored while a bit besides bit 31 is set, deleted otherwise.
    EXPECT_EQ(stored_flags("first mode list"), row.flags == 0x80000000 ? -1 : int32_t(row.flags)) << row.action;
    EXPECT_EQ(second.bar->flags(), 0x80000000u) << row.action << ": the other bar keeps its own mode";
    EXPECT_EQ(stored_flags("second mode list"), -1) << row.action;
    EXPECT_EQ(qaction_of("QuickFilterMatchCase")->isChecked(), (row.flags & 0x20) != 0) << row.action;
    EXPECT_EQ(qaction_of("QuickFilterModeWholeWords")->isChecked(), (row.flags & 3) == 1) << row.action;
    EXPECT_EQ(qaction_of("QuickFilterModeRegex")->isChecked(), (row.flags & 3) == 2) << row.action;
    EXPECT_EQ(qaction_of("QuickFilterModeFuzzy")->isChecked(), (row.flags & 3) == 3) << row.action;
  }

  // A new bar of the same title starts with what was stored.
  qaction_of("QuickFilterModeRegex")->trigger();
  listed_t again = list_with_bar("first mode list");
  EXPECT_EQ(again.bar->flags(), 0x80000002u);
}

TEST(QuickFilterBar, StoredFlagsThatNameNoChoiceStartAtTheDefault)
{
  struct row_t
  {
    const char *why;
    int32_t stored;
    uint32_t flags;
  };
  const std::vector<row_t> rows = {
    {"fuzzy with match case", int32_t(0x80000023), 0x80000023},
    {"disabled while hidden", int32_t(0x80000041), 0x80000041},
    {"an action bit", int32_t(0x80000400), 0x80000000},
    {"a condition", int32_t(0x80003000), 0x80000000},
    {"an unknown bit", int32_t(0x80000100), 0x80000000},
    {"all ones", -1, 0x80000000},
  };
  register_filtered_view_actions();
  for ( const row_t &row : rows )
  {
    (void)registry_int("stored flags list", true, row.stored, quick_filter_flags_subkey);
    QWidget parent;
    parent.setWindowTitle("stored flags list");
    const quick_filter_widget_t bar(&parent);
    EXPECT_EQ(bar.flags(), row.flags) << row.why;
  }
}

TEST(QuickFilterBar, AWidgetWithoutTitleNeverStoresItsFlags)
{
  register_filtered_view_actions();
  QWidget parent;
  quick_filter_widget_t bar(&parent);
  EXPECT_TRUE(bar.settings_name().empty());
  bar.set_flags(0x23);
  EXPECT_EQ(bar.flags(), 0x80000023u);
  qvector<qstring> names;
  if ( registry_list_names(&names, quick_filter_flags_subkey, false) )
  {
    for ( const qstring &name : names )
      EXPECT_FALSE(name.empty());
  }
}

TEST(QuickFilterBar, SwitchingATypedFilterToFuzzySortsByRankOnce)
{
  listed_t l = list_with_bar("fuzzy list", {"xaxbxc", "abc", "a_b_c", "cab"});
  type_text(l.input(), "abc");
  ASSERT_TRUE(pump_until([&] { return l.widget->shown_names() == names_t({"abc"}); }, 2s));
  QSignalSpy changed(l.bar, &quick_filter_widget_t::filter_changed);
  l.bar->set_mode(filter_mode_fuzzy);
  EXPECT_EQ(changed.count(), 1);
  ASSERT_NE(l.widget->sorting(), nullptr);
  EXPECT_EQ(l.widget->sorting()->kind, bucket_sorting_strategy_t::fuzzy_sorting);
  // A complete match of word starts ranks first.
  EXPECT_EQ(l.widget->shown_names(), names_t({"a_b_c", "abc", "xaxbxc"}));
  // Repeating the same substring or fuzzy state tells nothing.
  l.bar->set_mode(filter_mode_fuzzy);
  EXPECT_EQ(changed.count(), 1);
  // Match case alone is a change.
  l.bar->set_flags(l.bar->flags() | filter_match_case);
  EXPECT_EQ(changed.count(), 2);
  l.bar->set_mode(filter_mode_substring);
  EXPECT_EQ(l.widget->sorting(), nullptr);
}

// ---- Showing and hiding --------------------------------------------------------------------------------

TEST(QuickFilterBar, HidingTheBarWhileItsListIsVisibleDisablesTheFilter)
{
  listed_t l = list_with_bar("hiding list");
  type_text(l.input(), "er");
  ASSERT_TRUE(pump_until([&] { return l.widget->shown_names() == names_t({"cherry"}); }, 2s));
  (void)save_screenshot(*l.widget, "filtered");

  // The bar's close button.
  QPushButton *close = l.bar->findChild<QPushButton *>();
  ASSERT_NE(close, nullptr);
  QTest::mouseClick(close, Qt::LeftButton);
  EXPECT_FALSE(l.bar->isVisible());
  EXPECT_TRUE(l.widget->hasFocus());
  EXPECT_NE(l.bar->flags() & filter_disabled, 0u);
  EXPECT_EQ(l.widget->shown_names(), fruit);
  (void)save_screenshot(*l.widget, "bar-hidden");

  // The quick filter action shows it again, with the same text.
  l.widget->set_quick_filter_visible(true);
  EXPECT_TRUE(l.input()->hasFocus());
  EXPECT_EQ(l.bar->flags() & filter_disabled, 0u);
  EXPECT_EQ(l.input()->text(), "er");
  EXPECT_EQ(l.widget->shown_names(), names_t({"cherry"}));

  // Hidden together with its list, the bar keeps its condition.
  l.widget->hide();
  EXPECT_EQ(l.bar->flags() & filter_disabled, 0u);
  l.widget->show();
  EXPECT_EQ(l.widget->shown_names(), names_t({"cherry"}));
  // Closing the list stores nothing for a bar that was in use.
  l.widget.reset();
  EXPECT_EQ(stored_flags("hiding list"), -1);
}

// ---- The context menu ----------------------------------------------------------------------------------

TEST(QuickFilterBar, TheContextMenuOffersTheModesTheTextEntriesAndTheColumns)
{
  recording_ui_callback_t ui;
  answer_popup_requests(ui);
  listed_t l = list_with_bar("menu list", {"alpha 10", "beta 20", "gamma 10"});
  // An empty title (assigned, no text) and a missing one (never assigned); copies of an empty qstring would
  // read as missing, so they are assigned in place.
  l.widget->titles.resize(4);
  l.widget->titles[1].assign("", 0);
  l.widget->titles[2].clear();
  l.widget->titles[3] = "Kind";
  l.input()->setFocus();
  qaction_of("QuickFilterModeFuzzy")->trigger();
  ASSERT_EQ(l.bar->mode(), filter_mode_fuzzy);
  QList<QPixmap> glyphs;
  l.input()->mode_indicators(&glyphs, *l.bar);
  ASSERT_EQ(glyphs.size(), 1);
  const int area = quick_filter_input_t::indicator_area_width(glyphs);
  (void)save_screenshot(*l.widget, "fuzzy-glyph");

  QStringList on_text;
  QStringList on_glyphs;
  QStringList columns;
  with_context_menu(l.input(), area + 20, [&](QMenu *menu) {
    on_text = entry_texts(menu);
    for ( QAction *action : menu->actions() )
      if ( action->menu() != nullptr && action->text() == "Column" )
      {
        columns = entry_texts(action->menu());
        for ( QAction *entry : action->menu()->actions() )
          if ( entry->isChecked() )
            columns.append("checked: " + entry->text());
      }
  });
  with_context_menu(l.input(), 2, [&](QMenu *menu) { on_glyphs = entry_texts(menu); });

  const auto has = [](const QStringList &texts, const char *start) {
    for ( const QString &text : texts )
      if ( text.startsWith(QLatin1String(start)) )
        return true;
    return false;
  };
  for ( const char *entry : {"&Undo", "Cu&t", "&Copy", "&Paste", "Select All"} )
  {
    EXPECT_TRUE(has(on_text, entry)) << entry;
    EXPECT_FALSE(has(on_glyphs, entry)) << entry;
  }
  for ( const QStringList &texts : {on_text, on_glyphs} )
    for ( const char *entry : {"Match case", "Whole words", "Regular expression", "Fuzzy matching", "Column"} )
      EXPECT_TRUE(has(texts, entry)) << entry;
  // All, a separator, then the titles: an empty one numbered, a missing one a separator.
  EXPECT_EQ(columns, QStringList({"All", "-", "Name", "Column #1", "-", "Kind", "checked: All"}));
}

TEST(QuickFilterBar, ChoosingAColumnFiltersThatColumnOnly)
{
  recording_ui_callback_t ui;
  answer_popup_requests(ui);
  listed_t l = list_with_bar("column list", {"alpha", "beta", "gamma"});
  // Sizes are "1", "2", "3": "2" is in the Size column of beta only, and in no name.
  type_text(l.input(), "a");
  ASSERT_TRUE(pump_until([&] { return !l.widget->conditions().empty(); }, 2s));
  EXPECT_EQ(l.widget->shown_names(), names_t({"alpha", "beta", "gamma"}));

  const auto choose = [&](const char *entry) {
    with_context_menu(l.input(), l.input()->width() - 10, [&](QMenu *menu) {
      QAction *column = nullptr;
      for ( QAction *action : menu->actions() )
        if ( action->text() == "Column" )
          column = action;
      ASSERT_NE(column, nullptr);
      // The user opens the submenu and clicks the entry.
      QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(column).center());
      ASSERT_TRUE(pump_until([&] { return shown_popup() == column->menu(); }, 2s));
      QMenu *sub = column->menu();
      for ( QAction *action : sub->actions() )
        if ( action->text() == entry )
          QTest::mouseClick(sub, Qt::LeftButton, Qt::NoModifier, sub->actionGeometry(action).center());
    });
  };
  choose("Size");
  EXPECT_EQ(l.bar->target_column(), 1);

  EXPECT_EQ(l.widget->shown_names(), names_t()) << "no size holds an 'a'";
  QTest::keyClick(l.input(), Qt::Key_Backspace);
  type_text(l.input(), "2");
  ASSERT_TRUE(pump_until([&] { return l.widget->shown_names() == names_t({"beta"}); }, 2s));
  choose("All");
  EXPECT_EQ(l.bar->target_column(), -1);
  EXPECT_EQ(l.widget->shown_names(), names_t({"beta"}));
  choose("Name");
  EXPECT_EQ(l.widget->shown_names(), names_t());
}
