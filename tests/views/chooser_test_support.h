// Shared helpers of the chooser tests: in-memory lists (multiple and single selection) that record what the
// widget asks of them, an in-memory persistence helper, and a factory and fixture that install both.
#pragma once

#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/popup_dispatch.h"
#include "tests/views/view_actions.h"
#include "tests/ui/app/test_app.h"
#include "ui/docks/dock_node.h"
#include "ui/docks/dock_widget.h"
#include "ui/main_window.h"
#include "ui/shortcut_table.h"
#include "ui/action_context.h"
#include "ui/ui_action_registry.h"
#include "views/chooser/chooser_actions.h"
#include "views/chooser/chooser_base.h"
#include "views/chooser/chooser_factory.h"
#include "views/chooser/chooser_table.h"
#include "views/chooser/chooser_widget.h"

#include <QAbstractItemModelTester>
#include <QContextMenuEvent>
#include <QCursor>
#include <QTimer>
#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

using texts_t = std::vector<std::string>;

// Rows "<prefix>0", "<prefix>1", ... in one column, or with a second column of sizes when asked.
inline std::vector<texts_t> numbered_rows(size_t count, const std::string &prefix = "row ", bool with_size = false)
{
  std::vector<texts_t> rows;
  for ( size_t i = 0; i < count; ++i )
  {
    texts_t row {prefix + std::to_string(i)};
    if ( with_size )
      row.push_back(std::to_string((i * 7919) % 1000));
    rows.push_back(row);
  }
  return rows;
}

// What every test list shares: its rows and header, a log of the calls that matter, and a flag cleared
// when it is deleted.
template <typename Base>
class test_list_base_t : public Base
{
public:
  test_list_base_t(std::vector<texts_t> rows_in, std::string title_in, uint32_t flags_in = 0)
    : rows(std::move(rows_in)), title_text(std::move(title_in))
  {
    this->flags = flags_in;
    this->title = title_text.c_str();
    this->columns = rows.empty() ? 1 : int32_t(rows.front().size());
  }
  ~test_list_base_t() override
  {
    if ( alive != nullptr )
      *alive = false;
  }

  // Column widths and header texts (held here; the source's pointers point at them).
  void set_widths(std::vector<uint32_t> words)
  {
    width_words = std::move(words);
    this->columns = int32_t(width_words.size());
    this->widths = width_words.data();
  }
  void set_header(std::vector<std::string> texts)
  {
    header_texts = std::move(texts);
    header_pointers.clear();
    for ( const std::string &t : header_texts )
      header_pointers.push_back(t.c_str());
    this->header = header_pointers.data();
  }

  const uint8_t *identity_bytes(size_t *count) override
  {
    *count = identity.size();
    return identity.empty() ? nullptr : reinterpret_cast<const uint8_t *>(identity.data());
  }
  bool prepare() override
  {
    ++prepares;
    return prepare_result;
  }
  uint64_t item_count() override { return rows.size(); }
  void describe_row(std::span<qstring> texts, int32_t *icon, chooser_row_attrs_t *attrs, uint64_t row) override
  {
    ++described;
    for ( size_t i = 0; i < texts.size() && i < rows[row].size(); ++i )
      texts[i] = rows[row][i].c_str();
    if ( row == bold_row )
      attrs->style |= row_bold;
    (void)icon;
  }
  void on_closed() override { ++closings; }
  uint64_t item_inode(uint64_t row) override { return row < inodes.size() ? inodes[row] : no_inode; }
  bool standard_action_descs(chooser_stdact_desc_t *descs[4]) override
  {
    if ( action_descs.empty() )
      return false;
    for ( size_t i = 0; i < 4; ++i )
      descs[i] = action_descs[i].get();
    return true;
  }

  std::vector<texts_t> rows;
  std::string title_text;
  std::vector<uint32_t> width_words;
  std::vector<std::string> header_texts;
  std::vector<const char *> header_pointers;
  std::string identity;
  std::vector<uint64_t> inodes;
  std::vector<std::unique_ptr<chooser_stdact_desc_t>> action_descs; // four when set
  uint64_t bold_row = no_inode;
  bool prepare_result = true;
  int prepares = 0;
  int closings = 0;
  int described = 0;
  bool *alive = nullptr; // cleared when the list is deleted
  std::vector<std::string> calls; // "insert 2 5", "reload", "selected 3", ...
};

// The rows as text, for the call log: "insert 2 5" or "insert" for none.
inline std::string call_text(const char *name, const qvector<uint64_t> &rows)
{
  std::string text = name;
  for ( const uint64_t row : rows )
    text += " " + std::to_string(row);
  return text;
}

// A multiple-selection list. Each operation runs its script when set (answering the code and rewriting the
// selection), else answers the base's code.
class test_multi_list_t : public test_list_base_t<chooser_multi_t>
{
public:
  using script_t = std::function<int(qvector<uint64_t> *)>;
  using test_list_base_t::test_list_base_t;

  int insert_item(qvector<uint64_t> *s) override { return run("insert", on_insert, s, chooser_unchanged); }
  int delete_items(qvector<uint64_t> *s) override { return run("delete", on_delete, s, chooser_unchanged); }
  int edit_items(qvector<uint64_t> *s) override { return run("edit", on_edit, s, chooser_unchanged); }
  int activate_items(qvector<uint64_t> *s) override { return run("activate", on_activate, s, chooser_unchanged); }
  int reload_items(qvector<uint64_t> *s) override { return run("reload", on_reload, s, chooser_rebuild); }
  void on_selection_changed(const qvector<uint64_t> &s) override { calls.push_back(call_text("selected", s)); }

  script_t on_insert, on_delete, on_edit, on_activate, on_reload;

private:
  int run(const char *name, const script_t &script, qvector<uint64_t> *selection, int base)
  {
    calls.push_back(call_text(name, *selection));
    return script ? script(selection) : base;
  }
};

// A single-selection list; scripts take the row and answer {row, code}.
class test_single_list_t : public test_list_base_t<chooser_t>
{
public:
  using script_t = std::function<chooser_single_result_t(int64_t)>;
  using test_list_base_t::test_list_base_t;

  chooser_single_result_t insert_item(int64_t r) override { return run("insert", on_insert, r, chooser_unchanged); }
  chooser_single_result_t delete_items(int64_t r) override { return run("delete", on_delete, r, chooser_unchanged); }
  chooser_single_result_t edit_items(int64_t r) override { return run("edit", on_edit, r, chooser_unchanged); }
  chooser_single_result_t activate_items(int64_t r) override
  {
    return run("activate", on_activate, r, chooser_unchanged);
  }
  chooser_single_result_t reload_items(int64_t r) override { return run("reload", on_reload, r, chooser_rebuild); }
  void on_selection_changed(int64_t r) override { calls.push_back("selected " + std::to_string(r)); }

  script_t on_insert, on_delete, on_edit, on_activate, on_reload;

private:
  chooser_single_result_t run(const char *name, const script_t &script, int64_t row, int base)
  {
    calls.push_back(std::string(name) + " " + std::to_string(row));
    return script ? script(row) : chooser_single_result_t {row, base};
  }
};

// What a persistence helper stored for one widget title.
struct stored_header_t
{
  std::vector<int32_t> widths;
  bool has_widths = false;
  byte_buffer_t visible;
  bool has_visible = false;
  int32_t tree_mode = -1;
  int width_writes = 0;
};

// Keeps a widget's header state in a map entry of the factory.
class memory_persistence_t : public chooser_persistence_helper_t
{
public:
  explicit memory_persistence_t(stored_header_t *store) : store_(store) {}
  bool read_widget_state(int32_t *) override { return false; }
  bool read_column_widths(std::vector<int32_t> *widths) override
  {
    *widths = store_->widths;
    return store_->has_widths;
  }
  bool read_columns_visible(byte_buffer_t *bytes) override
  {
    *bytes = store_->visible;
    return store_->has_visible;
  }
  bool write_widget_state(int32_t mode) override
  {
    store_->tree_mode = mode;
    return true;
  }
  bool write_column_widths(const std::vector<int32_t> &widths) override
  {
    store_->widths = widths;
    store_->has_widths = true;
    ++store_->width_writes;
    return true;
  }
  bool write_columns_visible(const byte_buffer_t &bytes) override
  {
    store_->visible = bytes;
    store_->has_visible = true;
    return true;
  }

private:
  stored_header_t *store_; // not owned: an entry of the factory's map
};

// The tests' factory: in-memory persistence by window title, and presented widgets shown as windows of
// their own and remembered.
class test_chooser_factory_t : public chooser_widget_factory_t
{
public:
  std::unique_ptr<chooser_persistence_helper_t> new_chooser_persistence_helper(chooser_widget_t *widget) override
  {
    return std::make_unique<memory_persistence_t>(&stored[widget->windowTitle().toStdString()]);
  }
  // Docks the widget (in docking tests) or shows it as a window of its own.
  void present_widget(QWidget *widget, uint32_t placement) override
  {
    placements.push_back(placement);
    presented.push_back(widget);
    if ( docking )
      chooser_widget_factory_t::present_widget(widget, placement);
    else
      widget->show();
  }

  std::map<std::string, stored_header_t> stored;
  std::vector<uint32_t> placements;
  std::vector<QWidget *> presented; // may have been destroyed since
  bool docking = false;
};

// Registers the chooser's actions with the test application (those not registered yet).
inline void register_chooser_actions()
{
  ui_action_registry_t &registry = *test_app().get_action_registry();
  for ( const action_desc_t &desc : chooser_action_descs() )
    if ( registry.find_action(desc.name) == nullptr )
      (void)registry.register_core_action(desc);
}

// Installs the factory and a recording UI callback for each test, and destroys what the test left open.
class chooser_fixture_t : public ::testing::Test
{
protected:
  void SetUp() override
  {
    previous_ = set_chooser_widget_factory(&factory);
    if ( test_app().icon_by_name("refresh.svg").isNull() )
      test_app().register_resource_icons();
  }
  void TearDown() override
  {
    for ( chooser_widget_t *widget : std::vector<chooser_widget_t *>(live_chooser_widgets()) )
      if ( widget->parentWidget() == nullptr )
        delete widget;
    (void)set_chooser_widget_factory(previous_);
    test_app().action_provider().pinned_widget = nullptr;
  }

  // A widget for the list as open_chooser would build it (not presented), watched by Qt's model tester.
  chooser_widget_t *make_widget(chooser_base_t *source, bool embedded = false)
  {
    chooser_widget_t *widget = factory.new_chooser_widget(init_chooser_widget_setup(source, nullptr, embedded));
    QAbstractItemModel *model = widget->table()->model();
    new QAbstractItemModelTester(model, QAbstractItemModelTester::FailureReportingMode::Fatal, model);
    return widget;
  }
  // Shows the widget and waits until it is on screen.
  static bool show(QWidget *widget)
  {
    widget->show();
    return QTest::qWaitForWindowExposed(widget);
  }
  // The texts of one column of the shown rows, through the model.
  static std::vector<std::string> shown(chooser_widget_t *widget, int column = 0)
  {
    std::vector<std::string> out;
    const QAbstractItemModel *model = widget->table()->model();
    for ( int row = 0; row < model->rowCount(); ++row )
      out.push_back(model->index(row, column).data().toString().toStdString());
    return out;
  }
  // The chooser indexes of the selected rows (ascending) and the current row (-1 none), through the view.
  static std::vector<uint64_t> selected_rows(chooser_widget_t *widget)
  {
    std::vector<uint64_t> rows;
    for ( const QModelIndex &index : widget->table()->selectionModel()->selectedRows() )
      rows.push_back(index.internalId());
    std::sort(rows.begin(), rows.end());
    return rows;
  }
  static int64_t current_row(chooser_widget_t *widget)
  {
    const QModelIndex current = widget->table()->currentIndex();
    return current.isValid() ? int64_t(current.internalId()) : -1;
  }
  // Runs what is pending (posted model updates, a repolish on the first show and the update it posts).
  static void settle()
  {
    for ( int i = 0; i < 3; ++i )
      QCoreApplication::processEvents();
  }

  recording_ui_callback_t ui;
  test_chooser_factory_t factory;

private:
  chooser_widget_factory_t *previous_ = nullptr;
};

// The widget kind the docked test lists report (a chooser kind of the framework).
inline constexpr int test_chooser_kind = 2;

// Lists docked in the shown, active main window, with the chooser's actions registered and keyed (Insert,
// Delete, Ctrl+E edit, F5 refresh) and the main window's "Chooser:Edit" menu holding them.
class docked_chooser_fixture_t : public chooser_fixture_t
{
protected:
  void SetUp() override
  {
    chooser_fixture_t::SetUp();
    factory.docking = true;
    answer_popup_requests(ui);
    register_chooser_actions();
    register_filtered_view_actions();
    const std::pair<const char *, const char *> keys[] = {
      {chooser_insert_action, "Ins"}, {chooser_delete_action, "Del"}, {chooser_edit_action, "Ctrl+E"},
      {chooser_refresh_action, "F5"}};
    for ( const auto &[name, key] : keys )
      set_action_shortcuts(name, qvector<qstring> {qstring(key)}, false);
    ui_main_window_t *window = test_app().main_window();
    if ( window->find_named_menu("Chooser:Edit") == nullptr )
    {
      // As the client's menu layout has it.
      QMenu *menu = window->make_menu("Chooser:Edit", "Edit", nullptr);
      const char *const entries[] = {
        chooser_insert_action,       chooser_delete_action, chooser_edit_action, chooser_refresh_action, nullptr,
        chooser_copy_action,         chooser_copy_all_action, nullptr,            chooser_unsort_action,
        chooser_quick_filter_action, chooser_modify_filters_action, chooser_reset_filters_action, nullptr,
        chooser_search_action,       chooser_search_again_action};
      for ( const char *name : entries )
        if ( name == nullptr )
          menu->addSeparator();
        else
          menu->addAction(find_ui_action(name)->qaction());
    }
    window->resize(640, 420);
    window->show();
    // Activated by hand: a display without a window manager activates nothing by itself.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QApplication::setActiveWindow(window);
  }
  void TearDown() override
  {
    for ( chooser_widget_t *widget : std::vector<chooser_widget_t *>(live_chooser_widgets()) )
      if ( enclosing_dock_widget(widget) != nullptr )
        close_docked(widget);
    QCoreApplication::processEvents();
    test_app().main_window()->hide();
    chooser_fixture_t::TearDown();
  }
  // Opens the list as a docked chooser and gives its table the focus; the widget, or null.
  chooser_widget_t *open_docked(chooser_base_t *source)
  {
    source->flags = (source->flags & ~chooser_kind_field) | uint32_t(test_chooser_kind + 1) << chooser_kind_shift;
    if ( source->open_chooser(chooser_default_t {}) != 0 )
      return nullptr;
    chooser_widget_t *widget = find_chooser_widget_by_object(source);
    if ( widget == nullptr )
      return nullptr;
    widget->setProperty("widget_kind", test_chooser_kind);
    new QAbstractItemModelTester(widget->table()->model(), QAbstractItemModelTester::FailureReportingMode::Fatal,
                                 widget->table()->model());
    widget->table()->setFocus();
    settle();
    return widget;
  }
  // Closes a docked list with its dock, as the application does once the dock area asks it to.
  static void close_docked(chooser_widget_t *widget)
  {
    DockWidget *dock = enclosing_dock_widget(widget);
    if ( dock == nullptr )
    {
      delete widget;
      return;
    }
    test_app().close_plain_widget(dock, 0);
  }
  // Clicks a row (with the modifiers) in the table's first column.
  static void click_row(chooser_widget_t *widget, int row, Qt::KeyboardModifiers modifiers = {})
  {
    QTableView *table = widget->table();
    settle();
    const QRect cell = table->visualRect(table->model()->index(row, 0));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers, cell.center());
  }
  static void double_click_row(chooser_widget_t *widget, int row)
  {
    QTableView *table = widget->table();
    settle();
    const QRect cell = table->visualRect(table->model()->index(row, 0));
    // As a mouse does it: a click, then the second press, which arrives as a double click.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
  }
  // Opens the context menu at a point of the target (a table's viewport or header) with the mouse pointer
  // there, after an update pass of the actions as the application runs one when a menu opens; answers the
  // items ("-" for a separator) and clicks the item with the text `pick` when one is given.
  std::vector<std::string> context_menu(QWidget *target, QPoint at, const QString &pick = QString())
  {
    settle();
    QCursor::setPos(target->mapToGlobal(at));
    refresh_actions_for(UPDACT_CONNECTION, nullptr, nullptr);
    std::vector<std::string> items;
    QTimer::singleShot(0, [&] {
      auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
      if ( menu == nullptr )
        return;
      QAction *picked = nullptr;
      for ( QAction *action : menu->actions() )
      {
        items.push_back(action->isSeparator() ? "-" : action->text().toStdString());
        if ( !pick.isEmpty() && action->text() == pick )
          picked = action;
      }
      if ( picked != nullptr )
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(picked).center());
      else
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
    QApplication::sendEvent(target, &event);
    settle();
    return items;
  }
  // The point of a row in the table's viewport, and of a section in its header.
  static QPoint row_point(chooser_widget_t *widget, int row)
  {
    return widget->table()->visualRect(widget->table()->model()->index(row, 0)).center();
  }
  // The middle of the part of the section that the header shows.
  static QPoint section_point(chooser_widget_t *widget, int section)
  {
    QHeaderView *header = widget->shown_header();
    const int left = std::max(header->sectionViewportPosition(section), 0);
    const int right = std::min(header->sectionViewportPosition(section) + header->sectionSize(section), header->width());
    return QPoint((left + right) / 2, header->height() / 2);
  }
  static void key(chooser_widget_t *widget, int key, Qt::KeyboardModifiers modifiers = {})
  {
    settle();
    QTest::keyClick(widget->table(), Qt::Key(key), modifiers);
    settle();
  }
};
