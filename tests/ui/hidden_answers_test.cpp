// Remembered message-box answers: which scopes keep them, sharing across punctuation, and the reset.
#include "tests/ui/app/test_app.h"
#include "ui/message_box_header.h"

#include "core/registry.h"

#include <gtest/gtest.h>

namespace {

message_box_header_t header_for(int32_t scope, const char *format)
{
  message_box_header_t header;
  header.autohide = scope;
  set_message_box_key(&header, format);
  return header;
}

TEST(HiddenAnswers, RegistryAndSessionRememberPerKeyUntilReset)
{
  struct case_t
  {
    const char *what;
    int32_t scope;
    bool kept;
  };
  const case_t cases[] = {
    {"no check box", MBOX_AUTOHIDE_NONE, false},
    {"database: the framework keeps nothing", MBOX_AUTOHIDE_DATABASE, false},
    {"registry", MBOX_AUTOHIDE_REGISTRY, true},
    {"session", MBOX_AUTOHIDE_SESSION, true},
  };
  app_t &app = test_app();
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.what);
    app.reset_hidden_answers();
    const message_box_header_t first = header_for(c.scope, "Overwrite %s?");
    const message_box_header_t same = header_for(c.scope, "Overwrite:%s!");
    const message_box_header_t other = header_for(c.scope, "Delete %s?");
    int32_t answer = 42;
    EXPECT_FALSE(app.get_hidden_answer(&answer, first));
    EXPECT_EQ(app.set_hidden_answer(first, 0), c.kept);
    EXPECT_EQ(app.set_hidden_answer(same, 1), c.kept) << "a second answer replaces the first";
    EXPECT_EQ(app.get_hidden_answer(&answer, first), c.kept);
    EXPECT_EQ(answer, c.kept ? 1 : 42);
    EXPECT_FALSE(app.get_hidden_answer(&answer, other));
    // The registry value is named by the key, under "Hidden Messages".
    EXPECT_EQ(registry_int(first.key.c_str(), false, -1, "Hidden Messages"),
              c.scope == MBOX_AUTOHIDE_REGISTRY ? 1 : -1);
    app.reset_hidden_answers();
    EXPECT_FALSE(app.get_hidden_answer(&answer, same));
    EXPECT_EQ(registry_int(first.key.c_str(), false, -1, "Hidden Messages"), -1);
  }
}

} // namespace
