// Wildcard matchers for ignore-file rules and plain whole-text patterns.
#pragma once

// Matches a relative path (segments separated by '/') against an ignore-file pattern:
// '*' and '?' stay within one segment, "[...]" and "[!...]" are character sets, "**" spans any number of
// directories, a leading '/' anchors the pattern and a trailing '/' selects what lies inside a directory.
// A pattern without '/' is matched against the last segment only. Byte-wise and case-sensitive; no escapes.
// Only option bits 0 are defined.
bool path_pattern_match(const char *path, const char *pattern, int options);

// Whole-text wildcard match: '*' matches any run (including '/'), '?' any one byte.
bool star_pattern_match(const char *text, const char *pattern);
