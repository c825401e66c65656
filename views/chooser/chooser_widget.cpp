// The chooser widget: construction and layout, header state, status line, events and the engine's operations.
#include "views/chooser/chooser_widget.h"

#include "core/internal_error.h"
#include "core/ui_callback.h"
#include "ui/action_context.h"
#include "ui/app_base.h"
#include "ui/docks/desktop_widgets.h"
#include "ui/header_visibility.h"
#include "ui/layout_helpers.h"
#include "ui/main_window.h"
#include "ui/popup_menu.h"
#include "ui/ui_action_registry.h"
#include "ui/widget_factory.h"
#include "views/chooser/chooser_actions.h"
#include "views/chooser/chooser_dirtree.h"
#include "views/chooser/chooser_flat_bucket.h"
#include "views/chooser/chooser_table.h"
#include "views/filter/columns_chooser.h"
#include "views/filter/filtered_item_view_style.h"
#include "views/filter/quick_filter_widget.h"
#include "views/filter/row_search.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr style_property_desc_t chooser_styles[] = {
  {"highlight-bg-default", "Highlight color", 0xff00ffff},
  {"highlight-bg-selected", "Highlight color (selected row)", 0xffc0c000},
  {"cut-text-color-default", "Cut text color", 0xff000000},
  {"cut-text-color-selected", "Cut text color (selected row)", 0xff000000},
};

// The live widgets in creation order.
std::vector<chooser_widget_t *> &live_list()
{
  static std::vector<chooser_widget_t *> list;
  return list;
}

// The size of the screen the widgets are laid out on.
QSize desktop_size()
{
  const QScreen *screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->availableGeometry().size() : QSize(1024, 768);
}

// A header text "#tooltip#title" gives both; any other text is the title alone.
void split_header_text(const char *text, qstring *title, qstring *tooltip)
{
  const std::string_view all(text != nullptr ? text : "");
  const size_t last = all.rfind('#');
  if ( all.starts_with('#') && last != std::string_view::npos && last > 0 )
  {
    *tooltip = qstring(all.substr(1, last - 1));
    *title = qstring(all.substr(last + 1));
    return;
  }
  *title = qstring(all);
  *tooltip = qstring();
}

} // namespace

const std::vector<chooser_widget_t *> &live_chooser_widgets()
{
  return live_list();
}

chooser_widget_t *as_chooser_widget(QWidget *widget)
{
  auto *chooser = dynamic_cast<chooser_widget_t *>(widget);
  return chooser != nullptr && is_live_chooser_widget(chooser) ? chooser : nullptr;
}

// ---- Construction ------------------------------------------------------------------------------------------

chooser_widget_t::chooser_widget_t(const chooser_widget_setup_t &setup)
  : QWidget(nullptr),
    stylable_widget_mixin_t(chooser_styles, std::size(chooser_styles), "chooser_widget_t"),
    filtered_widget_mixin_t(this),
    source_(setup.source),
    help_id_(setup.help_id)
{
  attach_source(setup);

  app_t *app = current_app();
  if ( ui_widget_factory_t *widgets = app != nullptr ? app->get_widget_factory() : nullptr )
    quick_filter_bar_ = widgets->new_quick_filter_widget(this);
  if ( auto *bar = qobject_cast<quick_filter_widget_t *>(quick_filter_bar_) )
    attach_quick_filter(bar);

  table_ = chooser_widget_factory().new_table_view(this);
  table_->setStyle(shared_filtered_item_view_style());
  if ( quick_filter_bar_ != nullptr )
  {
    quick_filter_bar_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    quick_filter_bar_->hide();
  }
  if ( (setup.flags & setup_dialog) != 0 && (setup.flags & setup_embedded) == 0
       && (source_->flags & chooser_no_search_box) == 0 )
    build_search_box();
  status_bar_ = new QStatusBar;
  status_bar_->setSizeGripEnabled(false);
  if ( (setup.prefix_bits & prefix_no_status_bar) != 0 )
    status_bar_->hide();

  ui_main_window_t *window = app != nullptr ? app->main_window() : nullptr;
  QMenu *standard = window != nullptr ? window->find_named_menu(QStringLiteral("Chooser:Edit")) : nullptr;
  popup_menu_ = standard != nullptr ? window->merge_context_menu(standard, QString(), this) : new QMenu(this);
  for ( size_t i = 0; i < 4; ++i )
    if ( (source_->flags & chooser_standard_flags[i]) == 0 )
      for ( QAction *qaction : popup_menu_->actions() )
        if ( const ui_action_t *action = find_ui_action_of_qaction(qaction);
             action != nullptr && action->name() == chooser_standard_actions[i] )
          popup_menu_->removeAction(qaction);
  for ( size_t i = 0; i < 4; ++i )
    if ( source_->popup_names[i].empty() )
      source_->popup_names[i] = chooser_standard_labels[i];
  if ( source_->version >= 2 && !source_->standard_action_descs(stdact_descs_) )
    std::fill(std::begin(stdact_descs_), std::end(stdact_descs_), nullptr);

  splitter_ = new QSplitter;
  splitter_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  splitter_->addWidget(table_);
  refresh_button_ = new QPushButton;
  refresh_button_->hide();
  if ( app != nullptr )
    refresh_button_->setIcon(app->icon_by_name("refresh.svg"));
  connect(refresh_button_, &QPushButton::clicked, this, &chooser_widget_t::on_refresh_outdated_clicked);
  build_layout();

  model_ = new chooser_table_widget_model_t(table_, this);
  table_->setModel(model_);
  reset_row_cache(size_t(source_->columns));

  int32_t mode = no_tree;
  if ( (source_->flags & chooser_has_folders) != 0
       && (persistence_ == nullptr || !persistence_->read_widget_state(&mode)) )
    mode = int32_t((source_->flags >> chooser_tree_mode_shift) & 0x3);

  const std::vector<int32_t> widths = initial_column_widths();
  compute_size_hint(widths);
  resize(size_hint_);
  chooser_widget_setup_t sized = setup;
  sized.columns_desc.widths = widths;
  set_tree_mode(mode, &sized);

  connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &chooser_widget_t::on_table_selection_changed);
  connect(table_, &QAbstractItemView::doubleClicked, this, &chooser_widget_t::itemDoubleClicked);
  setObjectName(windowTitle());
  table_->setObjectName(windowTitle());
  table_->setSelectionMode((source_->flags & chooser_multi_select) != 0 ? QAbstractItemView::ExtendedSelection
                                                                        : QAbstractItemView::SingleSelection);
  table_->horizontalHeader()->setStretchLastSection(true);
  apply_initial_visibility();
  if ( (source_->flags & chooser_quick_filter_shown) != 0 )
  {
    set_quick_filter_visible(true);
    if ( const int mode = chooser_quick_filter_mode_of(source_->flags); mode >= 0 && quick_filter() != nullptr )
      quick_filter()->set_mode(uint32_t(mode));
  }
  setFocusPolicy(Qt::StrongFocus);

  if ( search_box_ != nullptr )
    if ( QPushButton *help = search_box_->button(QDialogButtonBox::Help) )
    {
      help->setShortcut(QKeySequence());
      connect(help, &QPushButton::clicked, this, &chooser_widget_t::on_help_requested);
    }
}

void chooser_widget_t::attach_source(const chooser_widget_setup_t &setup)
{
  if ( source_->version == 0 )
    interr(interr_chooser_version);
  setWindowTitle(QString::fromUtf8(setup.title.c_str(), int(setup.title.size())));
  generic_title_ = setup.generic_title;
  persistence_ = chooser_widget_factory().new_chooser_persistence_helper(this);
  widget_flags |= setup.flags & (in_dialog | embedded);
  widget_kind_ = source_->widget_kind();
  if ( source_->columns <= 0 )
    interr(interr_chooser_columns);
  column_titles_.resize(size_t(source_->columns));
  column_tooltips_.resize(size_t(source_->columns));
  for ( size_t i = 0; i < column_titles_.size(); ++i )
    split_header_text(source_->header != nullptr ? source_->header[i] : nullptr, &column_titles_[i],
                      &column_tooltips_[i]);
  live_list().push_back(this);
  if ( (source_->flags & chooser_has_folders) != 0 )
    folders_ = source_->folder_tree();
}

void chooser_widget_t::build_search_box()
{
  search_box_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help);
  search_box_->setCenterButtons(true);
  QPushButton *search = search_box_->addButton(QStringLiteral("Search"), QDialogButtonBox::ApplyRole);
  search->setToolTip(QStringLiteral("New search - Alt+T\nRepeat search - Ctrl+T"));
  connect(search_box_, &QDialogButtonBox::accepted, this, &chooser_widget_t::on_dialog_accepted);
  connect(search_box_, &QDialogButtonBox::rejected, this, &QWidget::close);
  connect(search, &QPushButton::clicked, this, &chooser_widget_t::on_search_clicked);
}

void chooser_widget_t::build_layout()
{
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(splitter_);
  if ( quick_filter_bar_ != nullptr )
    layout->addWidget(quick_filter_bar_);
  auto *bottom = new QHBoxLayout;
  bottom->addWidget(status_bar_);
  bottom->addWidget(refresh_button_);
  layout->addLayout(bottom);
  if ( search_box_ != nullptr )
  {
    layout->addSpacing(10);
    layout->addWidget(search_box_);
  }
}

std::vector<int32_t> chooser_widget_t::initial_column_widths()
{
  const size_t columns = size_t(source_->columns);
  std::vector<int32_t> widths;
  if ( persistence_ == nullptr || !persistence_->read_column_widths(&widths) || widths.size() != columns )
    widths.assign(columns, 0);
  const int desktop_width = desktop_size().width();
  const QFontMetrics metrics(table_->font());
  for ( size_t i = 0; i < columns; ++i )
  {
    if ( widths[i] >= 1 && widths[i] < desktop_width )
      continue;
    int pixels = 0;
    if ( source_->widths != nullptr )
    {
      uint32_t glyphs = source_->widths[i] & column_glyphs_mask;
      if ( glyphs > column_max_glyphs )
      {
        warning_printf("The column %d of the chooser \"%s\" can't be wider than %d glyphs", int(i),
                       windowTitle().toUtf8().constData(), int(column_max_glyphs));
        glyphs = column_max_glyphs;
      }
      pixels = scaled_font_height(int(glyphs), table_);
    }
    else
      pixels = metrics.horizontalAdvance(QString::fromUtf8(column_titles_[i].c_str()));
    const bool name_column = i == 0 && (source_->flags & chooser_has_folders) != 0;
    widths[i] = pixels + (name_column ? 63 : 15);
  }
  return widths;
}

void chooser_widget_t::compute_size_hint(const std::vector<int32_t> &widths)
{
  const QSize desktop = desktop_size();
  const int64_t rows = std::max<int64_t>(1, int64_t(std::min<uint64_t>(row_count(), 100000)));
  int64_t height = status_bar_->sizeHint().height() + table_->horizontalHeader()->sizeHint().height()
                   + int64_t(table_->verticalHeader()->defaultSectionSize()) * rows
                   + table_->horizontalScrollBar()->sizeHint().height()
                   + std::max(30, quick_filter_bar_ != nullptr ? quick_filter_bar_->sizeHint().height() : 0);
  if ( search_box_ != nullptr )
    height += search_box_->sizeHint().height() + 10;
  height = std::min<int64_t>({height, 600, desktop.height() - 30});

  int64_t width = 0;
  for ( size_t i = 0; i < widths.size(); ++i )
    if ( source_->widths == nullptr || (source_->widths[i] & column_hidden) == 0 )
      width += widths[i];
  width += table_->verticalScrollBar()->sizeHint().width()
           + (table_->verticalHeader()->isHidden() ? 0 : table_->verticalHeader()->width()) + 2 * table_->frameWidth()
           + table_->style()->pixelMetric(QStyle::PM_ScrollView_ScrollBarSpacing);
  width = std::min<int64_t>(width, desktop.width() - 20);
  size_hint_ = QSize(int(width), int(height));
}

void chooser_widget_t::apply_initial_visibility()
{
  QHeaderView *header = shown_header();
  byte_buffer_t saved;
  if ( persistence_ != nullptr && persistence_->read_columns_visible(&saved)
       && restore_header_sections_visibility(header, saved) == uint32_t(source_->columns) )
    return;
  if ( source_->widths == nullptr )
    return;
  for ( int i = 0; i < source_->columns; ++i )
    header->setSectionHidden(i, (source_->widths[i] & column_hidden) != 0);
}

chooser_widget_t::~chooser_widget_t()
{
  std::vector<chooser_widget_t *> &live = live_list();
  live.erase(std::remove(live.begin(), live.end(), this), live.end());
  // The views and their models read the engine and the source: they go first.
  delete tree_view_;
  tree_view_ = nullptr;
  tree_model_ = nullptr;
  delete table_;
  table_ = nullptr;
  model_ = nullptr;
  source_->on_closed();
  if ( (source_->flags & chooser_keep) == 0 )
    delete source_;
  persistence_.reset();
}

QSize chooser_widget_t::sizeHint() const
{
  return size_hint_.isValid() ? size_hint_ : QSize(200, 200);
}

// ---- Header state and status line ------------------------------------------------------------------------

QHeaderView *chooser_widget_t::shown_header() const
{
  if ( tree_mode_ == full_tree && tree_view_ != nullptr )
    return tree_view_->header();
  return table_ != nullptr ? table_->horizontalHeader() : nullptr;
}

chooser_header_status_t chooser_widget_t::capture_header_status() const
{
  chooser_header_status_t state;
  const QHeaderView *header = shown_header();
  if ( header == nullptr )
    return state;
  for ( int i = 0; i < header->count(); ++i )
  {
    const bool visible = !header->isSectionHidden(i);
    state.visible.push_back(visible ? 1 : 0);
    state.widths.push_back(visible ? header->sectionSize(i) : 0);
  }
  const int section = header->sortIndicatorSection();
  if ( header->isSortIndicatorShown() && section >= 0 && section < header->count() )
  {
    state.sort_section = section;
    state.descending = header->sortIndicatorOrder() == Qt::DescendingOrder ? 1 : 0;
  }
  return state;
}

void chooser_widget_t::on_header_section_resized(int section, int old_size, int new_size)
{
  QHeaderView *header = shown_header();
  // Hiding and showing a section resize it from or to 0, and the stretched last visible section follows the
  // widget's size: neither is the user's resize.
  int last_visible = -1;
  for ( int visual = header->count() - 1; visual >= 0 && last_visible < 0; --visual )
    if ( !header->isSectionHidden(header->logicalIndex(visual)) )
      last_visible = header->logicalIndex(visual);
  const bool stretched = header->stretchLastSection() && section == last_visible;
  if ( (widget_flags & (copying_header | switching_mode)) == 0 && !stretched && old_size != 0 && new_size != 0 )
    widget_flags |= user_resized;
  emit header_status_changed(capture_header_status(), header_widths_changed);
}

void chooser_widget_t::set_sorting(std::unique_ptr<bucket_sorting_strategy_t> strategy)
{
  const chooser_header_status_t state = capture_header_status();
  if ( (widget_flags & copying_header) == 0 && (strategy == nullptr || sorting_allowed()) )
  {
    // The rows are shown in the new order at once, keeping the selection and the current row.
    view_snapshot_t snapshot;
    take_snapshot(&snapshot, 7);
    filtered_widget_mixin_t::set_sorting(std::move(strategy));
    resync_view(snapshot, 0);
  }
  emit header_status_changed(state, header_sorting_changed);
}

void chooser_widget_t::reset_view_sort()
{
  table_->sortByColumn(-1, Qt::AscendingOrder);
}

void chooser_widget_t::on_header_section_clicked(int /*section*/)
{
  if ( !sorting_allowed() )
    return;
  if ( tree_mode_ == full_tree && tree_view_ != nullptr )
  {
    if ( !tree_view_->isSortingEnabled() )
      tree_view_->setSortingEnabled(true);
  }
  else if ( !table_->isSortingEnabled() )
    table_->setSortingEnabled(true);
  update_action_filter_t filter;
  filter.add_name(chooser_unsort_action);
  filter.add_name("DirTreeUnsort");
  refresh_actions_for(UPDACT_LISTED, nullptr, &filter);
}

bool chooser_widget_t::hide_column(int column)
{
  QHeaderView *header = shown_header();
  if ( header == nullptr || column < 0 || column >= header->count() )
    return false;
  header->hideSection(column);
  emit header_status_changed(capture_header_status(), header_visibility_changed);
  return true;
}

bool chooser_widget_t::manage_columns()
{
  // A source with folders always keeps its first column, which names the folders.
  const size_t first = (source_->flags & chooser_has_folders) != 0 ? 1 : 0;
  if ( !columns_chooser_dialog(shown_header(), column_titles_, first) )
    return false;
  emit header_status_changed(capture_header_status(), header_visibility_changed);
  return true;
}

void chooser_widget_t::save_header_state()
{
  if ( persistence_ == nullptr )
    return;
  (void)persistence_->write_widget_state(tree_mode_);
  QHeaderView *header = shown_header();
  if ( (widget_flags & user_resized) != 0 )
  {
    std::vector<int32_t> widths;
    for ( int i = 0; i < header->count(); ++i )
      widths.push_back(header->sectionSize(i));
    (void)persistence_->write_column_widths(widths);
  }
  byte_buffer_t visible;
  save_header_sections_visibility(header, &visible);
  (void)persistence_->write_columns_visible(visible);
}

size_t chooser_widget_t::root_row_count()
{
  const filtered_bucket_t *bucket = filtered_bucket(flat_root_key);
  return bucket != nullptr ? bucket->shown_count() : 0;
}

void chooser_widget_t::update_status_line()
{
  if ( status_bar_ == nullptr || table_ == nullptr )
    return;
  QString text;
  if ( tree_mode_ == full_tree && tree_view_ != nullptr )
  {
    // The tree counts no lines: the current entry's path stands for its place.
    qstring path;
    const dirtree_cursor_t cursor = dirtree_item_model_base_t::index_to_cursor(tree_view_->currentIndex());
    if ( tree_view_->currentIndex().isValid() && tree_model_->current_tree()->cursor_text(&path, cursor, 0)
         && !path.empty() )
      text = QStringLiteral(", %1").arg(QString::fromUtf8(path.c_str()));
  }
  else
  {
    const QModelIndex current = table_->currentIndex();
    const size_t total = root_row_count();
    if ( current.isValid() && total > 0 )
      text = QStringLiteral("Line %1 of %2").arg(current.row() + 1).arg(total);
  }
  if ( outdated() )
    text += QStringLiteral(" (outdated)");
  if ( text.isEmpty() )
    status_bar_->clearMessage();
  else
    status_bar_->showMessage(text);
}

void chooser_widget_t::set_outdated(bool is_outdated)
{
  refresh_button_->setVisible(is_outdated);
  // The full tree showed a frozen copy while outdated: the live tree again.
  if ( !is_outdated && outdated() && tree_mode_ == full_tree && tree_view_ != nullptr )
    tree_view_->set_frozen(false);
  set_rows_italic(is_outdated);
  update_status_line();
}

uint32_t chooser_widget_t::prepare_row_attributes(uint32_t style, uint64_t /*row*/)
{
  // The full tree form is not shown by this widget.
  return style & ~row_style_in_full_tree;
}

// ---- Slots -----------------------------------------------------------------------------------------------

void chooser_widget_t::repolish()
{
  style()->unpolish(this);
  style()->polish(this);
  if ( (engine_flags() & engine_blocked) == 0 )
    refresh_items(nullptr, refresh_reason, false);
  update();
}

QString chooser_widget_t::get_generic_title() const
{
  return QString::fromUtf8(generic_title_.c_str(), int(generic_title_.size()));
}

void chooser_widget_t::on_help_requested()
{
  if ( app_t *app = current_app() )
    app->show_help(help_id_);
}

void chooser_widget_t::on_dialog_accepted()
{
  accepted_ = 1;
  close();
}

void chooser_widget_t::on_search_clicked()
{
  prompt_search(item_view());
}

void chooser_widget_t::on_refresh_outdated_clicked()
{
  post_model_update(0x107, false);
}

void chooser_widget_t::form_activate()
{
  for ( size_t i = 0; i < 4; ++i )
    if ( ui_action_t *action = find_ui_action(chooser_standard_actions[i]) )
      (void)action->apply_property(ACTION_PROP_LABEL, source_->popup_names[i].c_str());
}

// ---- Events ------------------------------------------------------------------------------------------------

bool chooser_widget_t::event(QEvent *event)
{
  if ( handle_engine_event(this, event) )
    return true;
  if ( event->type() == QEvent::PaletteChange && (engine_flags() & engine_blocked) == 0 )
    refresh_row_texts();
  else if ( event->type() == chooser_state_event_t::event_type )
  {
    handle_state_event(static_cast<chooser_state_event_t *>(event));
    return true;
  }
  else if ( event->type() == ISaveStateEvent::event_type )
    save_header_state();
  else if ( event->type() == IGetWidgetConfigEvent::event_type )
    write_config(static_cast<IGetWidgetConfigEvent *>(event));
  else if ( event->type() == ISetWidgetConfigEvent::event_type )
    read_config(static_cast<const ISetWidgetConfigEvent *>(event));
  return QWidget::event(event);
}

bool chooser_widget_t::handle_search_key(QAbstractItemView *view, QKeyEvent *event)
{
  if ( filtered_widget_mixin_t::handle_search_key(view, event) )
    return true;
  if ( (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)
       && (widget_flags & (in_dialog | embedded)) == in_dialog )
    event->ignore();
  return false;
}

void chooser_widget_t::keyPressEvent(QKeyEvent *event)
{
  if ( event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter )
  {
    activate_selection();
    if ( (widget_flags & enter_stops_after_activation) != 0 )
    {
      event->accept();
      return;
    }
  }
  QWidget::keyPressEvent(event);
}

void chooser_widget_t::focusInEvent(QFocusEvent *event)
{
  QWidget::focusInEvent(event);
  item_view()->setFocus();
}

void chooser_widget_t::showEvent(QShowEvent *event)
{
  QWidget::showEvent(event);
  if ( (source_->flags & chooser_quick_filter_shown) != 0 && quick_filter_bar_ != nullptr )
    if ( auto *line = quick_filter_bar_->findChild<QLineEdit *>() )
      line->setFocus();
}

void chooser_widget_t::contextMenuEvent(QContextMenuEvent *event)
{
  popup_menu_ctx_t popup(this);
  if ( app_t *app = current_app() )
    app->exec_popup(&popup, event, POPUP_AT_EVENT);
}

namespace {

// Internal error: synchronising a view in a tree mode other than the three.
constexpr int32_t interr_chooser_sync_mode = 40832;

} // namespace

// ---- The engine's operations -----------------------------------------------------------------------------

bool chooser_widget_t::find_next_match(QAbstractItemView *view, const char *text)
{
  return jump_match(view, QString::fromUtf8(text), jump_next_substring);
}

bool chooser_widget_t::find_match(QAbstractItemView *view, const char *text, int32_t flags)
{
  const bool found = jump_match(view, QString::fromUtf8(text), jump_match_flags(flags));
  status_bar_->showMessage(found ? QString::fromUtf8(text) : QStringLiteral("%1: not found").arg(QString::fromUtf8(text)));
  return found;
}

void chooser_widget_t::show_status_text(const char *text)
{
  status_bar_->showMessage(QString::fromUtf8(text));
}

void chooser_widget_t::jump_to_row(int row)
{
  (void)table_->select_row(row);
}

qstring chooser_widget_t::window_title_text()
{
  return qstring(windowTitle().toUtf8().constData());
}

void chooser_widget_t::reset_buckets()
{
  filtered_widget_mixin_t::reset_buckets();
  row_count_valid_ = false;
  map_flags_ &= ~inode_map_valid;
  row_inodes_.clear();
}

uint64_t chooser_widget_t::row_count()
{
  if ( !row_count_valid_ )
  {
    row_count_ = source_->item_count();
    row_count_valid_ = true;
  }
  return row_count_;
}

void chooser_widget_t::load_cached_rows(row_cache_t *cache)
{
  row_inodes_.clear();
  const uint64_t count = row_count();
  // The rows first, side by side, then the texts: walks of the cache in key order stay in few pages.
  cache->reserve(cache->size() + size_t(count));
  for ( uint64_t row = 0; row < count; ++row )
    (void)cache->emplace_hint(cache->end(), std::piecewise_construct, std::forward_as_tuple(row),
                              std::forward_as_tuple());
  for ( auto &[row, info] : *cache )
    (void)fetch_row_texts(&info, row);
}

bool chooser_widget_t::fetch_row_texts(item_info_t *row, uint64_t key)
{
  if ( key >= row_count() )
    return false;
  // The texts are described into buffers reused row after row; the row copies them into its own single block.
  described_texts_.resize(size_t(source_->columns));
  for ( qstring &text : described_texts_ )
    text.clear();
  row->icon = source_->icon;
  chooser_row_attrs_t attrs;
  attrs.style = prepare_row_attributes(attrs.style, key);
  source_->describe_row(std::span<qstring>(described_texts_), &row->icon, &attrs, key);
  row->texts.assign(described_texts_);
  if ( (source_->flags & chooser_row_callback) != 0 && ui_callback != nullptr )
    (void)ui_callback(ui_code_chooser_row, source_, key, &attrs);
  row->spare = int32_t(attrs.size);
  row->attributes = attrs.style & ~row_style_in_full_tree;
  row->background = int32_t(attrs.color);
  // The inode the row had when it was described finds the row again once the list is outdated.
  if ( const uint64_t inode = source_->item_inode(key); inode != no_inode )
    row_inodes_[key] = inode;
  else
    row_inodes_.erase(key);
  return true;
}

void chooser_widget_t::collect_item_views(std::vector<QAbstractItemView *> *views)
{
  if ( tree_mode_ != full_tree )
    views->push_back(table_);
  if ( tree_mode_ != no_tree && tree_view_ != nullptr )
    views->push_back(tree_view_);
}

QAbstractItemView *chooser_widget_t::item_view()
{
  if ( tree_mode_ == full_tree && tree_view_ != nullptr )
    return tree_view_;
  return table_;
}

void chooser_widget_t::sync_view(const view_snapshot_t &snapshot, uint32_t /*reason*/,
                                 view_selection_records_t *records)
{
  switch ( tree_mode_ )
  {
    case no_tree:
    case folders_only:
      if ( const view_bucket_record_t *root = snapshot.record_of(flat_root_key) )
        model_->sync_bucket_rows(records, QModelIndex(), *root, snapshot.current.get(), table_);
      if ( tree_mode_ == no_tree || tree_view_ == nullptr )
        return;
      tree_view_->sync_view_helper(nullptr, records, snapshot, 0, dynamic_cast<const chooser_flat_bucket_t *>(snapshot.current.get()) != nullptr);
      return;
    case full_tree:
      if ( tree_view_ != nullptr )
        tree_view_->sync_view_helper(nullptr, records, snapshot, 0, false);
      return;
    default:
      interr(interr_chooser_sync_mode);
  }
}

const filter_match_t *chooser_widget_t::row_for_index(const QModelIndex &index)
{
  if ( !filter_or_sort_active() || !index.isValid() )
    return nullptr;
  const filtered_bucket_t *bucket = filtered_bucket(flat_root_key);
  if ( bucket == nullptr || size_t(index.row()) >= bucket->shown_count() )
    return nullptr;
  row_cache_t &cache = row_cache();
  const auto found = cache.find(bucket->row_key(size_t(index.row())));
  if ( found == cache.end() || found->second.match.column != index.column() )
    return nullptr;
  return &found->second.match;
}

QColor chooser_widget_t::highlight_color(bool selected)
{
  return selected ? highlight_bg_selected() : highlight_bg_default();
}

bool chooser_widget_t::cut_text_color(QColor * /*out*/, const QModelIndex & /*index*/)
{
  // Only entries of a folder tree are marked cut.
  return false;
}

std::unique_ptr<filtered_bucket_t> chooser_widget_t::bucket_for_key(uint64_t bucket_key)
{
  if ( bucket_key != flat_root_key )
    return tree_model_ != nullptr ? tree_model_->create_bucket(bucket_key) : nullptr;
  if ( tree_mode_ != folders_only || tree_model_ == nullptr )
    return std::make_unique<chooser_flat_bucket_t>(row_count(), source_->default_column);
  // The items of the tree's current folder, in row order; rows without an inode are in no folder.
  directory_tree_t *tree = tree_model_->current_tree();
  std::vector<uint64_t> rows;
  const dirtree_entry_t folder = tree->entry_of_path(tree->current_folder_path().c_str());
  if ( !folder.is_none() && folder.is_folder )
    if ( const std::unique_ptr<folder_data_t> entries = tree_model_->create_bucket(folder.id) )
      for ( const dirtree_entry_t &entry : entries->entries )
        if ( !entry.is_folder )
          if ( const int64_t row = row_of_inode(entry.id); row >= 0 )
            rows.push_back(uint64_t(row));
  for ( uint64_t row = 0, count = row_count(); row < count; ++row )
    if ( inode_of_row(row, false) == no_inode )
      break;
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return std::make_unique<chooser_flat_bucket_t>(std::move(rows), source_->default_column);
}

void chooser_widget_t::view_key_press(const QKeyEvent &event)
{
  QKeyEvent copy(event.type(), event.key(), event.modifiers(), event.text(), event.isAutoRepeat(),
                 ushort(event.count()));
  QCoreApplication::sendEvent(table_, &copy);
}

int chooser_widget_t::flagged_column()
{
  if ( source_->widths != nullptr )
    for ( int i = 0; i < source_->columns; ++i )
      if ( (source_->widths[i] & column_flagged) != 0 )
        return i;
  return 0;
}

uint32_t chooser_widget_t::column_flags(int column)
{
  if ( source_->widths == nullptr || column < 0 || column >= source_->columns )
    return 0;
  return source_->widths[column] & column_flags_mask;
}

std::unique_ptr<filtered_widget_mixin_update_strategy_t> chooser_widget_t::make_update_strategy(view_snapshot_t *snapshot,
                                                                                               uint32_t reason)
{
  return std::make_unique<filtered_widget_mixin_update_strategy_t>(snapshot, reason);
}

void chooser_widget_t::on_model_loaded()
{
  refresh_action_states(UPDACT_LISTED);
  filtered_widget_mixin_update_strategy_t *strategy = std::exchange(loading_strategy_, nullptr);
  emit model_loaded(strategy);
}

void chooser_widget_t::refresh_action_states(int reason)
{
  if ( reason != UPDACT_LISTED )
  {
    refresh_actions_for(reason, nullptr, nullptr);
    return;
  }
  update_action_filter_t filter;
  const std::span<const char *const> names = chooser_model_action_names();
  filter.add_action_names(names.data(), names.size());
  if ( !filter.entries.empty() )
    refresh_actions_for(reason, nullptr, &filter);
}

// ---- chooser_view_t ------------------------------------------------------------------------------------

QString chooser_widget_t::chooser_title() const
{
  return windowTitle();
}

std::vector<int> chooser_widget_t::selected_indexes() const
{
  qvector<uint64_t> rows;
  (void)const_cast<chooser_widget_t *>(this)->get_selected_indexes(&rows);
  return std::vector<int>(rows.begin(), rows.end());
}
