// Descriptions of the operating system's error numbers.
#pragma once

// The system's description of an errno value, or null when the value has none. The text is static.
const char *platform_error_description(int code);
