// Environment and host queries: environment variables read safely from any thread, host name resolution,
// the computer's name, and small text-scanning helpers of the parsers.
#pragma once

#include <cstdint>

#include "core/qstring.h"

struct addrinfo;
struct sockaddr_storage;

// True when the environment variable `name` exists (an empty value counts); its value then replaces the
// content of *out (when given). A missing variable leaves *out untouched. Safe from any thread: the read is
// made under the core's process-wide lock.
bool read_env_var(const char *name, qstring *out);

// The system's address list for `host` in the address family `family` (AF_INET, AF_INET6, AF_UNSPEC), with
// `port` as the service (none when 0); free it with freeaddrinfo. Null when the lookup fails.
addrinfo *lookup_host(const char *host, int family, uint16_t port);

// Stores the first address that lookup_host finds for `host` in *out (a sockaddr_in or sockaddr_in6; the rest
// of *out is zeroed) and returns true; false when the lookup fails.
[[nodiscard]] bool resolve_host_address(sockaddr_storage *out, const char *host, int family, uint16_t port);

// Stores the computer's name (UTF-8) in *out and returns true; false when it cannot be read, is empty or is
// not valid UTF-8 (*out is then untouched).
[[nodiscard]] bool local_computer_name(qstring *out);

// The first byte of text that is not ASCII white space (bytes of 0x80 and above are not white); null for null.
const char *skip_blanks(const char *text);
char *skip_blanks(char *text);

// Removes the trailing ASCII white space of text in place (a byte of 0x80 or above stops the removal) and
// returns text; null for null.
char *trim_right(char *text);

// The first place in text where pattern occurs, ASCII letter case ignored; null when there is none or text
// or pattern is null. An empty pattern matches at the start of the text.
const char *find_text_nocase(const char *text, const char *pattern);
char *find_text_nocase(char *text, const char *pattern);
