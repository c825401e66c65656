// A test list whose rows are filed in a folder tree (filled up front, or folder by folder on demand), and the
// helpers of the folder-form tests.
#pragma once

#include "core/json_value.h"
#include "tests/views/chooser_test_support.h"
#include "tests/views/dirtree_test_support.h"
#include "tests/views/dirtree_test_view.h"
#include "ui/docks/desktop_widgets.h"
#include "views/chooser/chooser_dirtree.h"

#include <QTreeView>

#include <map>
#include <string>
#include <vector>

// Rows "<name>", sizes and kinds; row i has inode 100 + i unless listed in `without_inode`. Each row is linked
// into the folders `links` name for it ("" the root); with `lazy` a folder's links are made only when the
// widget asks the source to load that folder.
class test_folder_list_t : public test_multi_list_t
{
public:
  test_folder_list_t(std::vector<texts_t> rows_in, std::string title_in, uint32_t flags_in,
                     std::multimap<std::string, size_t> links_in, bool lazy_in = false)
    : test_multi_list_t(std::move(rows_in), std::move(title_in), flags_in | chooser_has_folders),
      links(std::move(links_in)), lazy(lazy_in)
  {
    if ( lazy )
      flags2 |= chooser_lazy_folders;
    for ( size_t i = 0; i < rows.size(); ++i )
    {
      inodes.push_back(100 + i);
      tree.spec->add_item(rows[i][0], 100 + i);
    }
    if ( !lazy )
      for ( const auto &[folder, row] : links )
        fill(folder);
    // Stored, as the application's trees are: the view loads the tree once from its store.
    (void)tree->save_dirty_folders();
    (void)tree->add_event_handler(&refresh);
  }

  directory_tree_t *folder_tree() override { return tree.tree.get(); }
  bool load_folder(directory_tree_t *target, const char *folder_path) override
  {
    loads.emplace_back(folder_path);
    if ( failing_loads > 0 )
    {
      --failing_loads;
      return false;
    }
    const std::string folder = std::string(folder_path) == "/" ? "" : std::string(folder_path).substr(1);
    // Subfolders become known; their items come when they are loaded in turn.
    for ( const auto &[path, row] : links )
      if ( path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0
           && (folder.empty() || path[folder.size()] == '/') )
      {
        const std::string rest = path.substr(folder.empty() ? 0 : folder.size() + 1);
        (void)target->create_folder(rest.substr(0, rest.find('/')).c_str());
      }
    for ( const auto &[path, row] : links )
      if ( path == folder )
        (void)target->link_or_unlink_path(rows[row][0].c_str(), true);
    return true;
  }

  test_tree_t tree {true};
  tree_refresh_handler_t refresh {tree.tree.get()}; // the views hear of the tree's changes
  std::multimap<std::string, size_t> links;
  bool lazy;
  std::vector<std::string> loads;
  int failing_loads = 0;

private:
  void fill(const std::string &folder)
  {
    if ( !folder.empty() )
      (void)tree->create_folder(folder.c_str());
    for ( const auto &[path, row] : links )
      if ( path == folder )
        (void)tree->link_or_unlink_path((folder.empty() ? rows[row][0] : folder + "/" + rows[row][0]).c_str(), true);
  }
};

// Sends the widget a configuration with one string member (or an integer when `as_int`).
inline void send_config(QWidget *widget, const char *key, const char *text, bool as_int = false)
{
  json_object_t config;
  json_member_t *member = json_object_append_member(&config);
  member->key = key;
  if ( as_int )
    json_value_set_int(&member->value, 2);
  else
    json_set_string(&member->value, new qstring(text));
  ISetWidgetConfigEvent event(&config);
  QCoreApplication::sendEvent(widget, &event);
}

// The widget's configuration as "key=value" texts.
inline std::map<std::string, std::string> widget_config(QWidget *widget)
{
  IGetWidgetConfigEvent event;
  QCoreApplication::sendEvent(widget, &event);
  std::map<std::string, std::string> out;
  for ( const json_member_t &member : event.members )
    out[member.key.c_str()] = member.value.tag == JSON_STRING ? json_get_string(&member.value) : "?";
  return out;
}

// The texts of column 0 of the tree's rows, depth first through expanded folders, folders as "name/".
inline std::vector<std::string> tree_rows(QTreeView *view, const QModelIndex &parent = QModelIndex())
{
  std::vector<std::string> out;
  const QAbstractItemModel *model = view->model();
  const QModelIndex root = parent.isValid() ? parent : view->rootIndex();
  for ( int row = 0; row < model->rowCount(root); ++row )
  {
    const QModelIndex index = model->index(row, 0, root);
    const bool folder = (model->flags(index) & dirtree_folder_row_flag) != 0;
    out.push_back(index.data().toString().toStdString() + (folder ? "/" : ""));
    if ( folder && view->isExpanded(index) )
      for ( const std::string &below : tree_rows(view, index) )
        out.push_back("  " + below);
  }
  return out;
}

// The index of the tree row whose column-0 text is `name` (searched depth first), invalid when none.
inline QModelIndex tree_index_named(QTreeView *view, const std::string &name, const QModelIndex &parent = QModelIndex())
{
  const QAbstractItemModel *model = view->model();
  const QModelIndex root = parent.isValid() ? parent : view->rootIndex();
  for ( int row = 0; row < model->rowCount(root); ++row )
  {
    const QModelIndex index = model->index(row, 0, root);
    if ( index.data().toString().toStdString() == name )
      return index;
    if ( const QModelIndex below = tree_index_named(view, name, index); below.isValid() )
      return below;
  }
  return {};
}
