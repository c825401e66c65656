// Helpers of the directory-tree tests.
#include "tests/views/dirtree_test_support.h"

#include <gtest/gtest.h>

namespace
{

std::unique_ptr<dirtree_impl_t> new_memory_store_tree(directory_tree_t *owner, std::unique_ptr<dirspec_t> dirspec)
{
  return std::make_unique<memory_store_tree_t>(owner, std::move(dirspec));
}

} // namespace

test_tree_t::test_tree_t(bool with_store)
{
  auto dirspec = std::make_unique<test_dirspec_t>();
  spec = dirspec.get();
  if ( with_store )
    set_dirtree_impl_factory(&new_memory_store_tree);
  tree = std::make_unique<directory_tree_t>(std::move(dirspec));
  set_dirtree_impl_factory(nullptr);
}

std::string describe_entry(directory_tree_t &tree, const dirtree_entry_t &entry)
{
  if ( entry == dirtree_root_entry )
    return "root";
  if ( entry.is_none() )
    return entry.is_folder ? "none folder" : "none item";
  qstring name;
  if ( !tree.entry_name(&name, entry, 0) )
    return "unnamed";
  return std::string(entry.is_folder ? "folder " : "item ") + name.c_str();
}

std::vector<std::string> walk_paths(directory_tree_t &tree)
{
  struct collector_t final : dirtree_visitor_t
  {
    explicit collector_t(directory_tree_t &tree) : tree(tree) {}
    int visit(const dirtree_cursor_t &cursor, const dirtree_entry_t &entry) override
    {
      if ( cursor == dirtree_root_cursor )
        return 0;
      qstring path;
      if ( !tree.cursor_text(&path, cursor, 0) )
        path = "<unnamed>";
      paths.push_back(std::string(path.c_str()) + (entry.is_folder ? "/" : ""));
      return 0;
    }
    directory_tree_t &tree;
    std::vector<std::string> paths;
  } collector(tree);
  tree.traverse(collector);
  return collector.paths;
}

std::vector<std::string> folder_names(directory_tree_t &tree, uint64_t folder)
{
  std::vector<std::string> names;
  for ( const dirtree_entry_t &entry : tree.impl()->folders()[folder].entries )
  {
    qstring name;
    tree.entry_name(&name, entry, 0);
    names.push_back(std::string(name.c_str()) + (entry.is_folder ? "/" : ""));
  }
  return names;
}

void expect_tree_consistent(directory_tree_t &tree)
{
  const std::vector<dirtree_folder_t> &folders = tree.impl()->folders();
  std::vector<int> listed(folders.size());
  for ( uint64_t n = 0; n < folders.size(); ++n )
  {
    const dirtree_folder_t &record = folders[n];
    if ( record.is_free() )
    {
      EXPECT_TRUE(record.entries.empty()) << "free folder " << n;
      continue;
    }
    std::set<uint64_t> items;
    for ( const dirtree_entry_t &entry : record.entries )
      if ( entry.is_folder )
      {
        ASSERT_LT(entry.id, folders.size());
        EXPECT_EQ(folders[entry.id].parent, n) << "folder " << entry.id;
        ++listed[entry.id];
      }
      else
        items.insert(entry.id);
    if ( !record.is_sorted() )
      EXPECT_EQ(std::set<uint64_t>(record.item_index.begin(), record.item_index.end()), items) << "folder " << n;
    else
      EXPECT_TRUE(record.item_index.empty()) << "folder " << n;
  }
  for ( uint64_t n = 1; n < folders.size(); ++n )
    if ( !folders[n].is_free() )
    {
      EXPECT_EQ(listed[n], 1) << "folder " << n;
      const dirtree_cursor_t cursor = tree.parent_cursor_of_folder(n);
      EXPECT_EQ(tree.entry_at_cursor(cursor), (dirtree_entry_t {n, true})) << "folder " << n;
    }
}
