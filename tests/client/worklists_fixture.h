// The Worklists view's test fixture: the worklist forms' fixture (alice on site ws of the test server, the
// real forms), a second site "other" of bob, worklists and opened files made through real requests, and a docked view
// driven by mouse and key events.
#pragma once

#include "client/views/worklists_view.h"
#include "tests/client/worklist_fixture.h"

#include <QPoint>

#include <string>
#include <vector>

class QMimeData;

class worklists_test_t : public worklist_test_t
{
protected:
  void SetUp() override;
  void TearDown() override;

  // A new worklist of alice on ws (through the client): its number.
  int32_t add_ws_worklist(const char *description);
  // Opens the paths in a worklist of ws: added (new paths) or edited (known ones).
  void add_files(int32_t worklist, const std::vector<std::string> &paths);
  void edit_files(int32_t worklist, const std::vector<std::string> &paths);
  // Site "other" of bob with its default worklist 1 and one more (2); bob adds the paths in worklist 2.
  void seed_other_site(const std::vector<std::string> &added);

  // A Worklists view docked in the main window, loaded; null on failure.
  worklists_dirtree_widget_t *open_view();
  // Closes the docked view as its dock's close button does.
  void close_view(QWidget *view_host);
  // Posted events, then the pending model update.
  void settle();
  // Column-0 texts of the shown rows, a folder's rows after it indented by two blanks.
  std::vector<std::string> shown_rows() const;
  // The index of the first shown row whose column-0 text is the text, invalid when none.
  QModelIndex row(const std::string &text, int column = 0) const;
  // Clicks a row's cell (with modifiers), double clicks it, presses a key in the view.
  void click(const std::string &text, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
  void double_click(const std::string &text);
  void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
  // Runs an application action as the menus do, with the view as the context.
  int run_action(const char *name);
  // Drops the data onto the row (invalid: the empty area below the rows) with drag-enter, drag-move and drop
  // events; true when the view accepted the drop.
  bool drop_on(const QMimeData &data, const QModelIndex &row);
  // Saves a screenshot of the view's window under the step's name.
  void shoot(const char *step);

  // The paths and number (or flag) of every request of the type since the last clear.
  struct path_request_t
  {
    std::vector<std::string> paths;
    int32_t number = 0;
  };
  std::vector<path_request_t> path_requests(uint8_t type) const;

  worklists_dirtree_widget_t *view = nullptr;
  QWidget *host = nullptr;
  std::string other_root; // the work directory of site "other"
};

// The display name a file item of the view shows.
std::string item_text(const char *path, const char *revisions);
