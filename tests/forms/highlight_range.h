// One coloured range as a test sees it (start, length and style, comparable and printable), and callbacks that
// record them.
#pragma once

#include "forms/text/syntax_highlighter.h"

#include <ostream>
#include <vector>

struct highlight_range_t
{
  int start;
  int length;
  int style;
  bool operator==(const highlight_range_t &o) const = default;
};

inline std::ostream &operator<<(std::ostream &os, const highlight_range_t &r)
{
  return os << "(" << r.start << "," << r.length << "," << r.style << ")";
}

// Records every reported range and the last stored state; answers a chosen previous state.
class recording_cbs_t : public highlighter_cbs_t
{
public:
  explicit recording_cbs_t(int previous = -1) : previous_(previous) {}
  void apply_style(int start, int length, int style) override { ranges.push_back({start, length, style}); }
  int previous_line_state() override { return previous_; }
  int current_line_state() override { return state; }
  void store_line_state(int s) override { state = s; }

  std::vector<highlight_range_t> ranges;
  int state = -99;

private:
  int previous_;
};

