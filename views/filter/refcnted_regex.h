// A compiled regular expression shared by the copies of a filter condition, with a match budget per text.
#pragma once

#include "core/qstring.h"

#include <cstddef>
#include <memory>
#include <string_view>

// Matching work allowed per text (PCRE2's match limit) and backtracking memory (its heap limit, KiB): a typed
// expression must never hang a view.
inline constexpr unsigned regex_match_limit = 1000000;
inline constexpr unsigned regex_heap_limit_kib = 4096;

// Outcome of one regex_search.
enum class regex_result_t
{
  no_match,
  match,
  over_budget, // the expression needed more work than the budget allows (or failed otherwise)
};

// Owns one compiled POSIX pattern (freed with regfree). Shared through std::shared_ptr: copies of a
// condition share it, the last one frees it. Once a search went over budget the pattern stays marked and
// every later search answers over_budget, so that its holder drops it like one that does not compile.
class refcnted_regex_t
{
public:
  // Compiles before + query + after (case-insensitive for ASCII unless match_case) under the match budget.
  // The query must compile on its own too, so that it cannot reach out of groups that before and after
  // open and close. Null with the error text in *error (when given) when either does not compile.
  static std::shared_ptr<refcnted_regex_t> compile(std::string_view query, std::string_view before,
                                                   std::string_view after, bool match_case, qstring *error);

  refcnted_regex_t(const refcnted_regex_t &) = delete;
  refcnted_regex_t &operator=(const refcnted_regex_t &) = delete;
  ~refcnted_regex_t();

  // Searches the text (which ends at its first 0 byte) for the leftmost match; on a match its byte
  // offsets go to *start and *end.
  [[nodiscard]] regex_result_t search(const char *text, size_t *start, size_t *end);

  bool over_budget() const { return over_budget_; }

private:
  struct compiled_t; // the POSIX pattern; kept out of this header, whose regex_t would clash with <regex.h>

  explicit refcnted_regex_t(std::unique_ptr<compiled_t> compiled);

  std::unique_ptr<compiled_t> compiled_;
  bool over_budget_ = false;
};
