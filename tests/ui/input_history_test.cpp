// Input histories: newest first, no repeats, at most 32, shared by numeric field types, mirrored in the registry.
#include "ui/input_history.h"

#include "core/registry.h"
#include "tests/support/env_guard.h"
#include "tests/support/string_lists.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

std::vector<std::string> stored(const char *name)
{
  qvector<qstring> list;
  registry_read_list(&list, (std::string("History\\") + name).c_str());
  return to_strings(list);
}

std::vector<std::string> entries(const input_history_t &h)
{
  std::vector<std::string> out;
  for ( const QString &e : h.entries )
    out.push_back(e.toStdString());
  return out;
}

TEST(InputHistory, NewestFirstWithoutRepeatsAndTheNewestAgainWritesNothing)
{
  input_history_t *h = find_input_history("test-order");
  EXPECT_EQ(h->name, "test-order");
  EXPECT_TRUE(h->add_entry("one"));
  EXPECT_TRUE(h->add_entry("two"));
  EXPECT_TRUE(h->add_entry("one"));
  EXPECT_EQ(entries(*h), (std::vector<std::string> {"one", "two"}));
  EXPECT_EQ(stored("test-order"), (std::vector<std::string> {"one", "two"}));
  // The newest again: nothing changes, and the registry is not written (a changed store stays changed).
  registry_write_text("0", "History\\test-order", "changed elsewhere");
  EXPECT_FALSE(h->add_entry("one"));
  EXPECT_EQ(stored("test-order")[0], "changed elsewhere");
  // Case matters.
  EXPECT_TRUE(h->add_entry("ONE"));
  EXPECT_EQ(find_input_history("test-order"), h);
}

TEST(InputHistory, The33rdEntryPushesOutTheOldest)
{
  input_history_t *h = find_input_history("test-limit");
  for ( int i = 0; i < 33; ++i )
    EXPECT_TRUE(h->add_entry(QString::number(i)));
  ASSERT_EQ(h->entries.size(), input_history_limit);
  EXPECT_EQ(h->entries.first(), "32");
  EXPECT_EQ(h->entries.last(), "1");
  const std::vector<std::string> list = stored("test-limit");
  ASSERT_EQ(list.size(), 32u);
  EXPECT_EQ(list.front(), "32");
  EXPECT_EQ(list.back(), "1");
}

TEST(InputHistory, StoredListsLoadOnFirstUseCappedAndWithoutRepeats)
{
  // A stored list that something else wrote: too long, with repeats and invalid UTF-8 that decode alike.
  for ( int i = 0; i < 40; ++i )
    registry_write_text(std::to_string(i).c_str(), "History\\test-load", ("e" + std::to_string(i % 35)).c_str());
  registry_write_text("3", "History\\test-load", "\xFF");
  registry_write_text("4", "History\\test-load", "\xFE");
  input_history_t *h = find_input_history("test-load");
  EXPECT_EQ(h->entries.size(), input_history_limit);
  EXPECT_EQ(h->entries.mid(0, 4), (QStringList {"e0", "e1", "e2", QString(QChar::ReplacementCharacter)}));
  EXPECT_EQ(h->entries.count(QString(QChar::ReplacementCharacter)), 1);
}

TEST(InputHistory, NumericFieldTypesShareOneHistory)
{
  struct case_t
  {
    char type;
    const char *name;
  };
  const case_t cases[] = {{'D', "N"}, {'n', "N"}, {'u', "N"}, {'Y', "N"}, {'I', "i"}, {'i', "i"}, {'A', "A"}, {'q', "q"}};
  for ( const case_t &c : cases )
    EXPECT_EQ(input_history_name_for_type(c.type), c.name) << c.type;

  EXPECT_TRUE(input_history_add_for_type('D', "12"));
  EXPECT_TRUE(input_history_add_for_type('n', "0x10"));
  EXPECT_EQ(input_history_entries_for_type('H'), (QStringList {"0x10", "12"}));
  EXPECT_EQ(stored("N"), (std::vector<std::string> {"0x10", "12"}));
  EXPECT_TRUE(input_history_add_named("test-named", "x"));
  EXPECT_FALSE(input_history_add_named("test-named", "x"));
}

TEST(InputHistory, NoHistoryInTheEnvironmentKeepsTheRegistryUntouched)
{
  env_guard_t guard("ZUK_NO_HISTORY", "1");
  input_history_t *h = find_input_history("test-nohistory");
  EXPECT_TRUE(h->add_entry("kept in memory"));
  EXPECT_EQ(entries(*h), (std::vector<std::string> {"kept in memory"}));
  EXPECT_EQ(stored("test-nohistory"), std::vector<std::string> {});
}

} // namespace
