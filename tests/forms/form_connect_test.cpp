// The repository's Connect form, compiled with the arguments its dialog passes and driven with real events.
#include "repo/connect_form.h"

#include "tests/forms/connect_form_fixture.h"
#include "tests/ui/app/screenshots.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(form_connect, compiles_with_the_dialog_arguments_and_shows_the_proxy_fields_while_ticked)
{
  arkive_credentials_t credentials = sample_connect_credentials();
  const int answer = run_connect_form(credentials, [](hosted_form_t &hosted) {
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
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(credentials.host, "host2");
  EXPECT_EQ(credentials.port, 99);
  EXPECT_NE(credentials.flags & credentials_use_proxy, 0u) << "the box read back into the mask";
  EXPECT_NE(credentials.flags & credentials_save, 0u);
}

} // namespace
