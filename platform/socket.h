// Socket layer: the POSIX socket calls of the streams, with interrupted calls retried and no SIGPIPE.
#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>

// A socket descriptor; `invalid_os_socket` when none is open.
using os_socket_t = int;
inline constexpr os_socket_t invalid_os_socket = -1;

// The error code (an errno value) of the last failed call of this layer on the calling thread.
int os_socket_error();

// The text of a resolver (getaddrinfo/getnameinfo) result code; never null.
const char *os_resolver_error_text(int code);

// A new socket (close-on-exec), or `invalid_os_socket` with the error code set.
os_socket_t os_socket_create(int family, int type, int protocol);

// Sets an int-valued socket option; false with the error code set.
bool os_socket_set_int_option(os_socket_t s, int level, int name, int value);

// Connects a blocking socket; a connect interrupted by a signal is completed rather than restarted.
bool os_socket_connect(os_socket_t s, const sockaddr *address, socklen_t length);

// Binds the socket to the address and listens with the largest backlog the system allows.
bool os_socket_bind(os_socket_t s, const sockaddr *address, socklen_t length);
bool os_socket_listen(os_socket_t s);

// Takes one connection from a listening socket; `invalid_os_socket` on failure. Interrupted calls are retried.
os_socket_t os_socket_accept(os_socket_t listener);

// Waits until the socket is readable (data, end of stream or an error condition).
// timeout_ms < 0 waits without limit. Returns > 0 when readable, 0 when the time ran out, -1 on failure.
// A signal does not end the wait early: it goes on for the time that remains.
int os_socket_poll_readable(os_socket_t s, int timeout_ms);

// One receive of up to n bytes: the count, 0 when the peer closed the connection, -1 on failure.
int64_t os_socket_recv(os_socket_t s, void *buffer, size_t n);
// The same without waiting: -2 (and no error recorded) when nothing has arrived yet.
int64_t os_socket_recv_waiting(os_socket_t s, void *buffer, size_t n);

// One send of n bytes (never raises SIGPIPE): the count sent, -1 on failure.
int64_t os_socket_send(os_socket_t s, const void *data, size_t n);

// Shuts the connection down in one direction: 0 receive, 1 send, 2 both.
bool os_socket_shutdown(os_socket_t s, int how);

// Closes the descriptor; a failure is of no use to anybody, so none is reported.
void os_socket_close(os_socket_t s);
