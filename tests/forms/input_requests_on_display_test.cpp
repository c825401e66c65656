// The core's input requests on a real display: the Connect dialog, a file request and a text request as a user
// sees them, a screenshot per step.
#include "core/registry.h"
#include "core/ui_callback.h"
#include "forms/form_widget.h"
#include "forms/inputs/form_dialog.h"
#include "tests/forms/connect_dialog_support.h"
#include "tests/forms/modal_player.h"
#include "tests/forms/support/dialog_dispatcher.h"
#include "tests/ui/app/screenshots.h"
#include "tests/ui/app/test_app.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// Shows the window's latest paint before it is saved.
void shoot(QWidget &window, const char *step)
{
  QTest::qWait(50);
  EXPECT_FALSE(save_screenshot(window, step).isEmpty()) << step;
}

TEST(InputRequestsOnDisplay, ConnectDialogFileRequestAndTextRequest)
{
  ASSERT_TRUE(registry_select_app("akui"));
  test_app().native_dialogs = false;
  recording_ui_callback_t ui;
  dialog_dispatcher_t dispatcher(ui);
  connect_test_server_t server;
  std::string error;
  ASSERT_TRUE(server.start(&error)) << error;
  const std::string server_text = "127.0.0.1:" + std::to_string(server.server.tls_port());

  // The Connect dialog, typed into and with the proxy fields shown.
  {
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the Connect dialog", [&](ui_form_dialog_t &dialog) {
      ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
      const connect_fields_t fields(dialog);
      ASSERT_TRUE(fields.complete());
      shoot(dialog, "connect-1-shown");
      type_into(fields.server, server_text);
      type_into(fields.user, "alice");
      type_into(fields.password, "secret");
      shoot(dialog, "connect-2-typed");
      QTest::mouseClick(fields.use_proxy, Qt::LeftButton, {}, QPoint(8, fields.use_proxy->height() / 2));
      EXPECT_TRUE(pump_until([&] { return fields.proxy->isVisible(); }));
      shoot(dialog, "connect-3-proxy-shown");
      QTest::mouseClick(fields.use_proxy, Qt::LeftButton, {}, QPoint(8, fields.use_proxy->height() / 2));
      EXPECT_TRUE(pump_until([&] { return !fields.proxy->isVisible(); }));
      shoot(dialog, "connect-4-proxy-hidden");
      QTest::keyClick(fields.password, Qt::Key_Return);
    });
    arkive_credentials_t credentials;
    server_validator_t validator;
    EXPECT_EQ(credentials.run_connect_dialog(&validator, nullptr, 1), 1);
    EXPECT_EQ(validator.results, std::vector<int> {0});
  }

  // A file request: the save dialog with its filters, a name typed.
  {
    const char *tmp = std::getenv("TMPDIR");
    const std::filesystem::path folder = std::filesystem::path(tmp != nullptr ? tmp : "/tmp") / "on-display";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "notes.txt") << "x";
    modal_player_t player;
    player.on_next<QFileDialog>("the save dialog", [](QFileDialog &dialog) {
      ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
      shoot(dialog, "file-1-shown");
      auto *name = dialog.findChild<QLineEdit *>("fileNameEdit");
      ASSERT_NE(name, nullptr);
      QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClicks(name, "report");
      shoot(dialog, "file-2-typed");
      QTest::keyClick(name, Qt::Key_Return);
      if ( dialog.isVisible() )
        QTest::keyClick(name, Qt::Key_Return);
    });
    const char *chosen = prompt_file_name(true, (folder / "draft.txt").string().c_str(),
                                          "FILTER Text files|*.txt|Logs|*.log\nSave the report");
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(std::string(chosen), (folder / "report.txt").string());
  }

  // A text request: the one-field form, a value typed.
  {
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the text form", [](ui_form_dialog_t &dialog) {
      ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
      shoot(dialog, "text-1-shown");
      QComboBox *combo = dialog.findChild<QComboBox *>();
      ASSERT_NE(combo, nullptr);
      QWidget *field = type_into(combo, "9090");
      shoot(dialog, "text-2-typed");
      QTest::keyClick(field, Qt::Key_Return);
    });
    qstring value = "8080";
    EXPECT_TRUE(input_value_printf(&value, 0, "Port: %s", "(1-65535)"));
    EXPECT_EQ(value, "9090");
  }
  test_app().native_dialogs = true;
}

} // namespace
