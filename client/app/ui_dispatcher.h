// The client's answer to the core's UI callback: every request code becomes a box, a log line, a wait box, a
// dialog or a GUI-thread request.
#pragma once

#include <cstdint>

// The process's UI callback. Any thread may call it; widgets are reached only through GUI-thread requests.
// Error and fatal messages (code 24, kinds 0 and 3) end the process with exit code 1 after their box. Codes it
// does not answer give 0; code 117 (an extra configuration directive) gives 1, unknown.
int64_t ui_callback_dispatcher(int32_t code, ...);

// Makes the dispatcher the process's UI callback.
void install_ui_callback_dispatcher();
