// A small vector that keeps its first few elements inside itself: the per-column records of a cached row
// without a heap block of their own for the common one- and two-column views.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

// A growable array of T holding up to N elements in place and moving to one heap block beyond. Promises:
// the elements are contiguous (data() to data() + size()); growth allocates exactly the size asked for (rows
// are sized once and rarely change); new elements are value-initialised; a moved-from vector is empty.
// Pointers to elements stay valid until the vector is resized, assigned or moved.
template <typename T, size_t N>
class inline_vector_t
{
  static_assert(N > 0, "an inline vector holds at least one element in place");

public:
  using value_type = T;

  inline_vector_t() = default;
  explicit inline_vector_t(size_t count) { resize(count); }
  inline_vector_t(size_t count, const T &value) { resize(count, value); }
  inline_vector_t(const inline_vector_t &other) { copy_from(other); }
  inline_vector_t(inline_vector_t &&other) noexcept { take(other); }
  inline_vector_t &operator=(const inline_vector_t &other)
  {
    if ( this != &other )
    {
      std::destroy(begin(), end());
      size_ = 0;
      copy_from(other);
    }
    return *this;
  }
  inline_vector_t &operator=(inline_vector_t &&other) noexcept
  {
    if ( this != &other )
    {
      release();
      take(other);
    }
    return *this;
  }
  ~inline_vector_t() { release(); }

  [[nodiscard]] size_t size() const { return size_; }
  [[nodiscard]] bool empty() const { return size_ == 0; }
  T *data() { return capacity_ > N ? storage_.heap : reinterpret_cast<T *>(storage_.bytes); }
  const T *data() const { return capacity_ > N ? storage_.heap : reinterpret_cast<const T *>(storage_.bytes); }
  T *begin() { return data(); }
  T *end() { return data() + size_; }
  const T *begin() const { return data(); }
  const T *end() const { return data() + size_; }
  T &operator[](size_t i) { return data()[i]; }
  const T &operator[](size_t i) const { return data()[i]; }

  // Grows with value-initialised elements, or drops the trailing ones.
  void resize(size_t count) { resize_with(count, [](T *at) { new (at) T(); }); }
  void resize(size_t count, const T &value) { resize_with(count, [&](T *at) { new (at) T(value); }); }

private:
  template <typename Make>
  void resize_with(size_t count, Make make)
  {
    if ( count <= size_ )
    {
      std::destroy(begin() + count, end());
      size_ = uint32_t(count);
      return;
    }
    reserve(count);
    for ( T *at = end(), *stop = data() + count; at != stop; ++at )
      make(at);
    size_ = uint32_t(count);
  }
  void reserve(size_t count)
  {
    if ( count <= capacity_ )
      return;
    T *block = static_cast<T *>(::operator new(count * sizeof(T)));
    std::uninitialized_move(begin(), end(), block);
    std::destroy(begin(), end());
    if ( capacity_ > N )
      ::operator delete(storage_.heap);
    storage_.heap = block;
    capacity_ = uint32_t(count);
  }
  void copy_from(const inline_vector_t &other)
  {
    reserve(other.size_);
    std::uninitialized_copy(other.begin(), other.end(), data());
    size_ = other.size_;
  }
  void take(inline_vector_t &other) noexcept
  {
    if ( other.capacity_ > N )
    {
      storage_.heap = other.storage_.heap;
      capacity_ = other.capacity_;
    }
    else
    {
      std::uninitialized_move(other.begin(), other.end(), reinterpret_cast<T *>(storage_.bytes));
      std::destroy(other.begin(), other.end());
    }
    size_ = other.size_;
    other.size_ = 0;
    other.capacity_ = N;
  }
  void release() noexcept
  {
    std::destroy(begin(), end());
    if ( capacity_ > N )
      ::operator delete(storage_.heap);
    size_ = 0;
    capacity_ = N;
  }

  union storage_t
  {
    alignas(T) unsigned char bytes[N * sizeof(T)];
    T *heap;
  } storage_;
  uint32_t size_ = 0;
  uint32_t capacity_ = N; // above N: the elements live in storage_.heap
};
