// Repository error codes with their detail text in string argument 0 of the thread's error state.
#pragma once

// Stores "path: <system text of errno_value>" (the system text alone without a path) as the detail and
// returns 33 (ARKIVE_MESSAGE). errno_value -1 means the current errno.
int arkive_errno_error(int errno_value, const char *path);

// Formats the arguments into the detail and returns code; an empty result releases the detail instead.
int arkive_format_error(int code, const char *format, ...);
