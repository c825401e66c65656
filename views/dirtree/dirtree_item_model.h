// The item model of a directory tree: folders and items become rows, each folder one bucket of the
// filtered-view engine; a row is addressed by its cursor, packed into the model index.
#pragma once

#include "views/dirtree/directory_tree.h"
#include "views/dirtree/dirtree_drag_payload.h"
#include "views/filter/filtered_item_view_model.h"
#include "views/filter/filtered_widget_mixin.h"

#include <QIcon>

#include <cstdint>
#include <memory>
#include <vector>

class QMimeData;
class dirtree_lazy_loader_t;

// Model options.
inline constexpr uint32_t dirtree_model_folders_only = 0x1; // a bucket shows only its folder rows
inline constexpr uint32_t dirtree_model_owns_tree = 0x4;    // the model destroys the tree
inline constexpr uint32_t dirtree_model_lazy = 0x8;         // folders are filled when first needed
inline constexpr uint32_t dirtree_model_drag_drop = 0x10;   // feature 3
inline constexpr uint32_t dirtree_model_cut_paste = 0x20;   // feature 4
inline constexpr uint32_t dirtree_model_create_folders = 0x40; // feature 5

// Features a model may support (supports()).
enum dirtree_feature_t : int
{
  dirtree_feature_rename_folders = 1,
  dirtree_feature_rename_items = 2,
  dirtree_feature_drag_drop = 3,
  dirtree_feature_cut_paste = 4,
  dirtree_feature_create_folders = 5,
};

// The mark the model sets in the flags of folder rows.
inline constexpr Qt::ItemFlag dirtree_folder_row_flag = Qt::ItemFlag(0x40000000);
// Internal error: a model made without a tree.
inline constexpr int32_t interr_dirtree_model_without_tree = 40792;

// The columns of a model, copied by its constructor. A column's flag word is the engine's column flags
// (bits 0x70000 choose how it sorts); its bit 0 says the width is given in glyphs.
struct dirtree_columns_t
{
  std::vector<qstring> titles; // their count is the column count
  std::vector<int32_t> widths;
  std::vector<uint32_t> flags;
  uint32_t options = 0;        // dirtree_model_* bits
};

// The internal id of a cursor's index, and back: (folder << 32) | position, a folder half of all ones
// standing for none.
[[nodiscard]] quintptr dirtree_index_id(const dirtree_cursor_t &cursor);
[[nodiscard]] dirtree_cursor_t dirtree_cursor_of_id(quintptr id);

// The rows of one folder: its entries as shown (filtered and sorted by the engine), each with its position
// in the tree folder. Promises: entries and row_map stay aligned; the folder rows lead (folder_count of them).
class folder_data_t final : public filtered_bucket_t
{
public:
  [[nodiscard]] size_t shown_count() const override { return entries.size(); }
  // An item's inode; all ones for a folder row.
  [[nodiscard]] uint64_t row_key(size_t shown) const override;
  void set_shown_rows(std::span<const uint32_t> positions) override;
  // Under folders-only models a view shows the folder rows alone.
  [[nodiscard]] size_t rows_in_view(QAbstractItemView *view) const override;
  // Rows whose entries match the records' entries (a folder row by folder, an item row by inode).
  void select_in_view(QAbstractItemView *view, const QModelIndex &parent, const filtered_bucket_t *selected,
                      const filtered_bucket_t *current, QItemSelection *selection,
                      QModelIndex *current_index) const override;
  [[nodiscard]] size_t leading_rows() const override { return folder_count; }
  // The strategy's order; a sort by column 0 also orders the folder rows by name (byte-wise, stable).
  void sort_rows(row_cache_t &cache, const bucket_sorting_strategy_t &strategy, std::span<uint64_t> positions,
                 size_t first) const override;
  [[nodiscard]] std::unique_ptr<filtered_bucket_t> empty_clone() const override;
  void add_row_of(const filtered_bucket_t &from, size_t shown) override;

  std::vector<dirtree_entry_t> entries;
  std::vector<int64_t> row_map;          // each row's position in the tree folder
  int64_t folder = -1;                    // all ones: none
  bool valid = false;                     // filled from a folder
  int64_t parent_folder = -1;
  bool has_parent = false;
  size_t folder_count = 0;
  directory_tree_t *tree = nullptr;       // not owned: the tree it was filled from
  bool folders_only = false;              // made by a folders-only model
};

// The base model. The view that installs it makes the root folder's index its root index, so the root folder
// is never a row. Rows are computed from the tree on demand; the model keeps no copy of the tree. Promises:
// begin/end around every row change the views see (the engine's synchronisation tells them); persistent
// indexes are remapped by the view state (restore_persistent_indexes).
class dirtree_item_model_base_t : public filtered_item_view_model_t
{
  Q_OBJECT

public:
  // Internal error 40792 for a null tree. The engine drives the view that shows the model.
  dirtree_item_model_base_t(directory_tree_t *tree, dirtree_columns_t columns, filtered_widget_mixin_t *engine,
                            QObject *parent = nullptr);
  ~dirtree_item_model_base_t() override;

  // ---- The engine's model operations ------------------------------------------------------------------
  [[nodiscard]] uint64_t bucket_key_of_index(const QModelIndex &parent) const override;
  [[nodiscard]] QModelIndex index_in_bucket(filtered_bucket_t &bucket, uint64_t bucket_key, int row,
                                            int column) const override;
  [[nodiscard]] int bucket_row_count(const filtered_bucket_t &bucket) const override;
  [[nodiscard]] QVariant bucket_item_data(filtered_bucket_t &bucket, const QModelIndex &index,
                                          int role) const override;

  // ---- Qt -----------------------------------------------------------------------------------------------
  QModelIndex parent(const QModelIndex &index) const override;
  int columnCount(const QModelIndex &parent = QModelIndex()) const override;
  // Renames the entry of the index (edit role only); a clash or refusal is logged and answers false.
  bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  QStringList mimeTypes() const override;
  // The payload of the indexes' entries, each cursor once, in the order given (invalid indexes and empty
  // cursors skipped); folders the running drag's tree view shows expanded get code 3.
  QMimeData *mimeData(const QModelIndexList &indexes) const override;
  // Ignore: true; move: drop_entries; any other action: false.
  bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                    const QModelIndex &parent) override;
  Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
  // Announce the rows (columns) and answer false: the tree changes only through its own operations.
  bool insertRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;
  bool insertColumns(int column, int count, const QModelIndex &parent = QModelIndex()) override;
  bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;
  bool removeColumns(int column, int count, const QModelIndex &parent = QModelIndex()) override;
  Qt::ItemFlags flags(const QModelIndex &index) const override;

  // ---- Own operations -----------------------------------------------------------------------------------
  // The lazy loader of a lazily loading model; null here.
  [[nodiscard]] virtual dirtree_lazy_loader_t *lazy_loader() { return nullptr; }
  // Whether the model offers a feature (dirtree_feature_t; 0: never) for the index.
  [[nodiscard]] virtual bool supports(int kind, const QModelIndex &index) const;
  // A new bucket of a folder's rows; null for a number that names no folder.
  [[nodiscard]] virtual std::unique_ptr<folder_data_t> create_bucket(uint64_t folder);
  // The column whose cell renames an item.
  [[nodiscard]] virtual int name_column() const = 0;
  // The cell to edit to rename the row of an index: the sibling in name_column (column 0 for a folder row).
  // True, with *out set, only when that cell is editable.
  virtual bool rename_target_index(QModelIndex *out, const QModelIndex &index) const;
  // Moves dropped entries into the folder of the parent index (from position `row` on when it is 0 or
  // more) and brings the views in line; false, nothing moved, when decode_inodes_drop refuses the drop.
  // During a drag of this engine the drop is recorded for the drag scope and the moved folders that were
  // expanded are expanded again in the drag's view.
  virtual bool drop_entries(const QMimeData *data, int row, const QModelIndex &parent);
  // Moves each entry into the target folder (path and entry), in order; an entry that cannot move is
  // logged ("Couldn't move ...") and skipped. Row 0 or more places the moved entries at row, row + 1, ...
  // (clamped to the folder); -1 leaves them where the tree puts them. With a list, the new path of each
  // moved entry marked expanded is appended to it. Paths that are not canonical are refused as invalid.
  virtual void move_entries_on_drop(const std::vector<dirtree_path_entry_t> &entries, const char *target_path,
                                    const dirtree_entry_t &target, int row, std::vector<qstring> *expanded);
  // Whether the engine filters rows.
  [[nodiscard]] virtual bool filtering_active() const;

  // ---- Drops and the cut list ------------------------------------------------------------------------
  // A drop of tree entries: true when the data carries the format and the parent is a valid index of this
  // model whose cursor names a folder of the tree; then the target's cursor and path, and the entries the
  // payload names (read_inode_drag_payload). False otherwise (a drop onto an item row among them).
  bool decode_inodes_drop(std::vector<dirtree_path_entry_t> *entries, qstring *target_path, dirtree_cursor_t *target,
                          const QMimeData *data, const QModelIndex &parent) const;
  // Whether the cursor's absolute path is in the cut list.
  [[nodiscard]] bool is_cut(const dirtree_cursor_t &cursor) const;
  // The entries cut and not pasted yet, each path once.
  [[nodiscard]] std::vector<dirtree_path_entry_t> &cut_list() { return cut_list_; }
  [[nodiscard]] const std::vector<dirtree_path_entry_t> &cut_list() const { return cut_list_; }
  // Tells the views that cut marks changed, so they paint the rows again.
  void cut_marks_changed();

  // ---- Cursors, paths and the tree ---------------------------------------------------------------------
  // The index of the root folder (a view's root index).
  [[nodiscard]] QModelIndex root_folder_index() const;
  [[nodiscard]] QModelIndex index_of_cursor(const dirtree_cursor_t &cursor) const;
  // Invalid when the path does not resolve or its row is not shown.
  [[nodiscard]] QModelIndex index_of_path(const char *path) const;
  [[nodiscard]] static dirtree_cursor_t index_to_cursor(const QModelIndex &index);
  // 1 folder, 2 item, 0 none (for the column-0 sibling of the index).
  [[nodiscard]] int entry_kind_of_index(const QModelIndex &index) const;
  void fill_folder_bucket(folder_data_t *bucket, uint64_t folder);
  void set_folders_only(bool on);
  [[nodiscard]] uint32_t options() const { return columns_.options; }
  [[nodiscard]] const dirtree_columns_t &columns() const { return columns_; }
  // A column's width: two thirds of width x the view's line height when given in glyphs; -1 out of range.
  [[nodiscard]] int column_width(int column, const QWidget *view) const;
  // The tree shown, and the tree its rows are read from (a frozen copy while one is set).
  [[nodiscard]] directory_tree_t *tree() const { return tree_; }
  [[nodiscard]] directory_tree_t *current_tree() const { return snapshot_tree_ ? snapshot_tree_.get() : tree_; }
  // Shows a frozen copy of the tree from now on (null: the tree itself again).
  void set_snapshot_tree(std::unique_ptr<directory_tree_t> copy) { snapshot_tree_ = std::move(copy); }
  void drop_snapshot_tree() { snapshot_tree_.reset(); }

  // ---- Persistent indexes (the view state) -------------------------------------------------------------
  struct persistent_index_path_t
  {
    qstring path;
    QModelIndex index;
  };
  // Every persistent index with a cursor, with the absolute path of its entry.
  void collect_persistent_indexes(std::vector<persistent_index_path_t> *out) const;
  // Moves each persistent index to the index of its path now (invalid when the path is gone).
  void restore_persistent_indexes(const std::vector<persistent_index_path_t> &paths);

protected:
  // The engine sorts or filters: rows are looked up in its buckets.
  [[nodiscard]] bool rows_remapped() const;
  // The row of a cursor's entry inside its folder's shown rows; -1 when it is not shown.
  [[nodiscard]] int row_of_cursor(const dirtree_cursor_t &cursor) const;

private:
  dirtree_columns_t columns_;
  QIcon folder_icon_;
  std::vector<dirtree_path_entry_t> cut_list_;
  directory_tree_t *tree_;                          // owned under dirtree_model_owns_tree
  std::unique_ptr<directory_tree_t> snapshot_tree_; // a frozen copy, normally none
};

// The model with column sorting.
class dirtree_item_model_t : public dirtree_item_model_base_t
{
  Q_OBJECT

public:
  using dirtree_item_model_base_t::dirtree_item_model_base_t;

  // Installs a sorting by the column in the engine and brings the views in line.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
  [[nodiscard]] int name_column() const override { return 0; }
};
