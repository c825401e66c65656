// The chooser widget over a source of 1,000,000 rows in three columns (a path, a size, a hexadecimal address),
// beside a QTableView over a QSortFilterProxyModel over a table model holding the same texts: opening (the
// widget built and its first paint), sorting by each column from a cold row cache, and a 3-letter quick filter
// (every column, ignoring case) from a cold row cache. Goals: opening no slower than the plain view; sorting
// and filtering at least 5 times as fast as the proxy's sort and setFilterFixedString.
#include "bench/bench_runner.h"
#include "bench/gui_bench_app.h"
#include "bench/path_rows.h"
#include "bench/pseudo_random.h"
#include "tests/ui/app/test_app.h"
#include "views/chooser/chooser_base.h"
#include "views/chooser/chooser_factory.h"
#include "views/chooser/chooser_table.h"
#include "views/chooser/chooser_widget.h"
#include "views/filter/bucket_sorting.h"

#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QHeaderView>
#include <QSortFilterProxyModel>
#include <QTableView>

#include <benchmark/benchmark.h>

#include <cinttypes>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr size_t row_count = 1000000;
constexpr int column_count = 3;
const char *const filter_text = "bxq";
const QSize window_size(900, 600);

// The texts of every row, column by column.
struct rows_t
{
  rows_t() : columns {path_rows(row_count), {}, {}}
  {
    pseudo_random_t rng(0x2545F4914F6CDD1Dull);
    columns[1].reserve(row_count);
    columns[2].reserve(row_count);
    char hex[24];
    for ( size_t i = 0; i < row_count; ++i )
    {
      columns[1].push_back(std::to_string(rng.next() % (uint64_t(1) << (rng.next() % 32))));
      std::snprintf(hex, sizeof(hex), "0x%08" PRIX64, uint64_t(rng.next() & 0xFFFFFFFFFFull));
      columns[2].push_back(hex);
    }
  }
  std::vector<std::string> columns[column_count];
};

const rows_t &rows()
{
  static const rows_t all;
  return all;
}

// The source: the rows held above, described on demand. Kept: the benchmark owns it.
class bench_source_t final : public chooser_multi_t
{
public:
  bench_source_t()
  {
    flags = chooser_keep | chooser_multi_select;
    title = "Bench rows";
    columns = column_count;
    widths = width_words;
    header = titles;
  }
  uint64_t item_count() override { return row_count; }
  void describe_row(std::span<qstring> texts, int32_t *, chooser_row_attrs_t *, uint64_t row) override
  {
    for ( int c = 0; c < column_count; ++c )
    {
      const std::string &text = rows().columns[c][row];
      texts[size_t(c)].assign(text.data(), text.size());
    }
  }

private:
  static constexpr uint32_t width_words[column_count] = {60, column_flags_decimal | 10, column_flags_hex | 16};
  static constexpr const char *titles[column_count] = {"Path", "Size", "Address"};
};

// The plain table model holding the same texts as QStrings.
class text_model_t final : public QAbstractTableModel
{
public:
  text_model_t()
  {
    for ( int c = 0; c < column_count; ++c )
    {
      columns_[c].reserve(int(row_count));
      for ( const std::string &text : rows().columns[c] )
        columns_[c].append(QString::fromStdString(text));
    }
  }
  int rowCount(const QModelIndex &parent = QModelIndex()) const override
  {
    return parent.isValid() ? 0 : int(row_count);
  }
  int columnCount(const QModelIndex &parent = QModelIndex()) const override
  {
    return parent.isValid() ? 0 : column_count;
  }
  QVariant data(const QModelIndex &index, int role) const override
  {
    if ( !index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole) )
      return {};
    return columns_[index.column()][index.row()];
  }

private:
  QVector<QString> columns_[column_count];
};

text_model_t *text_model = nullptr;
bench_source_t *source = nullptr;

// A shown chooser widget of the source, its first page painted.
std::unique_ptr<chooser_widget_t> open_chooser_widget()
{
  std::unique_ptr<chooser_widget_t> widget(
    chooser_widget_factory().new_chooser_widget(init_chooser_widget_setup(source, nullptr, false)));
  widget->resize(window_size);
  widget->show();
  QCoreApplication::processEvents();
  widget->table()->viewport()->repaint();
  return widget;
}

// The plain view: a table over a proxy over the text model, shown, its first page painted.
struct plain_view_t
{
  plain_view_t()
  {
    proxy.setSourceModel(text_model);
    proxy.setFilterKeyColumn(-1);
    proxy.setFilterCaseSensitivity(Qt::CaseInsensitive);
    view.verticalHeader()->hide();
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setModel(&proxy);
    view.resize(window_size);
    view.show();
    QCoreApplication::processEvents();
    view.viewport()->repaint();
  }
  QSortFilterProxyModel proxy;
  QTableView view;
};

// The quick filter bar's condition for the filter text: a substring in any column, ignoring case.
filter_condition_t quick_filter_condition()
{
  filter_condition_t condition;
  condition.flags = filter_mode_substring;
  condition.column = -1;
  condition.set_text(filter_text);
  return condition;
}

// Times `act` on a fresh object that `make` builds untimed, destroyed untimed afterwards. The allocator merges
// the blocks a destroyed object freed at its next large request: one is made untimed too, so that an iteration's
// clean-up never falls into the next one's timing.
template <typename Make, typename Act>
void on_fresh(benchmark::State &state, Make make, Act act)
{
  for ( auto _ : state )
  {
    state.PauseTiming();
    auto object = make();
    state.ResumeTiming();
    act(*object);
    state.PauseTiming();
    object.reset();
    QCoreApplication::processEvents();
    std::free(std::malloc(size_t(1) << 20));
    state.ResumeTiming();
  }
}

std::unique_ptr<plain_view_t> make_plain_view()
{
  return std::make_unique<plain_view_t>();
}

// Opening: the widget (or view) is made in the timed step into an empty holder, destroyed untimed.
void chooser_open(benchmark::State &state)
{
  on_fresh(state, [] { return std::make_unique<std::unique_ptr<chooser_widget_t>>(); },
           [](std::unique_ptr<chooser_widget_t> &widget) { widget = open_chooser_widget(); });
}

void proxy_open(benchmark::State &state)
{
  on_fresh(state, [] { return std::make_unique<std::unique_ptr<plain_view_t>>(); },
           [](std::unique_ptr<plain_view_t> &view) { view = make_plain_view(); });
}

// Sorting a freshly opened widget by a column: the rows are described and cached, sorted and shown.
void chooser_sort(benchmark::State &state)
{
  const auto column = int(state.range(0));
  on_fresh(state, open_chooser_widget, [column](chooser_widget_t &widget) {
    widget.table_model()->sort(column, Qt::AscendingOrder);
    widget.table()->viewport()->repaint();
  });
}

void proxy_sort(benchmark::State &state)
{
  const auto column = int(state.range(0));
  on_fresh(state, make_plain_view, [column](plain_view_t &view) {
    view.proxy.sort(column, Qt::AscendingOrder);
    view.view.viewport()->repaint();
  });
}

void chooser_quick_filter(benchmark::State &state)
{
  const filter_condition_t condition = quick_filter_condition();
  size_t shown = 0;
  on_fresh(state, open_chooser_widget, [&](chooser_widget_t &widget) {
    widget.apply_quick_filter(condition);
    widget.table()->viewport()->repaint();
    shown = size_t(widget.table()->model()->rowCount());
  });
  state.counters["shown"] = double(shown);
}

void proxy_filter(benchmark::State &state)
{
  size_t shown = 0;
  on_fresh(state, make_plain_view, [&](plain_view_t &view) {
    view.proxy.setFilterFixedString(QString::fromLatin1(filter_text));
    view.view.viewport()->repaint();
    shown = size_t(view.proxy.rowCount());
  });
  state.counters["shown"] = double(shown);
}

} // namespace

int main(int argc, char **argv)
{
  bench_runner_t runner(argc, argv);
  if ( !runner.ok() )
    return 1;
  default_to_offscreen_platform();
  test_app_t app(argc, argv);
  (void)rows();
  text_model_t model;
  bench_source_t bench_source;
  text_model = &model;
  source = &bench_source;
  // The first widgets of the process pay for loading fonts and styles, and the first row cache for the pages the
  // process takes from the system: a few widgets are opened, and one list of each kind filtered, before timing.
  for ( int i = 0; i < 3; ++i )
  {
    (void)open_chooser_widget();
    (void)make_plain_view();
    QCoreApplication::processEvents();
  }
  {
    std::unique_ptr<chooser_widget_t> widget = open_chooser_widget();
    widget->apply_quick_filter(quick_filter_condition());
    std::unique_ptr<plain_view_t> view = make_plain_view();
    view->proxy.setFilterFixedString(QString::fromLatin1(filter_text));
  }
  const auto timed = [](benchmark::internal::Benchmark *b, int iterations = 3) {
    return b->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(iterations);
  };
  timed(benchmark::RegisterBenchmark("chooser_open", chooser_open), 20);
  timed(benchmark::RegisterBenchmark("proxy_open", proxy_open), 20);
  timed(benchmark::RegisterBenchmark("chooser_sort", chooser_sort)->DenseRange(0, column_count - 1));
  timed(benchmark::RegisterBenchmark("proxy_sort", proxy_sort)->DenseRange(0, column_count - 1));
  timed(benchmark::RegisterBenchmark("chooser_quick_filter", chooser_quick_filter));
  timed(benchmark::RegisterBenchmark("proxy_filter", proxy_filter));
  const int status = runner.run(
    {{"chooser_open", "proxy_open"}, {"chooser_sort", "proxy_sort"}, {"chooser_quick_filter", "proxy_filter"}});
  std::printf("goals: chooser_open / proxy_open at most 1; chooser_sort / proxy_sort and chooser_quick_filter / "
              "proxy_filter at most 0.2\n");
  return status;
}
