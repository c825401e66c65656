// The installed worklist chooser.
#include "client/commands/worklist_choice.h"

namespace {

// The one chooser of the process, installed by the Worklists view (tests install their own).
worklist_chooser_t *installed_chooser = nullptr;

} // namespace

void install_worklist_chooser(worklist_chooser_t *chooser)
{
  installed_chooser = chooser;
}

worklist_chooser_t *installed_worklist_chooser()
{
  return installed_chooser;
}
