// Callback-driven deflate and inflate of zlib streams (header and Adler-32 trailer), and in-memory compression.
#pragma once

#include "core/qvector.h"

#include <cstddef>
#include <sys/types.h>

// Supplies input: places up to `capacity` bytes into `buffer` and returns how many; 0 at the end of the input,
// negative on failure.
using zstream_reader_t = ssize_t (*)(void *context, void *buffer, size_t capacity);

// Consumes output: takes up to `count` bytes and returns how many it took; fewer than `count` is a failure.
using zstream_writer_t = size_t (*)(void *context, const void *data, size_t count);

// Result codes of deflate_stream and inflate_stream besides 0 (success) and the negated zlib codes
// 2 (stream error), 3 (damaged or unusable input), 4 (out of memory), 5 (input ended too early).
enum : int
{
  ZSTREAM_READ_FAILED = 777,   // the reader answered a negative count (or more than it was asked for)
  ZSTREAM_WRITE_FAILED = 778,  // the writer took fewer bytes than it was given
};

// Compresses everything the reader supplies into one zlib stream handed to the writer in 32 KiB blocks (the
// last one shorter). Returns 0 on success, else one of the positive codes above; the writer has then received
// whatever was produced until the failure. Allocates nothing beyond zlib's own state.
[[nodiscard]] int deflate_stream(void *context, zstream_reader_t reader, zstream_writer_t writer);

// Decompresses one zlib stream supplied by the reader and hands the bytes to the writer in 32 KiB blocks.
// Input that ends before the stream is complete gives 5, damaged input 3. Bytes after the end of the stream
// are ignored.
[[nodiscard]] int inflate_stream(void *context, zstream_reader_t reader, zstream_writer_t writer);

// Deflates all bytes of `input` and appends the zlib stream to `output`. True on success; on failure `output`
// may hold part of a stream after its old contents.
[[nodiscard]] bool compress_bytes(const byte_buffer_t &input, byte_buffer_t &output);
