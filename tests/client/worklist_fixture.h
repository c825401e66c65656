// The worklist tests' fixture: the file commands' fixture whose forms are the real ones, played with real key
// and mouse events, and helpers that open files in worklists of the test server.
#pragma once

#include "tests/client/file_command_fixture.h"

#include <QDialog>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

class QAbstractButton;
class QCheckBox;
class text_area_t;

// Acts on each modal form dialog once it is shown and active, from inside its modal run: the first dialog gets the
// first step, the next one the second, and so on. A dialog left without a step is closed with Escape and
// counted as unexpected.
class dialog_player_t
{
public:
  using step_t = std::function<void(QDialog &)>;
  explicit dialog_player_t(std::vector<step_t> steps);
  ~dialog_player_t();
  dialog_player_t(const dialog_player_t &) = delete;
  dialog_player_t &operator=(const dialog_player_t &) = delete;

  [[nodiscard]] size_t played() const { return played_; }
  [[nodiscard]] int unexpected() const { return unexpected_; }

private:
  std::vector<step_t> steps_;
  QTimer timer_;
  QDialog *last_ = nullptr;
  size_t played_ = 0;
  int unexpected_ = 0;
};

// The dialog's push button whose text (mnemonic marks removed) is the text; null when none is visible.
QAbstractButton *dialog_button(QDialog &dialog, const char *text);
// Clicks it with the mouse (a test failure when it is missing).
void click_button(QDialog &dialog, const char *text);
// The dialog's text areas in layout order.
std::vector<text_area_t *> text_areas(QDialog &dialog);
// The check box whose text contains the text.
QCheckBox *check_box_of(QDialog &dialog, const char *text);
// Makes the callback answer form requests (modal dialogs and docked form widgets) with the real form engine.
void answer_forms_with_the_engine(recording_ui_callback_t &ui);
// Replaces the text area's text as a user does: select all with the keyboard, then type.
void type_text(text_area_t *area, const char *text);

class worklist_test_t : public file_command_test_t
{
protected:
  void SetUp() override;

  // Writes the paths' local files, then opens them for edit in a new worklist of the description; its number.
  int32_t open_in_new_worklist(const char *description, const std::vector<std::string> &paths);
  // The server's record of a worklist of the site (a test failure when there is none).
  worklist_info_t worklist_record(int32_t number);
  // The server's worklist files of a worklist, in the server's order.
  qvector<worklist_file_t> worklist_files(int32_t number);
  // The commit requests the server received: (description, worklist, force).
  struct commit_request_t
  {
    std::string description;
    int32_t worklist;
    int32_t force;
  };
  std::vector<commit_request_t> commit_requests() const;
  // The edit-worklist requests: (number, description).
  std::vector<std::pair<int32_t, std::string>> edit_worklist_requests() const;
};
