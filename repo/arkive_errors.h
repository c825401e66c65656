// Repository error codes: the codes the client core produces itself and the text of every code.
#pragma once

#include "core/qstring.h"

// Codes that the client core produces itself; every other code comes from the server inside RPC_FAIL.
enum arkive_error_code_t : int
{
  ARKIVE_OK = 0,
  ARKIVE_CANCELED = 1,            // a long operation was cancelled by the user
  ARKIVE_FILE_NOT_FOUND = 3,      // detail: the path
  ARKIVE_MESSAGE = 33,            // detail: the whole, already composed message
  ARKIVE_OUTSIDE_ROOT = 42,       // detail: the server path that failed the check
  ARKIVE_BAD_PACKET = 47,         // detail: the received packet type, in decimal
  ARKIVE_DISCONNECTED = 53,       // detail: the connection's last error text, may be empty
};

// The message of a repository error code with its detail text.
// A null detail means string argument 0 of the calling thread's error state (empty when it holds none),
// so a code must be formatted on the thread that received it. The detail is substituted as it is: a '%'
// inside it is never interpreted. Negative codes and codes from 63 on give "?"; a code below 63 that has no
// row of its own gives "error N: detail" ("error N" without a detail), so a server code is never lost.
qstring arkive_error_text(int code, const char *detail = nullptr);
// The same text appended to out: a long list of messages is built without a string per message.
void append_arkive_error_text(qstring *out, int code, const char *detail = nullptr);
