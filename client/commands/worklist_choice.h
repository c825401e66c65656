// The file commands' road to the worklist dialogs of the Worklists view: choosing a worklist and making a new
// one. The Worklists view installs its chooser; without one no worklist can be chosen.
#pragma once

#include <cstdint>

// Answers of choose_worklist besides a worklist number.
constexpr int32_t WORKLIST_CHOICE_CANCELLED = -1;
constexpr int32_t WORKLIST_CHOICE_NEW = -2;

class worklist_chooser_t
{
public:
  virtual ~worklist_chooser_t() = default;
  // The "Choose worklist" dialog over the current site's worklists except left_out (-1: none left out): a
  // worklist number, WORKLIST_CHOICE_CANCELLED, or WORKLIST_CHOICE_NEW for its "New worklist" row.
  [[nodiscard]] virtual int32_t choose_worklist(int32_t left_out) = 0;
  // Asks for a description ("Enter a new worklist description") and creates the worklist: its number, or -1.
  [[nodiscard]] virtual int32_t ask_new_worklist() = 0;
};

// Installs the chooser (not owned; null removes it). GUI thread.
void install_worklist_chooser(worklist_chooser_t *chooser);
// The installed chooser, or null.
[[nodiscard]] worklist_chooser_t *installed_worklist_chooser();
