// Values: strings and their sharing, copy, move and clear, and following REF chains.
#include "tests/script/engine_fixture.h"

#include "script/runtime/zxl_tables.h"

#include "tests/support/interr_capture.h"

#include <malloc.h>

#include <new>
#include <string>

namespace
{

using values = zxl_engine_test;

TEST_F(values, a_copied_string_never_changes_with_its_original)
{
  for ( const std::string text : {"short", "a string too long to be held in place"} )
  {
    owned_value_t first(zxl_string(text));
    owned_value_t copy;
    ASSERT_EQ(zxl_value_copy(&copy.v, &first.v), 0);
    zxl_string_append(&copy.v, "+tail");
    EXPECT_EQ(zxl_string_view(first.v), text);
    EXPECT_EQ(zxl_string_view(copy.v), text + "+tail");
    zxl_string_splice(&first.v, 0, 1, "X");
    EXPECT_EQ(zxl_string_view(copy.v), text + "+tail");
  }
}

TEST_F(values, strings_hold_any_bytes_and_grow_by_appending_to_themselves)
{
  owned_value_t s(zxl_string(std::string_view("a\0b", 3)));
  std::string expected("a\0b", 3);
  for ( int n = 0; n < 12; ++n )
  {
    zxl_string_append(&s.v, zxl_string_view(s.v)); // appending a string to itself
    expected += expected;
    ASSERT_EQ(zxl_string_view(s.v), expected) << n;
    ASSERT_EQ(zxl_string_view(s.v).data()[expected.size()], '\0');
  }
  owned_value_t built(zxl_string(""));
  std::string mirror;
  for ( int n = 0; n < 20000; ++n )
  {
    const std::string piece = std::to_string(n % 97);
    zxl_string_append(&built.v, piece);
    mirror += piece;
  }
  EXPECT_EQ(zxl_string_view(built.v), mirror);
  zxl_string_splice(&built.v, 3, mirror.size() - 3, "");
  EXPECT_EQ(zxl_string_view(built.v), mirror.substr(0, 3) + mirror.substr(mirror.size() - 3));
}

#ifndef AKUI_SANITIZE
TEST_F(values, appending_to_a_shared_string_keeps_its_room_near_its_size)
{
  // "s = s + x" in a loop: the operand on the stack shares the variable's buffer, so every append copies.
  // The copies' room follows the content, not the earlier room: the heap stays near the string's size
  // (the allocator's counters are meaningless under the sanitizers).
  owned_value_t s(zxl_string(std::string(40, 's')));
  for ( int n = 0; n < 60; ++n )
  {
    owned_value_t shared(zxl_value_share(s.v, 283));
    zxl_string_append(&shared.v, "abcde");
    zxl_value_replace(&s.v, std::exchange(shared.v, zxl_long(0)));
  }
  EXPECT_EQ(zxl_string_view(s.v).size(), 40u + 60 * 5);
  const struct mallinfo2 info = mallinfo2();
  EXPECT_LT(info.hblkhd + info.uordblks, size_t(64) << 20);
}
#endif

TEST_F(values, a_string_past_the_bound_is_out_of_memory_and_stays_as_it_was)
{
  owned_value_t s(zxl_string("abc"));
  // The bound is checked before any byte is read, so a view that only claims the size is enough here.
  const std::string_view huge("x", 1);
  const std::string_view too_long(huge.data(), ZXL_STRING_MAX + 1);
  EXPECT_THROW(zxl_string_append(&s.v, too_long), std::bad_alloc);
  EXPECT_THROW(zxl_string_append(&s.v, std::string_view(huge.data(), ZXL_STRING_MAX - 2)), std::bad_alloc);
  EXPECT_THROW(zxl_string_splice(&s.v, 0, 0, too_long), std::bad_alloc);
  EXPECT_THROW((void)zxl_string(too_long), std::bad_alloc);
  EXPECT_EQ(zxl_string_view(s.v), "abc");
}

TEST_F(values, a_copied_object_is_shared)
{
  owned_value_t first(make_object({}));
  owned_value_t copy;
  ASSERT_EQ(zxl_value_copy(&copy.v, &first.v), 0);
  EXPECT_EQ(first.v.object->refs, 2);
  *zxl_attr_slot(copy.v.object, "a") = zxl_long(1);
  EXPECT_EQ(describe(first.v), "OBJECT {a=LONG 1}");
}

TEST_F(values, copy_and_move_write_through_a_ref_and_the_slot_keeps_it)
{
  ASSERT_EQ(zxl_add_global("g"), 0);
  owned_value_t ref(zxl_global_ref(0));
  owned_value_t five(zxl_string("five"));
  ASSERT_EQ(zxl_value_copy(&ref.v, &five.v), 0);
  EXPECT_EQ(describe(zxl_global_at(0)->value), "STRING five");
  EXPECT_EQ(describe(ref.v), "REF -1");
  EXPECT_EQ(describe(five.v), "STRING five");

  owned_value_t six(zxl_long(6));
  ASSERT_EQ(zxl_value_move(&ref.v, &six.v), 0);
  EXPECT_EQ(describe(zxl_global_at(0)->value), "LONG 6");
  EXPECT_EQ(describe(six.v), "LONG 0");
  EXPECT_EQ(describe(ref.v), "REF -1");

  // Onto itself: nothing happens, also through the REF.
  ASSERT_EQ(zxl_value_copy(&five.v, &five.v), 0);
  ASSERT_EQ(zxl_value_move(&ref.v, &zxl_global_at(0)->value), 0);
  EXPECT_EQ(describe(zxl_global_at(0)->value), "LONG 6");
  zxl_value_clear(&five.v);
  EXPECT_EQ(describe(five.v), "LONG 0");
}

TEST_F(values, copy_and_move_take_the_source_before_releasing_the_destination)
{
  // The destination is the only holder of the object whose attribute is the source.
  const char *long_text = "an attribute long enough to live in a heap buffer";
  owned_value_t holder(make_object({{"x", zxl_string(long_text)}, {"o", make_object({{"y", zxl_long(7)}})}}));
  ASSERT_EQ(zxl_value_copy(&holder.v, zxl_find_attr(holder.v.object, "x")), 0);
  EXPECT_EQ(describe(holder.v), std::string("STRING ") + long_text);

  owned_value_t second(make_object({{"o", make_object({{"y", zxl_long(7)}})}}));
  ASSERT_EQ(zxl_value_move(&second.v, zxl_find_attr(second.v.object, "o")), 0);
  EXPECT_EQ(describe(second.v), "OBJECT {y=LONG 7}");
  EXPECT_EQ(second.v.object->refs, 1);
}

TEST_F(values, invalid_kinds_and_null_slots_are_internal_errors)
{
  zxl_value_t bad;
  bad.kind = ZK_ANY;
  owned_value_t destination;
  EXPECT_EQ(interr_number([&] { (void)zxl_value_copy(&destination.v, &bad); }), 283);
  EXPECT_EQ(interr_number([&] { (void)zxl_value_move(&destination.v, &bad); }), 282);
  bad.kind = 11;
  EXPECT_EQ(interr_number([&] { (void)zxl_value_copy(&destination.v, &bad); }), 283);
  bad.kind = 1;
  EXPECT_EQ(interr_number([&] { (void)zxl_value_move(&destination.v, &bad); }), 282);
  EXPECT_EQ(interr_number([] { zxl_value_clear(nullptr); }), 2656);
  EXPECT_EQ(describe(destination.v), "LONG 0");
}

TEST_F(values, deref_follows_chains_detects_cycles_and_honours_its_flags)
{
  zxl_slot_owner_t owner;
  owner.stack.push_back(zxl_long(0));                // 0: a REF to slot 1, set below
  owner.stack.push_back(zxl_long(0));                // 1: a REF to global 0
  owner.stack.push_back(zxl_string("end of chain")); // 2
  owner.stack[0] = zxl_slot_ref(&owner, 1);
  owner.stack[1] = zxl_global_ref(0);
  ASSERT_EQ(zxl_add_global("g"), 0);
  zxl_global_at(0)->value = zxl_slot_ref(&owner, 2);

  owned_value_t start(zxl_slot_ref(&owner, 0));
  EXPECT_EQ(zxl_value_deref(&start.v, 0), &owner.stack[2]);
  EXPECT_EQ(zxl_value_deref(&start.v, ZXL_DEREF_ONE_LEVEL), &owner.stack[0]);
  EXPECT_EQ(zxl_value_deref(&owner.stack[2], 0), &owner.stack[2]);
  EXPECT_EQ(zxl_value_deref(&start.v, ZXL_DEREF_REPLACE), &start.v);
  EXPECT_EQ(describe(start.v), "STRING end of chain");
  EXPECT_EQ(describe(owner.stack[0]), "REF 1");

  // Flag 1 with flag 2: the first target, copied into the slot.
  owned_value_t one(zxl_slot_ref(&owner, 0));
  EXPECT_EQ(zxl_value_deref(&one.v, ZXL_DEREF_ONE_LEVEL | ZXL_DEREF_REPLACE), &one.v);
  EXPECT_EQ(describe(one.v), "REF 1");

  // A REF to a REF that refers back to the first.
  zxl_value_replace(&owner.stack[2], zxl_slot_ref(&owner, 0));
  qerrno_set(0);
  owned_value_t cyclic(zxl_slot_ref(&owner, 0));
  EXPECT_EQ(zxl_value_deref(&cyclic.v, 0), nullptr);
  EXPECT_EQ(qerrno_get(), 1563);
  EXPECT_EQ(zxl_value_deref(&cyclic.v, ZXL_DEREF_REPLACE), nullptr);
  EXPECT_EQ(describe(cyclic.v), "REF 0");
  // One level still works on a cycle.
  EXPECT_EQ(zxl_value_deref(&cyclic.v, ZXL_DEREF_ONE_LEVEL), &owner.stack[0]);
  // A REF to itself.
  owner.stack[1] = zxl_slot_ref(&owner, 1);
  qerrno_set(0);
  EXPECT_EQ(zxl_value_deref(&owner.stack[1], 0), nullptr);
  EXPECT_EQ(qerrno_get(), 1563);
}

TEST_F(values, a_long_ref_chain_is_followed_and_its_cycle_found)
{
  zxl_slot_owner_t owner;
  const int32_t n = 2000;
  for ( int32_t k = 0; k < n; ++k )
    owner.stack.push_back(zxl_slot_ref(&owner, k + 1));
  owner.stack.push_back(zxl_long(42));
  EXPECT_EQ(describe(*zxl_value_deref(&owner.stack[0], 0)), "LONG 42");
  owner.stack[size_t(n)] = zxl_slot_ref(&owner, n / 2);
  qerrno_set(0);
  EXPECT_EQ(zxl_value_deref(&owner.stack[0], 0), nullptr);
  EXPECT_EQ(qerrno_get(), 1563);
}

TEST_F(values, a_ref_to_an_ended_owner_or_past_the_depth_is_dangling)
{
  alignas(zxl_slot_owner_t) unsigned char place[sizeof(zxl_slot_owner_t)];
  zxl_slot_owner_t *first = new (place) zxl_slot_owner_t;
  first->stack.push_back(zxl_long(1));
  owned_value_t ref(zxl_slot_ref(first, 0));
  EXPECT_NE(zxl_value_deref(&ref.v, 0), nullptr);
  first->~zxl_slot_owner_t();
  // A new owner at the same address does not revive the REF.
  zxl_slot_owner_t *second = new (place) zxl_slot_owner_t;
  second->stack.push_back(zxl_long(2));
  qerrno_set(0);
  EXPECT_EQ(zxl_value_deref(&ref.v, 0), nullptr);
  EXPECT_EQ(qerrno_get(), 1563);
  owned_value_t past(zxl_slot_ref(second, 1));
  EXPECT_EQ(zxl_value_deref(&past.v, ZXL_DEREF_ONE_LEVEL), nullptr);
  owned_value_t value(zxl_long(3));
  EXPECT_EQ(zxl_value_copy(&past.v, &value.v), 1563);
  second->~zxl_slot_owner_t();

  owned_value_t global(zxl_global_ref(5));
  EXPECT_EQ(interr_number([&] { (void)zxl_value_deref(&global.v, 0); }), 288);
}

} // namespace
