// The repository's Connect form, compiled with the arguments its dialog passes and driven with real events.
#include "repo/connect_form.h"

#include "core/registry.h"
#include "repo/login_credentials.h"
#include "tests/forms/form_widget_fixture.h"
#include "tests/ui/app/screenshots.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(form_connect, compiles_with_the_dialog_arguments_and_shows_the_proxy_fields_while_ticked)
{
  ASSERT_TRUE(registry_select_app("akui"));
  recording_ui_callback_t ui;
  arkive_credentials_t credentials;
  credentials.user = "alice";
  credentials.host = "srv";
  credentials.port = 8080;
  credentials.proxy.host = "px";
  credentials.proxy.port = 3128;
  credentials.proxy.user = "pu";
  credentials.password = "secret";
  credentials.flags = credentials_save;

  bool played = false;
  ui.script_form([&](const char *text, va_list args) -> int64_t {
    played = true;
    hosted_form_t hosted;
    form_args_t cursor(args);
    EXPECT_TRUE(compile_form(hosted.form, text, cursor));
    EXPECT_EQ(hosted.form->call_form_callback(form_code_ready), 1);
    hosted.dialog->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(hosted.dialog.get()));

    // Every field shows its variable.
    auto *server = hosted.control<QComboBox>('q', 0);
    auto *user = hosted.control<QComboBox>('q', 1);
    auto *password = hosted.control<QLineEdit>('p', 0);
    auto *proxy = hosted.control<QComboBox>('q', 2);
    auto *proxy_user = hosted.control<QComboBox>('q', 3);
    auto *proxy_password = hosted.control<QLineEdit>('p', 1);
    auto *use_proxy = hosted.control<QCheckBox>('C', 0);
    auto *save = hosted.control<QCheckBox>('C', 1);
    EXPECT_TRUE(server && user && password && proxy && proxy_user && proxy_password && use_proxy && save);
    if ( !(server && user && password && proxy && proxy_user && proxy_password && use_proxy && save) )
      return 0;
    EXPECT_EQ(server->currentText(), "srv:8080");
    EXPECT_EQ(user->currentText(), "alice");
    EXPECT_EQ(password->text(), "secret");
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    EXPECT_EQ(proxy->currentText(), "px:3128");
    EXPECT_EQ(proxy_user->currentText(), "pu");
    EXPECT_FALSE(use_proxy->isChecked());
    EXPECT_TRUE(save->isChecked());
    EXPECT_EQ(server->toolTip(), "Arkive server, in 'host:port' form");
    EXPECT_FALSE(proxy->isVisible()) << "the proxy fields start hidden while the box is not ticked";
    save_screenshot(*hosted.dialog, "without-proxy");

    QTest::mouseClick(use_proxy, Qt::LeftButton);
    EXPECT_TRUE(use_proxy->isChecked());
    EXPECT_TRUE(proxy->isVisible());
    EXPECT_TRUE(proxy_user->isVisible());
    EXPECT_TRUE(proxy_password->isVisible());
    save_screenshot(*hosted.dialog, "with-proxy");
    QTest::mouseClick(use_proxy, Qt::LeftButton);
    EXPECT_FALSE(proxy->isVisible());
    EXPECT_FALSE(proxy_password->isVisible());
    QTest::mouseClick(use_proxy, Qt::LeftButton);

    server->lineEdit()->selectAll();
    QTest::keyClicks(server->lineEdit(), "host2:99");
    QTest::mouseClick(hosted.dialog_button(QDialogButtonBox::Yes), Qt::LeftButton);
    EXPECT_EQ(hosted.dialog->result(), QDialog::Accepted);
    EXPECT_TRUE(hosted.form->sync_all_values());
    return hosted.dialog->result();
  });
  EXPECT_EQ(credentials.run_connect_dialog(nullptr, nullptr, 1), 1);
  EXPECT_TRUE(played);
  EXPECT_EQ(credentials.host, "host2");
  EXPECT_EQ(credentials.port, 99);
  EXPECT_NE(credentials.flags & credentials_use_proxy, 0u) << "the box read back into the mask";
  EXPECT_NE(credentials.flags & credentials_save, 0u);
}

} // namespace
