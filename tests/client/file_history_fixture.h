// The File history tests' fixture: the file commands' session with //depot/a.txt at revisions 1 to 5 (the site
// holding 1), the history windows it opens, and a player of the context menus a test opens.
#pragma once

#include "client/views/file_history_view.h"
#include "tests/client/file_command_fixture.h"
#include "tests/support/env_guard.h"

#include <QMenu>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class chooser_widget_t;

// Plays the user of the next popup menu: records the texts of its usable entries (the menu leaves out the
// actions that do not apply), saves a screenshot, then clicks the entry of that text (mnemonics removed) or, for an empty text, closes the menu.
class popup_player_t
{
public:
  popup_player_t();
  // The entry to click in the next menu, and the screenshot step name.
  void click_next(const char *entry, const char *step);
  // Whether the menu of the last request was handled.
  [[nodiscard]] bool done() const { return done_; }

  std::vector<std::string> entries;

private:
  void tick();

  QTimer timer_;
  std::string entry_;
  std::string step_;
  bool done_ = true;
};

class file_history_test_t : public file_command_test_t
{
protected:
  void SetUp() override;
  void TearDown() override;

  // The history window of the path, null when none is open.
  static chooser_widget_t *history_window(const char *path);
  static file_history_chooser_t *history_of(chooser_widget_t *window);
  // Opens the history through "file_history" run on a file tree whose selection is the path; the handler's
  // result.
  int open_from_tree(const char *path);
  // Runs a history row's action (file_history_action_descs) on the context of a view.
  int run_history_action(const char *action, test_selection_view_t &view);
  // The shown rows as "rev|size|committed|location|cid|description" and the revisions shown bold.
  static std::vector<std::string> shown_rows(chooser_widget_t *window);
  static std::vector<int> bold_revisions(chooser_widget_t *window);
  // The revisions of the selected rows.
  static std::vector<int> selected_revisions(chooser_widget_t *window);
  // Waits until the window's rows are loaded as the predicate wants; false on time-out.
  static bool wait_rows(chooser_widget_t *window, const std::function<bool()> &done);
  // Clicks the row showing the revision; false when none shows it.
  static bool click_revision(chooser_widget_t *window, int revision);
  // Opens the context menu over the row of the revision and clicks the entry (empty: closes the menu); answers
  // the entries the menu showed.
  std::vector<std::string> popup_on_revision(chooser_widget_t *window, int revision, const char *entry,
                                             const char *step);
  // Closes every history window and forgets the remembered revision.
  static void close_histories();

  env_guard_t tz_ {"TZ", "UTC"};
  popup_player_t popup;
};
