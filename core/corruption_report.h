// The log line that reports a corrupted stored structure.
#pragma once

// Logs "**DATABASE IS CORRUPTED: " followed by the formatted message (a log request of the UI callback).
void report_corruption(const char *format, ...);
