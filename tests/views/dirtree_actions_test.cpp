// The tree actions: their states and labels for each kind of selection, folders created inside, beside and
// around the selection with the name typed into the prompt, renames typed into the editor, copies on the
// clipboard, expanding and collapsing, natural order, and the tree part of the context menu.
#include "forms/form_widget.h"
#include "forms/inputs/form_dialog.h"
#include "tests/forms/modal_player.h"
#include "tests/forms/support/dialog_dispatcher.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/screenshots.h"
#include "tests/views/standalone_test_widget.h"
#include "tests/views/view_actions.h"
#include "ui/popup_menu.h"
#include "views/dirtree/dirtree_actions.h"
#include "views/dirtree/dirtree_entry_moves.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using names_t = std::vector<std::string>;

// /a/ (with /a/b/ and x), /c/ (with z) and y, in natural order where the dirspec allows it, shown in a
// standalone widget whose model creates folders and cuts and pastes; the widget is the one actions apply
// to while this lives.
struct acted_t
{
  explicit acted_t(bool orderable = true, uint32_t model_options = dirtree_model_cut_paste | dirtree_model_create_folders)
    : widget("Acted")
  {
    register_tree_actions();
    if ( orderable )
    {
      t.spec->flags = dirspec_orderable;
      t->clear_tree();
    }
    fill_sample_tree(t, {"a/b", "c"}, {"a/x", "c/z", "y"});
    t->add_event_handler(&refresher);
    model = widget.show_tree(t.tree.get(), model_options);
    widget.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&widget));
    test_app().action_provider().pinned_widget = &widget;
  }
  ~acted_t() { test_app().action_provider().pinned_widget = nullptr; }
  QModelIndex row(const std::string &name) const { return widget.row(name); }
  // Clicks the rows, the first alone and the others with Ctrl; none clears the selection.
  void select(const names_t &names)
  {
    widget.clearSelection();
    widget.setCurrentIndex(QModelIndex());
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    for ( const std::string &name : names )
    {
      widget.click(name, modifiers);
      modifiers = Qt::ControlModifier;
    }
  }
  // The state of an action after an update pass, with its label.
  [[nodiscard]] std::string state(const char *name) const
  {
    refresh_actions_for(UPDACT_ACTIVATED, nullptr, nullptr);
    const ui_action_t *action = find_ui_action(name);
    return std::to_string(action->state()) + " " + action->qaction()->text().toStdString();
  }

  test_tree_t t;
  tree_refresh_handler_t refresher {t.tree.get()};
  recording_dirtree_widget_t widget;
  test_tree_model_t *model;
};

names_t log_lines(const recording_ui_callback_t &ui)
{
  names_t lines;
  for ( const ui_request_record_t &request : ui.requests_of(23) )
    lines.push_back(request.text);
  return lines;
}

names_t entry_texts(const QMenu *menu)
{
  names_t texts;
  for ( const QAction *action : menu->actions() )
    texts.push_back(action->isSeparator() ? "-" : action->text().toStdString());
  return texts;
}

} // namespace

// ---- States and labels ---------------------------------------------------------------------------------------

TEST(DirtreeActions, StatesAndLabelsFollowTheSelection)
{
  struct case_t
  {
    const char *why;
    names_t selected;
    bool collapse_c;
    bool something_cut;
    // The states and labels of create folder, rename, expand, collapse, cut, paste and reset natural order.
    names_t states;
    bool x_out_of_order = false;
  };
  const std::vector<case_t> cases = {
    {"nothing selected", {}, false, false,
     {"3 Create folder...", "7 Re&name", "3 Expand entire tree", "3 Collapse entire tree", "7 Cut", "7 Paste",
      "7 Reset natural order"}},
    {"one expanded folder", {"c"}, false, true,
     {"3 Create folder...", "3 Re&name", "7", "3 Collapse selected folders", "3 Cut", "3 Paste",
      "7 Reset natural order"}},
    {"one collapsed folder", {"c"}, true, false,
     {"3 Create folder...", "3 Re&name", "3 Expand selected folders", "7", "3 Cut",
      "7 Paste", "7 Reset natural order"}},
    {"one item", {"y"}, false, true,
     {"3 Create folder with items...", "3 Re&name", "7", "7",
      "3 Cut", "3 Paste", "7 Reset natural order"}},
    {"several folders, one of each", {"a", "c"}, true, false,
     {"3 Create folder with items...", "3 Re&name", "3 Expand selected folders", "3 Collapse selected folders",
      "3 Cut", "7 Paste", "7 Reset natural order"}},
    {"an item whose folder left natural order", {"x"}, false, false,
     {"3 Create folder with items...", "3 Re&name", "7", "7",
      "3 Cut", "7 Paste", "3 Reset natural order"},
     true},
  };
  for ( const case_t &c : cases )
  {
    acted_t a;
    if ( c.x_out_of_order )
    {
      ASSERT_EQ(a.t->shift_entry("/a/x", -1), 0);
    }
    a.widget.settle();
    if ( c.collapse_c )
      a.widget.collapse(a.row("c"));
    if ( c.something_cut )
    {
      dirtree_selection_t cut(1);
      ASSERT_TRUE(a.widget.cursor_of_index(&cut[0], a.row("b")));
      ASSERT_EQ(cut_dirtree_selection(&a.widget, &cut), 1);
    }
    a.select(c.selected);
    names_t states;
    for ( const char *name : {"DirTreeCreateFolder", "DirTreeRename", "DirTreeExpandSelection",
                              "DirTreeCollapseSelection", "DirTreeCutSelection", "DirTreePasteCut",
                              "DirTreeResetNaturalOrder"} )
    {
      // A disabled expand or collapse keeps whatever label it had.
      const std::string state = a.state(name);
      const bool folds = std::string(name) == "DirTreeExpandSelection" || std::string(name) == "DirTreeCollapseSelection";
      states.push_back(folds && state[0] == '7' ? "7" : state);
    }
    EXPECT_EQ(states, c.states) << c.why;
    // The copies need only a tree view.
    EXPECT_EQ(a.state("DirTreeCopy"), "2 Copy") << c.why;
    EXPECT_EQ(a.state("DirTreeCopyAll"), "2 Copy all") << c.why;
  }
}

TEST(DirtreeActions, ViewsAndModelsWithoutWhatAnActionNeedsDisableIt)
{
  // A model without folder creation or cut and paste, over a tree without natural order.
  acted_t a(false, 0);
  a.select({"x"});
  EXPECT_EQ(a.state("DirTreeCreateFolder").substr(0, 1), "7");
  EXPECT_EQ(a.state("DirTreeCutSelection"), "7 Cut");
  EXPECT_EQ(a.state("DirTreePasteCut"), "7 Paste");
  EXPECT_EQ(a.state("DirTreeResetNaturalOrder"), "6 Reset natural order");
  EXPECT_EQ(a.state("DirTreeRename"), "3 Re&name");
  // Not a tree view at all.
  QWidget plain;
  test_app().action_provider().pinned_widget = &plain;
  for ( const char *name : {"DirTreeCreateFolder", "DirTreeRename", "DirTreeCopy", "DirTreeCopyAll",
                            "DirTreeExpandSelection", "DirTreeCollapseSelection", "DirTreeCutSelection",
                            "DirTreePasteCut", "DirTreeResetNaturalOrder"} )
    EXPECT_EQ(a.state(name).substr(0, 1), "7") << name;
}

// ---- Create folder -----------------------------------------------------------------------------------------

TEST(DirtreeActions, CreateFolderMakesTheFolderInsideBesideOrAroundTheSelection)
{
  struct case_t
  {
    const char *why;
    names_t selected;
    const char *typed; // null: the prompt is cancelled
    names_t tree;
    names_t logged;
    std::string current;
    bool expanded = false; // the new folder shows the entries it took
  };
  const names_t untouched = {"/a/", "/a/b/", "/a/x", "/c/", "/c/z", "/y"};
  const std::vector<case_t> cases = {
    {"nothing selected: at the top", {}, "n", {"/a/", "/a/b/", "/a/x", "/c/", "/c/z", "/n/", "/y"}, {}, "n"},
    {"one folder: inside it", {"c"}, "n", {"/a/", "/a/b/", "/a/x", "/c/", "/c/n/", "/c/z", "/y"}, {}, "n"},
    {"one item: in its folder, around it", {"x"}, "n", {"/a/", "/a/b/", "/a/n/", "/a/n/x", "/c/", "/c/z", "/y"}, {},
     "n", true},
    {"two folders: beside the first, around both", {"b", "c"}, "n",
     {"/a/", "/a/n/", "/a/n/b/", "/a/n/c/", "/a/n/c/z", "/a/x", "/y"}, {}, "n", true},
    {"a folder and an item of the top", {"c", "y"}, "n", {"/a/", "/a/b/", "/a/x", "/n/", "/n/c/", "/n/c/z", "/n/y"},
     {}, "n", true},
    {"a name that is taken", {}, "c", untouched, {"Cannot create folder \"/c\": already exists\n"}, ""},
    {"a name that is taken inside the folder", {"a"}, "x", untouched,
     {"Cannot create folder \"/a/x\": already exists\n"}, "a"},
    {"the prompt cancelled", {"a"}, nullptr, untouched, {}, "a"},
  };
  for ( const case_t &c : cases )
  {
    acted_t a;
    a.select(c.selected);
    recording_ui_callback_t ui;
    if ( c.typed != nullptr )
      ui.script_value(c.typed);
    trigger("DirTreeCreateFolder");
    const std::vector<ui_request_record_t> prompts = ui.requests_of(32);
    ASSERT_EQ(prompts.size(), 1u) << c.why;
    EXPECT_EQ(prompts[0].text, "Please enter folder name") << c.why;
    EXPECT_EQ(prompts[0].kind, dirtree_folder_name_input_kind) << c.why;
    EXPECT_EQ(walk_paths(*a.t.tree), c.tree) << c.why;
    EXPECT_EQ(log_lines(ui), c.logged) << c.why;
    a.widget.settle();
    EXPECT_EQ(a.widget.currentIndex().data().toString().toStdString(), c.current) << c.why;
    if ( c.logged.empty() && c.typed != nullptr )
    {
      EXPECT_EQ(selected_names(a.widget), names_t({"n"})) << c.why;
      EXPECT_EQ(a.widget.isExpanded(a.widget.currentIndex()), c.expanded) << c.why;
    }
  }
}

TEST(DirtreeActions, TheFolderNameIsTypedIntoTheRealPrompt)
{
  acted_t a;
  recording_ui_callback_t ui;
  const dialog_dispatcher_t dialogs(ui);
  for ( const char *typed : {"typed name", "z"} )
  {
    a.select({"c"});
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the folder name prompt", [typed](ui_form_dialog_t &dialog) {
      EXPECT_EQ(dialog.windowTitle(), "Please enter a string");
      QTest::keyClicks(dialog.focusWidget(), typed);
      (void)save_screenshot(dialog, QString::fromUtf8(typed).replace(' ', '_'));
      press_key(dialog, Qt::Key_Return);
    });
    trigger("DirTreeCreateFolder");
  }
  EXPECT_EQ(walk_paths(*a.t.tree), names_t({"/a/", "/a/b/", "/a/x", "/c/", "/c/typed name/", "/c/z", "/y"}));
  EXPECT_EQ(log_lines(ui), names_t({"Cannot create folder \"/c/z\": already exists\n"}));
}

// ---- Rename, copy, expand and collapse ---------------------------------------------------------------------

TEST(DirtreeActions, RenameOpensTheEditorAndTheTypedNameRenames)
{
  acted_t a;
  a.widget.setFocus();
  struct case_t
  {
    const char *row;
    const char *typed;
    names_t tree;
  };
  const std::vector<case_t> cases = {
    {"x", "w", {"/a/", "/a/b/", "/a/w", "/c/", "/c/z", "/y"}},
    {"c", "k", {"/a/", "/a/b/", "/a/w", "/k/", "/k/z", "/y"}},
  };
  for ( const case_t &c : cases )
  {
    a.select({c.row});
    trigger("DirTreeRename");
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr) << c.row;
    EXPECT_EQ(editor->text().toStdString(), c.row);
    editor->selectAll();
    QTest::keyClicks(editor, c.typed);
    QTest::keyClick(editor, Qt::Key_Return);
    a.widget.settle();
    EXPECT_EQ(walk_paths(*a.t.tree), c.tree) << c.row;
    EXPECT_TRUE(a.widget.row_named(c.typed).isValid()) << c.typed;
  }
  a.select({});
  EXPECT_EQ(a.state("DirTreeRename"), "7 Re&name");
}

TEST(DirtreeActions, CopyAndCopyAllPutTheRowsOnTheClipboard)
{
  acted_t a;
  a.widget.collapse(a.row("a"));
  a.select({"z", "c"});
  trigger("DirTreeCopy");
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "c\t\nz\t") << "in the order the view shows them";
  trigger("DirTreeCopyAll");
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "Name\tSize\na\t\nc\t\nz\t\ny\t")
    << "a collapsed folder without its rows";
}

TEST(DirtreeActions, ExpandAndCollapseActOnTheSelectedFoldersOrTheWholeTree)
{
  struct case_t
  {
    const char *why;
    names_t selected;
    const char *action;
    names_t rows;
  };
  const std::vector<case_t> cases = {
    {"collapse a selected folder and an item", {"a", "z"}, "DirTreeCollapseSelection", {"a", "c", "  z", "y"}},
    {"collapse everything, the top stays", {}, "DirTreeCollapseSelection", {"a", "c", "y"}},
    {"expand a selected folder", {"c"}, "DirTreeExpandSelection", {"a", "c", "  z", "y"}},
    {"expand everything", {}, "DirTreeExpandSelection", {"a", "  b", "  x", "c", "  z", "y"}},
  };
  for ( const case_t &c : cases )
  {
    acted_t a;
    if ( c.action == std::string("DirTreeExpandSelection") )
    {
      a.widget.collapseAll();
      a.widget.expand(a.widget.rootIndex());
    }
    a.select(c.selected);
    trigger(c.action);
    EXPECT_EQ(a.widget.shown_rows(), c.rows) << c.why;
  }
}

TEST(DirtreeActions, ResettingNaturalOrderSortsEachConcernedFolder)
{
  acted_t a;
  a.t.spec->add_item("w", 13);
  ASSERT_EQ(a.t->link_or_unlink_path("/a/w", true), 0);
  ASSERT_EQ(a.t->shift_entry("/a/w", -2), 0);
  ASSERT_EQ(a.t->create_folder("/c/d"), 0);
  ASSERT_EQ(a.t->shift_entry("/c/d", 1), 0);
  a.widget.settle();
  const uint64_t folder_a = a.t->entry_of_path("/a").id;
  const uint64_t folder_c = a.t->entry_of_path("/c").id;
  ASSERT_EQ(folder_names(*a.t.tree, folder_a), names_t({"w", "b/", "x"}));
  ASSERT_EQ(folder_names(*a.t.tree, folder_c), names_t({"z", "d/"}));
  // Two items of /a: /a alone is sorted again.
  a.select({"x", "w"});
  EXPECT_EQ(a.state("DirTreeResetNaturalOrder"), "3 Reset natural order");
  trigger("DirTreeResetNaturalOrder");
  EXPECT_EQ(folder_names(*a.t.tree, folder_a), names_t({"b/", "x", "w"}));
  EXPECT_EQ(folder_names(*a.t.tree, folder_c), names_t({"z", "d/"}));
  a.widget.settle();
  EXPECT_EQ(a.state("DirTreeResetNaturalOrder"), "7 Reset natural order");
  // The folder c itself.
  a.select({"c"});
  trigger("DirTreeResetNaturalOrder");
  EXPECT_EQ(folder_names(*a.t.tree, folder_c), names_t({"d/", "z"}));
  EXPECT_TRUE(a.t->in_natural_order(folder_a) && a.t->in_natural_order(folder_c));
}

// ---- The context menu ----------------------------------------------------------------------------------------

TEST(DirtreeActions, TheTreeMenuListsItsThirteenEntriesAndLeavesOutDisabledOnes)
{
  acted_t a;
  ASSERT_EQ(a.t->shift_entry("/a/x", -1), 0);
  a.widget.settle();
  a.widget.collapse(a.row("c"));
  dirtree_selection_t cut(1);
  ASSERT_TRUE(a.widget.cursor_of_index(&cut[0], a.row("y")));
  ASSERT_EQ(cut_dirtree_selection(&a.widget, &cut), 1);
  a.select({"a", "c"});
  refresh_actions_for(UPDACT_ACTIVATED, nullptr, nullptr);
  {
    popup_menu_ctx_t popup(&a.widget);
    ASSERT_NE(popup.menu, nullptr);
    populate_dirtree_popup(&popup);
    EXPECT_EQ(entry_texts(popup.menu.get()),
              names_t({"Create folder with items...", "Reset natural order", "-", "Re&name", "-",
                       "Collapse selected folders", "Expand selected folders", "-", "Copy", "Copy all", "-", "Cut",
                       "Paste"}));
  }
  // Nothing selected: rename, cut, paste and the natural order are disabled and left out, with their
  // separators.
  a.select({});
  refresh_actions_for(UPDACT_ACTIVATED, nullptr, nullptr);
  popup_menu_ctx_t popup(&a.widget);
  populate_dirtree_popup(&popup);
  EXPECT_EQ(entry_texts(popup.menu.get()), names_t({"Create folder...", "-", "Collapse entire tree",
                                                    "Expand entire tree", "-", "Copy", "Copy all", "-"}));
}
