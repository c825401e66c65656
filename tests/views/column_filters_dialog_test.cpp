// The column filters dialog driven with keys and clicks through "Modify filters...": adding, editing by
// activation, disabling by the row's box, deleting, resetting, the condition list under "Regular expression",
// the stored input settings, and the list order deciding what the view shows.
#include "views/chooser/column_filters_dialog.h"

#include "core/registry.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/screenshots.h"
#include "tests/views/filtered_test_widget.h"
#include "tests/views/form_request_player.h"
#include "tests/views/painted_option.h"
#include "tests/views/view_actions.h"
#include "forms/inputs/color_button.h"
#include "ui/action_context.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{

using names_t = std::vector<std::string>;

// The dialog's widgets, by their object names.
struct dialog_t
{
  edit_filters_dialog_t *dialog;

  template <typename W>
  W *find(const char *name) const
  {
    W *widget = dialog->findChild<W *>(QLatin1String(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QComboBox *column() const { return find<QComboBox>("comboColumn"); }
  QComboBox *condition() const { return find<QComboBox>("comboCondition"); }
  QComboBox *value() const { return find<QComboBox>("comboText"); }
  QComboBox *action() const { return find<QComboBox>("comboAction"); }
  QCheckBox *regex() const { return find<QCheckBox>("cbRegExp"); }
  QCheckBox *match_case() const { return find<QCheckBox>("cbMatchCase"); }
  QTableWidget *table() const { return find<QTableWidget>("tableFilters"); }
  ColorButton *highlight() const { return dialog->findChild<ColorButton *>(); }

  void click(const char *button) const { QTest::mouseClick(find<QPushButton>(button), Qt::LeftButton); }
  // Picks an entry of a combo box with the keyboard: Home, then Down as often as needed.
  static void pick(QComboBox *combo, int index)
  {
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Home);
    for ( int i = 0; i < index; ++i )
      QTest::keyClick(combo, Qt::Key_Down);
  }
  // Types a value and clicks Add.
  void add(const char *text) const
  {
    QLineEdit *line = value()->lineEdit();
    line->selectAll();
    QTest::keyClicks(line, QString::fromUtf8(text));
    click("btnAdd");
  }
  [[nodiscard]] QStringList row_texts(int row) const
  {
    QStringList texts;
    for ( int c = 0; c < table()->columnCount(); ++c )
      texts.append(table()->item(row, c)->text());
    return texts;
  }
  // Activates a row as the user does: a click makes it current, Return activates it.
  void activate(int row) const
  {
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, Qt::NoModifier, row_rect(row).center());
    QTest::keyClick(table(), Qt::Key_Return);
  }
  [[nodiscard]] QRect row_rect(int row, int column = 1) const
  {
    return table()->visualRect(table()->model()->index(row, column));
  }
};

// Clicks the check box of the row's "Column" item.
void click_row_box(QTableWidget *table, int row)
{
  const QStyleOptionViewItem option = painted_option(table, table->model()->index(row, 0));
  const QRect box = table->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, table);
  QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
}

int32_t stored(const char *value)
{
  return registry_int(value, false, -2);
}

void forget_stored_settings()
{
  (void)registry_remove_value(filter_flags_value);
  (void)registry_remove_value(filter_color_value);
}

// A list of rows "name" with sizes 1, 2, ..., the widget pinned as the one actions apply to; the dialog's
// stored settings are forgotten.
struct listed_t
{
  std::unique_ptr<test_filtered_widget_t> widget;

  explicit listed_t(const names_t &names)
  {
    register_filtered_view_actions();
    widget = std::make_unique<test_filtered_widget_t>(std::vector<test_folder_t>(), make_rows(names));
    widget->setWindowTitle("filters list");
    widget->show();
    forget_stored_settings();
    test_app().action_provider().pinned_widget = widget.get();
  }
  ~listed_t() { test_app().action_provider().pinned_widget = nullptr; }

  // Runs "Modify filters..." while `drive` plays the user; the dialog is closed afterwards unless drive did.
  void modify(const std::function<void(const dialog_t &)> &drive)
  {
    bool driven = false;
    QTimer::singleShot(0, widget.get(), [&] {
      auto *dialog = qobject_cast<edit_filters_dialog_t *>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
      driven = true;
      drive(dialog_t {dialog});
      if ( dialog->isVisible() )
        QTest::mouseClick(dialog->findChild<QPushButton *>("btnCancel"), Qt::LeftButton);
    });
    trigger("DirTreeModifyFilters");
    EXPECT_TRUE(driven);
  }
};

} // namespace

TEST(ColumnFiltersDialog, AddedFiltersApplyAtOnceNewestFirst)
{
  recording_ui_callback_t ui;
  listed_t l({"alpha", "beta", "gamma", "delta"});
  l.modify([&](const dialog_t &d) {
    EXPECT_EQ(d.dialog->windowTitle(), "Modify filters...");
    EXPECT_EQ(d.column()->count(), 3);
    EXPECT_EQ(d.column()->itemText(0), "(any)");
    EXPECT_EQ(d.condition()->count(), 8);
    // Excluding what the Size column holds as 4 (delta), in that column only.
    d.pick(d.column(), 2);
    d.pick(d.action(), 1);
    d.add("4");
    EXPECT_EQ(l.widget->shown_names(), names_t({"alpha", "beta", "gamma"})) << "applied while the dialog is open";
    EXPECT_EQ(d.row_texts(0), QStringList({"Size", "contains", "4", "exclude", ""}));
    EXPECT_EQ(d.value()->itemText(0), "4") << "the value leads the value list";
    EXPECT_EQ(d.value()->currentText(), "");
    // Including what any column holds as "ta": delta stays out, the earlier filter decides.
    d.pick(d.column(), 0);
    d.pick(d.action(), 0);
    d.add("ta");
    EXPECT_EQ(l.widget->shown_names(), names_t({"beta"}));
    EXPECT_EQ(d.row_texts(0), QStringList({"*", "contains", "ta", "include", ""}));
    EXPECT_EQ(d.row_texts(1).at(0), "Size");

    // An empty value and an expression that does not compile add nothing.
    const int rows = d.table()->rowCount();
    QTest::keyClick(d.value()->lineEdit(), Qt::Key_Return);
    click_box(d.regex());
    d.add("(");
    EXPECT_EQ(d.table()->rowCount(), rows);
    EXPECT_EQ(l.widget->conditions().size(), 2u);
    // A valid one, typed and confirmed with Return, matching case.
    click_box(d.match_case());
    QLineEdit *line = d.value()->lineEdit();
    line->selectAll();
    QTest::keyClicks(line, "^[bd]");
    QTest::keyClick(line, Qt::Key_Return);
    EXPECT_EQ(d.row_texts(0), QStringList({"*", "contains", "^[bd]", "include", "regex|match-case"}));
    (void)save_screenshot(*d.dialog, "three-filters");
  });
  bool logged = false;
  for ( const auto &request : ui.requests_of(ui_code_log) )
    logged = logged || request.text.rfind("invalid regex: ", 0) == 0;
  EXPECT_TRUE(logged);
  ASSERT_EQ(l.widget->conditions().size(), 3u) << "the filters stay with the view";
  EXPECT_EQ(l.widget->shown_names(), names_t({"beta"}));
}

TEST(ColumnFiltersDialog, TheEarlierFilterDecidesWhenSeveralMatch)
{
  listed_t l({"alpha", "beta", "gamma", "xyz"});
  l.modify([&](const dialog_t &d) {
    d.pick(d.action(), 1);
    d.add("beta");
    d.pick(d.action(), 0);
    d.add("a");
    // beta: excluded by the earlier filter although the later one includes it; xyz: included by none.
    EXPECT_EQ(l.widget->shown_names(), names_t({"alpha", "gamma"}));
    EXPECT_EQ(d.row_texts(0).at(3), "include");
    EXPECT_EQ(d.row_texts(1).at(3), "exclude");
    // One include filter that matches nothing hides every row.
    d.click("btnReset");
    d.add("nothing like it");
    EXPECT_EQ(l.widget->shown_names(), names_t());
  });
}

TEST(ColumnFiltersDialog, ActivatingARowPutsItsFilterBackIntoTheInputs)
{
  listed_t l({"alpha", "beta"});
  l.modify([&](const dialog_t &d) {
    // A highlight filter on the Size column, in the colour the button starts with.
    d.pick(d.column(), 2);
    d.pick(d.condition(), 2);
    d.pick(d.action(), 2);
    EXPECT_TRUE(d.highlight()->isVisible()) << "the colour is offered for highlighting only";
    d.highlight()->set_color(QColor(10, 20, 30));
    d.add("2");
    EXPECT_EQ(l.widget->model()->index(1, 0).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(10, 20, 30));
    EXPECT_EQ(d.table()->item(0, 0)->background().color(), QColor(10, 20, 30));
    // A plain one on top of it.
    d.pick(d.column(), 0);
    d.pick(d.condition(), 0);
    d.pick(d.action(), 0);
    EXPECT_FALSE(d.highlight()->isVisible());
    d.add("a");
    ASSERT_EQ(d.table()->rowCount(), 2);

    d.activate(1);
    EXPECT_EQ(d.table()->rowCount(), 1);
    EXPECT_EQ(l.widget->conditions().size(), 1u);
    EXPECT_EQ(d.column()->currentIndex(), 2);
    EXPECT_EQ(d.condition()->currentText(), "is");
    EXPECT_EQ(d.action()->currentText(), "highlight");
    EXPECT_EQ(d.value()->currentText(), "2");
    EXPECT_EQ(d.highlight()->color(), QColor(10, 20, 30));
    EXPECT_FALSE(l.widget->model()->index(1, 0).data(Qt::BackgroundRole).isValid()) << "the highlight is gone";

    // A filter without a colour shows blue.
    d.activate(0);
    EXPECT_EQ(d.table()->rowCount(), 0);
    EXPECT_EQ(d.action()->currentText(), "include");
    EXPECT_EQ(d.value()->currentText(), "a");
    EXPECT_EQ(d.highlight()->color(), QColor(0, 0, 0xFF));
  });
}

TEST(ColumnFiltersDialog, RowBoxesDeleteAndResetChangeTheViewAtOnce)
{
  listed_t l({"alpha", "beta", "gamma", "delta"});
  l.modify([&](const dialog_t &d) {
    d.pick(d.action(), 1);
    for ( const char *value : {"alpha", "beta", "gamma", "delta"} )
      d.add(value);
    EXPECT_EQ(l.widget->shown_names(), names_t());

    // Unchecking a row's box disables its filter: the row it excluded comes back.
    click_row_box(d.table(), 3); // "alpha", the oldest
    EXPECT_EQ(d.table()->item(3, 0)->checkState(), Qt::Unchecked);
    EXPECT_NE(l.widget->conditions()[0].flags & filter_disabled, 0u);
    EXPECT_EQ(l.widget->shown_names(), names_t({"alpha"}));
    click_row_box(d.table(), 3);
    EXPECT_EQ(l.widget->shown_names(), names_t());

    // Delete with three rows selected removes their three filters.
    QTest::mouseClick(d.table()->viewport(), Qt::LeftButton, Qt::NoModifier, d.row_rect(0).center());
    QTest::mouseClick(d.table()->viewport(), Qt::LeftButton, Qt::ControlModifier, d.row_rect(1).center());
    QTest::mouseClick(d.table()->viewport(), Qt::LeftButton, Qt::ControlModifier, d.row_rect(3).center());
    QTest::keyClick(d.table(), Qt::Key_Delete);
    ASSERT_EQ(d.table()->rowCount(), 1);
    EXPECT_EQ(d.row_texts(0).at(2), "beta");
    ASSERT_EQ(l.widget->conditions().size(), 1u);
    EXPECT_EQ(l.widget->conditions()[0].query, "beta");
    EXPECT_EQ(l.widget->shown_names(), names_t({"alpha", "gamma", "delta"}));

    d.click("btnReset");
    EXPECT_EQ(d.table()->rowCount(), 0);
    EXPECT_TRUE(l.widget->conditions().empty());
    EXPECT_EQ(l.widget->shown_names(), names_t({"alpha", "beta", "gamma", "delta"}));
  });
}

TEST(ColumnFiltersDialog, RegularExpressionsOfferOnlyTheFirstFourConditions)
{
  listed_t l({"alpha"});
  l.modify([&](const dialog_t &d) {
    d.pick(d.condition(), 3);
    click_box(d.regex());
    EXPECT_EQ(d.condition()->count(), 4);
    EXPECT_EQ(d.condition()->currentText(), "is not") << "a condition that is still offered stays";
    click_box(d.regex());
    d.pick(d.condition(), 6);
    EXPECT_EQ(d.condition()->currentText(), "less than");
    click_box(d.regex());
    EXPECT_EQ(d.condition()->count(), 4);
    EXPECT_EQ(d.condition()->currentText(), "contains");
    click_box(d.regex());
    EXPECT_EQ(d.condition()->count(), 8);
  });
}

TEST(ColumnFiltersDialog, InputSettingsAreStoredOnlyWhenChanged)
{
  listed_t l({"alpha"});
  l.modify([&](const dialog_t &d) {
    EXPECT_EQ(d.highlight()->color(), QColor(0xB3, 0xEB, 0xE3)) << "no stored colour";
  });
  EXPECT_EQ(stored(filter_flags_value), -2);
  EXPECT_EQ(stored(filter_color_value), -2);

  l.modify([&](const dialog_t &d) {
    d.pick(d.action(), 1);
    d.pick(d.condition(), 5);
  });
  EXPECT_EQ(stored(filter_flags_value), 0x5400);
  EXPECT_EQ(stored(filter_color_value), -2) << "the colour was not touched";

  l.modify([&](const dialog_t &d) {
    EXPECT_EQ(d.action()->currentText(), "exclude");
    EXPECT_EQ(d.condition()->currentText(), "ends with");
    d.highlight()->set_color(QColor(0x11, 0x22, 0x33));
  });
  EXPECT_EQ(stored(filter_flags_value), 0x5400);
  EXPECT_EQ(stored(filter_color_value), 0x332211);
  l.modify([&](const dialog_t &d) { EXPECT_EQ(d.highlight()->color(), QColor(0x11, 0x22, 0x33)); });
}

TEST(ColumnFiltersDialog, StoredFlagsThatNameNoChoiceStartAtTheDefault)
{
  struct row_t
  {
    const char *why;
    uint32_t stored;
    uint32_t used;
  };
  const std::vector<row_t> rows = {
    {"ends with, exclude, match case", 0x5420, 0x5420},
    {"a regular expression with 'is not'", 0x3002, 0x3002},
    {"a regular expression with 'less than'", 0x6002, 0},
    {"the action 3", 0x0C00, 0},
    {"whole words, which the dialog does not offer", 0x0001, 0},
    {"the quick filter's bit", 0x80000000, 0},
  };
  for ( const row_t &row : rows )
    EXPECT_EQ(valid_filter_input_flags(row.stored), row.used) << row.why;

  listed_t l({"alpha"});
  (void)registry_int(filter_flags_value, true, 0x6C02);
  l.modify([&](const dialog_t &d) {
    EXPECT_EQ(d.action()->currentText(), "include");
    EXPECT_EQ(d.condition()->currentText(), "contains");
    EXPECT_FALSE(d.regex()->isChecked());
  });
  EXPECT_EQ(stored(filter_flags_value), 0) << "a word that named no choice gives way to what was shown";
}

TEST(ColumnFiltersDialog, TheQuickFilterShowsAsAFilterOfTheList)
{
  listed_t l({"alpha", "beta"});
  filter_condition_t quick;
  quick.set_text("al");
  l.widget->apply_quick_filter(quick);
  l.modify([&](const dialog_t &d) {
    ASSERT_EQ(d.table()->rowCount(), 1);
    EXPECT_EQ(d.row_texts(0), QStringList({"*", "contains", "al", "include", "quick-filter"}));
  });
}
