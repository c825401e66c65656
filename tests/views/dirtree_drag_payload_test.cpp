// The drag payload of tree entries: what a data stream writes reads back, hostile payloads yield only the
// whole strings they hold, a drop of them moves nothing it does not name in the tree's own form, and seeded
// mutations stay bounded.
#include "tests/support/heap_in_use.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/support/seeded_random.h"
#include "tests/support/test_scale.h"
#include "tests/views/standalone_test_widget.h"
#include "views/dirtree/dirtree_entry_moves.h"
#include "views/dirtree/dirtree_paths.h"

#include <QDataStream>
#include <QMimeData>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace
{

using paths_t = std::vector<std::string>;

// One payload string as the stream writes it.
QString item(char16_t code, const std::string &path)
{
  return QString(QChar(code)) + QString::fromStdString(path);
}

// The payload of the strings, written by a QDataStream as a drag source in another program would.
QByteArray stream_of(const QStringList &strings)
{
  QByteArray bytes;
  QDataStream stream(&bytes, QIODevice::WriteOnly);
  for ( const QString &s : strings )
    stream << s;
  return bytes;
}

// Raw payload pieces: a length word, and UTF-16 units in the stream's byte order.
QByteArray length_word(uint32_t length)
{
  QByteArray bytes;
  QDataStream(&bytes, QIODevice::WriteOnly) << quint32(length);
  return bytes;
}
QByteArray units(const std::u16string &text)
{
  QByteArray bytes;
  for ( const char16_t unit : text )
  {
    bytes.append(char(unit >> 8));
    bytes.append(char(unit & 0xFF));
  }
  return bytes;
}

paths_t paths_of(const std::vector<dirtree_path_entry_t> &entries)
{
  paths_t paths;
  for ( const dirtree_path_entry_t &entry : entries )
    paths.emplace_back(entry.path.view());
  return paths;
}

QMimeData *payload_data(const QByteArray &bytes)
{
  auto *data = new QMimeData;
  data->setData(QString::fromLatin1(dirtree_inodes_mime_type), bytes);
  return data;
}

// The sample tree (/a/ with /a/b/ and x, /c/ with z, and y) in a standalone widget, every entry's path by
// the entry.
struct dropped_t : view_sample_t
{
  dropped_t() : widget("Drops")
  {
    model = widget.show_tree(t.tree.get());
  }
  recording_dirtree_widget_t widget;
  test_tree_model_t *model;
};

} // namespace

TEST(InodeDragPayload, ReadsWhatADataStreamWritesAndWritesTheSame)
{
  const QStringList strings = {item(inode_drag_item, "/a/x"), item(inode_drag_folder, "/c"),
                               item(inode_drag_expanded_folder, "/a/b"),
                               item(inode_drag_item, "/\xC3\xA9t\xC3\xA9/\xF0\x9F\x98\x80")};
  const std::vector<dirtree_path_entry_t> read = read_inode_drag_payload(stream_of(strings));
  EXPECT_EQ(paths_of(read), paths_t({"/a/x", "/c", "/a/b", "/\xC3\xA9t\xC3\xA9/\xF0\x9F\x98\x80"}));
  ASSERT_EQ(read.size(), 4u);
  EXPECT_EQ((std::vector<bool> {read[0].expanded, read[1].expanded, read[2].expanded, read[3].expanded}),
            (std::vector<bool> {false, false, true, false}));

  inode_drag_writer_t writer;
  for ( const QString &s : strings )
    writer.add(s);
  EXPECT_EQ(writer.bytes(), stream_of(strings));
  EXPECT_TRUE(read_inode_drag_payload(QByteArray()).empty());
}

TEST(InodeDragPayload, HostilePayloadsYieldOnlyTheWholeStringsTheyHold)
{
  const QByteArray good = stream_of({item(inode_drag_item, "/y")});
  const std::string e_acute = "\xC3\xA9";
  std::string longest = "/";
  while ( longest.size() + e_acute.size() <= inode_drag_path_max )
    longest += e_acute;
  const std::string one_more = longest + e_acute;
  const std::string megabyte = "/" + std::string(1 << 20, 'm');
  struct case_t
  {
    const char *why;
    QByteArray bytes;
    paths_t paths;
  };
  const std::vector<case_t> cases = {
    {"unknown codes are skipped", stream_of({item(0, "/a"), item(4, "/b"), item(u'A', "/c")}) + good, {"/y"}},
    {"an empty string is skipped", stream_of({QString("")}) + good, {"/y"}},
    {"a null string is skipped", stream_of({QString()}) + good, {"/y"}},
    {"a code alone names the empty path", stream_of({item(inode_drag_item, "")}), {""}},
    {"an odd byte count ends the payload", length_word(5) + units(u"\x01/ab") + good, {}},
    {"a length beyond the bytes ends the payload", good + length_word(0x7FFFFFFE) + units(u"\x01/a"), {"/y"}},
    {"a length of all but one ones ends the payload", length_word(0xFFFFFFFE) + good, {}},
    {"up to three trailing bytes are ignored", good + QByteArray("\x00\x00\x01", 3), {"/y"}},
    {"a NUL inside a path skips it", stream_of({QString(QChar(inode_drag_item)) + QString("/a") + QChar(0) + "x"}) + good,
     {"/y"}},
    {"paths in any form are read as they are", stream_of({item(1, "/a/b/.."), item(1, "//y"), item(1, "a/x")}),
     {"/a/b/..", "//y", "a/x"}},
    {"the longest path is read", stream_of({item(1, longest)}), {longest}},
    {"a path longer than that is skipped", stream_of({item(1, one_more)}) + good, {"/y"}},
    {"a megabyte path is skipped", stream_of({item(1, megabyte)}) + good, {"/y"}},
  };
  for ( const case_t &c : cases )
  {
    EXPECT_EQ(paths_of(read_inode_drag_payload(c.bytes)), c.paths) << c.why;
  }
}

TEST(InodeDragPayload, EveryTruncationKeepsTheWholeStringsBeforeIt)
{
  const QStringList strings = {item(1, "/a/x"), item(2, "/c"), item(3, "/a/b")};
  const QByteArray full = stream_of(strings);
  std::vector<int> ends;
  for ( int n = 1; n <= strings.size(); ++n )
    ends.push_back(stream_of(strings.mid(0, n)).size());
  const paths_t all = {"/a/x", "/c", "/a/b"};
  for ( int size = 0; size <= full.size(); ++size )
  {
    size_t whole = 0;
    while ( whole < ends.size() && ends[whole] <= size )
      ++whole;
    EXPECT_EQ(paths_of(read_inode_drag_payload(full.left(size))), paths_t(all.begin(), all.begin() + ptrdiff_t(whole)))
      << size << " bytes";
  }
}

TEST(InodeDragPayload, HostileDropsMoveOnlyWhatTheyNameInTheTreesOwnForm)
{
  struct case_t
  {
    const char *why;
    QStringList strings;
    paths_t after;   // the tree's entries after the drop onto /c
    paths_t refused; // each refused path with the tree's reason
  };
  const paths_t untouched = {"/a/", "/a/b/", "/a/x", "/c/", "/c/z", "/y"};
  const std::vector<case_t> cases = {
    {"a path through \"..\" is not followed", {item(2, "/a/b/.."), item(1, "/a/b/../x")}, untouched,
     {"/a/b/..\": invalid path", "/a/b/../x\": invalid path"}},
    {"doubled and trailing slashes are refused", {item(2, "//a"), item(2, "/a//b"), item(2, "/a/")}, untouched,
     {"//a\": invalid path", "/a//b\": invalid path", "/a/\": invalid path"}},
    {"a relative path is refused", {item(1, "y"), item(1, "./y")}, untouched,
     {"y\": invalid path", "./y\": invalid path"}},
    {"the root and the empty path are refused", {item(2, "/"), item(1, "")}, untouched,
     {"/\": is our subdirectory", "\": invalid path"}},
    {"a path that does not resolve is refused and the others move", {item(1, "/nowhere"), item(1, "/y")},
     {"/a/", "/a/b/", "/a/x", "/c/", "/c/z", "/c/y"}, {"/nowhere\": not found"}},
  };
  for ( const case_t &c : cases )
  {
    dropped_t d;
    recording_ui_callback_t ui;
    const std::unique_ptr<QMimeData> data(payload_data(stream_of(c.strings)));
    EXPECT_TRUE(d.model->dropMimeData(data.get(), Qt::MoveAction, -1, 0, d.model->index_of_path("/c"))) << c.why;
    EXPECT_EQ(walk_paths(*d.t.tree), c.after) << c.why;
    paths_t logged;
    for ( const ui_request_record_t &line : ui.requests_of(23) )
      logged.push_back(line.text);
    paths_t expected;
    for ( const std::string &refusal : c.refused )
    {
      const size_t quote = refusal.find('"');
      expected.push_back("Couldn't move \"" + refusal.substr(0, quote) + "\" to \"/c" + refusal.substr(quote) + "\n");
    }
    EXPECT_EQ(logged, expected) << c.why;
    expect_tree_consistent(*d.t.tree);
  }
}

TEST(InodeDragPayload, SeededMutationsMoveOnlyNamedEntriesWithinBoundedMemory)
{
  const QStringList strings = {item(1, "/a/x"), item(3, "/a/b"), item(2, "/c"), item(1, "/y"), item(1, "/c/z")};
  const QByteArray valid = stream_of(strings);
  uint32_t state = 0x5EED36;
  const int runs = int(scaled_for_sanitizers(400, 10));
  for ( int run = 0; run < runs; ++run )
  {
    QByteArray bytes = valid;
    const uint32_t mutations = 1 + next_random(&state) % 6;
    for ( uint32_t m = 0; m < mutations; ++m )
    {
      const uint32_t r = next_random(&state);
      switch ( r % 4 )
      {
      case 0: // a byte changed
        if ( !bytes.isEmpty() )
          bytes[int(r / 4 % uint32_t(bytes.size()))] = char(next_random(&state));
        break;
      case 1: // a length word of any size put in
        bytes.insert(int(r / 4 % uint32_t(bytes.size() + 1)), length_word(next_random(&state)));
        break;
      case 2: // cut short
        bytes.truncate(int(r / 4 % uint32_t(bytes.size() + 1)));
        break;
      default: // a stretch repeated
        if ( !bytes.isEmpty() )
        {
          const int from = int(r / 4 % uint32_t(bytes.size()));
          bytes.append(bytes.mid(from, 64));
        }
      }
    }
    const size_t before = heap_in_use();
    const std::vector<dirtree_path_entry_t> read = read_inode_drag_payload(bytes);
    ASSERT_LE(read.size(), size_t(bytes.size()) / 6) << "run " << run;
    // What the reading kept is small beside the bytes it was given.
    EXPECT_LE(heap_in_use(), before + 16 * size_t(bytes.size()) + 65536) << "run " << run;
    std::set<std::string> named;
    for ( const dirtree_path_entry_t &entry : read )
    {
      EXPECT_LE(entry.path.size(), inode_drag_path_max);
      EXPECT_EQ(entry.path.view().find('\0'), std::string_view::npos);
      if ( is_canonical_dirtree_path(entry.path.view()) )
        named.insert(std::string(entry.path.view()));
    }

    dropped_t d;
    recording_ui_callback_t ui;
    const paths_t old_paths = walk_paths(*d.t.tree);
    const std::unique_ptr<QMimeData> data(payload_data(bytes));
    (void)d.model->dropMimeData(data.get(), Qt::MoveAction, int(next_random(&state) % 4) - 1, 0,
                                d.model->index_of_path("/c"));
    d.widget.settle();
    expect_tree_consistent(*d.t.tree);
    // Every entry that left its place was named, exactly so, by the payload; nothing is lost or doubled.
    const paths_t new_paths = walk_paths(*d.t.tree);
    ASSERT_EQ(new_paths.size(), old_paths.size()) << "run " << run;
    for ( const std::string &path : old_paths )
    {
      if ( std::find(new_paths.begin(), new_paths.end(), path) != new_paths.end() )
        continue;
      std::string bare = path.back() == '/' ? path.substr(0, path.size() - 1) : path;
      bool inside_named = false;
      for ( const std::string &name : named )
        inside_named = inside_named || bare == name || bare.rfind(name + "/", 0) == 0;
      EXPECT_TRUE(inside_named) << path << " moved in run " << run;
    }
  }
}
