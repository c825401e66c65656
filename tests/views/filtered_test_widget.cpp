// A small filtered widget for the engine's tests.
#include "tests/views/filtered_test_widget.h"

#include "ui/app_base.h"
#include "ui/widget_factory.h"
#include "views/filter/filtered_item_view_style.h"
#include "views/filter/quick_filter_widget.h"
#include "views/filter/row_search.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QVBoxLayout>

std::vector<test_row_t> make_rows(const std::vector<std::string> &names, uint64_t first_key)
{
  std::vector<test_row_t> rows;
  for ( size_t i = 0; i < names.size(); ++i )
    rows.push_back({first_key + i, names[i], std::to_string(i + 1)});
  return rows;
}

// ---- The model ------------------------------------------------------------------------------------

test_filtered_model_t::test_filtered_model_t(test_filtered_widget_t *widget)
  : filtered_item_view_model_t(widget, widget), widget_(widget)
{
}

uint64_t test_filtered_model_t::bucket_key_of_index(const QModelIndex &parent) const
{
  if ( !parent.isValid() )
    return 0;
  // Folder rows lead the root bucket, so a folder's row is its number.
  if ( parent.internalId() == 0 && size_t(parent.row()) < widget_->folders.size() )
    return uint64_t(parent.row()) + 1;
  return no_key;
}

QModelIndex test_filtered_model_t::index_in_bucket(filtered_bucket_t & /*bucket*/, uint64_t bucket_key, int row,
                                                   int column) const
{
  return createIndex(row, column, quintptr(bucket_key));
}

QVariant test_filtered_model_t::bucket_item_data(filtered_bucket_t &bucket, const QModelIndex &index, int role) const
{
  if ( size_t(index.row()) >= bucket.shown_count() )
    return {};
  const uint64_t key = bucket.row_key(size_t(index.row()));
  if ( role != Qt::DisplayRole )
    return styled_data(role, key, index);
  const item_info_t &row = widget_->row_texts(key);
  return size_t(index.column()) < row.texts.size() ? QString::fromUtf8(row.texts[size_t(index.column())].c_str())
                                                   : QString();
}

QModelIndex test_filtered_model_t::parent(const QModelIndex &index) const
{
  if ( !index.isValid() || index.internalId() == 0 )
    return {};
  return createIndex(int(index.internalId() - 1), 0, quintptr(0));
}

int test_filtered_model_t::columnCount(const QModelIndex & /*parent*/) const
{
  return 2;
}

QVariant test_filtered_model_t::headerData(int section, Qt::Orientation orientation, int role) const
{
  if ( orientation != Qt::Horizontal || role != Qt::DisplayRole )
    return QAbstractItemModel::headerData(section, orientation, role);
  std::vector<qstring> titles;
  widget_->column_titles(&titles);
  return size_t(section) < titles.size() ? QString::fromUtf8(titles[size_t(section)].c_str()) : QVariant();
}

// ---- The widget -----------------------------------------------------------------------------------

test_filtered_widget_t::test_filtered_widget_t(std::vector<test_folder_t> folders, std::vector<test_row_t> rows)
  : filtered_widget_mixin_t(this), folders(std::move(folders)), rows(std::move(rows))
{
  view_ = new QTreeView(this);
  model_ = new test_filtered_model_t(this);
  tester_ = std::make_unique<QAbstractItemModelTester>(model_, QAbstractItemModelTester::FailureReportingMode::Fatal);
  view_->setModel(model_);
  view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setStyle(shared_filtered_item_view_style());
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(view_);
  resize(320, 260);
}

test_filtered_widget_t::~test_filtered_widget_t()
{
  // The view and the model go before the engine they read.
  tester_.reset();
  delete view_;
  delete model_;
}

bool test_filtered_widget_t::event(QEvent *event)
{
  if ( handle_engine_event(this, event) )
    return true;
  return QWidget::event(event);
}

const test_row_t *test_filtered_widget_t::row_of_key(uint64_t key) const
{
  for ( const test_row_t &row : rows )
    if ( row.key == key )
      return &row;
  for ( const test_folder_t &folder : folders )
  {
    if ( folder.key == key )
      return nullptr;
    for ( const test_row_t &row : folder.rows )
      if ( row.key == key )
        return &row;
  }
  return nullptr;
}

void test_filtered_widget_t::load_cached_rows(row_cache_t *cache)
{
  ++loads;
  for ( const test_folder_t &folder : folders )
  {
    item_info_t &info = (*cache)[folder.key] = item_info_t(2);
    info.set_text(0, folder.name);
    for ( const test_row_t &row : folder.rows )
      describe_row(&((*cache)[row.key] = item_info_t(2)), row);
  }
  for ( const test_row_t &row : rows )
    describe_row(&((*cache)[row.key] = item_info_t(2)), row);
}

void test_filtered_widget_t::describe_row(item_info_t *info, const test_row_t &row)
{
  info->set_text(0, row.name);
  info->set_text(1, row.size);
  info->attributes = row.attributes;
  info->background = row.background;
  info->icon = row.icon;
}

bool test_filtered_widget_t::fetch_row_texts(item_info_t *info, uint64_t key)
{
  ++fetches;
  for ( const test_folder_t &folder : folders )
    if ( folder.key == key )
    {
      info->set_text(0, folder.name);
      return true;
    }
  const test_row_t *row = row_of_key(key);
  if ( row == nullptr )
    return false;
  describe_row(info, *row);
  return true;
}

quick_filter_widget_t *test_filtered_widget_t::add_quick_filter_bar()
{
  QWidget *made = current_app()->get_widget_factory()->new_quick_filter_widget(this);
  auto *bar = qobject_cast<quick_filter_widget_t *>(made);
  attach_quick_filter(bar);
  layout()->addWidget(bar);
  set_quick_filter_visible(false);
  return bar;
}

bool test_filtered_widget_t::cut_text_color(QColor *out, const QModelIndex &index)
{
  filtered_bucket_t *bucket = filtered_bucket(index.internalId());
  if ( bucket == nullptr || size_t(index.row()) >= bucket->shown_count()
       || cut_keys.count(bucket->row_key(size_t(index.row()))) == 0 )
    return false;
  *out = cut_colour;
  return true;
}

std::unique_ptr<filtered_bucket_t> test_filtered_widget_t::bucket_for_key(uint64_t bucket_key)
{
  std::vector<uint64_t> keys;
  if ( bucket_key == 0 )
  {
    for ( const test_folder_t &folder : folders )
      keys.push_back(folder.key);
    for ( const test_row_t &row : rows )
      keys.push_back(row.key);
    return std::make_unique<keyed_bucket_t>(std::move(keys), folders.size());
  }
  if ( bucket_key > folders.size() )
    return nullptr;
  for ( const test_row_t &row : folders[bucket_key - 1].rows )
    keys.push_back(row.key);
  return std::make_unique<keyed_bucket_t>(std::move(keys), 0);
}

void test_filtered_widget_t::take_snapshot(view_snapshot_t *snapshot, uint32_t /*flags*/)
{
  const auto add = [&](uint64_t key, const QModelIndex &parent) {
    snapshot->buckets.push_back({key, size_t(model_->rowCount(parent)), view_->isExpanded(parent), nullptr});
  };
  add(0, QModelIndex());
  for ( size_t i = 0; i < folders.size(); ++i )
    add(i + 1, model_->index(int(i), 0));
  for ( const QModelIndex &index : view_->selectionModel()->selectedRows() )
  {
    const uint64_t key = index.internalId();
    for ( view_bucket_record_t &record : snapshot->buckets )
      if ( record.key == key )
      {
        const filtered_bucket_t *bucket = filtered_bucket(key);
        if ( bucket == nullptr || size_t(index.row()) >= bucket->shown_count() )
          continue;
        if ( record.selected == nullptr )
          record.selected = bucket->empty_clone();
        record.selected->add_row_of(*bucket, size_t(index.row()));
      }
  }
  const QModelIndex current = view_->currentIndex();
  const filtered_bucket_t *current_bucket = current.isValid() ? filtered_bucket(current.internalId()) : nullptr;
  if ( current_bucket != nullptr && size_t(current.row()) < current_bucket->shown_count() )
  {
    const filtered_bucket_t *bucket = current_bucket;
    snapshot->current = bucket->empty_clone();
    snapshot->current->add_row_of(*bucket, size_t(current.row()));
  }
}

void test_filtered_widget_t::sync_view(const view_snapshot_t &snapshot, uint32_t /*reason*/,
                                       view_selection_records_t *records)
{
  if ( const view_bucket_record_t *root = snapshot.record_of(0) )
    model_->sync_bucket_rows(records, QModelIndex(), *root, snapshot.current.get(), view_);
  for ( size_t i = 0; i < folders.size(); ++i )
    if ( const view_bucket_record_t *record = snapshot.record_of(i + 1) )
      model_->sync_bucket_rows(records, model_->index(int(i), 0), *record, snapshot.current.get(), view_);
}

bool test_filtered_widget_t::reload_model(filtered_widget_mixin_update_strategy_t &strategy)
{
  reload_reasons.push_back(strategy.reason);
  auto_scroll_in_reload.push_back(view_->hasAutoScroll());
  reset_buckets();
  resync_view(strategy.snapshot, strategy.reason);
  set_idle();
  return true;
}

std::unique_ptr<filtered_widget_mixin_update_strategy_t>
test_filtered_widget_t::make_update_strategy(view_snapshot_t *snapshot, uint32_t reason)
{
  return std::make_unique<filtered_widget_mixin_update_strategy_t>(snapshot, reason);
}

const filter_match_t *test_filtered_widget_t::row_for_index(const QModelIndex &index)
{
  filtered_bucket_t *bucket = filtered_bucket(index.internalId());
  if ( bucket == nullptr || size_t(index.row()) >= bucket->shown_count() )
    return nullptr;
  const filter_match_t &match = row_texts(bucket->row_key(size_t(index.row()))).match;
  return match.column == index.column() ? &match : nullptr;
}

QColor test_filtered_widget_t::highlight_color(bool selected)
{
  return selected ? QColor(Qt::yellow) : QColor(Qt::cyan);
}

void test_filtered_widget_t::column_titles(std::vector<qstring> *out)
{
  // Assigned one by one: a copy of an empty qstring would read as a missing title.
  out->clear();
  out->resize(titles.size());
  for ( size_t i = 0; i < titles.size(); ++i )
    if ( titles[i].stored_length() != 0 )
      (*out)[i].assign(titles[i].c_str(), titles[i].size());
}

void test_filtered_widget_t::view_key_press(const QKeyEvent &event)
{
  QKeyEvent copy(event.type(), event.key(), event.modifiers(), event.text());
  QCoreApplication::sendEvent(view_, &copy);
}

bool test_filtered_widget_t::find_match(QAbstractItemView *view, const char *text, int32_t flags)
{
  return jump_match(view, QString::fromUtf8(text), jump_match_flags(flags));
}

bool test_filtered_widget_t::find_next_match(QAbstractItemView *view, const char *text)
{
  return jump_match(view, QString::fromUtf8(text), jump_next_substring);
}

void test_filtered_widget_t::jump_to_row(int row)
{
  view_->setCurrentIndex(model_->index(row, 0));
}

std::vector<std::string> test_filtered_widget_t::shown_names(const QModelIndex &parent) const
{
  std::vector<std::string> names;
  for ( int i = 0; i < model_->rowCount(parent); ++i )
    names.push_back(model_->index(i, 0, parent).data().toString().toStdString());
  return names;
}

std::vector<std::string> test_filtered_widget_t::selected_names() const
{
  std::vector<std::string> names;
  for ( const QModelIndex &index : view_->selectionModel()->selectedRows() )
    names.push_back(index.data().toString().toStdString());
  std::sort(names.begin(), names.end());
  return names;
}

std::string test_filtered_widget_t::current_name() const
{
  return view_->currentIndex().data().toString().toStdString();
}

QModelIndex test_filtered_widget_t::index_of(const std::string &name) const
{
  const auto find_in = [&](const QModelIndex &parent) -> QModelIndex {
    for ( int i = 0; i < model_->rowCount(parent); ++i )
      if ( model_->index(i, 0, parent).data().toString().toStdString() == name )
        return model_->index(i, 0, parent);
    return {};
  };
  if ( const QModelIndex found = find_in({}); found.isValid() )
    return found;
  for ( size_t i = 0; i < folders.size(); ++i )
    if ( const QModelIndex found = find_in(model_->index(int(i), 0)); found.isValid() )
      return found;
  return {};
}
