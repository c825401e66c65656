// The credential store: secrets of saved logins, addressed by user, target and service.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

// A secret store. Promises: no operation throws; every failure answers false and, when an error string is
// given, leaves there "Invalid credentionals" (a null text), "Conversion error" (a text that is not UTF-8) or
// the system's message for the failure. A secret never reaches a log or an error text. Any thread may call.
class credential_store_t
{
public:
  virtual ~credential_store_t() = default;

  // Appends the secret stored for (user, target, service) to *out. Reading what does not exist fails with
  // the system's message for a missing key.
  virtual bool read_secret(byte_buffer_t *out, const char *user, const char *target, const char *service,
                           qstring *error) = 0;
  // Creates the credential, or replaces the secret of an existing one.
  virtual bool write_secret(const char *user, const char *target, const char *service, const byte_buffer_t &secret,
                            qstring *error) = 0;
  // Deletes the credential; one that does not exist counts as deleted.
  virtual bool delete_secret(const char *user, const char *target, const char *service, qstring *error) = 0;
};

// The store of the operating system's user: generic credentials named user + "@" + target + "/" + service,
// kept in the user's private credential file (folder from XDG_CONFIG_HOME or HOME, read at each call).
class os_credential_store_t : public credential_store_t
{
public:
  bool read_secret(byte_buffer_t *out, const char *user, const char *target, const char *service,
                   qstring *error) override;
  bool write_secret(const char *user, const char *target, const char *service, const byte_buffer_t &secret,
                    qstring *error) override;
  bool delete_secret(const char *user, const char *target, const char *service, qstring *error) override;
};

// A new store of the operating system (owned by the caller).
credential_store_t *make_os_credential_store();

// The process-wide store: made on first use (safe from any thread), never destroyed.
credential_store_t *credential_store_instance();
