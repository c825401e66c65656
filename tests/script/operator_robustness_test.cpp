// Seeded random operands of every kind through every operator, item and slice: each ends with a known code.
#include "tests/script/engine_fixture.h"

#include "script/runtime/zxl_operators.h"
#include "script/runtime/zxl_tables.h"

#include <climits>
#include <random>
#include <set>
#include <string>

namespace
{

#if defined(__SANITIZE_ADDRESS__)
constexpr int rounds = 3000;
#else
constexpr int rounds = 30000;
#endif

class random_operands
{
public:
  explicit random_operands(uint64_t seed) : rng_(seed) {}

  int64_t number()
  {
    static constexpr int64_t edges[] = {0, 1, -1, 2, 63, 64, 255, 256, ZXL_SLICE_END, LLONG_MIN, LLONG_MAX};
    return pick(2) == 0 ? edges[pick(std::size(edges))] : int64_t(rng_()) >> pick(64);
  }

  std::string text()
  {
    static const char *const pieces[] = {"0", "1", "-", "0x", "7", "9", "e", "5", ".", " ", "a", "\xC3", "z"};
    std::string out;
    const size_t n = pick(2) == 0 ? pick(4) : pick(40);
    for ( size_t k = 0; k < n; ++k )
      out += pick(20) == 0 ? std::string(1, '\0') : std::string(pieces[pick(std::size(pieces))]);
    return out;
  }

  // Any value, non-REF when plain is set.
  zxl_value_t value(bool plain = false)
  {
    static const char *const floats[] = {"0", "2.5", "-1e30", "9e4931", "1e-4000", "3"};
    switch ( pick(plain ? 8 : 10) )
    {
    case 0:
      return zxl_long(number());
    case 1:
      return zxl_int64(number());
    case 2:
      return float_of(floats[pick(std::size(floats))]);
    case 3:
    case 4:
      return zxl_string(text());
    case 5:
    {
      zxl_value_t o = make_object({});
      const size_t n = pick(6);
      for ( size_t k = 0; k < n; ++k )
      {
        const std::string name = pick(5) == 0 ? text() : std::to_string(pick(8));
        zxl_value_replace(zxl_attr_slot(o.object, name), pick(3) == 0 ? zxl_string(text()) : zxl_long(number()));
      }
      return o;
    }
    case 6:
      return zxl_func(int32_t(number()));
    case 7:
      return zxl_pointer(uint64_t(number()));
    case 8:
      return zxl_global_ref(0);
    default:
    {
      zxl_slot_owner_t ended;
      ended.stack.push_back(zxl_long(1));
      return zxl_slot_ref(&ended, 0);
    }
    }
  }

  size_t pick(size_t n) { return size_t(rng_() % n); }

private:
  std::mt19937_64 rng_;
};

using operator_robustness = zxl_engine_test;

TEST_F(operator_robustness, random_operands_end_with_a_known_code)
{
  static const int opcodes[] = {ZOP_ADD, ZOP_SUB,  ZOP_MUL,  ZOP_DIV,    ZOP_MOD,     ZOP_LOR,    ZOP_LAND,
                                ZOP_LNOT, ZOP_BOR, ZOP_BAND, ZOP_BXOR,   ZOP_BNOT,    ZOP_SHR,    ZOP_SHL,
                                ZOP_NEG, ZOP_TO_STR, ZOP_EQ, ZOP_NE,     ZOP_LE,      ZOP_GE,     ZOP_LT,
                                ZOP_GT,  ZOP_TO_LONG, ZOP_TO_FLOAT, ZOP_TO_INT64};
  const std::set<int> operator_codes = {0, 61, 86, 97, 98, 1531, 1563};
  const std::set<int> range_codes = {0, 1531, 1538, 1563, 1568};
  ASSERT_EQ(zxl_add_global("r"), 0);
  random_operands random(20261210);
  for ( int round = 0; round < rounds; ++round )
  {
    zxl_value_replace(&zxl_global_at(0)->value, random.value(true));
    const int opcode = opcodes[random.pick(std::size(opcodes))];
    qvector<zxl_value_t> stack;
    stack.push_back(random.value());
    if ( zxl_operator_arity(opcode) == 2 )
      stack.push_back(random.pick(8) == 0 ? zxl_value_share(stack[0], 283) : random.value());
    const int code = zxl_eval_operator(&stack, opcode);
    EXPECT_TRUE(operator_codes.count(code)) << "round " << round << " opcode " << opcode << " code " << code;
    ASSERT_EQ(stack.size(), 1u);
    (void)describe(stack[0]);
    zxl_values_release(&stack);

    owned_value_t target(random.value());
    owned_value_t source(random.value());
    const int64_t i = random.number();
    const int64_t j = random.number();
    const bool item = random.pick(2) == 0;
    const int write = zxl_set_range(&target.v, i, j, &source.v, item);
    EXPECT_TRUE(range_codes.count(write)) << "round " << round << " write " << write;
    owned_value_t read;
    const int read_code = zxl_get_range(&read.v, &target.v, random.number(), random.number(), random.pick(2) == 0);
    EXPECT_TRUE(range_codes.count(read_code)) << "round " << round << " read " << read_code;
    (void)describe(read.v);
    (void)describe(target.v);
  }
}

} // namespace
