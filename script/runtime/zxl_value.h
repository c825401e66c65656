// The ZXL value: its kinds and layout, strings, and copying, moving, releasing and following references.
#pragma once

#include "core/internal_error.h"
#include "core/qvector.h"
#include "core/xfloat.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

struct zxl_object_t;
class zxl_slot_owner_t;

// Kind codes of a value. ZK_ANY only appears in native argument-kind strings, never in a value.
enum zxl_value_kind : uint8_t
{
  ZK_LONG = 2,
  ZK_FLOAT = 3,
  ZK_ANY = 4,
  ZK_OBJECT = 5,
  ZK_FUNC = 6,
  ZK_STRING = 7,
  ZK_POINTER = 8,
  ZK_INT64 = 9,
  ZK_REF = 10,
};

// One STRING holds at most this many bytes; an operation that would pass it throws std::bad_alloc.
inline constexpr size_t ZXL_STRING_MAX = size_t(1) << 30;
// Strings of at most this many bytes live inside the value (a NUL follows them there too).
inline constexpr size_t ZXL_SHORT_STRING_MAX = 21;
// zxl_value_t::str_len of a STRING whose bytes live in a shared heap buffer.
inline constexpr uint8_t ZXL_HEAP_STRING = 0xFF;

// The heap bytes of a long STRING, shared by the copies of one value. Promises: the bytes never change while
// more than one value holds the buffer (a write first takes a private copy), so a copied STRING never changes
// with its original; the bytes are followed by a NUL. The count is atomic because values copied out of a
// global by two threads share the buffer.
struct zxl_string_t;

// 24 bytes, trivially copyable, so value stacks move with memmove and a move is a plain copy. Layout: byte 0
// the kind; byte 1 the length of a short STRING (or ZXL_HEAP_STRING); bytes 2 to 23 hold a short string's
// bytes and NUL; otherwise bytes 4 to 7 hold a REF's slot index and bytes 8 to 23 the payload. FLOATs are
// held whole in the value so arithmetic never allocates. Every live value is released exactly once
// (zxl_value_clear or a move out of it); the neutral value is LONG 0.
struct zxl_ref_t
{
  zxl_slot_owner_t *owner; // null for a global
  uint64_t serial;         // the owner's serial when the REF was made
};
struct alignas(8) zxl_value_t
{
  uint8_t kind = ZK_LONG;
  uint8_t str_len = 0;
  uint16_t spare = 0;
  int32_t index = 0; // REF: a stack slot index, or -1-g for global g
  union
  {
    int64_t i = 0;   // LONG, INT64
    uint64_t u;      // POINTER
    int32_t func;    // FUNC: 0 and up compiled, negative native
    xfloat_t f;      // FLOAT
    zxl_object_t *object;
    zxl_string_t *str;
    zxl_ref_t ref;
  };
};
static_assert(sizeof(zxl_value_t) == 24);
static_assert(std::is_trivially_copyable_v<zxl_value_t>);

// Constructors of values that own nothing.
inline zxl_value_t zxl_integer(uint8_t kind, int64_t v) // LONG or INT64
{
  zxl_value_t r;
  r.kind = kind;
  r.i = v;
  return r;
}
inline zxl_value_t zxl_long(int64_t v)
{
  return zxl_integer(ZK_LONG, v);
}
inline zxl_value_t zxl_int64(int64_t v)
{
  return zxl_integer(ZK_INT64, v);
}
inline zxl_value_t zxl_float(const xfloat_t &v)
{
  zxl_value_t r;
  r.kind = ZK_FLOAT;
  r.f = v;
  return r;
}
inline zxl_value_t zxl_func(int32_t index)
{
  zxl_value_t r;
  r.kind = ZK_FUNC;
  r.func = index;
  return r;
}
inline zxl_value_t zxl_pointer(uint64_t v)
{
  zxl_value_t r;
  r.kind = ZK_POINTER;
  r.u = v;
  return r;
}
// A REF to global g.
zxl_value_t zxl_global_ref(int32_t g);
// A REF to stack slot `index` of a live owner.
zxl_value_t zxl_slot_ref(zxl_slot_owner_t *owner, int32_t index);
// A STRING of these bytes (which may hold NULs); the value owns its copy. Over ZXL_STRING_MAX: std::bad_alloc.
// Short strings are made inline: string constants are pushed on hot paths (attribute and method names).
zxl_value_t zxl_heap_string(std::string_view bytes);
// Writes a short STRING (at most ZXL_SHORT_STRING_MAX bytes) into a slot that owns nothing.
inline void zxl_short_string_into(zxl_value_t *slot, std::string_view bytes)
{
  slot->kind = ZK_STRING;
  slot->str_len = uint8_t(bytes.size());
  char *out = reinterpret_cast<char *>(slot) + 2;
  if ( !bytes.empty() )
    std::memcpy(out, bytes.data(), bytes.size());
  out[bytes.size()] = '\0';
}
inline zxl_value_t zxl_string(std::string_view bytes)
{
  if ( bytes.size() > ZXL_SHORT_STRING_MAX )
    return zxl_heap_string(bytes);
  zxl_value_t v;
  zxl_short_string_into(&v, bytes);
  return v;
}
// An OBJECT value holding one more reference to the object.
zxl_value_t zxl_object_value(zxl_object_t *object);

// The bytes of a STRING value (without the NUL that always follows them). Short ones are read in place:
// attribute and method names are looked up by them on every access.
std::string_view zxl_heap_string_view(const zxl_value_t &v);
inline std::string_view zxl_string_view(const zxl_value_t &v)
{
  if ( v.str_len == ZXL_HEAP_STRING )
    return zxl_heap_string_view(v);
  return {reinterpret_cast<const char *>(&v) + 2, v.str_len};
}
// Appends bytes to a STRING slot in place, taking a private buffer first when the current one is shared.
// Over ZXL_STRING_MAX: std::bad_alloc with the slot unchanged.
void zxl_string_append(zxl_value_t *slot, std::string_view bytes);
// Replaces bytes [start, end) of a STRING slot by `bytes`, with the same sharing and bound rules.
void zxl_string_splice(zxl_value_t *slot, size_t start, size_t end, std::string_view bytes);

// True for the kinds a value may hold.
inline bool zxl_kind_valid(uint8_t kind)
{
  return kind >= ZK_LONG && kind <= ZK_REF && kind != ZK_ANY;
}

// True when the value owns something: a share of a STRING buffer or a reference to an OBJECT.
inline bool zxl_value_owns(const zxl_value_t &v)
{
  return v.kind == ZK_OBJECT || (v.kind == ZK_STRING && v.str_len == ZXL_HEAP_STRING);
}
// The out-of-line halves of the two operations below, for values that own something.
void zxl_value_release_owned(const zxl_value_t &v);
zxl_value_t zxl_value_share_owned(const zxl_value_t &v);

// Releases what the value owns (a STRING buffer share, an OBJECT reference) without touching the slot; for
// the code that takes a value out of its slot first.
inline void zxl_value_release(const zxl_value_t &v)
{
  if ( zxl_value_owns(v) )
    zxl_value_release_owned(v);
}
// The value with one more share of what it owns (a STRING buffer, an OBJECT); an invalid kind is internal
// error `bad_kind`.
inline zxl_value_t zxl_value_share(const zxl_value_t &v, int32_t bad_kind)
{
  if ( zxl_value_owns(v) )
    return zxl_value_share_owned(v);
  if ( !zxl_kind_valid(v.kind) )
    interr(bad_kind);
  return v;
}
// Puts v into the slot (no REF is followed), then releases the old content. Takes v's ownership. The slot is
// whole before the old content goes: a destructor that runs on the release sees it settled.
inline void zxl_value_replace(zxl_value_t *slot, const zxl_value_t &v)
{
  const zxl_value_t old = *slot;
  *slot = v;
  zxl_value_release(old);
}

// Copies source into the destination. A destination holding a REF is replaced by the slot it refers to (one
// level; an unresolvable REF answers the current error code). The source is shared before the destination's
// old content is released, so copying a part of what only the destination holds is safe. Copying a slot onto
// itself does nothing. An invalid source kind is internal error 283. 0 or an error code.
[[nodiscard]] int zxl_value_copy(zxl_value_t *destination, const zxl_value_t *source);
// The same destination rule; the payload moves and the source becomes LONG 0. Internal error 282 for an
// invalid kind.
[[nodiscard]] int zxl_value_move(zxl_value_t *destination, zxl_value_t *source);
// Releases the content; the slot becomes LONG 0. A null slot is internal error 2656.
void zxl_value_clear(zxl_value_t *slot);
// Releases every value of the vector and empties it.
void zxl_values_release(qvector<zxl_value_t> *values);

// Flags of zxl_value_deref.
inline constexpr int ZXL_DEREF_ONE_LEVEL = 1; // the first target, whatever its kind
inline constexpr int ZXL_DEREF_REPLACE = 2;   // also copy the final value into the starting slot

// Follows a REF: a slot that is not a REF is its own result. A global index not below the global count is
// internal error 288; a stack REF whose owner has ended or whose index is not below the owner's depth is
// dangling. Without ZXL_DEREF_ONE_LEVEL the chain is followed to a non-REF value; a cycle or a dangling REF
// sets error 1563 and answers null. With ZXL_DEREF_REPLACE the starting slot then holds a copy of the final
// value and is the result. The result points into a stack, a global or the slot itself.
// Values that are no REF are their own target without a call: the interpreter follows every slot it reads.
zxl_value_t *zxl_value_deref_ref(zxl_value_t *slot, int flags);
inline zxl_value_t *zxl_value_deref(zxl_value_t *slot, int flags)
{
  if ( slot != nullptr && slot->kind != ZK_REF )
    return slot;
  return zxl_value_deref_ref(slot, flags);
}

// The part of an execution context that REF values point into: its value stack, whose depth is its count.
// Promises: while it exists it is listed as live under a serial that no other owner ever gets, so a REF to an
// owner that has ended is dangling even when a new owner takes the same address. Not copyable. The stack's
// values are released by the destructor.
class zxl_slot_owner_t
{
public:
  zxl_slot_owner_t();
  ~zxl_slot_owner_t();
  zxl_slot_owner_t(const zxl_slot_owner_t &) = delete;
  zxl_slot_owner_t &operator=(const zxl_slot_owner_t &) = delete;

  uint64_t serial() const { return serial_; }

  qvector<zxl_value_t> stack;

private:
  uint64_t serial_;
};
