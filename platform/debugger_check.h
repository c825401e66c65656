// Whether a debugger is attached to this process.
#pragma once

// True when another process traces this one (a non-zero TracerPid in /proc/self/status).
bool platform_debugger_attached();
