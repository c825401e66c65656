// JSON text rates: parsing a 5 MB document shaped like a stored desktop layout (docks, splitters, column
// lists, saved states), and writing it back compact, indented, and indented with sorted keys.
#include "core/json_reader.h"
#include "core/json_writer.h"

#include "bench/bench_runner.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

constexpr size_t document_bytes = 5 * 1024 * 1024;

json_value_t *add(json_object_t *obj, const char *key)
{
  json_member_t *m = json_object_append_member(obj);
  m->key = key;
  return &m->value;
}

void set_int(json_value_t *v, int64_t i)
{
  json_value_set_int(v, i);
}

void set_text(json_value_t *v, const std::string &text)
{
  json_set_string(v, new qstring(text.data(), text.size()));
}

void set_bool(json_value_t *v, bool b)
{
  v->tag = JSON_BOOL;
  v->u.b = b ? 1 : 0;
}

json_object_t *make_object(json_value_t *v)
{
  v->tag = JSON_OBJECT;
  v->u.obj = new json_object_t;
  return v->u.obj;
}

jarr_t *make_array(json_value_t *v)
{
  v->tag = JSON_ARRAY;
  v->u.arr = new jarr_t;
  return v->u.arr;
}

// A saved widget state: printable text of a fixed length, as a base64 blob would be.
std::string state_blob(unsigned seed, size_t length)
{
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text(length, 'A');
  for ( size_t i = 0; i < length; ++i )
  {
    seed = seed * 1103515245u + 12345u;
    text[i] = alphabet[(seed >> 16) & 63];
  }
  return text;
}

void fill_dock(json_value_t *v, unsigned n, int depth)
{
  json_object_t *dock = make_object(v);
  set_text(add(dock, "title"), "Arkive files \"" + std::to_string(n) + "\"");
  set_int(add(dock, "kind"), n % 9);
  set_bool(add(dock, "floating"), n % 7 == 0);
  set_bool(add(dock, "visible"), n % 3 != 0);
  json_value_t *ratio = add(dock, "ratio");
  ratio->tag = JSON_DOUBLE;
  ratio->u.d = double(n % 100) / 64.0;
  jarr_t *geometry = make_array(add(dock, "geometry"));
  for ( const int64_t g : {int64_t(n % 1280), int64_t(n % 800), int64_t(320 + n % 500), -int64_t(n % 40)} )
    set_int(jarr_append_slot(geometry), g);
  jarr_t *columns = make_array(add(dock, "columns"));
  static const char *const names[] = {"Name", "Size", "Revision", "Modified", "Owner", "Path\\on\\server"};
  for ( const char *name : names )
  {
    json_object_t *column = make_object(jarr_append_slot(columns));
    set_text(add(column, "name"), name);
    set_int(add(column, "width"), 40 + (n * 7) % 300);
    set_bool(add(column, "shown"), (n & 1) != 0);
  }
  json_object_t *filter = make_object(add(dock, "filter"));
  set_text(add(filter, "text"), "*.zdb\tmain/");
  set_int(add(filter, "flags"), 0x105);
  add(filter, "color")->tag = JSON_NULL;
  set_text(add(dock, "state"), state_blob(n, 160));
  if ( depth > 0 )
  {
    jarr_t *children = make_array(add(dock, "splitter"));
    for ( unsigned i = 0; i < 3; ++i )
      fill_dock(jarr_append_slot(children), n * 3 + i, depth - 1);
  }
}

// The document, and its indented text.
struct document_t
{
  json_value_t value;
  qstring text;

  document_t()
  {
    json_object_t *root = make_object(&value);
    set_int(add(root, "version"), 3);
    json_object_t *main_window = make_object(add(root, "main_window"));
    set_text(add(main_window, "geometry"), state_blob(1, 400));
    set_bool(add(main_window, "maximized"), false);
    jarr_t *docks = make_array(add(root, "docks"));
    for ( unsigned n = 0; text.size() < document_bytes; ++n )
    {
      fill_dock(jarr_append_slot(docks), n, 2);
      if ( n % 64 == 63 )
      {
        text.clear();
        benchmark::DoNotOptimize(json_to_text(&text, &value, JSON_TEXT_PRETTY));
      }
    }
  }
};

const document_t &document()
{
  static const document_t doc;
  return doc;
}

void json_parse(benchmark::State &state)
{
  const document_t &doc = document();
  for ( auto _ : state )
  {
    json_value_t v;
    if ( json_parse_text(&v, doc.text.c_str()) != 0 )
      std::abort();
    benchmark::DoNotOptimize(v.u.obj);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(doc.text.size()));
}

void json_write(benchmark::State &state)
{
  const document_t &doc = document();
  const int flags = int(state.range(0));
  size_t bytes = 0;
  for ( auto _ : state )
  {
    qstring out;
    if ( !json_to_text(&out, &doc.value, flags) )
      std::abort();
    bytes = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
  state.counters["text_bytes"] = double(bytes);
}

} // namespace

BENCHMARK(json_parse)->Unit(benchmark::kMillisecond);
BENCHMARK(json_write)
  ->ArgName("flags")
  ->Arg(0)
  ->Arg(JSON_TEXT_PRETTY)
  ->Arg(JSON_TEXT_PRETTY | JSON_TEXT_SORTED_KEYS)
  ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
  return bench_runner_t(argc, argv).run();
}
