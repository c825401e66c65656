// Saved window geometry: conversions between the saveGeometry blob and its JSON object.
#include "ui/window_geometry.h"

#include "core/byte_cursor.h"
#include "ui/json_build.h"

#include <QDataStream>
#include <QGuiApplication>
#include <QScreen>

#include <cstdint>
#include <limits>

namespace
{

struct geometry_fields_t
{
  quint32 magic = 0;
  quint16 major = 0;
  quint16 minor = 0;
  QRect frame;
  QRect normal;
  qint32 screen = 0;
  quint8 maximized = 0;
  quint8 fullscreen = 0;
  qint32 screen_width = 0;
  QRect geometry;
};

// Four i32 in the stream's order: left, top, right, bottom.
void read_rect(QDataStream &in, QRect *rect)
{
  qint32 left = 0, top = 0, right = 0, bottom = 0;
  in >> left >> top >> right >> bottom;
  *rect = QRect(QPoint(left, top), QPoint(right, bottom));
}

void write_rect(QDataStream &out, const QRect &rect)
{
  out << qint32(rect.left()) << qint32(rect.top()) << qint32(rect.right()) << qint32(rect.bottom());
}

void use_blob_format(QDataStream *stream)
{
  stream->setVersion(QDataStream::Qt_4_0);
  stream->setByteOrder(QDataStream::BigEndian);
}

// An int member that fits 32 bits; false when missing, of another type or out of range.
bool find_int32(const json_object_t *obj, const char *key, int32_t *out)
{
  const json_value_t *v = json_object_find(obj, key, JSON_INT);
  if ( v == nullptr || v->u.i < std::numeric_limits<int32_t>::min() || v->u.i > std::numeric_limits<int32_t>::max() )
    return false;
  *out = int32_t(v->u.i);
  return true;
}

} // namespace

json_value_t geometry_blob_to_json(const byte_buffer_t &blob)
{
  if ( blob.size() > size_t(std::numeric_limits<int>::max()) )
    return {};
  QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(blob.data()), int(blob.size()));
  QDataStream in(&bytes, QIODevice::ReadOnly);
  use_blob_format(&in);
  geometry_fields_t f;
  in >> f.magic >> f.major >> f.minor;
  if ( in.status() != QDataStream::Ok || f.magic != window_geometry_magic || f.major > window_geometry_major )
    return {};
  read_rect(in, &f.frame);
  read_rect(in, &f.normal);
  in >> f.screen >> f.maximized >> f.fullscreen;
  if ( f.major >= 2 )
    in >> f.screen_width;
  if ( f.major >= 3 )
    read_rect(in, &f.geometry);
  // A blob that ends before its last field is refused whole rather than read with zeros.
  if ( in.status() != QDataStream::Ok )
    return {};

  json_value_t result = json_object_value();
  add_json_member(result.u.obj, "frame_geometry", rect_to_json(f.frame));
  add_json_member(result.u.obj, "normal_geometry", rect_to_json(f.normal));
  add_json_member(result.u.obj, "geometry", rect_to_json(f.geometry));
  add_json_member(result.u.obj, "screen_number", json_int_value(f.screen));
  add_json_member(result.u.obj, "maximized", json_bool_value(f.maximized != 0));
  add_json_member(result.u.obj, "fullscreen", json_bool_value(f.fullscreen != 0));
  add_json_member(result.u.obj, "screen_width", json_int_value(f.screen_width));
  return result;
}

byte_buffer_t geometry_json_to_blob(const json_value_t &object, bool *maximized)
{
  if ( object.tag != JSON_OBJECT )
    return {};
  const json_object_t *obj = object.u.obj;
  const json_value_t *frame = json_object_find(obj, "frame_geometry", JSON_ARRAY);
  const json_value_t *normal = json_object_find(obj, "normal_geometry", JSON_ARRAY);
  const json_value_t *geometry = json_object_find(obj, "geometry", 0);
  const json_value_t *is_maximized = json_object_find(obj, "maximized", JSON_BOOL);
  const json_value_t *is_fullscreen = json_object_find(obj, "fullscreen", JSON_BOOL);
  int32_t screen = 0;
  int32_t width = 0;
  if ( frame == nullptr || normal == nullptr || is_maximized == nullptr || is_fullscreen == nullptr
    || !find_int32(obj, "screen_number", &screen) || !find_int32(obj, "screen_width", &width) )
    return {};

  const QList<QScreen *> screens = QGuiApplication::screens();
  if ( screen < 0 || screen >= screens.size() )
    screen = 0;
  const QRect reference = screens.isEmpty() ? QRect() : screens.at(screen)->geometry();
  if ( width <= 0 )
    width = reference.width();

  geometry_fields_t f;
  if ( !json_to_rect_checked(&f.frame, *frame, reference) || !json_to_rect_checked(&f.normal, *normal, reference) )
    return {};
  f.geometry = f.normal;
  if ( geometry != nullptr && !json_to_rect_checked(&f.geometry, *geometry, reference) )
    return {};

  QByteArray bytes;
  QDataStream out(&bytes, QIODevice::WriteOnly);
  use_blob_format(&out);
  out << quint32(window_geometry_magic) << quint16(window_geometry_major) << quint16(0);
  write_rect(out, f.frame);
  write_rect(out, f.normal);
  out << qint32(screen) << quint8(is_maximized->u.b != 0) << quint8(is_fullscreen->u.b != 0) << qint32(width);
  write_rect(out, f.geometry);
  if ( maximized != nullptr )
    *maximized = is_maximized->u.b != 0;

  byte_buffer_t blob;
  bytevec_append(&blob, bytes.constData(), size_t(bytes.size()));
  return blob;
}

json_value_t rect_to_json(const QRect &rect)
{
  json_value_t result = json_array_value();
  for ( int value : {rect.top(), rect.left(), rect.bottom(), rect.right()} )
    json_value_set_int(jarr_append_slot(result.u.arr), value);
  return result;
}

bool json_to_rect_checked(QRect *out, const json_value_t &array, const QRect &reference)
{
  *out = QRect();
  if ( array.tag != JSON_ARRAY || array.u.arr->size() != 4 )
    return false;
  int32_t v[4];
  for ( size_t i = 0; i < 4; ++i )
  {
    const json_value_t &e = (*array.u.arr)[i];
    if ( e.tag != JSON_INT || e.u.i < std::numeric_limits<int32_t>::min() || e.u.i > std::numeric_limits<int32_t>::max() )
      return false;
    v[i] = int32_t(e.u.i);
  }
  const int32_t top = v[0], left = v[1], bottom = v[2], right = v[3];
  if ( top == 0 && left == 0 && bottom == -1 && right == -1 )
  {
    const int w10 = reference.width() / 10;
    const int h10 = reference.height() / 10;
    *out = QRect(QPoint(w10, h10), QPoint(w10 * 9, h10 * 9));
  }
  else
  {
    *out = QRect(QPoint(left, top), QPoint(right, bottom));
  }
  return true;
}

QRect json_to_rect(const json_value_t &array, const QRect &reference)
{
  QRect rect;
  (void)json_to_rect_checked(&rect, array, reference); // a refused array leaves the empty rect
  return rect;
}

namespace {

// The extent of all screens together; a nominal one without screens.
QRect screens_extent()
{
  QRect extent;
  for ( const QScreen *screen : QGuiApplication::screens() )
    extent |= screen->geometry();
  return extent.isEmpty() ? QRect(0, 0, 1024, 768) : extent;
}

} // namespace

bool plausible_window_rect(int64_t x, int64_t y, int64_t width, int64_t height)
{
  const QRect extent = screens_extent();
  const int64_t reach_x = 4 * int64_t(extent.width());
  const int64_t reach_y = 4 * int64_t(extent.height());
  return width <= reach_x && height <= reach_y && x >= extent.left() - reach_x && x <= extent.right() + reach_x &&
         y >= extent.top() - reach_y && y <= extent.bottom() + reach_y;
}

bool plausible_geometry_json(const json_value_t &object)
{
  if ( object.tag != JSON_OBJECT )
    return true;
  for ( const char *key : {"frame_geometry", "normal_geometry", "geometry"} )
  {
    const json_value_t *array = json_object_find(object.u.obj, key, JSON_ARRAY);
    if ( array == nullptr || array->u.arr->size() != 4 )
      continue;
    int64_t v[4];
    bool ints = true;
    for ( size_t i = 0; i < 4; ++i )
    {
      const json_value_t &e = (*array->u.arr)[i];
      ints = ints && e.tag == JSON_INT;
      v[i] = ints ? e.u.i : 0;
    }
    if ( !ints || (v[0] == 0 && v[1] == 0 && v[2] == -1 && v[3] == -1) )
      continue;
    // [top, left, bottom, right], bottom and right inclusive; numbers beyond 32 bits are refused anyway.
    const int64_t bound = int64_t(1) << 40;
    if ( v[0] < -bound || v[0] > bound || v[1] < -bound || v[1] > bound || v[2] < -bound || v[2] > bound ||
         v[3] < -bound || v[3] > bound )
      return false;
    if ( !plausible_window_rect(v[1], v[0], v[3] - v[1] + 1, v[2] - v[0] + 1) )
      return false;
  }
  return true;
}
