// Deflate and inflate loops between a reader and a writer, with zlib doing the (de)compression.
#include "core/zlib_stream.h"

#include "core/byte_cursor.h"

#include <cstring>

#include <zlib.h>

namespace {

constexpr size_t block_size = 32768;

// zlib answers as the positive numbers callers see. A stream that asks for a preset dictionary cannot be
// inflated here, so it counts as unusable input rather than as a (positive) success-like answer.
int result_of_zlib_code(int rc)
{
  if ( rc == Z_NEED_DICT )
    return -Z_DATA_ERROR;
  return -rc;
}

// One pass of the shared loop: `step` is deflate or inflate, `end` its matching clean-up. The stream has been
// initialised by the caller.
int run_stream(z_stream &zs, int (*step)(z_streamp, int), int (*end)(z_streamp), void *context,
               zstream_reader_t reader, zstream_writer_t writer)
{
  unsigned char in[block_size];
  unsigned char out[block_size];
  zs.next_in = in;
  zs.avail_in = 0;
  zs.next_out = out;
  zs.avail_out = block_size;

  int error = 0;
  bool writer_failed = false;
  ssize_t last_read = 1;  // so that the first read always happens
  int rc = Z_OK;
  while ( rc == Z_OK )
  {
    if ( zs.avail_in == 0 && last_read > 0 )
    {
      last_read = reader(context, in, block_size);
      if ( last_read < 0 || size_t(last_read) > block_size )
      {
        error = ZSTREAM_READ_FAILED;
        break;
      }
      zs.next_in = in;
      zs.avail_in = uInt(last_read);
    }
    if ( zs.avail_out == 0 )
    {
      if ( writer(context, out, block_size) < block_size )
      {
        error = ZSTREAM_WRITE_FAILED;
        writer_failed = true;
        break;
      }
      zs.next_out = out;
      zs.avail_out = block_size;
    }
    // An empty input buffer here means the reader has reached its end.
    rc = step(&zs, zs.avail_in == 0 ? Z_FINISH : Z_NO_FLUSH);
  }
  end(&zs);

  // The writer gets what was produced, unless it already refused a block: handing that block again would
  // repeat the part it took.
  const size_t pending = block_size - zs.avail_out;
  if ( !writer_failed && pending != 0 && writer(context, out, pending) < pending && error == 0 )
    error = ZSTREAM_WRITE_FAILED;

  if ( error != 0 )
    return error;
  return rc == Z_STREAM_END ? 0 : result_of_zlib_code(rc);
}

int deflate_end(z_streamp zs)
{
  return deflateEnd(zs);
}

int inflate_end(z_streamp zs)
{
  return inflateEnd(zs);
}

struct buffer_source
{
  const byte_buffer_t &input;
  byte_buffer_t &output;
  size_t position = 0;
};

ssize_t read_from_buffer(void *context, void *buffer, size_t capacity)
{
  auto *src = static_cast<buffer_source *>(context);
  const size_t left = src->input.size() - src->position;
  const size_t n = left < capacity ? left : capacity;
  if ( n != 0 )
    std::memcpy(buffer, src->input.begin() + src->position, n);
  src->position += n;
  return ssize_t(n);
}

size_t append_to_buffer(void *context, const void *data, size_t count)
{
  auto *src = static_cast<buffer_source *>(context);
  bytevec_append(&src->output, data, count);
  return count;
}

} // namespace

int deflate_stream(void *context, zstream_reader_t reader, zstream_writer_t writer)
{
  z_stream zs {};
  const int rc = deflateInit(&zs, Z_DEFAULT_COMPRESSION);
  if ( rc != Z_OK )
    return result_of_zlib_code(rc);
  return run_stream(zs, deflate, deflate_end, context, reader, writer);
}

int inflate_stream(void *context, zstream_reader_t reader, zstream_writer_t writer)
{
  z_stream zs {};
  const int rc = inflateInit(&zs);
  if ( rc != Z_OK )
    return result_of_zlib_code(rc);
  return run_stream(zs, inflate, inflate_end, context, reader, writer);
}

bool compress_bytes(const byte_buffer_t &input, byte_buffer_t &output)
{
  buffer_source src { input, output };
  return deflate_stream(&src, read_from_buffer, append_to_buffer) == 0;
}
