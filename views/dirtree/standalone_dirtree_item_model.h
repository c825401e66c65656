// The lazily loading tree model: folders are read from the application's source when first expanded, and
// expanded folders are read again when the tree is rebuilt.
#pragma once

#include "views/dirtree/dirtree_item_model.h"

#include <unordered_set>

struct dirtree_widget_state_t;

// The bookkeeping of folders known to exist but not read yet. The root folder 0 is pending from the start.
// Promises: a folder leaves the pending set only through a successful load; folders the tree reports as
// created while a load runs join it (known, but not filled).
class dirtree_lazy_loader_t
{
public:
  explicit dirtree_lazy_loader_t(dirtree_item_model_base_t *owner) : owner_(owner) {}
  virtual ~dirtree_lazy_loader_t() = default;

  // Reads one folder (flag 1: from a preload, 0: from an expansion); true on success.
  virtual bool load(const char *path, int flag) = 0;

  // Loads the folder of a path: all ones when the load fails or the path then names no folder, else the
  // folder's number, which is no longer pending.
  uint64_t load_path(const char *path, int flag);
  // Loads a pending folder the user expanded (nothing for anything else).
  void on_folder_expanded(const QModelIndex &index);
  [[nodiscard]] bool is_pending(uint64_t folder) const { return pending_.count(folder) != 0; }
  [[nodiscard]] bool loading() const { return loading_; }
  // A folder that exists but was not read.
  void add_pending(uint64_t folder) { pending_.insert(folder); }
  // Only the root folder pending again (the tree was rebuilt).
  void reset_pending();

private:
  std::unordered_set<uint64_t> pending_ {0};
  bool loading_ = false;
  dirtree_item_model_base_t *owner_; // not owned: the model the loader belongs to
};

// The lazily loading model (lazy under option dirtree_model_lazy): a pending folder reports children until
// it is read. The application overrides load_folder (and prepare_new_item) to read its source.
class standalone_dirtree_item_model_t : public dirtree_item_model_t
{
  Q_OBJECT

public:
  standalone_dirtree_item_model_t(directory_tree_t *tree, dirtree_columns_t columns, filtered_widget_mixin_t *engine,
                                  QObject *parent = nullptr);

  bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
  dirtree_lazy_loader_t *lazy_loader() override { return &loader_; }

  // After a rebuild: only the root is pending; each folder the state (collected with paths) records as
  // expanded is loaded again, and the snapshot's records of those folders get their new numbers (all ones
  // when a folder is gone).
  virtual void preload_expanded_folders(view_snapshot_t *snapshot, const dirtree_widget_state_t &state);
  // Reads one folder of the tree from the application's source; false here.
  virtual bool load_folder(const char * /*path*/, int /*flag*/) { return false; }
  // Creates the folder, or links the item (after prepare_new_item), `name` inside `folder_path`; the tree's
  // error code.
  virtual int create_entry(const char *folder_path, const char *name, bool is_folder, void *arg);
  // Readies an item about to be linked at the path; nothing here.
  virtual void prepare_new_item(const char * /*path*/, int /*flag*/, void * /*arg*/) {}

private:
  class lazy_loader_t final : public dirtree_lazy_loader_t
  {
  public:
    explicit lazy_loader_t(standalone_dirtree_item_model_t *owner) : dirtree_lazy_loader_t(owner), model_(owner) {}
    bool load(const char *path, int flag) override { return model_->load_folder(path, flag); }

  private:
    standalone_dirtree_item_model_t *model_; // not owned: the owner
  };
  lazy_loader_t loader_;
};
