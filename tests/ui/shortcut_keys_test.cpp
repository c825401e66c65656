// Configured shortcuts reach their actions: real key presses on a shown window trigger them.
#include "core/cfg_reader.h"
#include "tests/support/interr_capture.h"
#include "tests/ui/app/test_app.h"
#include "ui/shortcut_config.h"
#include "ui/shortcut_table.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"

#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace {

int presses_configured = 0;
int presses_enter = 0;
int presses_default = 0;

intptr_t assignment_handler(token_reader_t *reader, const lexer_token_t *name, const lexer_token_t *value)
{
  if ( name->kind != TOKEN_STRING )
    return CFG_RESULT_UNRECOGNISED;
  parse_key_assignment(reader, name->text.c_str(), value, false);
  return CFG_RESULT_OK;
}

TEST(ShortcutKeys, ConfiguredShortcutsTriggerTheirActions)
{
  ui_action_registry_t &registry = *test_app().get_action_registry();
  registry.clear();
  struct row_t
  {
    const char *name;
    const char *shortcut;
    int (*activate)(ui_action_activation_ctx_t *);
  };
  const row_t rows[] = {
    {"keys.configured", nullptr, [](ui_action_activation_ctx_t *) { return ++presses_configured; }},
    {"keys.enter", nullptr, [](ui_action_activation_ctx_t *) { return ++presses_enter; }},
    {"keys.default", "Ctrl+Shift+F2", [](ui_action_activation_ctx_t *) { return ++presses_default; }},
  };
  std::vector<action_desc_t> descs(std::size(rows));
  for ( size_t i = 0; i < std::size(rows); ++i )
  {
    descs[i].name = rows[i].name;
    descs[i].label = rows[i].name;
    descs[i].shortcut = rows[i].shortcut;
    descs[i].activate = rows[i].activate;
    descs[i].widget_kinds = ~uint64_t(0);
    ASSERT_NE(registry.register_core_action(descs[i]), nullptr);
  }

  const config_keyword_t keywords[] = {
    {"SHORTCUTS", uint64_t(reinterpret_cast<uintptr_t>(&apply_shortcuts_directive)), CFG_HANDLER, 0, 0},
  };
  ASSERT_TRUE(read_config_source("SHORTCUTS = { legacy: { \"keys.configured\": \"Ctrl-Shift-F11\" } }\n"
                                 "\"keys.enter\" = \"Ctrl-Enter\"\n",
                                 0, keywords, std::size(keywords), assignment_handler, nullptr, 0, nullptr));
  // Applied once per process; when an earlier test of this process applied it, apply these two by hand.
  if ( interr_number([] { apply_actions_shortcuts_config(); }) == INTERR_SHORTCUTS_APPLIED_TWICE )
    for ( const char *name : {"keys.configured", "keys.enter"} )
      find_ui_action(name)->apply_shortcuts();

  QWidget *window = test_app().main_window();
  window->show();
  QApplication::setActiveWindow(window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));

  QTest::keyClick(window, Qt::Key_F11, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(presses_configured, 1);
  QTest::keyClick(window, Qt::Key_F2, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(presses_default, 1);
  QTest::keyClick(window, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(presses_enter, 1) << "Ctrl+Return answers a binding to Ctrl+Enter";
  QTest::keyClick(window, Qt::Key_Enter, Qt::ControlModifier);
  EXPECT_EQ(presses_enter, 2);
  QTest::keyClick(window, Qt::Key_F11, Qt::ControlModifier);
  EXPECT_EQ(presses_configured, 1) << "another combination does nothing";

  // A user list replaces the configured keys at once; an empty one removes them.
  ui_action_t *configured = find_ui_action("keys.configured");
  ASSERT_TRUE(configured->apply_property(ACTION_PROP_SHORTCUTS, "Alt-F11"));
  QTest::keyClick(window, Qt::Key_F11, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(presses_configured, 1);
  QTest::keyClick(window, Qt::Key_F11, Qt::AltModifier);
  EXPECT_EQ(presses_configured, 2);
  ASSERT_TRUE(configured->apply_property(ACTION_PROP_SHORTCUTS, ""));
  QTest::keyClick(window, Qt::Key_F11, Qt::AltModifier);
  EXPECT_EQ(presses_configured, 2);

  window->hide();
  registry.clear();
}

} // namespace
