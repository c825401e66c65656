// qvector: growth rule, copies with exact capacity, element lifetimes and the named operations.
#include "core/qvector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(QvectorTest, PushBackDoublesCapacity)
{
  qvector<int32_t> v;
  std::vector<size_t> capacities;
  for ( int i = 0; i < 9; ++i )
  {
    v.push_back(i);
    capacities.push_back(v.capacity());
  }
  EXPECT_EQ(capacities, (std::vector<size_t> {1, 2, 4, 4, 8, 8, 8, 8, 16}));
  for ( int i = 0; i < 9; ++i )
    EXPECT_EQ(v[i], i);
  v.reserve(25);
  EXPECT_EQ(v.capacity(), 32u) << "twice 16 beats 25";
  v.truncate(2);
  EXPECT_EQ(v.capacity(), 32u) << "never shrinks";
}

TEST(QvectorTest, PushBackOfOwnElementSurvivesGrowth)
{
  qvector<qstring> v;
  v.push_back(qstring("first"));
  ASSERT_EQ(v.size(), v.capacity());
  v.push_back(v[0]);
  EXPECT_EQ(v[1], "first");
  qvector<std::string> s; // not bytewise-relocatable: moved element by element
  s.push_back(std::string("short"));
  for ( int i = 0; i < 20; ++i )
    s.push_back(s[0]);
  for ( const std::string &x : s )
    EXPECT_EQ(x, "short");
}

TEST(QvectorTest, CopiesHaveExactCapacity)
{
  byte_buffer_t bytes;
  for ( uint8_t b : {1, 2, 3, 4, 5} )
    bytes.push_back(b);
  ASSERT_EQ(bytes.capacity(), 8u);
  byte_buffer_t copy = bytevec_copy_construct(bytes);
  EXPECT_EQ(copy.capacity(), 5u);
  EXPECT_EQ(copy, bytes);
  EXPECT_EQ(bytevec_copy_construct(byte_buffer_t()).data(), nullptr);

  qvector<byte_buffer_t> many;
  many.push_back(bytes);
  many.push_back(byte_buffer_t());
  qvector<byte_buffer_t> many_copy = bytevec_vector_copy(many);
  EXPECT_EQ(many_copy.capacity(), 2u);
  EXPECT_EQ(many_copy[0].capacity(), 5u);
  EXPECT_EQ(many_copy, many);
}

TEST(QvectorTest, U64AssignReleasesThenCopiesExactly)
{
  qvector<uint64_t> target {1, 2, 3, 4, 5, 6};
  const qvector<uint64_t> source {7, 8};
  qvector_u64_assign(&target, source);
  EXPECT_EQ(target, source);
  EXPECT_EQ(target.capacity(), 2u);
  qvector_u64_assign(&target, target);
  EXPECT_EQ(target, source) << "self-assignment does nothing";
  qvector_u64_assign(&target, qvector<uint64_t>());
  EXPECT_TRUE(target.empty());
  EXPECT_EQ(target.data(), nullptr);
}

TEST(QvectorTest, InsertRangeMovesTailUp)
{
  auto buffer = [](uint8_t b) { return byte_buffer_t {b}; };
  qvector<byte_buffer_t> v;
  v.push_back(buffer(1));
  v.push_back(buffer(4));
  const byte_buffer_t middle[] = {buffer(2), buffer(3)};
  byte_buffer_t &at = bytevec_vector_insert_range(&v, 1, middle, middle + 2);
  EXPECT_EQ(at, buffer(2));
  ASSERT_EQ(v.size(), 4u);
  for ( uint8_t i = 0; i < 4; ++i )
    EXPECT_EQ(v[i], buffer(uint8_t(i + 1)));
  bytevec_vector_insert_range(&v, 4, middle, middle + 1);
  EXPECT_EQ(v.back(), buffer(2));
  v.erase(0, 2);
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[0], buffer(3));
}

TEST(QvectorTest, StringVectorOperations)
{
  qvector<qstring> v;
  qstrvec_push_empty(&v) = "a";
  qstrvec_push_empty(&v);
  EXPECT_EQ(v.size(), 2u);
  EXPECT_EQ(v[1].data(), nullptr);
  stringvec_resize(&v, 4);
  EXPECT_EQ(v.size(), 4u);
  EXPECT_TRUE(v[3].empty());
  qstrvec_truncate(&v, 10);
  EXPECT_EQ(v.size(), 4u) << "truncate never grows";
  qstrvec_truncate(&v, 1);
  EXPECT_EQ(v.size(), 1u);
  EXPECT_EQ(v[0], "a");
  qstrvec_free(&v);
  EXPECT_EQ(v.data(), nullptr);
  EXPECT_EQ(v.capacity(), 0u);
}

TEST(QvectorTest, IntResizeZeroFillsAndPointerPush)
{
  qvector<int32_t> ints {5, 6};
  resize_int_vector_zero(&ints, 4);
  EXPECT_EQ(ints, (qvector<int32_t> {5, 6, 0, 0}));
  resize_int_vector_zero(&ints, 1);
  EXPECT_EQ(ints, (qvector<int32_t> {5}));
  release_vector_buffer(&ints);
  EXPECT_EQ(ints.data(), nullptr);

  qvector<void *> pointers;
  int target = 0;
  ptrvec_push_back(&pointers, &target);
  EXPECT_EQ(pointers[0], &target);
}

TEST(QvectorTest, WideStringAssignTerminatesAndCounts)
{
  wide_string_t w;
  wide_string_assign(&w, u"héllo", 5);
  ASSERT_EQ(w.size(), 6u);
  EXPECT_EQ(w[1], u'é');
  EXPECT_EQ(w[5], u'\0');
  wide_string_assign(&w, w.data() + 1, 3); // from inside itself
  ASSERT_EQ(w.size(), 4u);
  EXPECT_EQ(std::u16string(w.data()), u"éll");
  wide_string_assign(&w, nullptr, 0);
  EXPECT_EQ(w.size(), 1u);
  wide_buffer_free(&w);
  EXPECT_EQ(w.data(), nullptr);
}

} // namespace
