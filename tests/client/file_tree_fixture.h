// The file trees' fixture: the file commands' session (alice on site ws over TLS) with more files on the server,
// a real work directory, and a docked tree view driven by real mouse and key events.
#pragma once

#include "client/views/file_tree_widget.h"
#include "tests/client/file_command_fixture.h"

#include <QModelIndex>

#include <memory>
#include <string>
#include <vector>

class file_tree_test_t : public file_command_test_t
{
protected:
  // The server holds //depot/a.txt, //depot/b.txt, //depot/sub/c.txt (site ws holds all three at revision 1),
  // //depot/zz.bin held by nobody's site, and //gone.txt deleted on the server. The work directory holds the
  // files ws has.
  void SetUp() override;
  void TearDown() override;

  // Shows the tree's host at a usable size with the tree focused, the pending work done.
  void show(QWidget *host);
  // Queued events first, then the tree's pending update.
  void settle(files_dirtree_widget_t &tree);
  // The shown row whose name (the text before its revision suffix) is given, searched depth first among
  // the expanded folders; invalid when none.
  QModelIndex row(files_dirtree_widget_t &tree, const std::string &name);
  // The texts of the shown rows in display order, indented two blanks per level.
  std::vector<std::string> rows(files_dirtree_widget_t &tree);
  // A row's text in a column.
  std::string text(files_dirtree_widget_t &tree, const std::string &name, int column);
  // Clicks a row (with modifiers) as the user does.
  void click(files_dirtree_widget_t &tree, const std::string &name, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
  // Clicks a folder row and presses Right to expand it.
  void expand(files_dirtree_widget_t &tree, const std::string &name);
  // The patterns of the listings the server was asked for since the last clear.
  std::vector<std::string> listed_patterns() const;
  // Right-clicks the row and clicks the menu entry of that text; false when the menu or entry is missing.
  bool choose_from_menu(files_dirtree_widget_t &tree, const std::string &name, const std::string &entry);
  // Saves a screenshot of the widget for the step.
  void screenshot(QWidget &widget, const char *step);

  std::vector<std::unique_ptr<QWidget>> hosts; // the views a test made, deleted at its end
};
