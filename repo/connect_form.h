// The Connect form: server, user, password, proxy and whether to save the login, and the validator that
// tries a login before it is accepted.
#pragma once

#include "core/form_actions.h"

struct arkive_credentials_t;

// Tries a login that the user entered. The client's login sequence implements it by connecting.
class credential_validator_t
{
public:
  virtual ~credential_validator_t() = default;
  // True accepts the credentials (which hold the passwords the user typed for this call only).
  virtual bool validate(arkive_credentials_t &credentials) = 0;
};

// The form description of the Connect form. Its fields in order: server text, user, password (field ids 0),
// the check-box group (use proxy: field 10, bit 0; save: bit 1), proxy text (11), proxy user (12), proxy
// password (13).
extern const char connect_form_text[];

// The form's callback: when the form starts and when the use-proxy box changes, shows the proxy fields
// exactly while the box is ticked. Always 1.
int connect_form_callback(int field_id, form_actions_t &actions);
