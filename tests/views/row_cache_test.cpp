// The row cache against a std::map under a seeded mix of additions, replacements and searches, and a row's
// texts with their letter sets across changes, copies and moves.
#include "views/filter/letter_set.h"
#include "views/filter/row_cache.h"

#include "tests/support/test_scale.h"

#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace
{

item_info_t row_of(uint64_t key, size_t columns)
{
  item_info_t row(columns);
  for ( size_t c = 0; c < columns; ++c )
    row.set_text(c, std::to_string(key) + "/" + std::to_string(c));
  return row;
}

} // namespace

TEST(RowCache, AgreesWithAMapOverSeededKeys)
{
  // Dense keys (a flat list), keys with a large stride (they share low bits) and random ones, each added out
  // of order and again.
  struct case_t
  {
    const char *why;
    uint64_t (*key)(std::mt19937_64 &, uint64_t);
  };
  const case_t cases[] = {
    {"dense", [](std::mt19937_64 &rng, uint64_t) { return rng() % 3000; }},
    {"stride 2^20", [](std::mt19937_64 &rng, uint64_t) { return (rng() % 3000) << 20; }},
    {"random 64-bit", [](std::mt19937_64 &rng, uint64_t) { return rng() % 2 == 0 ? rng() : ~uint64_t(0) - rng() % 50; }},
  };
  const size_t steps = scaled_for_sanitizers(20000);
  for ( const case_t &c : cases )
  {
    std::mt19937_64 rng(42);
    row_cache_t cache;
    std::map<uint64_t, std::string> reference;
    for ( size_t step = 0; step < steps; ++step )
    {
      const uint64_t key = c.key(rng, step);
      const std::string text = std::to_string(step);
      switch ( rng() % 4 )
      {
      case 0:
      {
        const bool added = cache.emplace(key, row_of(step, 1 + step % 3)).second;
        EXPECT_EQ(added, reference.count(key) == 0) << c.why;
        if ( added )
          reference[key] = std::to_string(step) + "/0";
        break;
      }
      case 1:
        cache.insert_or_assign(key, row_of(step, 3));
        reference[key] = std::to_string(step) + "/0";
        break;
      case 2:
        if ( cache[key].texts.empty() ) // added empty by operator[]
          reference.emplace(key, "");
        break;
      default:
        ASSERT_EQ(cache.count(key), reference.count(key)) << c.why;
      }
      if ( const auto found = cache.find(key); found != cache.end() )
        EXPECT_EQ(found->first, key) << c.why;
      else
        EXPECT_EQ(reference.count(key), 0u) << c.why;
    }
    ASSERT_EQ(cache.size(), reference.size()) << c.why;
    for ( const auto &[key, text] : reference )
    {
      const auto found = cache.find(key);
      ASSERT_NE(found, cache.end()) << c.why << " " << key;
      EXPECT_EQ(found->second.texts.empty() ? std::string() : std::string(found->second.texts[0].view()), text)
        << c.why << " " << key;
    }
    size_t visited = 0;
    for ( const auto &[key, row] : cache )
      visited += reference.count(key);
    EXPECT_EQ(visited, reference.size()) << c.why;
    cache.shrink_to_fit();
    EXPECT_EQ(cache.size(), reference.size()) << c.why;
    cache.clear();
    EXPECT_TRUE(cache.empty());
    EXPECT_EQ(cache.find(7), cache.end());
  }
}

TEST(RowCache, DenseRowsThenOtherKeys)
{
  // A flat list's rows (keys 0, 1, 2, ... in order) are held without an index; the first other key builds it,
  // and every row stays found, whether it was added before or after.
  const uint64_t dense = scaled_for_sanitizers(5000);
  row_cache_t cache;
  cache.reserve(size_t(dense));
  for ( uint64_t key = 0; key < dense; ++key )
    ASSERT_TRUE(cache.emplace(key, row_of(key, 1)).second) << key;
  EXPECT_FALSE(cache.emplace(dense / 2, row_of(7, 1)).second);
  EXPECT_EQ(cache.find(dense), cache.end());
  EXPECT_EQ(cache.find(~uint64_t(0)), cache.end());
  // Beyond a gap, far away, the gap itself, the largest key.
  const uint64_t later[] = {dense + 5, uint64_t(1) << 40, dense, ~uint64_t(0)};
  for ( const uint64_t key : later )
    ASSERT_TRUE(cache.emplace(key, row_of(key, 2)).second) << key;
  EXPECT_FALSE(cache.emplace(dense + 5, row_of(9, 1)).second);
  EXPECT_EQ(cache.find(dense + 1), cache.end());
  EXPECT_EQ(cache.size(), size_t(dense) + std::size(later));
  for ( uint64_t key = 0; key < dense; ++key )
  {
    const auto found = cache.find(key);
    ASSERT_NE(found, cache.end()) << key;
    EXPECT_EQ(found->second.texts[0].view(), std::to_string(key) + "/0") << key;
  }
  for ( const uint64_t key : later )
  {
    const auto found = cache.find(key);
    ASSERT_NE(found, cache.end()) << key;
    EXPECT_EQ(found->second.texts[1].view(), std::to_string(key) + "/1") << key;
  }
  cache.clear();
  EXPECT_TRUE(cache.emplace(0, row_of(0, 1)).second);
  EXPECT_EQ(cache.find(1), cache.end());
}

TEST(RowTexts, KeepsEachTextWithItsLetterSetThroughChanges)
{
  // Each column against the texts it should hold; the letter sets must follow every change.
  const auto expect_texts = [](const row_texts_t &texts, const std::vector<std::string> &want, const char *step) {
    ASSERT_EQ(texts.size(), want.size()) << step;
    for ( size_t i = 0; i < want.size(); ++i )
    {
      EXPECT_EQ(texts[i].view(), want[i]) << step << " " << i;
      EXPECT_EQ(texts[i].c_str()[want[i].size()], '\0') << step << " " << i;
      EXPECT_EQ(texts.letter_set(i), letter_set(want[i])) << step << " " << i;
    }
  };
  const std::string long_text(300, 'q');
  const std::string with_nul("a\0b", 3);
  row_texts_t texts;
  expect_texts(texts, {}, "empty");
  texts.assign(std::vector<qstring> {qstring("Alpha"), qstring(), qstring(with_nul.data(), with_nul.size())});
  expect_texts(texts, {"Alpha", "", with_nul}, "assigned");
  texts.set(1, long_text);
  expect_texts(texts, {"Alpha", long_text, with_nul}, "set inside");
  texts.set(4, "zz");
  expect_texts(texts, {"Alpha", long_text, with_nul, "", "zz"}, "set beyond");
  texts.set(3, texts[0].view()); // a text taken from the row itself
  expect_texts(texts, {"Alpha", long_text, with_nul, "Alpha", "zz"}, "set from itself");
  const row_texts_t copy = texts;
  row_texts_t assigned(2);
  assigned = copy;
  row_texts_t moved = std::move(texts);
  EXPECT_TRUE(texts.empty());
  expect_texts(copy, {"Alpha", long_text, with_nul, "Alpha", "zz"}, "copy");
  expect_texts(assigned, {"Alpha", long_text, with_nul, "Alpha", "zz"}, "copy-assigned");
  expect_texts(moved, {"Alpha", long_text, with_nul, "Alpha", "zz"}, "moved");
  moved.resize(2);
  expect_texts(moved, {"Alpha", long_text}, "shrunk");
  moved.resize(3);
  expect_texts(moved, {"Alpha", long_text, ""}, "grown");
  moved.resize(0);
  expect_texts(moved, {}, "emptied");
  expect_texts(copy, {"Alpha", long_text, with_nul, "Alpha", "zz"}, "copy after the changes");
}
