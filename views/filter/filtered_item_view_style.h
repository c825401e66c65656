// The proxy style of filtered item views: matched text painted behind the letters, rows marked cut in their colour.
#pragma once

#include "views/filter/filter_match.h"

#include <QProxyStyle>

#include <cstdint>
#include <utility>
#include <vector>

class QString;
class QWidget;
class filtered_widget_mixin_t;

// Internal error of a painted item view that belongs to no filtered widget.
inline constexpr int32_t interr_style_without_engine = 40915;

// A stretch of characters [first, end), in code points.
using highlight_range_t = std::pair<int, int>;

// The stretches a match highlights: each run of consecutive positions of a fuzzy match, or the one stretch
// [start, end) of another match (exactly two positions, neither unrecorded). Anything else: none.
[[nodiscard]] std::vector<highlight_range_t> highlight_ranges(const filter_match_t &match);
// The number of UTF-16 units that the first `code_points` code points of the text take (a character outside
// the Basic Multilingual Plane takes two); the text's length when it has fewer.
[[nodiscard]] int utf16_units_of_code_points(const QString &text, int code_points);

// The engine of the widget or of its nearest parent that has one; internal error 40915 when none has.
[[nodiscard]] filtered_widget_mixin_t &painted_view_engine(const QWidget *widget);

// Installed on the item views of filtered widgets. Promises: only the item cells are painted differently;
// every other element goes to the base style unchanged.
class filtered_item_view_style_t : public QProxyStyle
{
  Q_OBJECT

public:
  explicit filtered_item_view_style_t(QStyle *base = nullptr) : QProxyStyle(base) {}

  // Item cells: a row the engine reports cut is drawn with the cut colour as its text colour.
  void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                   const QWidget *widget = nullptr) const override;
  // Item panels: after the base panel, the engine's match for the index is filled in the highlight colour
  // behind the characters it covers, clipped to the text rectangle.
  void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;
};

// The process-wide instance that standalone tree views share (made on first use, owned by the application).
[[nodiscard]] filtered_item_view_style_t *shared_filtered_item_view_style();
