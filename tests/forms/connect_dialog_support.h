// Helpers of the Connect dialog tests: a test server that knows alice, a validator that logs in there, and the
// dialog's fields.
#pragma once

#include "forms/form_widget.h"
#include "forms/inputs/form_dialog.h"
#include "repo/connect_form.h"
#include "repo/connection_factory.h"
#include "repo/login_credentials.h"
#include "tests/forms/modal_player.h"
#include "tests/server/arkive_test_server.h"
#include "tests/server/seed_file.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include <string>
#include <vector>

// The project's test server, with the user alice (password "secret").
struct connect_test_server_t
{
  [[nodiscard]] bool start(std::string *error)
  {
    return load_seed_text(server.repository(), "user alice secret admin name=Alice\n", error) && server.start(error);
  }
  arkive_test_server_t server;
};

// Tries the login at the server the credentials name, as the client's login does; records each answer (0: in).
class server_validator_t : public credential_validator_t
{
public:
  bool validate(arkive_credentials_t &credentials) override
  {
    arkive_connection_factory_t *factory = arkive_connection_factory_t::instance();
    qstring error;
    (void)factory->configure(&error, credentials);
    results.push_back(factory->check_credentials(&error, nullptr, credentials.user.c_str(),
                                                 credentials.password.c_str()));
    return results.back() == 0;
  }
  std::vector<int> results;
};

// The fields of a shown Connect dialog, in the form's order.
struct connect_fields_t
{
  explicit connect_fields_t(ui_form_dialog_t &dialog)
  {
    std::vector<QComboBox *> texts;
    std::vector<QLineEdit *> passwords;
    std::vector<QCheckBox *> boxes;
    for ( const form_control_t &control : dialog.form()->controls() )
    {
      if ( auto *combo = qobject_cast<QComboBox *>(control.widget) )
        texts.push_back(combo);
      else if ( auto *edit = qobject_cast<QLineEdit *>(control.widget) )
        passwords.push_back(edit);
      else if ( auto *box = qobject_cast<QCheckBox *>(control.widget) )
        boxes.push_back(box);
    }
    if ( texts.size() != 4 || passwords.size() != 2 || boxes.size() != 2 )
      return;
    server = texts[0];
    user = texts[1];
    proxy = texts[2];
    proxy_user = texts[3];
    password = passwords[0];
    proxy_password = passwords[1];
    use_proxy = boxes[0];
    save = boxes[1];
  }
  [[nodiscard]] bool complete() const { return server != nullptr; }

  QComboBox *server = nullptr;
  QComboBox *user = nullptr;
  QLineEdit *password = nullptr;
  QCheckBox *use_proxy = nullptr;
  QCheckBox *save = nullptr;
  QComboBox *proxy = nullptr;
  QComboBox *proxy_user = nullptr;
  QLineEdit *proxy_password = nullptr;
};

// Types into a field as a user does: a click into it, all selected, the new text typed; a list of earlier
// entries that popped up under it is closed with Escape. Answers the widget that took the keys.
inline QWidget *type_into(QWidget *field, const std::string &text)
{
  QWidget *target = field;
  if ( auto *combo = qobject_cast<QComboBox *>(field); combo != nullptr && combo->lineEdit() != nullptr )
    target = combo->lineEdit();
  QTest::mouseClick(target, Qt::LeftButton);
  QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
  type_text(target, QString::fromStdString(text));
  if ( QWidget *popup = QApplication::activePopupWidget() )
    QTest::keyClick(popup, Qt::Key_Escape);
  return target;
}
