// A compiled regular expression shared by the copies of a filter condition.
#include "views/filter/refcnted_regex.h"

#include <pcre2posix.h>

#include <cstdio>
#include <string>

struct refcnted_regex_t::compiled_t
{
  regex_t regex;
  ~compiled_t() { regfree(&regex); }
};

namespace
{

// Compiles into *out; on failure the error text goes to *error and false is answered.
bool compile_into(regex_t *out, const std::string &pattern, bool match_case, qstring *error)
{
  const int rc = regcomp(out, pattern.c_str(), match_case ? 0 : REG_ICASE);
  if ( rc == 0 )
    return true;
  if ( error != nullptr )
  {
    char text[1024];
    regerror(rc, out, text, sizeof(text));
    *error = text;
  }
  return false;
}

} // namespace

std::shared_ptr<refcnted_regex_t> refcnted_regex_t::compile(std::string_view query, std::string_view before,
                                                            std::string_view after, bool match_case, qstring *error)
{
  // The query alone first: its error text then speaks of the typed offsets.
  regex_t probe;
  if ( !compile_into(&probe, std::string(query), match_case, error) )
    return nullptr;
  regfree(&probe);
  char limit[64];
  std::snprintf(limit, sizeof(limit), "(*LIMIT_MATCH=%u)(*LIMIT_HEAP=%u)", regex_match_limit, regex_heap_limit_kib);
  regex_t compiled;
  if ( !compile_into(&compiled, limit + std::string(before) + std::string(query) + std::string(after), match_case, error) )
    return nullptr;
  return std::shared_ptr<refcnted_regex_t>(new refcnted_regex_t(std::unique_ptr<compiled_t>(new compiled_t{compiled})));
}

refcnted_regex_t::refcnted_regex_t(std::unique_ptr<compiled_t> compiled) : compiled_(std::move(compiled)) {}

refcnted_regex_t::~refcnted_regex_t() = default;

regex_result_t refcnted_regex_t::search(const char *text, size_t *start, size_t *end)
{
  if ( over_budget_ )
    return regex_result_t::over_budget;
  regmatch_t slot[1];
  const int rc = regexec(&compiled_->regex, text, 1, slot, 0);
  if ( rc == REG_NOMATCH )
    return regex_result_t::no_match;
  if ( rc != 0 )
  {
    over_budget_ = true;
    return regex_result_t::over_budget;
  }
  *start = size_t(slot[0].rm_so);
  *end = size_t(slot[0].rm_eo);
  return regex_result_t::match;
}
