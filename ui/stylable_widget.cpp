// The stylable widget mixin.
#include "ui/stylable_widget.h"

#include "core/internal_error.h"

#include <QStringList>

#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int32_t INTERR_TOO_MANY_STYLE_PROPERTIES = 40665;
constexpr int32_t INTERR_STYLE_REFERENCE_MISMATCH = 40670;

// Qt's colour names with their ABGR values, in the order of QColor::colorNames; built at the first use.
const std::vector<std::pair<std::string, uint32_t>> &named_colours()
{
  static const std::vector<std::pair<std::string, uint32_t>> table = [] {
    std::vector<std::pair<std::string, uint32_t>> out;
    for ( const QString &name : QColor::colorNames() )
      out.emplace_back(name.toStdString(), swap_red_blue(QColor(name).rgba()));
    return out;
  }();
  return table;
}

} // namespace

stylable_widget_mixin_t::stylable_widget_mixin_t(const style_property_desc_t *table, size_t count,
                                                 const char *style_class)
  : style_class_(style_class)
{
  if ( count >= style_property_limit )
    interr(INTERR_TOO_MANY_STYLE_PROPERTIES);
  descriptors_.reserve(count);
  values_.reserve(count);
  for ( size_t i = 0; i < count; ++i )
  {
    descriptors_.push_back(table[i]);
    values_.push_back(table[i].default_value);
  }
}

stylable_widget_mixin_t::~stylable_widget_mixin_t() = default;

void stylable_widget_mixin_t::style_class_name(qstring *out) const
{
  *out = style_class_ != nullptr ? style_class_ : "";
}

void stylable_widget_mixin_t::style_sheet_lines(qvector<qstring> *lines,
                                                const stylable_widget_mixin_t &reference) const
{
  qvector<qstring> entries;
  collect_style_entries(&entries, reference);
  if ( entries.empty() )
    return;
  style_class_name(&qstrvec_push_empty(lines));
  lines->push_back("{");
  for ( const qstring &entry : entries )
  {
    qstring &line = qstrvec_push_empty(lines);
    line = "    ";
    line += entry;
  }
  lines->push_back("}");
}

void stylable_widget_mixin_t::collect_style_entries(qvector<qstring> *entries,
                                                    const stylable_widget_mixin_t &reference) const
{
  collect_color_entries(entries, reference);
}

void stylable_widget_mixin_t::collect_color_entries(qvector<qstring> *entries,
                                                    const stylable_widget_mixin_t &reference) const
{
  if ( reference.values_.size() != values_.size() )
    interr(INTERR_STYLE_REFERENCE_MISMATCH);
  for ( size_t i = 0; i < values_.size(); ++i )
  {
    if ( values_[i] == reference.values_[i] )
      continue;
    qstring &entry = qstrvec_push_empty(entries);
    entry = "qproperty-";
    entry += descriptors_[i].name;
    entry += ": ";
    entry += color_text(values_[i]);
    entry += ";";
  }
}

ptrdiff_t stylable_widget_mixin_t::position_of(uint32_t index, bool by_position) const
{
  if ( !by_position )
  {
    // Ids below the base wrap to huge positions and fall outside like any other stranger.
    index -= style_property_id_base;
  }
  return index < values_.size() ? ptrdiff_t(index) : -1;
}

uint32_t stylable_widget_mixin_t::int_property(uint32_t index, bool by_position) const
{
  const ptrdiff_t at = position_of(index, by_position);
  return at >= 0 ? values_[size_t(at)] : 0;
}

QColor stylable_widget_mixin_t::color_property(uint32_t index, bool by_position) const
{
  return QColor::fromRgba(swap_red_blue(int_property(index, by_position)));
}

void stylable_widget_mixin_t::set_color_property(uint32_t index, const QColor &colour, bool by_position)
{
  const ptrdiff_t at = position_of(index, by_position);
  if ( at >= 0 )
    values_[size_t(at)] = swap_red_blue(colour.rgba());
}

void stylable_widget_mixin_t::append_qproperty_entry(qstring *text, const char *name, int value, uint32_t flags)
{
  const size_t from = text->size();
  if ( (flags & qproperty_prefix) != 0 )
    *text += "qproperty-";
  *text += name;
  append_format_to_string(text, ": %d;", value);
  if ( (flags & qproperty_hyphenate) != 0 )
  {
    for ( size_t i = from; i < text->size(); ++i )
      if ( (*text)[i] == '_' )
        (*text)[i] = '-';
  }
}

qstring stylable_widget_mixin_t::color_text(uint32_t value)
{
  for ( const auto &[name, abgr] : named_colours() )
    if ( abgr == value )
      return qstring(name);
  const unsigned red = value & 0xFF;
  const unsigned green = (value >> 8) & 0xFF;
  const unsigned blue = (value >> 16) & 0xFF;
  const unsigned alpha = value >> 24;
  qstring out;
  if ( alpha == 255 )
    return format_to_string(&out, "#%02X%02X%02X", red, green, blue);
  // "%f" follows the C locale of the process, which the application takes from the user's environment.
  qstring fraction;
  format_to_string(&fraction, "%f", alpha / 255.0);
  for ( size_t i = 0; i < fraction.size(); ++i )
    if ( fraction[i] == ',' )
      fraction[i] = '.';
  return format_to_string(&out, "rgba(%u, %u, %u, %s)", red, green, blue, fraction.c_str());
}
