// The holder of a directory tree and the application's choice of tree.
#include "views/dirtree/directory_tree.h"

#include "core/internal_error.h"

namespace
{

std::unique_ptr<dirtree_impl_t> new_storageless_tree(directory_tree_t *owner, std::unique_ptr<dirspec_t> dirspec)
{
  return std::make_unique<storageless_dirtree_impl_t>(owner, std::move(dirspec));
}

// The application's factory; set on the GUI thread before trees are made.
dirtree_impl_factory_t tree_factory = &new_storageless_tree;

} // namespace

void set_dirtree_impl_factory(dirtree_impl_factory_t factory)
{
  tree_factory = factory != nullptr ? factory : &new_storageless_tree;
}

storageless_dirtree_impl_t::storageless_dirtree_impl_t(directory_tree_t *owner, std::unique_ptr<dirspec_t> dirspec)
  : dirtree_impl_t(owner, dirspec.get())
{
  adopt_dirspec(std::move(dirspec));
}

directory_tree_t::directory_tree_t(std::unique_ptr<dirspec_t> dirspec)
{
  if ( dirspec == nullptr )
    interr(interr_dirtree_no_dirspec);
  impl_ = tree_factory(this, std::move(dirspec));
}

directory_tree_t::~directory_tree_t() = default;
