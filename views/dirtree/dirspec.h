// The item interface of a directory tree: what the application tells the tree about the items it files.
#pragma once

#include "core/qstring.h"

#include <cstdint>

// Flag of dirspec_t::flags: folders of the tree may be sorted (the tree reads no other bit).
inline constexpr uint32_t dirspec_orderable = 0x4;

// Name flags of item_name: the display form of the name.
inline constexpr uint32_t dirtree_display_name = 0x1;

// Items are known to the tree only by their inodes; their names live here. Promises of an implementation:
// item_of_path and item_name agree (the inode a name gives is named by that name). The tree calls it on
// the GUI thread only.
class dirspec_t
{
public:
  virtual ~dirspec_t() = default;

  // The name of an inode into *out (null only tests that the inode is known); false when it is unknown.
  virtual bool item_name(qstring *out, uint64_t inode, uint32_t name_flags) = 0;
  // The inode of the item `name` in the folder whose absolute path (ending in '/') is given; all ones when none.
  virtual uint64_t item_of_path(const char *folder_path, const char *name) = 0;
  // An extra text about an item; the tree never asks for it.
  virtual qstring item_attributes_text(uint64_t inode) = 0;
  // Gives the item a new name; false refuses (the default).
  virtual bool rename_item(uint64_t /*inode*/, const char * /*new_name*/) { return false; }
  // A link of the item was removed from a folder.
  virtual void on_item_unlinked(uint64_t /*inode*/) {}

  uint32_t flags = 0; // dirspec_orderable
  qstring id;         // the tree's storage id, empty when none
};
