// The core's debug flags: the hexadecimal word of the -z option, whose bits switch on traces.
#pragma once

#include <cstdint>

// Set once at start-up from the command line and only read afterwards. Bits: 0x80 configuration files,
// 0x100000 connecting, the proxy exchange and the certificate check, 0x4000000 process launches.
extern uint32_t debug_flags;

// The bit of debug_flags that traces connecting, the proxy exchange and the certificate check.
inline constexpr uint32_t debug_trace_connect = 0x100000;
