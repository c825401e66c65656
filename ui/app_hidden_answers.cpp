// Remembered message-box answers: in the registry, or in memory for the session.
#include "ui/app_base.h"

#include "core/registry.h"
#include "ui/message_box_header.h"

#include <algorithm>

namespace {

constexpr char hidden_messages_key[] = "Hidden Messages";

} // namespace

bool _base_app_mixin_t::get_hidden_answer(int32_t *answer, const message_box_header_t &header)
{
  if ( header.autohide == MBOX_AUTOHIDE_REGISTRY )
  {
    const int32_t stored = registry_int(header.key.c_str(), false, -1, hidden_messages_key);
    if ( stored == -1 )
      return false;
    *answer = stored;
    return true;
  }
  if ( header.autohide == MBOX_AUTOHIDE_SESSION )
  {
    const auto found = std::find_if(session_answers_.begin(), session_answers_.end(),
                                    [&](const auto &entry) { return entry.first == header.hash; });
    if ( found == session_answers_.end() )
      return false;
    *answer = found->second;
    return true;
  }
  return false;
}

bool _base_app_mixin_t::set_hidden_answer(const message_box_header_t &header, int32_t answer)
{
  if ( header.autohide == MBOX_AUTOHIDE_REGISTRY )
  {
    (void)registry_int(header.key.c_str(), true, answer, hidden_messages_key);
    return true;
  }
  if ( header.autohide == MBOX_AUTOHIDE_SESSION )
  {
    const auto found = std::find_if(session_answers_.begin(), session_answers_.end(),
                                    [&](const auto &entry) { return entry.first == header.hash; });
    if ( found != session_answers_.end() )
      found->second = answer;
    else
      session_answers_.emplace_back(header.hash, answer);
    return true;
  }
  return false;
}

void _base_app_mixin_t::reset_hidden_answers()
{
  session_answers_.clear();
  (void)registry_remove_tree(hidden_messages_key);
}
