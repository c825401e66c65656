// The MD5 digest of a work-directory file read through its file system.
#pragma once

#include <cstdint>

class abstract_fs_t;

// Reads the file through fs in 4 MiB pieces and writes the MD5 of its bytes into digest. Answers the
// close's code after a complete read; a failed open answers its code and leaves digest alone; a failed
// read answers its code, and digest then holds the digest of the bytes read before it.
int hash_local_file(abstract_fs_t *fs, const char *path, uint8_t digest[16]);
