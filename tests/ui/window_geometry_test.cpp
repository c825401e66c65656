// Saved window geometry: blob to JSON and back, fitting to the screens present, and hostile blobs and objects.
#include "ui/window_geometry.h"

#include "core/byte_cursor.h"
#include "core/json_reader.h"
#include "core/json_writer.h"
#include "tests/support/seeded_random.h"

#include <QDataStream>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace
{

QRect screen0()
{
  return QGuiApplication::screens().at(0)->geometry();
}

json_value_t parse(const std::string &text)
{
  json_value_t v;
  EXPECT_EQ(json_parse_text(&v, text.c_str()), 0) << text;
  return v;
}

std::string to_text(const json_value_t &v)
{
  qstring out;
  if ( v.tag == JSON_NONE )
    return "null";
  EXPECT_TRUE(json_to_text(&out, &v, 0));
  return std::string(out.view());
}

byte_buffer_t to_buffer(const QByteArray &bytes)
{
  byte_buffer_t b;
  bytevec_append(&b, bytes.constData(), size_t(bytes.size()));
  return b;
}

// A blob of the given major version as Qt's older releases wrote it.
byte_buffer_t old_blob(quint16 major, const QRect &frame, const QRect &normal, qint32 screen, bool maximized)
{
  QByteArray bytes;
  QDataStream out(&bytes, QIODevice::WriteOnly);
  out.setVersion(QDataStream::Qt_4_0);
  out << quint32(window_geometry_magic) << major << quint16(0);
  for ( const QRect &r : {frame, normal} )
    out << qint32(r.left()) << qint32(r.top()) << qint32(r.right()) << qint32(r.bottom());
  out << screen << quint8(maximized) << quint8(0);
  if ( major >= 2 )
    out << qint32(1234);
  if ( major >= 3 )
    out << qint32(1) << qint32(2) << qint32(3) << qint32(4);
  return to_buffer(bytes);
}

TEST(WindowGeometry, QtBlobConvertsToJsonAndBackIntoABlobQtRestores)
{
  QWidget w;
  w.setGeometry(40, 50, 300, 200);
  w.show();
  const byte_buffer_t saved = to_buffer(w.saveGeometry());
  const json_value_t json = geometry_blob_to_json(saved);
  ASSERT_EQ(json.tag, JSON_OBJECT);
  const std::string text = to_text(json);
  EXPECT_EQ(text.find("\"frame_geometry\""), 1u) << text;
  EXPECT_NE(text.find("\"normal_geometry\":[50,40,249,339]"), std::string::npos) << text;

  bool maximized = true;
  const byte_buffer_t blob = geometry_json_to_blob(json, &maximized);
  EXPECT_FALSE(maximized);
  ASSERT_FALSE(blob.size() == 0);
  // Written back it converts to the same object, and Qt itself takes it.
  EXPECT_EQ(to_text(geometry_blob_to_json(blob)), text);
  QWidget other;
  EXPECT_TRUE(other.restoreGeometry(QByteArray(reinterpret_cast<const char *>(blob.data()), int(blob.size()))));
  EXPECT_EQ(other.geometry().size(), QSize(300, 200));
}

TEST(WindowGeometry, OlderBlobsTakeTheScreenDefaultsWhenConvertedBack)
{
  const QRect s = screen0();
  const QRect default_rect(QPoint(s.width() / 10, s.height() / 10), QPoint(s.width() / 10 * 9, s.height() / 10 * 9));
  const json_value_t v1 = geometry_blob_to_json(old_blob(1, QRect(1, 2, 30, 40), QRect(5, 6, 70, 80), 0, true));
  ASSERT_EQ(v1.tag, JSON_OBJECT);
  EXPECT_EQ(to_text(v1), "{\"frame_geometry\":[2,1,41,30],\"normal_geometry\":[6,5,85,74],\"geometry\":[0,0,-1,-1],"
                         "\"screen_number\":0,\"maximized\":true,\"fullscreen\":false,\"screen_width\":0}");
  bool maximized = false;
  const json_value_t back = geometry_blob_to_json(geometry_json_to_blob(v1, &maximized));
  EXPECT_TRUE(maximized);
  const std::string expected_geometry = "\"geometry\":[" + std::to_string(default_rect.top()) + ","
    + std::to_string(default_rect.left()) + "," + std::to_string(default_rect.bottom()) + ","
    + std::to_string(default_rect.right()) + "]";
  EXPECT_NE(to_text(back).find(expected_geometry), std::string::npos) << to_text(back);
  EXPECT_NE(to_text(back).find("\"screen_width\":" + std::to_string(s.width())), std::string::npos);

  const json_value_t v2 = geometry_blob_to_json(old_blob(2, QRect(1, 2, 30, 40), QRect(5, 6, 70, 80), 0, false));
  EXPECT_NE(to_text(v2).find("\"geometry\":[0,0,-1,-1]"), std::string::npos);
  EXPECT_NE(to_text(v2).find("\"screen_width\":1234"), std::string::npos);
}

TEST(WindowGeometry, ObjectsAreFittedToTheScreensPresent)
{
  struct case_t
  {
    const char *name;
    const char *json;
    const char *expected; // substring of the object read back from the blob
  };
  const case_t cases[] = {
    {"no geometry takes the normal rect",
     R"({"frame_geometry":[1,2,3,4],"normal_geometry":[10,20,30,40],"screen_number":0,"maximized":false,"fullscreen":false,"screen_width":800})",
     R"("geometry":[10,20,30,40])"},
    {"screen 5 of one is screen 0",
     R"({"frame_geometry":[1,2,3,4],"normal_geometry":[1,2,3,4],"screen_number":5,"maximized":false,"fullscreen":true,"screen_width":800})",
     R"("screen_number":0,"maximized":false,"fullscreen":true)"},
    {"negative screen is screen 0",
     R"({"frame_geometry":[1,2,3,4],"normal_geometry":[1,2,3,4],"screen_number":-3,"maximized":false,"fullscreen":false,"screen_width":800})",
     R"("screen_number":0)"},
    {"zero width is the screen's",
     R"({"frame_geometry":[1,2,3,4],"normal_geometry":[1,2,3,4],"screen_number":0,"maximized":false,"fullscreen":false,"screen_width":0})",
     nullptr},
  };
  for ( const case_t &c : cases )
  {
    const json_value_t back = geometry_blob_to_json(geometry_json_to_blob(parse(c.json)));
    const std::string expected = c.expected != nullptr ? c.expected : "\"screen_width\":" + std::to_string(screen0().width());
    EXPECT_NE(to_text(back).find(expected), std::string::npos) << c.name << ": " << to_text(back);
  }
}

TEST(WindowGeometry, RectsThatAreNotFourIntsOf32BitsAreEmpty)
{
  struct case_t
  {
    const char *name;
    const char *array;
  };
  const case_t bad[] = {
    {"three elements", "[1,2,3]"},
    {"five elements", "[1,2,3,4,5]"},
    {"a string element", "[1,\"2\",3,4]"},
    {"a double element", "[1,2.5,3,4]"},
    {"a bool element", "[1,true,3,4]"},
    {"too large for 32 bits", "[1,2,3,4294967296]"},
    {"too small for 32 bits", "[-2147483649,2,3,4]"},
    {"an object", "{\"a\":1}"},
    {"a number", "7"},
  };
  const char *good_members = R"("normal_geometry":[1,2,3,4],"screen_number":0,"maximized":false,"fullscreen":false,"screen_width":800)";
  for ( const case_t &c : bad )
  {
    QRect rect(1, 1, 1, 1);
    EXPECT_FALSE(json_to_rect_checked(&rect, parse(c.array), screen0())) << c.name;
    EXPECT_TRUE(rect.isNull()) << c.name;
    EXPECT_TRUE(json_to_rect(parse(c.array), screen0()).isNull()) << c.name;
    for ( const char *key : {"frame_geometry", "geometry"} )
    {
      std::string json = std::string("{\"") + key + "\":" + c.array + "," + good_members;
      if ( std::string(key) == "geometry" )
        json = std::string("{\"frame_geometry\":[1,2,3,4],\"geometry\":") + c.array + "," + good_members;
      EXPECT_EQ(geometry_json_to_blob(parse(json + "}")).size(), 0u) << c.name << " as " << key;
    }
  }
  // The extremes of 32 bits are valid rects.
  EXPECT_EQ(json_to_rect(parse("[-2147483648,0,2147483647,5]"), screen0()),
            QRect(QPoint(0, -2147483648), QPoint(5, 2147483647)));
}

TEST(WindowGeometry, ObjectsWithMissingOrMistypedMembersGiveNoBlob)
{
  const char *cases[] = {
    R"({"frame_geometry":[1,2,3,4],"normal_geometry":[1,2,3,4],"screen_number":"0","maximized":false,"fullscreen":false,"screen_width":800})",
    R"({"frame_geometry":[1,2,3,4],"normal_geometry":[1,2,3,4],"screen_number":4294967296,"maximized":false,"fullscreen":false,"screen_width":800})",
    R"({"frame_geometry":[1,2,3,4],"normal_geometry":[1,2,3,4],"screen_number":0,"maximized":1,"fullscreen":false,"screen_width":800})",
    R"({"frame_geometry":[1,2,3,4],"normal_geometry":[1,2,3,4],"screen_number":0,"maximized":false,"screen_width":800})",
    R"({"frame_geometry":[1,2,3,4],"normal_geometry":[1,2,3,4],"screen_number":0,"maximized":false,"fullscreen":false,"screen_width":-4294967296})",
    R"({"normal_geometry":[1,2,3,4],"screen_number":0,"maximized":false,"fullscreen":false,"screen_width":800})",
    R"([1,2,3])",
  };
  for ( const char *c : cases )
    EXPECT_EQ(geometry_json_to_blob(parse(c)).size(), 0u) << c;
  EXPECT_EQ(geometry_json_to_blob(json_value_t()).size(), 0u);
}

TEST(WindowGeometry, BadAndTruncatedBlobsGiveNull)
{
  const byte_buffer_t good = old_blob(3, QRect(1, 2, 30, 40), QRect(5, 6, 70, 80), 0, false);
  ASSERT_EQ(geometry_blob_to_json(good).tag, JSON_OBJECT);
  // Every blob that ends early, at any byte, is refused whole.
  for ( size_t n = 0; n < good.size(); ++n )
  {
    byte_buffer_t cut;
    bytevec_append(&cut, good.data(), n);
    EXPECT_EQ(geometry_blob_to_json(cut).tag, JSON_NONE) << n << " bytes";
  }
  for ( quint16 major : {1, 2} )
  {
    const byte_buffer_t older = old_blob(major, QRect(), QRect(), 0, false);
    byte_buffer_t cut;
    bytevec_append(&cut, older.data(), older.size() - 1);
    EXPECT_EQ(geometry_blob_to_json(cut).tag, JSON_NONE) << "major " << major;
  }
  byte_buffer_t bad_magic = good;
  bad_magic[0] ^= 0x40;
  EXPECT_EQ(geometry_blob_to_json(bad_magic).tag, JSON_NONE);
  EXPECT_EQ(geometry_blob_to_json(old_blob(4, QRect(), QRect(), 0, false)).tag, JSON_NONE);
}

TEST(WindowGeometry, MutatedBlobsConvertOrAreRefusedAndWhatConvertsGoesBack)
{
  constexpr int runs = seeded_runs(20000);
  const byte_buffer_t good = old_blob(3, QRect(1, 2, 30, 40), QRect(5, 6, 70, 80), 0, false);
  uint32_t state = 0x2545F491u;
  for ( int run = 0; run < runs; ++run )
  {
    byte_buffer_t blob = good;
    const uint32_t edits = 1 + next_random(&state) % 6;
    for ( uint32_t e = 0; e < edits; ++e )
    {
      const uint32_t r = next_random(&state);
      if ( r % 5 == 0 && blob.size() > 0 )
        bytevec_resize(&blob, r % blob.size());
      else if ( r % 5 == 1 )
      {
        const uint8_t extra = uint8_t(r >> 8);
        bytevec_append(&blob, &extra, 1);
      }
      else if ( blob.size() > 0 )
        blob[(r >> 3) % blob.size()] = uint8_t(r >> 16);
    }
    const json_value_t json = geometry_blob_to_json(blob);
    if ( json.tag == JSON_NONE )
      continue;
    ASSERT_EQ(json.tag, JSON_OBJECT);
    // Whatever a blob holds, its rects fit 32 bits, so the object always converts back.
    EXPECT_GT(geometry_json_to_blob(json).size(), 0u) << to_text(json);
  }
}

TEST(WindowGeometry, MutatedObjectsGiveABlobThatConvertsBackOrNone)
{
  constexpr int runs = seeded_runs(10000);
  const std::string good = R"({"frame_geometry":[10,20,300,400],"normal_geometry":[11,21,301,401],"geometry":[0,0,-1,-1],)"
                           R"("screen_number":0,"maximized":false,"fullscreen":true,"screen_width":1024})";
  const char replacements[] = "0123456789-,[]{}\":.etrufalsn x";
  uint32_t state = 0x3C6EF372u;
  for ( int run = 0; run < runs; ++run )
  {
    std::string text = good;
    const uint32_t edits = 1 + next_random(&state) % 4;
    for ( uint32_t e = 0; e < edits; ++e )
    {
      const uint32_t r = next_random(&state);
      const size_t at = (r >> 8) % text.size();
      if ( r % 4 == 0 )
        text.erase(at, 1 + (r >> 20) % 4);
      else if ( r % 4 == 1 )
        text.insert(at, 1, replacements[(r >> 16) % (sizeof(replacements) - 1)]);
      else
        text[at] = replacements[(r >> 16) % (sizeof(replacements) - 1)];
    }
    json_value_t object;
    if ( json_parse_text(&object, text.c_str()) != 0 )
      continue;
    const byte_buffer_t blob = geometry_json_to_blob(object);
    // A blob is made only from a whole, valid object, and it always reads back.
    EXPECT_TRUE(blob.size() == 0 || geometry_blob_to_json(blob).tag == JSON_OBJECT) << text;
  }
}

} // namespace
