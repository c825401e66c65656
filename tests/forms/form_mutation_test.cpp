// A seeded mutation loop over the program's own form texts, read through the counted argument cursor: every
// mutated text either builds or is refused, without reading past the arguments or holding on to memory.
#include "forms/form_widget.h"

#include "repo/connect_form.h"
#include "tests/forms/form_test_support.h"
#include "tests/support/heap_in_use.h"
#include "tests/support/seeded_random.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

int handler(int, form_actions_t &)
{
  return 0;
}

// The variables one text edits, and the typed list that hands them to the form.
struct form_fixture_t
{
  std::string text;
  std::vector<form_arg_t> (*arguments)(form_fixture_t &);
  qstring strings[8];
  int64_t numbers[4] = {1, -2, 0x10, 0};
  uint16_t masks[3] = {1, 2, 0};
  int32_t ints[2] = {0, 0x00FF00};
  char path[260] = "/tmp";
  char buffer[32] = "abc";
  qvector<qstring> items {"a", "b"};
};

std::vector<form_arg_t> connect_arguments(form_fixture_t &f)
{
  return {arg_callback(&connect_form_callback), arg_data(&f.strings[0]), arg_string(&f.strings[1]),
          arg_string(&f.strings[2]), arg_string(&f.strings[0]), arg_mask(&f.masks[0]), arg_string(&f.strings[3]),
          arg_string(&f.strings[4]), arg_string(&f.strings[5])};
}

std::vector<form_arg_t> rich_arguments(form_fixture_t &f)
{
  return {arg_string(&f.strings[6]), arg_string(&f.strings[0]), arg_number(&f.numbers[0]),
          arg_buffer(f.path, sizeof(f.path)), arg_mask(&f.masks[1]), arg_list(&f.items), arg_int(&f.ints[0]),
          arg_int(&f.ints[1]), arg_string(&f.strings[1]), arg_handler(&handler), arg_handler(&handler)};
}

std::vector<form_arg_t> layout_arguments(form_fixture_t &f)
{
  return {arg_string(&f.strings[0]), arg_buffer(f.buffer, sizeof(f.buffer)), arg_number(&f.numbers[1]),
          arg_mask(&f.masks[2]), arg_string(&f.strings[1]), arg_number(&f.numbers[2])};
}

constexpr char syntax_bytes[] = "<>:|%\\#~-=*/ \n+0123456789qpDNHYcCrRBbKFfAhE@$";

std::string mutate(const std::string &text, uint32_t *state)
{
  std::string out = text;
  const int edits = 1 + int(next_random(state) % 3);
  for ( int e = 0; e < edits && !out.empty(); ++e )
  {
    const size_t at = next_random(state) % out.size();
    const char byte = syntax_bytes[next_random(state) % (sizeof(syntax_bytes) - 1)];
    switch ( next_random(state) % 5 )
    {
      case 0: out[at] = byte; break;
      case 1: out.insert(out.begin() + long(at), byte); break;
      case 2: out.erase(at, 1 + next_random(state) % 4); break;
      case 3: out.insert(at, out.substr(at, 1 + next_random(state) % 12)); break;
      default: out[at] = char(next_random(state) & 0xFF); break;
    }
  }
  return out;
}

TEST(form_mutation, mutated_program_texts_build_or_are_refused_cleanly)
{
  std::vector<form_fixture_t> fixtures(3);
  fixtures[0].text = connect_form_text;
  fixtures[0].arguments = &connect_arguments;
  fixtures[1].text = "STARTITEM 2\nAUTOSYNC\nBUTTON NO ~N~o\n@0:5[]\nRich\n%q\n<~N~ame:q1:20:20::>\n<Num:N2:+8:8::>\n"
                     "<~P~ath:F3::30::>\n<#t#Grp#tip#~A~:c4>\n<~B~:c5>7>\n<List:b6::10::>\n<Col:K8::::>\n"
                     "<Sec:p9::10::>\n<~G~o:B10::> <~S~top:k11::>";
  fixtures[1].arguments = &rich_arguments;
  fixtures[2].text = "Layout\n  <Top:q::10::> |  label\n<Buf:A:32:10::>\n<=:~O~ne>3>\n<D:D::5::>\n<X:R>\n<Y:R>>\n"
                     "<=:Two>\n<Tail:q::5::><|><Right:n::5::>";
  fixtures[2].arguments = &layout_arguments;

  recording_ui_callback_t ui;
  for ( form_fixture_t &fixture : fixtures )
  {
    form_widget_t form;
    form_args_t args(fixture.arguments(fixture));
    ASSERT_TRUE(compile_form(&form, fixture.text.c_str(), args)) << fixture.text;
  }
  uint32_t state = 0x2545F491;
  const int runs = seeded_runs(3000);
  size_t built = 0;
  size_t heap_after_warmup = 0;
  for ( int run = 0; run < runs; ++run )
  {
    form_fixture_t &fixture = fixtures[size_t(run) % fixtures.size()];
    const std::string text = mutate(fixture.text, &state);
    {
      auto form = std::make_unique<form_widget_t>();
      form_args_t args(fixture.arguments(fixture));
      if ( compile_form(form.get(), text.c_str(), args) )
      {
        ++built;
        (void)form->call_form_callback(form_code_ready);
        (void)form->sync_all_values();
      }
      else
      {
        EXPECT_TRUE(form->controls().empty()) << text;
      }
    }
    ui.clear();
    if ( run == runs / 4 )
      heap_after_warmup = heap_in_use();
  }
  EXPECT_GT(built, size_t(runs / 20)) << "the loop reaches the builder, not only the reader";
  EXPECT_LT(heap_in_use(), heap_after_warmup + (8u << 20)) << "memory stays bounded";
}

} // namespace
