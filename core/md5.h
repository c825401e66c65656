// MD5 digests of byte streams and the upper-case hexadecimal text of a digest.
#pragma once

#include <cstddef>
#include <cstdint>

// Running state of one MD5 digest. Fed in pieces of any size; md5_final leaves it all zeros.
struct md5_context_t
{
  uint32_t state[4];  // chaining words A, B, C, D
  uint32_t bits[2];   // message length in bits: low word, then high word
  uint8_t block[64];  // bytes of the block not yet complete (bits / 8 modulo 64 of them are in use)
};

// Starts a fresh digest.
void md5_init(md5_context_t *ctx);

// Adds count bytes. May be called any number of times with any counts, 0 included.
void md5_update(md5_context_t *ctx, const void *data, size_t count);

// Writes the 16-byte digest of everything added since md5_init, then clears the context to zeros.
void md5_final(uint8_t digest[16], md5_context_t *ctx);

// Writes the digest as 32 upper-case hexadecimal digits and a terminating NUL into buf (33 bytes).
// A smaller buffer gets the text cut to size - 1 digits, still terminated; size 0 writes nothing.
// Returns buf.
char *digest_to_hex(const uint8_t digest[16], char *buf, size_t size);
