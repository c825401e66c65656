// Tokenizing rate of the token reader: a generated 10 MB C-like file with macros, conditionals and comments.
#include "core/token_reader.h"

#include "bench/bench_runner.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace
{

constexpr size_t source_size = 10 * 1024 * 1024;

// The text of the generated source: macro definitions up front, then blocks of declarations, functions,
// conditional regions, literals and comments until the size is reached.
std::string generated_source()
{
  std::string text = "#define MAX(a, b) ((a) > (b) ? (a) : (b))\n"
                     "#define SCALE 16\n"
                     "#define FIELD(n) field_##n\n"
                     "#define NAME(x) #x\n"
                     "#define EMPTY\n"
                     "#define CALL(f, ...) f\n";
  char block[1024];
  for ( unsigned i = 0; text.size() < source_size; ++i )
  {
    snprintf(block, sizeof(block),
             "/* block %u: a structure,\n   a function and a conditional region */\n"
             "struct s%u { int FIELD(%u); unsigned long long v = 0x%XULL; double d = %u.5e3; };\n"
             "#if SCALE > 8 && defined(MAX)\n"
             "static int f%u(int a, int b) { return MAX(a, SCALE) * b + 'c' - (a << 2); } // line comment\n"
             "#elif SCALE == %u\n"
             "static int f%u(int a) { return a; }\n"
             "#else\n"
             "#error not reached %u\n"
             "#endif\n"
             "#ifdef EMPTY\n"
             "const char *n%u = NAME(value %u) \"text\\n\" EMPTY; long long w%u = %uLL >> 3;\n"
             "#endif\n"
             "float g%u = .25f * x%u->y[%u] + 1e-3;\n\n",
             i, i, i, i * 2654435761u, i % 1000, i, i, i, i, i, i, i, i, i, i, i % 64);
    text += block;
  }
  return text;
}

// The generated file, written once and removed at exit.
class source_file_t
{
public:
  source_file_t() : path_((std::filesystem::temp_directory_path() / "akui_token_reader_bench.c").string())
  {
    const std::string text = generated_source();
    size_ = text.size();
    std::ofstream(path_, std::ios::binary) << text;
  }
  ~source_file_t() { std::filesystem::remove(path_); }
  const std::string &path() const { return path_; }
  size_t size() const { return size_; }

private:
  std::string path_;
  size_t size_ = 0;
};

const source_file_t &source_file()
{
  static const source_file_t file;
  return file;
}

void bench_tokenize_file(benchmark::State &state)
{
  const source_file_t &file = source_file();
  token_reader_t *reader = create_token_reader(nullptr, 0, nullptr, 0);
  size_t tokens = 0;
  for ( auto _ : state )
  {
    if ( reader->open_file(file.path().c_str()) != 0 )
    {
      state.SkipWithError("cannot open the generated file");
      break;
    }
    lexer_token_t token;
    for ( ;; )
    {
      if ( read_token(reader, &token) != 0 )
      {
        state.SkipWithError("tokenizing failed");
        break;
      }
      if ( token.kind == TOKEN_END )
        break;
      ++tokens;
    }
  }
  destroy_token_reader(reader);
  state.SetBytesProcessed(int64_t(state.iterations() * file.size()));
  state.counters["tokens"] = benchmark::Counter(double(tokens), benchmark::Counter::kIsRate);
}
BENCHMARK(bench_tokenize_file)->Unit(benchmark::kMillisecond);

void bench_tokenize_text(benchmark::State &state)
{
  const std::string text = generated_source();
  token_reader_t *reader = create_token_reader(nullptr, 0, nullptr, 0);
  for ( auto _ : state )
  {
    reader->set_text(text.c_str(), nullptr);
    lexer_token_t token;
    while ( read_token(reader, &token) == 0 && token.kind != TOKEN_END )
      benchmark::DoNotOptimize(token.kind);
  }
  destroy_token_reader(reader);
  state.SetBytesProcessed(int64_t(state.iterations() * text.size()));
}
BENCHMARK(bench_tokenize_text)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
  // Two seconds a run by default: the rate of a 10 MB file settles slowly.
  return bench_runner_t(argc, argv, {"--benchmark_min_time=2"}).run();
}
