// Moving tree entries: the drag payload of a view's rows, drops driven through the view (refused ones, rows
// placed in order, folders into their own subfolders, expansion kept in the drag's view), and cutting and
// pasting through the tree actions, with cut rows painted in the cut colour.
#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/screenshots.h"
#include "tests/views/standalone_test_widget.h"
#include "tests/views/view_actions.h"
#include "views/dirtree/dirtree_entry_moves.h"
#include "views/filter/drag_scope.h"

#include <QMimeData>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace
{

using names_t = std::vector<std::string>;

constexpr uint32_t all_features = dirtree_model_drag_drop | dirtree_model_cut_paste | dirtree_model_create_folders;

// /a/ (with /a/b/ and x), /c/ (with z), /d/ (with p, q, r, s) and y, shown in a standalone widget whose
// model offers every feature; with `orderable`, folders start in natural order (items by inode).
struct moves_t
{
  explicit moves_t(bool orderable = false) : refresher(t.tree.get()), widget("Moves", standalone_dirtree_insert)
  {
    if ( orderable )
    {
      t.spec->flags = dirspec_orderable;
      t->clear_tree();
    }
    t.spec->add_item("p", 20);
    t.spec->add_item("q", 21);
    t.spec->add_item("r", 22);
    t.spec->add_item("s", 23);
    fill_sample_tree(t, {"a/b", "c", "d"}, {"a/x", "c/z", "d/p", "d/q", "d/r", "d/s", "y"});
    t->add_event_handler(&refresher);
    model = widget.show_tree(t.tree.get(), all_features);
    widget.resize(360, 400);
    widget.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&widget));
  }
  QModelIndex row(const std::string &name) const { return widget.row(name); }
  // The payload of the rows, as a drag of them carries it.
  std::unique_ptr<QMimeData> payload_of(const names_t &names) const
  {
    QModelIndexList rows;
    for ( const std::string &name : names )
      rows.push_back(row(name));
    return std::unique_ptr<QMimeData>(model->mimeData(rows));
  }
  names_t folder(const char *path) const
  {
    return folder_names(*t.tree, t->entry_of_path(path).id);
  }

  test_tree_t t;
  tree_refresh_handler_t refresher;
  recording_dirtree_widget_t widget;
  test_tree_model_t *model;
};

// The strings of a payload, each code as a digit before the path.
names_t payload_strings(const QMimeData &data)
{
  names_t strings;
  for ( const dirtree_path_entry_t &entry : read_inode_drag_payload(data.data(dirtree_inodes_mime_type)) )
    strings.push_back(std::string(entry.expanded ? "3" : "-") + entry.path.c_str());
  return strings;
}

void click_rows(moves_t &m, const names_t &names)
{
  Qt::KeyboardModifiers modifiers = Qt::NoModifier;
  for ( const std::string &name : names )
  {
    m.widget.click(name, modifiers);
    modifiers = Qt::ControlModifier;
  }
}

names_t log_lines(const recording_ui_callback_t &ui)
{
  names_t lines;
  for ( const ui_request_record_t &request : ui.requests_of(23) )
    lines.push_back(request.text);
  return lines;
}

// A drag of the selected rows from the widget, as its startDrag runs one: the hand-over is the snapshot
// taken when it begins.
struct running_drag_t
{
  explicit running_drag_t(recording_dirtree_widget_t &widget) : snapshot(taken(widget)), scope(&widget, &widget, &snapshot)
  {
  }
  static view_snapshot_t taken(recording_dirtree_widget_t &widget)
  {
    view_snapshot_t s;
    widget.take_snapshot(&s, 7);
    return s;
  }
  view_snapshot_t snapshot;
  drag_scope_t scope;
};

} // namespace

// ---- The payload ----------------------------------------------------------------------------------------

TEST(DirtreeDragPayload, OneStringPerCursorWithItsKind)
{
  moves_t m;
  m.widget.collapse(m.row("c"));
  const QModelIndex a = m.row("a");
  const QModelIndex c = m.row("c");
  const QModelIndex x = m.row("x");
  // Every column of a row, a row twice, and an invalid index: each cursor gives one string, in order.
  const QModelIndexList rows = {a, a.siblingAtColumn(1), c, x, x.siblingAtColumn(1), QModelIndex(), a};
  const std::unique_ptr<QMimeData> outside(m.model->mimeData(rows));
  EXPECT_EQ(m.model->mimeTypes(), QStringList {dirtree_inodes_mime_type});
  EXPECT_EQ(payload_strings(*outside), names_t({"-/a", "-/c", "-/a/x"})) << "no drag: folders are collapsed ones";
  {
    running_drag_t drag(m.widget);
    const std::unique_ptr<QMimeData> inside(m.model->mimeData(rows));
    EXPECT_EQ(payload_strings(*inside), names_t({"3/a", "-/c", "-/a/x"})) << "the drag's view shows /a expanded";
    const QByteArray bytes = inside->data(dirtree_inodes_mime_type);
    EXPECT_EQ(int(bytes.at(5)), int(inode_drag_expanded_folder));
  }
  const std::unique_ptr<QMimeData> none(m.model->mimeData({}));
  EXPECT_TRUE(none->hasFormat(dirtree_inodes_mime_type));
  EXPECT_TRUE(none->data(dirtree_inodes_mime_type).isEmpty());
}

// ---- Drops ----------------------------------------------------------------------------------------------

TEST(DirtreeDrop, DropsOntoItemsOutsideTheTreeOrOfOtherDataMoveNothing)
{
  moves_t m;
  const names_t before = walk_paths(*m.t.tree);
  const std::unique_ptr<QMimeData> y = m.payload_of({"y"});
  QMimeData text;
  text.setText("/y");
  QMimeData other_format;
  other_format.setData("application/x-qabstractitemmodeldatalist", y->data(dirtree_inodes_mime_type));
  test_tree_t elsewhere;
  fill_sample_tree(elsewhere, {"c"}, {});
  test_dirtree_view_t other_view("Other", 0);
  test_tree_model_t *other_model = other_view.show_tree(elsewhere.tree.get(), all_features);
  struct case_t
  {
    const char *why;
    const QMimeData *data;
    Qt::DropAction action;
    QModelIndex parent;
    bool answer;
  };
  const std::vector<case_t> cases = {
    {"onto an item row", y.get(), Qt::MoveAction, m.row("x"), false},
    {"onto no row", y.get(), Qt::MoveAction, QModelIndex(), false},
    {"onto a row of another model", y.get(), Qt::MoveAction, other_model->index_of_path("/c"), false},
    {"plain text", &text, Qt::MoveAction, m.row("c"), false},
    {"another format", &other_format, Qt::MoveAction, m.row("c"), false},
    {"a copy", y.get(), Qt::CopyAction, m.row("c"), false},
    {"the ignore action", y.get(), Qt::IgnoreAction, m.row("c"), true},
  };
  for ( const case_t &c : cases )
  {
    EXPECT_EQ(m.model->dropMimeData(c.data, c.action, -1, 0, c.parent), c.answer) << c.why;
    m.widget.settle();
    EXPECT_EQ(walk_paths(*m.t.tree), before) << c.why;
  }
  // Through the view: foreign data is not taken.
  EXPECT_FALSE(drop_onto(m.widget, text, drop_point(m.widget, m.row("c"), drop_place_t::on)));
  EXPECT_EQ(walk_paths(*m.t.tree), before);
}

TEST(DirtreeDrop, EntriesDroppedBetweenRowsLandThereInDragOrder)
{
  struct case_t
  {
    const char *why;
    const char *row;
    drop_place_t place;
    names_t d;
    bool natural;
  };
  const std::vector<case_t> cases = {
    {"above the second row", "q", drop_place_t::above, {"p", "x", "y", "q", "r", "s"}, false},
    {"below the last row", "s", drop_place_t::below, {"p", "q", "r", "s", "x", "y"}, false},
    {"onto the folder, unplaced", "d", drop_place_t::on, {"x", "y", "p", "q", "r", "s"}, true},
  };
  for ( const case_t &c : cases )
  {
    moves_t m(true);
    ASSERT_TRUE(m.t->in_natural_order(m.t->entry_of_path("/d").id));
    const std::unique_ptr<QMimeData> payload = m.payload_of({"x", "y"});
    EXPECT_TRUE(drop_onto(m.widget, *payload, drop_point(m.widget, m.row(c.row), c.place))) << c.why;
    EXPECT_EQ(m.folder("/d"), c.d) << c.why;
    EXPECT_EQ(m.t->in_natural_order(m.t->entry_of_path("/d").id), c.natural) << c.why;
    m.widget.settle();
    EXPECT_EQ(m.widget.shown_rows(), (names_t {"a", "  b", "c", "  z", "d", "  " + c.d[0], "  " + c.d[1], "  " + c.d[2],
                                               "  " + c.d[3], "  " + c.d[4], "  " + c.d[5]}))
      << c.why;
  }
}

TEST(DirtreeDrop, AFolderDroppedIntoItsOwnSubfolderStaysAndTheOthersMove)
{
  moves_t m;
  recording_ui_callback_t ui;
  const std::unique_ptr<QMimeData> payload = m.payload_of({"a", "y"});
  EXPECT_TRUE(drop_onto(m.widget, *payload, drop_point(m.widget, m.row("b"), drop_place_t::on)));
  EXPECT_EQ(log_lines(ui), names_t({"Couldn't move \"/a\" to \"/a/b\": is our subdirectory\n"}));
  EXPECT_EQ(walk_paths(*m.t.tree), names_t({"/a/", "/a/b/", "/a/b/y", "/a/x", "/c/", "/c/z", "/d/", "/d/p", "/d/q",
                                           "/d/r", "/d/s"}));
  m.widget.settle();
  EXPECT_EQ(m.widget.shown_rows(), names_t({"a", "  b", "    y", "  x", "c", "  z", "d", "  p", "  q", "  r", "  s"}));
}

TEST(DirtreeDrop, MovedFoldersKeepTheirExpansionInTheDragViewAndStaySelected)
{
  moves_t m;
  m.widget.collapse(m.row("c"));
  click_rows(m, {"a", "c"});
  {
    running_drag_t drag(m.widget);
    const std::unique_ptr<QMimeData> payload = m.payload_of({"a", "c"});
    EXPECT_TRUE(drop_onto(m.widget, *payload, drop_point(m.widget, m.row("d"), drop_place_t::on)));
    EXPECT_EQ(m.widget.engine_flags() & engine_idle, engine_idle) << "the drop synchronised the views itself";
  }
  (void)save_screenshot(m.widget, "dropped");
  EXPECT_EQ(m.widget.shown_rows(), names_t({"d", "  a", "    b", "    x", "  c", "  p", "  q", "  r", "  s", "y"}));
  EXPECT_TRUE(m.widget.isExpanded(m.row("a")));
  EXPECT_FALSE(m.widget.isExpanded(m.row("c")));
  EXPECT_EQ(selected_names(m.widget), names_t({"a", "c"}));
  m.widget.settle();
  EXPECT_EQ(m.widget.shown_rows(), names_t({"d", "  a", "    b", "    x", "  c", "  p", "  q", "  r", "  s", "y"}));
}

// ---- Cut and paste --------------------------------------------------------------------------------------

TEST(DirtreeCut, CuttingMarksEachEntryOnceAndSkipsTheRoot)
{
  moves_t m;
  register_tree_actions();
  test_app().action_provider().pinned_widget = &m.widget;
  recording_ui_callback_t ui;
  click_rows(m, {"x", "c"});
  trigger("DirTreeCutSelection");
  trigger("DirTreeCutSelection");
  names_t cut;
  for ( const dirtree_path_entry_t &entry : m.model->cut_list() )
    cut.push_back(std::string(entry.path.c_str()) + (entry.expanded ? " expanded" : ""));
  std::sort(cut.begin(), cut.end());
  EXPECT_EQ(cut, names_t({"/a/x", "/c expanded"}));

  dirtree_selection_t with_root = {dirtree_root_cursor};
  (void)m.widget.cursor_of_index(&with_root.emplace_back(), m.row("y"));
  EXPECT_EQ(cut_dirtree_selection(&m.widget, &with_root), 1);
  EXPECT_EQ(log_lines(ui), names_t({"Cannot select root folder; ignored.\n"}));
  EXPECT_EQ(m.model->cut_list().size(), 3u);
  EXPECT_EQ(cut_dirtree_selection(&m.widget, nullptr), 0);
  EXPECT_EQ(cut_dirtree_selection(nullptr, &with_root), 0);
  test_app().action_provider().pinned_widget = nullptr;
}

TEST(DirtreeCut, CutRowsArePaintedInTheCutColour)
{
  moves_t m;
  m.widget.set_cut_text_color_default(QColor(255, 0, 0));
  m.widget.set_cut_text_color_selected(QColor(0, 0, 255));
  click_rows(m, {"z"});
  dirtree_selection_t cut;
  for ( const char *name : {"x", "z"} )
    (void)m.widget.cursor_of_index(&cut.emplace_back(), m.row(name));
  ASSERT_EQ(cut_dirtree_selection(&m.widget, &cut), 1);
  QImage image(m.widget.viewport()->size(), QImage::Format_RGB32);
  m.widget.viewport()->render(&image);
  const auto pixels_like = [&](const QModelIndex &row, const QColor &colour) {
    const QRect rect = m.widget.visualRect(row);
    int count = 0;
    for ( int y = rect.top(); y <= rect.bottom(); ++y )
      for ( int x = rect.left(); x <= rect.right(); ++x )
      {
        const QColor c = image.pixelColor(x, y);
        count += std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                   std::abs(c.blue() - colour.blue()) < 120
                   ? 1
                   : 0;
      }
    return count;
  };
  EXPECT_GT(pixels_like(m.row("x"), Qt::red), 0) << "a cut row in the cut colour";
  EXPECT_GT(pixels_like(m.row("z"), Qt::blue), 0) << "a selected cut row in the selected cut colour";
  EXPECT_EQ(pixels_like(m.row("y"), Qt::red) + pixels_like(m.row("y"), Qt::blue), 0) << "other rows as they were";
  (void)save_screenshot(m.widget, "cut_rows");
}

TEST(DirtreeCut, PastingMovesIntoTheSelectedFolderAndEmptiesTheListEvenWhenAMoveFails)
{
  moves_t m;
  register_tree_actions();
  test_app().action_provider().pinned_widget = &m.widget;
  ASSERT_EQ(m.t->link_or_unlink_path("/c/x", true), 0);
  m.widget.settle();
  recording_ui_callback_t ui;
  click_rows(m, {"x", "y", "b"});
  trigger("DirTreeCutSelection");
  ASSERT_EQ(m.model->cut_list().size(), 3u);
  EXPECT_EQ(m.t->entry_of_path("/y").is_none(), false) << "cut entries stay until pasted";
  // Pasting into the folder of the selected item z: /c.
  click_rows(m, {"z"});
  refresh_actions_for(UPDACT_ACTIVATED, nullptr, nullptr);
  EXPECT_EQ(find_ui_action("DirTreePasteCut")->state(), ACTION_STATE_INITIAL);
  trigger("DirTreePasteCut");
  EXPECT_TRUE(m.model->cut_list().empty());
  EXPECT_EQ(log_lines(ui), names_t({"Couldn't move \"/a/x\" to \"/c\": already exists\n"}));
  EXPECT_EQ(m.folder("/c"), names_t({"b/", "z", "x", "y"}));
  refresh_actions_for(UPDACT_ACTIVATED, nullptr, nullptr);
  EXPECT_EQ(find_ui_action("DirTreePasteCut")->state(), ACTION_STATE_MISSING_CONTEXT) << "nothing left to paste";
  EXPECT_EQ(paste_dirtree_cut(&m.widget), 0);
  m.widget.settle();
  EXPECT_EQ(m.widget.shown_rows(), names_t({"a", "  x", "c", "  b", "  z", "  x", "  y", "d", "  p", "  q", "  r", "  s"}));
  test_app().action_provider().pinned_widget = nullptr;
}
