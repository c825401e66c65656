// The folder tree of a chooser: the model over the source's folder tree (items borrow their table row's texts
// and looks), its lazy loading, and the tree view the chooser widget shows beside or instead of its table.
#pragma once

#include "views/dirtree/base_dirtree_widget.h"
#include "views/dirtree/dirtree_item_model.h"
#include "views/dirtree/standalone_dirtree_item_model.h"

#include <cstdint>
#include <memory>

class chooser_widget_t;

// The rows of one folder of a chooser's tree. Promises: an item's key is the chooser row of its inode (all
// ones for a folder or an inode no row has), so the engine's row cache serves the tree and the table alike.
class chooser_folder_data_t final : public folder_data_t
{
public:
  explicit chooser_folder_data_t(chooser_widget_t *owner) : owner_(owner) {}
  [[nodiscard]] uint64_t row_key(size_t shown) const override;
  [[nodiscard]] std::unique_ptr<filtered_bucket_t> empty_clone() const override;

private:
  chooser_widget_t *owner_; // not owned: the widget whose engine holds the bucket
};

// The model of a chooser's folder tree. Promises: in folders_only it shows folders alone and is never
// filtered; an item row answers what the table answers for its row; a folder row has only its name.
class chooser_dirtree_item_model_t final : public dirtree_item_model_base_t
{
  Q_OBJECT

public:
  // Over the source's tree, with the column description the widget prepared and the column naming items.
  chooser_dirtree_item_model_t(chooser_widget_t *owner, directory_tree_t *tree, dirtree_columns_t columns,
                               int name_column);

  int columnCount(const QModelIndex &parent = QModelIndex()) const override;
  // A pending folder of a tree filled on demand has children until it is loaded.
  bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  QVariant bucket_item_data(filtered_bucket_t &bucket, const QModelIndex &index, int role) const override;
  // Full tree: the base's move of entries. Folders only: table rows copied onto a folder are linked into it.
  bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                    const QModelIndex &parent) override;
  Qt::DropActions supportedDropActions() const override;
  Qt::ItemFlags flags(const QModelIndex &index) const override;
  // Hands a column sorting to the owner, as the table does.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  dirtree_lazy_loader_t *lazy_loader() override { return lazy() ? &loader_ : nullptr; }
  // Renaming items follows the source's edit flag.
  [[nodiscard]] bool supports(int kind, const QModelIndex &index) const override;
  [[nodiscard]] std::unique_ptr<folder_data_t> create_bucket(uint64_t folder) override;
  [[nodiscard]] int name_column() const override { return name_column_ < 0 ? 0 : name_column_; }
  [[nodiscard]] bool filtering_active() const override;

  // The chooser row of an inode, -1 for none.
  [[nodiscard]] int64_t chooser_index_of_inode(uint64_t inode) const;
  // The table model's index that shows the item of a tree index; invalid for folders and unknown items.
  [[nodiscard]] QModelIndex table_index_of(const QModelIndex &tree_index) const;
  // Whether the source fills the tree folder by folder.
  [[nodiscard]] bool lazy() const;

private:
  class lazy_loader_t final : public dirtree_lazy_loader_t
  {
  public:
    explicit lazy_loader_t(chooser_dirtree_item_model_t *owner) : dirtree_lazy_loader_t(owner), model_(owner) {}
    // Lets the source fill the folder, which is the tree's current folder meanwhile.
    bool load(const char *path, int flag) override;

  private:
    chooser_dirtree_item_model_t *model_; // not owned: the owner
  };

  [[nodiscard]] bool folders_only() const { return (options() & dirtree_model_folders_only) != 0; }

  lazy_loader_t loader_;
  chooser_widget_t *owner_; // not owned: the widget
  int name_column_;
};

// The tree view of a chooser widget. Promises: type-ahead search goes to the owner's engine; a double click on
// an item of an editable source runs the source's edit instead of an in-place editor.
class chooser_dirtree_widget_t final : public base_dirtree_widget_t
{
  Q_OBJECT

public:
  // Named by the object name (the owner's title followed by ":tree"); options 0 or 7.
  chooser_dirtree_widget_t(chooser_widget_t *owner, const char *name, uint32_t options, QWidget *parent);
  ~chooser_dirtree_widget_t() override;

  [[nodiscard]] filtered_widget_mixin_t *filtered_engine() const override;
  [[nodiscard]] chooser_dirtree_item_model_t *chooser_model() const;
  // Shows a frozen copy of the live tree from now on (on), or the live tree again (off).
  void set_frozen(bool on);

protected:
  void keyPressEvent(QKeyEvent *event) override;
  void updateGeometries() override;
  // A double click in an editable source: folders are renamed in place, items go to the source's edit.
  bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;

private slots:
  void on_expanded(const QModelIndex &index);

private:
  chooser_widget_t *owner_; // not owned: the widget the view belongs to
};
