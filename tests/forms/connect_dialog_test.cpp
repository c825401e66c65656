// The repository's Connect dialog as a new user meets it: the real form in a real dialog, typed into with the
// keyboard, its login tried against the project's test server.
#include "repo/connect_form.h"

#include "core/registry.h"
#include "forms/form_widget.h"
#include "forms/inputs/form_dialog.h"
#include "repo/connection_factory.h"
#include "repo/login_credentials.h"
#include "tests/forms/connect_dialog_support.h"
#include "tests/forms/modal_player.h"
#include "tests/forms/support/dialog_dispatcher.h"
#include "tests/ui/app/screenshots.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <string>

namespace {

class ConnectDialog : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(registry_select_app("akui"));
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;
    server_text = "127.0.0.1:" + std::to_string(server.server.tls_port());
  }

  connect_test_server_t server;
  std::string server_text;
  recording_ui_callback_t ui;
  dialog_dispatcher_t dispatcher {ui};
};

TEST_F(ConnectDialog, ANewUserTypesServerUserAndPasswordAndIsLoggedIn)
{
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the Connect dialog", [&](ui_form_dialog_t &dialog) {
    const connect_fields_t fields(dialog);
    ASSERT_TRUE(fields.complete());
    EXPECT_EQ(dialog.windowTitle(), "Connect to server");
    EXPECT_FALSE(fields.proxy->isVisible()) << "no proxy fields before the box is ticked";
    EXPECT_TRUE(fields.server->lineEdit()->hasFocus()) << "the server field starts";
    save_screenshot(dialog, "new");
    type_into(fields.server, server_text);
    type_into(fields.user, "alice");
    QWidget *password = type_into(fields.password, "secret");
    EXPECT_EQ(fields.password->echoMode(), QLineEdit::Password);
    save_screenshot(dialog, "typed");
    QTest::keyClick(password, Qt::Key_Return);
  });
  arkive_credentials_t credentials;
  server_validator_t validator;
  EXPECT_EQ(credentials.run_connect_dialog(&validator, nullptr, 1), 1);
  EXPECT_EQ(validator.results, std::vector<int> {0}) << "the server accepted alice";
  EXPECT_EQ(credentials.host, "127.0.0.1");
  EXPECT_EQ(credentials.port, server.server.tls_port());
  EXPECT_EQ(credentials.user, "alice");
  EXPECT_TRUE(credentials.password.empty()) << "the typed password is lent to the validator only";
  EXPECT_EQ(credentials.flags & credentials_save, 0u);
}

TEST_F(ConnectDialog, EscapeCancelsAndChangesNothing)
{
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the Connect dialog", [&](ui_form_dialog_t &dialog) {
    const connect_fields_t fields(dialog);
    ASSERT_TRUE(fields.complete());
    QTest::keyClick(type_into(fields.server, "elsewhere:1"), Qt::Key_Escape);
  });
  arkive_credentials_t credentials;
  credentials.user = "bob";
  const qstring host = credentials.host;
  server_validator_t validator;
  EXPECT_EQ(credentials.run_connect_dialog(&validator, nullptr, 1), 0);
  EXPECT_TRUE(validator.results.empty());
  EXPECT_EQ(credentials.host, host);
  EXPECT_EQ(credentials.user, "bob");
}

TEST_F(ConnectDialog, ARefusedLoginShowsTheDialogAgainWithWhatWasTyped)
{
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the first Connect dialog", [&](ui_form_dialog_t &dialog) {
    const connect_fields_t fields(dialog);
    ASSERT_TRUE(fields.complete());
    type_into(fields.server, server_text);
    type_into(fields.user, "alice");
    QTest::keyClick(type_into(fields.password, "wrong"), Qt::Key_Return);
  });
  player.on_next<ui_form_dialog_t>("the second Connect dialog", [&](ui_form_dialog_t &dialog) {
    const connect_fields_t fields(dialog);
    ASSERT_TRUE(fields.complete());
    EXPECT_EQ(fields.server->currentText().toStdString(), server_text);
    EXPECT_EQ(fields.user->currentText(), "alice");
    save_screenshot(dialog, "again");
    type_into(fields.password, "secret");
    QTest::mouseClick(fields.save, Qt::LeftButton, {}, QPoint(8, fields.save->height() / 2));
    QTest::keyClick(fields.password, Qt::Key_Return);
  });
  arkive_credentials_t credentials;
  server_validator_t validator;
  // As the client's login does: again while the validator refuses.
  int result;
  while ( (result = credentials.run_connect_dialog(&validator, nullptr, 1)) == 2 )
    ;
  EXPECT_EQ(result, 1);
  ASSERT_EQ(validator.results.size(), 2u);
  EXPECT_NE(validator.results[0], 0) << "the wrong password was refused";
  EXPECT_EQ(validator.results[1], 0);
  EXPECT_NE(credentials.flags & credentials_save, 0u) << "the ticked box saves the login";
  qstring stored;
  EXPECT_TRUE(credentials.read_password(&stored, nullptr));
  EXPECT_EQ(stored, "secret");
}

TEST_F(ConnectDialog, TheProxyFieldsFollowTheBox)
{
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the Connect dialog", [&](ui_form_dialog_t &dialog) {
    const connect_fields_t fields(dialog);
    ASSERT_TRUE(fields.complete());
    const int height_without = dialog.height();
    QTest::mouseClick(fields.use_proxy, Qt::LeftButton, {}, QPoint(8, fields.use_proxy->height() / 2));
    EXPECT_TRUE(fields.proxy->isVisible());
    EXPECT_TRUE(fields.proxy_user->isVisible());
    EXPECT_TRUE(fields.proxy_password->isVisible());
    EXPECT_TRUE(pump_until([&] { return dialog.height() > height_without; })) << "the dialog grows to the form";
    save_screenshot(dialog, "with-proxy");
    type_into(fields.proxy, "proxy.example:3128");
    type_into(fields.proxy_user, "pu");
    QTest::mouseClick(fields.use_proxy, Qt::LeftButton, {}, QPoint(8, fields.use_proxy->height() / 2));
    EXPECT_FALSE(fields.proxy->isVisible());
    EXPECT_TRUE(pump_until([&] { return dialog.height() == height_without; }));
    QTest::mouseClick(fields.use_proxy, Qt::LeftButton, {}, QPoint(8, fields.use_proxy->height() / 2));
    QTest::mouseClick(dialog.form()->button_box()->button(QDialogButtonBox::Yes), Qt::LeftButton);
  });
  arkive_credentials_t credentials;
  EXPECT_EQ(credentials.run_connect_dialog(nullptr, nullptr, 1), 1);
  EXPECT_NE(credentials.flags & credentials_use_proxy, 0u);
  EXPECT_EQ(credentials.proxy.host, "proxy.example");
  EXPECT_EQ(credentials.proxy.port, 3128);
  EXPECT_EQ(credentials.proxy.user, "pu");
}

} // namespace
