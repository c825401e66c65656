// Colours as the settings and rows keep them: 32-bit 0x00BBGGRR (red in the low byte), all ones for none.
#pragma once

#include <QColor>

#include <cstdint>

// The stored value of "no colour".
inline constexpr uint32_t no_bgr_color = ~uint32_t(0);

// Qt's colour of a stored value (the high byte is ignored).
[[nodiscard]] inline QColor color_of_bgr(uint32_t bgr)
{
  return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

// The stored value of a colour (its alpha is not kept).
[[nodiscard]] inline uint32_t bgr_of_color(const QColor &color)
{
  return uint32_t(color.red()) | uint32_t(color.green()) << 8 | uint32_t(color.blue()) << 16;
}
