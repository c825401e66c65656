// The vector operations that the rest of the core calls by name.
#include "core/qvector.h"

#include <string>

void ptrvec_push_back(qvector<void *> *v, void *p)
{
  v->push_back(p);
}

void qvector_u64_assign(qvector<uint64_t> *dst, const qvector<uint64_t> &src)
{
  if ( dst == &src )
    return;
  dst->release();
  if ( src.empty() )
    return;
  *dst = src;
}

byte_buffer_t bytevec_copy_construct(const byte_buffer_t &src)
{
  return src;
}

qvector<byte_buffer_t> bytevec_vector_copy(const qvector<byte_buffer_t> &src)
{
  return src;
}

byte_buffer_t &bytevec_vector_insert_range(qvector<byte_buffer_t> *v, size_t index, const byte_buffer_t *first,
                                           const byte_buffer_t *last)
{
  return v->insert(index, first, last);
}

qstring &qstrvec_push_empty(qvector<qstring> *v)
{
  return v->emplace_back();
}

void qstrvec_truncate(qvector<qstring> *v, size_t n)
{
  v->truncate(n);
}

void stringvec_resize(qvector<qstring> *v, size_t n)
{
  v->resize(n);
}

void qstrvec_free(qvector<qstring> *v)
{
  v->release();
}

void resize_int_vector_zero(qvector<int32_t> *v, size_t n)
{
  v->resize(n, 0);
}

void wide_buffer_free(wide_string_t *w)
{
  w->release();
}

void wide_string_assign(wide_string_t *w, const char16_t *units, size_t n)
{
  // The units may lie inside w itself: take them aside before the buffer changes.
  const std::u16string copy(units, n);
  w->truncate(0);
  w->reserve(n + 1);
  for ( char16_t unit : copy )
    w->push_back(unit);
  w->push_back(u'\0');
}
