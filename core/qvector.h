// qvector: the core's growable array template, its byte and wide-string forms, and vector operations.
#pragma once

#include "core/memory.h"
#include "core/qstring.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

template <typename T>
class qvector;

// Types whose objects may be moved by a raw memory copy. Those are relocated with one reallocation of
// the whole block; other element types are moved element by element into a new block. Specialise it
// for a record that is safe to copy bytewise (for example one made only of qstrings and numbers).
template <typename T>
inline constexpr bool qvector_relocatable = std::is_trivially_copyable_v<T>;
template <>
inline constexpr bool qvector_relocatable<qstring> = true;
template <typename U>
inline constexpr bool qvector_relocatable<qvector<U>> = true;

// A growable array that owns its elements. Promises: growth goes through vector_grow (capacity the
// larger of twice the old one and the need; std::bad_alloc on failure with the old contents kept);
// the buffer never shrinks except where an operation says it releases it; a copy has exactly the
// source's count as capacity; a moved-from vector is empty without a buffer.
template <typename T>
class qvector
{
public:
  using value_type = T;
  using iterator = T *;
  using const_iterator = const T *;

  qvector() = default;
  qvector(std::initializer_list<T> items)
  {
    reserve(items.size());
    for ( const T &item : items )
      append_copy(item);
  }
  qvector(const qvector &other)
  {
    if ( other.empty() )
      return;
    reserve(other.size());
    for ( const T &item : other )
      append_copy(item);
  }
  qvector(qvector &&other) noexcept : hdr_(std::exchange(other.hdr_, vector_header_t{})) {}
  qvector &operator=(const qvector &other)
  {
    if ( this != &other )
    {
      qvector copy(other);
      swap(copy);
    }
    return *this;
  }
  qvector &operator=(qvector &&other) noexcept
  {
    if ( this != &other )
    {
      release();
      hdr_ = std::exchange(other.hdr_, vector_header_t{});
    }
    return *this;
  }
  ~qvector() { release(); }

  T *data() { return static_cast<T *>(hdr_.data); }
  const T *data() const { return static_cast<const T *>(hdr_.data); }
  size_t size() const { return size_t(hdr_.count); }
  size_t capacity() const { return size_t(hdr_.capacity); }
  bool empty() const { return hdr_.count == 0; }
  T *begin() { return data(); }
  T *end() { return data() + size(); }
  const T *begin() const { return data(); }
  const T *end() const { return data() + size(); }
  T &operator[](size_t i) { return data()[i]; }
  const T &operator[](size_t i) const { return data()[i]; }
  T &front() { return data()[0]; }
  T &back() { return data()[size() - 1]; }
  const T &front() const { return data()[0]; }
  const T &back() const { return data()[size() - 1]; }

  // Ensures room for n elements; grows only when n exceeds the capacity.
  void reserve(size_t n)
  {
    if ( n > hdr_.capacity )
      grow_to(n);
  }

  template <typename... Args>
  T &emplace_back(Args &&...args)
  {
    if ( hdr_.count < hdr_.capacity )
    {
      new (end()) T(std::forward<Args>(args)...);
    }
    else
    {
      // The arguments may refer to our own elements: build the value before the buffer moves.
      T value(std::forward<Args>(args)...);
      grow_to(hdr_.count + 1);
      new (end()) T(std::move(value));
    }
    ++hdr_.count;
    return back();
  }
  void push_back(const T &value) { emplace_back(value); }
  void push_back(T &&value) { emplace_back(std::move(value)); }
  void pop_back()
  {
    --hdr_.count;
    end()->~T();
  }

  // Shrinks to n elements (destroying the rest) or grows with default-constructed ones.
  void resize(size_t n)
  {
    if ( n <= size() )
      return truncate(n);
    reserve(n);
    // The count is written once: element stores could alias it (bytes alias anything), which would keep a
    // loop that bumps it from being vectorised.
    std::uninitialized_value_construct_n(end(), n - hdr_.count);
    hdr_.count = n;
  }
  void resize(size_t n, const T &fill)
  {
    if ( n <= size() )
      return truncate(n);
    T value(fill);
    reserve(n);
    while ( hdr_.count < n )
      append_copy(value);
  }
  // Destroys the elements from index n on; never grows.
  void truncate(size_t n)
  {
    if constexpr ( std::is_trivially_destructible_v<T> )
    {
      if ( hdr_.count > n )
        hdr_.count = n;
    }
    else
    {
      while ( hdr_.count > n )
        pop_back();
    }
  }
  // Appends copies of n elements of plain data (which must not lie in this array's own buffer).
  void append_plain(const T *items, size_t n)
    requires std::is_trivially_copyable_v<T>
  {
    if ( n == 0 )
      return;
    reserve(hdr_.count + n);
    std::memcpy(static_cast<void *>(end()), items, n * sizeof(T));
    hdr_.count += n;
  }
  // Destroys every element and keeps the buffer.
  void clear() { truncate(0); }
  // Destroys every element and frees the buffer.
  void release()
  {
    clear();
    std::free(hdr_.data);
    hdr_ = vector_header_t{};
  }

  // Inserts copies of [first, last) before index; returns the element at index.
  template <typename It>
  T &insert(size_t index, It first, It last)
  {
    qvector<T> items;
    for ( It it = first; it != last; ++it )
      items.emplace_back(*it);
    const size_t n = items.size();
    if ( n == 0 )
      return data()[index];
    reserve(size() + n);
    open_gap(index, n);
    for ( size_t i = 0; i < n; ++i )
      new (data() + index + i) T(std::move(items[i]));
    hdr_.count += n;
    return data()[index];
  }
  T &insert(size_t index, const T &value) { return insert(index, &value, &value + 1); }
  // Removes count elements from index on.
  void erase(size_t index, size_t count = 1)
  {
    for ( size_t i = 0; i < count; ++i )
      data()[index + i].~T();
    close_gap(index, count);
    hdr_.count -= count;
  }

  void swap(qvector &other) noexcept { std::swap(hdr_, other.hdr_); }

  friend bool operator==(const qvector &a, const qvector &b)
  {
    if ( a.size() != b.size() )
      return false;
    for ( size_t i = 0; i < a.size(); ++i )
      if ( !(a[i] == b[i]) )
        return false;
    return true;
  }

private:
  static_assert(alignof(T) <= alignof(std::max_align_t), "qvector blocks come from malloc");

  // Appends a copy into room that is already reserved.
  void append_copy(const T &item)
  {
    new (end()) T(item);
    ++hdr_.count;
  }
  void grow_to(uint64_t n)
  {
    if constexpr ( qvector_relocatable<T> )
    {
      hdr_.data = vector_grow(&hdr_, hdr_.data, n, sizeof(T));
    }
    else
    {
      // Get a fresh block (data null), then move the elements over one by one.
      T *old = data();
      vector_header_t fresh = hdr_;
      T *grown = static_cast<T *>(vector_grow(&fresh, nullptr, n, sizeof(T)));
      for ( size_t i = 0; i < size(); ++i )
      {
        new (grown + i) T(std::move(old[i]));
        old[i].~T();
      }
      std::free(old);
      hdr_.data = grown;
      hdr_.capacity = fresh.capacity;
    }
  }
  // Moves the elements from index on up by n places; the gap is raw storage afterwards.
  void open_gap(size_t index, size_t n)
  {
    if constexpr ( qvector_relocatable<T> )
    {
      std::memmove(static_cast<void *>(data() + index + n), data() + index, (size() - index) * sizeof(T));
    }
    else
    {
      for ( size_t i = size(); i > index; --i )
      {
        new (data() + i - 1 + n) T(std::move(data()[i - 1]));
        data()[i - 1].~T();
      }
    }
  }
  // Moves the elements after the raw range [index, index + n) down over it.
  void close_gap(size_t index, size_t n)
  {
    if constexpr ( qvector_relocatable<T> )
    {
      std::memmove(static_cast<void *>(data() + index), data() + index + n, (size() - index - n) * sizeof(T));
    }
    else
    {
      for ( size_t i = index + n; i < size(); ++i )
      {
        new (data() + i - n) T(std::move(data()[i]));
        data()[i].~T();
      }
    }
  }

  vector_header_t hdr_; // elements, count, capacity
};

// Bytes of packets, compact integers, base64, zlib and registry binary values.
using byte_buffer_t = qvector<uint8_t>;
// UTF-16 code units; the count includes the terminating 0 unit.
using wide_string_t = qvector<char16_t>;

// Design-named vector operations. Records that hold strings (string pairs, {string, number} records, a
// name member) free them in their own destructors, and a qvector destroys each element before it frees
// its array, so they need no free helper of their own; a directory scan is closed by dir_scan_close.
void ptrvec_push_back(qvector<void *> *v, void *p);
// Copy-assigns 64-bit values: the target's buffer is released, then exactly count elements allocated.
void qvector_u64_assign(qvector<uint64_t> *dst, const qvector<uint64_t> &src);
// A copy with exactly the source's length as capacity; an empty source allocates nothing.
byte_buffer_t bytevec_copy_construct(const byte_buffer_t &src);
qvector<byte_buffer_t> bytevec_vector_copy(const qvector<byte_buffer_t> &src);
// Inserts copies of [first, last) before index; returns the element at index.
byte_buffer_t &bytevec_vector_insert_range(qvector<byte_buffer_t> *v, size_t index, const byte_buffer_t *first,
                                           const byte_buffer_t *last);
// Appends an empty string and returns it.
qstring &qstrvec_push_empty(qvector<qstring> *v);
// Shrinks to n strings, freeing the dropped ones; never grows.
void qstrvec_truncate(qvector<qstring> *v, size_t n);
// Shrinks like qstrvec_truncate or grows with empty strings.
void stringvec_resize(qvector<qstring> *v, size_t n);
// Frees every string and the array.
void qstrvec_free(qvector<qstring> *v);
// Resizes; new elements are 0.
void resize_int_vector_zero(qvector<int32_t> *v, size_t n);
// Frees the element buffer of a vector whose elements need no destruction.
template <typename T>
void release_vector_buffer(qvector<T> *v)
{
  static_assert(std::is_trivially_destructible_v<T>);
  v->release();
}
void wide_buffer_free(wide_string_t *w);
// Stores n units followed by the 0 unit; count becomes n + 1.
void wide_string_assign(wide_string_t *w, const char16_t *units, size_t n);
