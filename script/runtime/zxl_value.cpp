// ZXL values: strings, copy, move and release, and following references to stack slots and globals.
#include "script/runtime/zxl_value.h"

#include "script/runtime/zxl_engine.h"
#include "script/runtime/zxl_object.h"

#include "core/error_state.h"
#include "core/internal_error.h"
#include "core/threads.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>
#include <unordered_set>

struct zxl_string_t
{
  std::atomic<uint32_t> refs;
  uint64_t size;
  uint64_t capacity; // text bytes the block holds, the NUL not counted
  char *bytes() { return reinterpret_cast<char *>(this + 1); }
};

namespace
{

// ---- strings ----

// Bytes 2 to 23 of a value hold a short string and its NUL.
char *short_bytes(zxl_value_t *v)
{
  return reinterpret_cast<char *>(v) + 2;
}

zxl_string_t *new_string_block(uint64_t capacity)
{
  if ( capacity > ZXL_STRING_MAX )
    throw std::bad_alloc();
  void *block = std::malloc(sizeof(zxl_string_t) + capacity + 1);
  if ( block == nullptr )
    throw std::bad_alloc();
  zxl_string_t *s = new (block) zxl_string_t;
  s->refs.store(1, std::memory_order_relaxed);
  s->size = 0;
  s->capacity = capacity;
  return s;
}

void drop_string_block(zxl_string_t *s)
{
  if ( s->refs.fetch_sub(1, std::memory_order_acq_rel) == 1 )
  {
    s->~zxl_string_t();
    std::free(s);
  }
}

// Makes *v a STRING of `size` bytes whose content the caller writes through the returned pointer (the NUL
// after them is set here); *v owns nothing before. A long string gets room for `capacity` bytes.
char *make_string(zxl_value_t *v, size_t size, size_t capacity)
{
  if ( size > ZXL_STRING_MAX )
    throw std::bad_alloc();
  *v = zxl_value_t();
  v->kind = ZK_STRING;
  if ( size <= ZXL_SHORT_STRING_MAX )
  {
    v->str_len = uint8_t(size);
    short_bytes(v)[size] = '\0';
    return short_bytes(v);
  }
  zxl_string_t *s = new_string_block(std::max(size, capacity));
  s->size = size;
  s->bytes()[size] = '\0';
  v->str_len = ZXL_HEAP_STRING;
  v->str = s;
  return s->bytes();
}

// ---- live slot owners ----

// Owners that exist, by address, with the serial each got. Never destroyed: owners may end during static
// destruction.
struct live_owners_t
{
  std::mutex mutex;
  std::unordered_map<const zxl_slot_owner_t *, uint64_t> serials;
  uint64_t next_serial = 1;
};
live_owners_t &live_owners()
{
  static live_owners_t *owners = new live_owners_t;
  return *owners;
}

// The slot a REF names, or null when it is dangling. A global index outside the table is internal error 288.
zxl_value_t *ref_target(const zxl_value_t &ref)
{
  if ( ref.index < 0 )
  {
    critical_section_guard_t guard(zxl_script_lock);
    return &zxl_global_at(-1 - ref.index)->value;
  }
  live_owners_t &owners = live_owners();
  std::lock_guard<std::mutex> guard(owners.mutex);
  const auto it = owners.serials.find(ref.ref.owner);
  if ( it == owners.serials.end() || it->second != ref.ref.serial )
    return nullptr;
  qvector<zxl_value_t> &stack = ref.ref.owner->stack;
  return size_t(ref.index) < stack.size() ? &stack[size_t(ref.index)] : nullptr;
}

// The REF slots met while following a chain; a handful in place, more in a set.
class visited_refs_t
{
public:
  // False when the slot was met before.
  bool visit(const zxl_value_t *slot)
  {
    if ( std::find(near_, near_ + count_, slot) != near_ + count_ )
      return false;
    if ( count_ < std::size(near_) )
    {
      near_[count_++] = slot;
      return true;
    }
    return far_.insert(slot).second;
  }

private:
  const zxl_value_t *near_[8];
  size_t count_ = 0;
  std::unordered_set<const zxl_value_t *> far_;
};

} // namespace

// ---- construction and strings ----

zxl_value_t zxl_global_ref(int32_t g)
{
  zxl_value_t v;
  v.kind = ZK_REF;
  v.index = -1 - g;
  v.ref = {nullptr, 0};
  return v;
}

zxl_value_t zxl_slot_ref(zxl_slot_owner_t *owner, int32_t index)
{
  zxl_value_t v;
  v.kind = ZK_REF;
  v.index = index;
  v.ref = {owner, owner->serial()};
  return v;
}

zxl_value_t zxl_heap_string(std::string_view bytes)
{
  zxl_value_t v;
  char *out = make_string(&v, bytes.size(), bytes.size());
  if ( !bytes.empty() )
    std::memcpy(out, bytes.data(), bytes.size());
  return v;
}

zxl_value_t zxl_object_value(zxl_object_t *object)
{
  ++object->refs;
  zxl_value_t v;
  v.kind = ZK_OBJECT;
  v.object = object;
  return v;
}

std::string_view zxl_heap_string_view(const zxl_value_t &v)
{
  return {v.str->bytes(), size_t(v.str->size)};
}

void zxl_string_splice(zxl_value_t *slot, size_t start, size_t end, std::string_view bytes)
{
  const std::string_view old = zxl_string_view(*slot);
  const size_t removed = end - start;
  if ( bytes.size() > ZXL_STRING_MAX || old.size() - removed > ZXL_STRING_MAX - bytes.size() )
    throw std::bad_alloc();
  const size_t size = old.size() - removed + bytes.size();
  if ( slot->str_len == ZXL_HEAP_STRING )
  {
    zxl_string_t *s = slot->str;
    const bool aliased = bytes.data() >= s->bytes() && bytes.data() <= s->bytes() + s->capacity;
    if ( s->refs.load(std::memory_order_acquire) == 1 && size <= s->capacity && !aliased &&
         size > ZXL_SHORT_STRING_MAX )
    {
      // The only holder writes in place: appending to a string built up piece by piece stays linear.
      std::memmove(s->bytes() + start + bytes.size(), s->bytes() + end, old.size() - end);
      if ( !bytes.empty() )
        std::memcpy(s->bytes() + start, bytes.data(), bytes.size());
      s->size = size;
      s->bytes()[size] = '\0';
      return;
    }
  }
  // A new buffer, filled from the old one (which may also hold `bytes`) before the old one is released. A
  // growing long string gets room for twice its old content: doubling the old room instead would double it
  // again on every copy of a shared string ("s = s + x" in a loop) until each copy took the 1 GiB bound.
  const size_t room = slot->str_len == ZXL_HEAP_STRING && size > old.size()
                          ? std::min<size_t>(ZXL_STRING_MAX, std::max<size_t>(size, 2 * old.size()))
                          : size;
  zxl_value_t fresh;
  char *out = make_string(&fresh, size, room);
  std::memcpy(out, old.data(), start);
  if ( !bytes.empty() )
    std::memcpy(out + start, bytes.data(), bytes.size());
  std::memcpy(out + start + bytes.size(), old.data() + end, old.size() - end);
  zxl_value_replace(slot, fresh);
}

void zxl_string_append(zxl_value_t *slot, std::string_view bytes)
{
  const size_t size = zxl_string_view(*slot).size();
  zxl_string_splice(slot, size, size, bytes);
}

// ---- copy, move, release ----

void zxl_value_release_owned(const zxl_value_t &v)
{
  if ( v.kind == ZK_STRING )
    drop_string_block(v.str);
  else
    zxl_object_release(v.object);
}

zxl_value_t zxl_value_share_owned(const zxl_value_t &v)
{
  if ( v.kind == ZK_STRING )
    v.str->refs.fetch_add(1, std::memory_order_relaxed);
  else
    ++v.object->refs;
  return v;
}

namespace
{

// The slot a copy or a move writes: the destination, or the slot its REF names (one level); null (with the
// error set) for an unresolvable REF.
zxl_value_t *write_target(zxl_value_t *destination, const zxl_value_t *source)
{
  if ( destination == nullptr || source == nullptr )
    interr(2656);
  return destination->kind == ZK_REF ? zxl_value_deref(destination, ZXL_DEREF_ONE_LEVEL) : destination;
}

} // namespace

int zxl_value_copy(zxl_value_t *destination, const zxl_value_t *source)
{
  destination = write_target(destination, source);
  if ( destination == nullptr )
    return qerrno_get();
  if ( destination != source )
    zxl_value_replace(destination, zxl_value_share(*source, 283));
  return 0;
}

int zxl_value_move(zxl_value_t *destination, zxl_value_t *source)
{
  destination = write_target(destination, source);
  if ( destination == nullptr )
    return qerrno_get();
  if ( destination == source )
    return 0;
  if ( !zxl_kind_valid(source->kind) )
    interr(282);
  const zxl_value_t taken = *source;
  *source = zxl_long(0);
  zxl_value_replace(destination, taken);
  return 0;
}

void zxl_value_clear(zxl_value_t *slot)
{
  if ( slot == nullptr )
    interr(2656);
  zxl_value_replace(slot, zxl_long(0));
}

void zxl_values_release(qvector<zxl_value_t> *values)
{
  // Taken out first: a destructor run by a release must not see half-released values.
  qvector<zxl_value_t> taken(std::move(*values));
  for ( zxl_value_t &v : taken )
    zxl_value_clear(&v);
}

// ---- references ----

zxl_value_t *zxl_value_deref_ref(zxl_value_t *slot, int flags)
{
  if ( slot == nullptr )
    interr(2656);
  if ( slot->kind != ZK_REF )
    return slot;
  zxl_value_t *target = ref_target(*slot);
  if ( target != nullptr && (flags & ZXL_DEREF_ONE_LEVEL) == 0 )
  {
    visited_refs_t visited;
    visited.visit(slot);
    while ( target != nullptr && target->kind == ZK_REF )
    {
      if ( !visited.visit(target) )
        target = nullptr;
      else
        target = ref_target(*target);
    }
  }
  if ( target == nullptr )
  {
    qerrno_set(1563);
    return nullptr;
  }
  if ( (flags & ZXL_DEREF_REPLACE) == 0 )
    return target;
  // The REF in the slot owns nothing, so replacing it cannot release what the target holds.
  zxl_value_replace(slot, zxl_value_share(*target, 283));
  return slot;
}

zxl_slot_owner_t::zxl_slot_owner_t()
{
  live_owners_t &owners = live_owners();
  std::lock_guard<std::mutex> guard(owners.mutex);
  serial_ = owners.next_serial++;
  owners.serials[this] = serial_;
}

zxl_slot_owner_t::~zxl_slot_owner_t()
{
  {
    live_owners_t &owners = live_owners();
    std::lock_guard<std::mutex> guard(owners.mutex);
    owners.serials.erase(this);
  }
  zxl_values_release(&stack);
}
