// The row search: where it starts, which rows it tests in which order, going round, one column, folders the
// view never opened, folders still loading, and a search cancelled through the wait box.
#include "views/filter/row_search.h"

#include "tests/ui/app/test_app.h"
#include "ui/wait_box.h"

#include <QPushButton>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <cstdarg>
#include <functional>
#include <string>
#include <vector>

namespace
{

// A model whose items can promise rows they do not have yet (a folder still loading), and which runs a hook
// whenever a row's text is read.
class search_model_t : public QStandardItemModel
{
public:
  using QStandardItemModel::QStandardItemModel;
  bool hasChildren(const QModelIndex &parent) const override
  {
    return QStandardItemModel::hasChildren(parent) || (parent.isValid() && parent.data(Qt::UserRole).toBool());
  }
  QVariant data(const QModelIndex &index, int role) const override
  {
    if ( role == Qt::DisplayRole && on_read )
      on_read(index);
    return QStandardItemModel::data(index, role);
  }
  std::function<void(const QModelIndex &)> on_read;
};

// Rows as "name" or "name|second column", nested under "folder/": a path per row, in display order.
struct searched_view_t
{
  search_model_t model{0, 2};
  QTreeView view;

  explicit searched_view_t(const std::vector<std::string> &paths)
  {
    for ( const std::string &path : paths )
    {
      QStandardItem *parent = model.invisibleRootItem();
      std::string rest = path;
      for ( size_t slash; (slash = rest.find('/')) != std::string::npos; rest = rest.substr(slash + 1) )
      {
        const QString folder = QString::fromStdString(rest.substr(0, slash));
        QStandardItem *found = nullptr;
        for ( int r = 0; r < parent->rowCount(); ++r )
          if ( parent->child(r)->text() == folder )
            found = parent->child(r);
        if ( found == nullptr )
        {
          found = new QStandardItem(folder);
          parent->appendRow({found, new QStandardItem()});
        }
        parent = found;
      }
      const size_t bar = rest.find('|');
      auto *first = new QStandardItem(QString::fromStdString(rest.substr(0, bar)));
      auto *second = new QStandardItem(bar == std::string::npos ? QString() : QString::fromStdString(rest.substr(bar + 1)));
      parent->appendRow({first, second});
    }
    view.setModel(&model);
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
  }

  QModelIndex find(const std::string &name) const
  {
    const QModelIndexList hits = model.match(model.index(0, 0), Qt::DisplayRole, QString::fromStdString(name), 1,
                                             Qt::MatchExactly | Qt::MatchRecursive);
    return hits.isEmpty() ? QModelIndex() : hits.first();
  }
  std::string current() const { return view.currentIndex().data().toString().toStdString(); }
};

bool show_wait_box(const char *format, ...)
{
  va_list va;
  va_start(va, format);
  const bool taken = test_app().push_wait_dialog_request(format, va, true);
  va_end(va);
  return taken;
}

} // namespace

TEST(RowSearch, FindsTheRowTheFlagsAsk)
{
  const std::vector<std::string> list = {"alpha|one", "beta|two", "gamma|three", "alphabet|four", "delta|five"};
  struct row_t
  {
    const char *why;
    const char *current; // null: nothing current
    const char *selected; // null: nothing selected
    const char *text;
    int flags;
    const char *found; // null: nothing found, the current row stays
  };
  const std::vector<row_t> rows = {
    {"the current row itself is tested first", "beta", nullptr, "ET", 0, "beta"},
    {"after the current row", "beta", nullptr, "alpha", jump_after_current, "alphabet"},
    {"contains", "alpha", nullptr, "bet", jump_after_current, "beta"},
    {"begins with", "beta", nullptr, "bet", jump_after_current | jump_prefix, nullptr},
    {"begins with, ignoring case", "alpha", nullptr, "GAM", jump_after_current | jump_prefix, "gamma"},
    {"going round from the last match finds the one above", "alphabet", nullptr, "alph", jump_next_substring,
     "alpha"},
    {"going round without another match stops at the start", "alphabet", nullptr, "alphab", jump_next_substring,
     nullptr},
    {"without going round", "alphabet", nullptr, "alph", jump_after_current, nullptr},
    {"backwards", "delta", nullptr, "a", jump_after_current | jump_backwards, "alphabet"},
    {"backwards, going round", "beta", nullptr, "elt", jump_next_substring | jump_backwards, "delta"},
    {"one column", "alpha", nullptr, "t", jump_after_current | jump_column_flags(1), "beta"},
    {"every column", "alpha", nullptr, "hre", jump_after_current, "gamma"},
    {"only the first column", "alpha", nullptr, "hre", jump_after_current | jump_column_flags(0), nullptr},
    {"one column, another text", "alpha", nullptr, "our", jump_after_current | jump_column_flags(1), "alphabet"},
    {"the column chosen holds nothing", "alpha", nullptr, "our", jump_after_current | jump_column_flags(0), nullptr},
    {"the first selected row when nothing is current", nullptr, "gamma", "a", jump_after_current, "alphabet"},
    {"from the top when nothing is current or selected", nullptr, nullptr, "a", 0, "alpha"},
    {"a fresh start does not go round", nullptr, nullptr, "alpha", jump_next_substring, "alphabet"},
    {"a fresh start from the bottom going backwards", nullptr, nullptr, "l", jump_backwards, "delta"},
  };
  for ( const row_t &row : rows )
  {
    searched_view_t s(list);
    if ( row.selected != nullptr )
      s.view.selectionModel()->select(s.find(row.selected), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    if ( row.current != nullptr )
      s.view.selectionModel()->setCurrentIndex(s.find(row.current).sibling(s.find(row.current).row(), 1),
                                               QItemSelectionModel::NoUpdate);
    const std::string before = s.current();
    EXPECT_EQ(jump_match(&s.view, QString::fromLatin1(row.text), row.flags), row.found != nullptr) << row.why;
    EXPECT_EQ(s.current(), row.found != nullptr ? row.found : before) << row.why;
    if ( row.found != nullptr )
    {
      const QModelIndexList selected = s.view.selectionModel()->selectedRows();
      ASSERT_EQ(selected.size(), 1) << row.why;
      EXPECT_EQ(selected.first().data().toString().toStdString(), row.found) << row.why << ": selected alone";
    }
  }
}

TEST(RowSearch, WalksFoldersTheViewNeverOpenedAndPassesOverFoldersStillLoading)
{
  searched_view_t s({"a/a1", "a/a2", "b", "pending", "c/c1", "c/deep/d1", "e"});
  // "pending" promises rows it has not loaded; the view expanded nothing.
  s.model.setData(s.find("pending"), true, Qt::UserRole);
  ASSERT_TRUE(s.model.hasChildren(s.find("pending")));
  struct row_t
  {
    const char *current;
    const char *text;
    int flags;
    const char *found;
  };
  const std::vector<row_t> rows = {
    {"b", "c1", jump_after_current, "c1"},
    {"b", "d1", jump_after_current, "d1"},
    {"b", "e", jump_after_current | jump_prefix, "e"}, // past the loading folder
    {"e", "a2", jump_after_current | jump_backwards, "a2"},
    {"e", "d", jump_after_current | jump_backwards | jump_prefix, "d1"}, // the deepest last row first
    {"c1", "a", jump_after_current | jump_backwards | jump_prefix, "a2"},
    {"d1", "b", jump_next_substring | jump_prefix, "b"},
  };
  for ( const row_t &row : rows )
  {
    s.view.selectionModel()->setCurrentIndex(s.find(row.current), QItemSelectionModel::ClearAndSelect);
    EXPECT_TRUE(jump_match(&s.view, QString::fromLatin1(row.text), row.flags)) << row.current << " " << row.text;
    EXPECT_EQ(s.current(), row.found) << row.current << " " << row.text;
  }
  EXPECT_EQ(first_or_last_index(&s.view, 0).data().toString(), "a");
  EXPECT_EQ(first_or_last_index(&s.view, jump_backwards).data().toString(), "e");
}

TEST(RowSearch, CancellingTheWaitBoxStopsTheWalk)
{
  std::vector<std::string> list;
  for ( int i = 0; i < 300; ++i )
    list.push_back("row " + std::to_string(i));
  list[250] = "target";
  searched_view_t s(list);
  ASSERT_TRUE(show_wait_box("NODELAY\nSearching"));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(test_app().wait_dialog()));

  // Untouched, the walk reaches the target.
  s.view.setCurrentIndex(s.model.index(0, 0));
  EXPECT_TRUE(jump_match(&s.view, "target", jump_after_current));
  // The user presses Cancel while the walk passes row 60: the next poll, at row 101, ends it.
  s.view.setCurrentIndex(s.model.index(0, 0));
  int last_read = -1;
  s.model.on_read = [&](const QModelIndex &index) {
    last_read = index.row();
    if ( index.row() == 60 && index.column() == 0 && test_app().wait_dialog()->cancel_button()->isEnabled() )
      QTest::mouseClick(test_app().wait_dialog()->cancel_button(), Qt::LeftButton);
  };
  EXPECT_FALSE(jump_match(&s.view, "target", jump_next_substring));
  EXPECT_EQ(s.current(), "row 0");
  EXPECT_LT(last_read, 101 + 1) << "no row after the poll is read";
  s.model.on_read = nullptr;
  // A new search starts afresh.
  EXPECT_TRUE(jump_match(&s.view, "target", jump_after_current));
  test_app().hide_wait_dialog();
}
