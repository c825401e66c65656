// The proxy style of filtered item views: match highlights and cut rows.
#include "views/filter/filtered_item_view_style.h"

#include "core/internal_error.h"
#include "views/filter/code_points.h"
#include "views/filter/filtered_widget_mixin.h"

#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QStyleOptionViewItem>
#include <QWidget>

std::vector<highlight_range_t> highlight_ranges(const filter_match_t &match)
{
  std::vector<highlight_range_t> ranges;
  const std::vector<uint16_t> &positions = match.match_positions;
  if ( (match.flags & match_fuzzy_score) != 0 )
  {
    for ( const uint16_t position : positions )
    {
      if ( position == no_match_position )
        continue;
      if ( !ranges.empty() && ranges.back().second == position )
        ++ranges.back().second;
      else
        ranges.emplace_back(position, position + 1);
    }
    return ranges;
  }
  if ( positions.size() == 2 && positions[0] != no_match_position && positions[1] != no_match_position )
    ranges.emplace_back(positions[0], positions[1]);
  return ranges;
}

int utf16_units_of_code_points(const QString &text, int code_points)
{
  int units = 0;
  for ( int n = 0; n < code_points && units < text.size(); ++n )
  {
    const bool pair = text.at(units).isHighSurrogate() && units + 1 < text.size() && text.at(units + 1).isLowSurrogate();
    units += pair ? 2 : 1;
  }
  return units;
}

filtered_widget_mixin_t &painted_view_engine(const QWidget *widget)
{
  for ( const QWidget *w = widget; w != nullptr; w = w->parentWidget() )
    if ( filtered_widget_mixin_t *engine = find_filtered_widget_mixin(const_cast<QWidget *>(w)) )
      return *engine;
  interr(interr_style_without_engine);
}

void filtered_item_view_style_t::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                                             const QWidget *widget) const
{
  if ( element != CE_ItemViewItem )
  {
    QProxyStyle::drawControl(element, option, painter, widget);
    return;
  }
  filtered_widget_mixin_t &engine = painted_view_engine(widget);
  const auto *item = qstyleoption_cast<const QStyleOptionViewItem *>(option);
  QColor cut;
  if ( item == nullptr || !engine.cut_text_color(&cut, item->index) )
  {
    QProxyStyle::drawControl(element, option, painter, widget);
    return;
  }
  QStyleOptionViewItem copy(*item);
  const bool selected = (item->state & State_Selected) != 0;
  copy.palette.setColor(selected ? QPalette::HighlightedText : QPalette::Text, cut);
  QProxyStyle::drawControl(element, &copy, painter, widget);
}

void filtered_item_view_style_t::drawPrimitive(PrimitiveElement element, const QStyleOption *option,
                                               QPainter *painter, const QWidget *widget) const
{
  QProxyStyle::drawPrimitive(element, option, painter, widget);
  if ( element != PE_PanelItemViewItem )
    return;
  const auto *item = qstyleoption_cast<const QStyleOptionViewItem *>(option);
  if ( item == nullptr )
    return;
  filtered_widget_mixin_t &engine = painted_view_engine(widget);
  const filter_match_t *match = engine.row_for_index(item->index);
  if ( match == nullptr )
    return;
  const std::vector<highlight_range_t> ranges = highlight_ranges(*match);
  if ( ranges.empty() )
    return;
  const QRect text_rect = subElementRect(SE_ItemViewItemText, item, widget);
  const int margin = pixelMetric(PM_FocusFrameHMargin, item, widget);
  const QColor colour = engine.highlight_color((item->state & State_Selected) != 0);
  painter->save();
  painter->setClipRect(text_rect, Qt::IntersectClip);
  for ( const auto &[first, end] : ranges )
  {
    // Positions count code points; Qt measures UTF-16 units.
    const int x1 = item->fontMetrics.horizontalAdvance(item->text, utf16_units_of_code_points(item->text, first));
    const int x2 = item->fontMetrics.horizontalAdvance(item->text, utf16_units_of_code_points(item->text, end));
    const int left = text_rect.left() + margin;
    painter->fillRect(QRect(QPoint(left + x1 + 1, text_rect.top()), QPoint(left + x2, text_rect.bottom())), colour);
  }
  painter->restore();
}

filtered_item_view_style_t *shared_filtered_item_view_style()
{
  // Owned by the application object, so it goes with it.
  static QPointer<filtered_item_view_style_t> style;
  if ( style == nullptr )
  {
    style = new filtered_item_view_style_t;
    style->setParent(QCoreApplication::instance());
  }
  return style;
}
