// Saved window geometry: the blob of QWidget::saveGeometry, its JSON form in desktops, and the way back.
#pragma once

#include "core/json_value.h"
#include "core/qvector.h"

#include <cstdint>

#include <QRect>

// The blob is a big-endian QDataStream (version Qt_4_0): magic 0x1D9D0CB, major and minor version (u16),
// frame rect, normal rect (four i32 each: left, top, right, bottom), screen number (i32), maximized and
// full screen (u8), then the screen width (i32, major 2 and later) and the geometry rect (major 3).
constexpr uint32_t window_geometry_magic = 0x1D9D0CB;
constexpr uint16_t window_geometry_major = 3;

// The JSON object of a blob, members in this order: "frame_geometry", "normal_geometry", "geometry" (rect
// arrays, see rect_to_json; [0, 0, -1, -1] before major 3), "screen_number" (int), "maximized" and
// "fullscreen" (bools), "screen_width" (int, 0 before major 2). A blob whose magic differs, whose major
// version exceeds 3 or that ends before its last field gives a value of tag JSON_NONE.
[[nodiscard]] json_value_t geometry_blob_to_json(const byte_buffer_t &blob);

// A blob of major version 3 from such an object, fitted to the screens present now: a screen number that
// is negative or not below the screen count becomes 0; a screen width of 0 or less becomes the screen's;
// a missing "geometry" takes the normal rect. Empty bytes unless "frame_geometry" and "normal_geometry"
// are valid rect arrays (json_to_rect_checked), "screen_number" and "screen_width" ints that fit 32 bits
// and "maximized" and "fullscreen" bools. Sets *maximized (when not null) from the object.
[[nodiscard]] byte_buffer_t geometry_json_to_blob(const json_value_t &object, bool *maximized = nullptr);

// The array [top, left, bottom, right] of a rect (not the stream's order).
[[nodiscard]] json_value_t rect_to_json(const QRect &rect);

// The rect of an array [top, left, bottom, right]. An array of another length, an element that is not an
// int or does not fit 32 bits, or a value that is not an array gives an empty rect. [0, 0, -1, -1] stands
// for the default rect of the reference screen: W/10, H/10 to W/10 x 9, H/10 x 9 (each truncated), the
// screen's position not added.
[[nodiscard]] QRect json_to_rect(const json_value_t &array, const QRect &reference);
// As json_to_rect, and tells whether the array was a valid rect (an empty rect is also a valid answer).
[[nodiscard]] bool json_to_rect_checked(QRect *out, const json_value_t &array, const QRect &reference);

// Whether a window placed at (x, y) with that size stays within reach of the screens present now: width and
// height at most four times the extent of all screens together, the position no farther than that from them.
// Negative sizes pass (Qt treats them as unset). A stored geometry could otherwise ask for a window of any size.
[[nodiscard]] bool plausible_window_rect(int64_t x, int64_t y, int64_t width, int64_t height);
// Whether every rect array of a window-geometry object ("frame_geometry", "normal_geometry", "geometry") that is
// a valid rect is a plausible window rect; the default-rect marker [0, 0, -1, -1] always is.
[[nodiscard]] bool plausible_geometry_json(const json_value_t &object);
