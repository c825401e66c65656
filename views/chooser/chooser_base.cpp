// The data-source interface of the chooser lists, and the services that show and find them.
#include "views/chooser/chooser_base.h"

#include "forms/batch_mode.h"
#include "ui/app_base.h"
#include "ui/widget_factory.h"
#include "views/chooser/chooser_factory.h"
#include "views/chooser/chooser_widget.h"
#include "views/filter/filtered_bucket.h"

#include <QSize>
#include <QString>

#include <algorithm>
#include <cstring>

namespace {

// Dock placement words of a presented chooser: as a tab, at the remembered place with chooser_dock_remembered.
constexpr uint32_t placement_as_tab = 0x400000;
constexpr uint32_t placement_remembered = 0x400004;

// Clears the application's pending-refresh bit of the source's widget kind.
void clear_refresh_bit(const chooser_base_t &source)
{
  app_t *app = current_app();
  const int kind = source.widget_kind();
  if ( app != nullptr && kind >= 0 )
    app->refresh_widgets(uint64_t(1) << kind, false);
}

// Prepares the source and clears its kind's pending refresh on success.
bool prepare_source(chooser_base_t &source)
{
  if ( !source.prepare() )
    return false;
  clear_refresh_bit(source);
  return true;
}

// Deletes a source that no widget took, unless it is kept.
void dispose(chooser_base_t *source)
{
  if ( (source->flags & chooser_keep) == 0 )
    delete source;
}

bool same_identity(chooser_base_t &a, chooser_base_t &b)
{
  size_t a_count = 0;
  size_t b_count = 0;
  const uint8_t *a_bytes = a.identity_bytes(&a_count);
  const uint8_t *b_bytes = b.identity_bytes(&b_count);
  return a_count != 0 && a_count == b_count && a_bytes != nullptr && b_bytes != nullptr
         && std::memcmp(a_bytes, b_bytes, a_count) == 0;
}

} // namespace

int chooser_quick_filter_mode_of(uint32_t flags)
{
  switch ( flags & chooser_quick_filter_mode )
  {
    case 0:
      return -1;
    case 0x4000:
      return 1;
    case 0x6000:
      return 2;
    case 0x8000:
      return 3;
    default:
      return 0;
  }
}

int32_t chooser_stdact_desc_t::action_state(ui_action_update_ctx_t * /*context*/)
{
  return 2;
}

// ---- chooser_base_t ------------------------------------------------------------------------------------------

chooser_base_t::chooser_base_t() = default;
chooser_base_t::~chooser_base_t() = default;

const uint8_t *chooser_base_t::identity_bytes(size_t *count)
{
  *count = 0;
  return nullptr;
}

bool chooser_base_t::prepare()
{
  return true;
}

void chooser_base_t::on_closed() {}

directory_tree_t *chooser_base_t::folder_tree()
{
  return nullptr;
}

uint64_t chooser_base_t::item_inode(uint64_t /*row*/)
{
  return no_inode;
}

bool chooser_base_t::standard_action_descs(chooser_stdact_desc_t * /*descs*/[4])
{
  return false;
}

bool chooser_base_t::load_folder(directory_tree_t * /*tree*/, const char * /*folder_path*/)
{
  return false;
}

int64_t chooser_base_t::inode_index(uint64_t /*inode*/)
{
  return -1;
}

int64_t chooser_base_t::open_chooser(const chooser_default_t &default_selection)
{
  app_t *app = current_app();
  if ( ui_widget_factory_t *factory = app != nullptr ? app->get_widget_factory() : nullptr )
  {
    auto code = int32_t(flags);
    factory->map_record_code(&code);
    flags = uint32_t(code);
  }

  if ( batch_mode_flag && (flags & chooser_modal) != 0 )
  {
    // No one to ask: the default selection is the answer.
    if ( !prepare_source(*this) )
    {
      dispose(this);
      return chooser_prepare_failed;
    }
    qvector<uint64_t> rows;
    resolve_default(default_selection, &rows);
    int64_t chosen = rows.empty() ? chooser_nothing_chosen : int64_t(rows.front());
    const uint64_t count = item_count();
    if ( chosen >= 0 && uint64_t(chosen) >= count )
      chosen = int64_t(count) - 1;
    on_closed();
    dispose(this);
    return chosen;
  }

  if ( (flags & chooser_modal) == 0 )
  {
    if ( chooser_widget_t *open = find_chooser_widget_by_title(title); open != nullptr )
    {
      // The same source object shown again is brought forward too, never shown twice.
      const bool same_object = open->source() == this;
      if ( same_object || same_identity(*open->source(), *this) )
      {
        view_snapshot_t snapshot;
        open->take_snapshot(&snapshot, 7);
        if ( app != nullptr )
          (void)app->raise_widget_dock(open, true);
        bool prepared = true;
        if ( (flags & chooser_reopen) != 0 )
        {
          prepared = prepare_source(*open->source());
          if ( prepared )
          {
            open->reset_buckets();
            open->resync_view(snapshot, 0);
            open->select_default(&default_selection, true);
          }
        }
        if ( !same_object )
          dispose(this);
        return prepared ? chooser_brought_forward : chooser_prepare_failed;
      }
      close_chooser_widget(open);
    }
  }

  if ( !prepare_source(*this) && (flags & (chooser_modal | chooser_reopen)) != 0 )
  {
    dispose(this);
    return chooser_prepare_failed;
  }
  const chooser_widget_setup_t setup = init_chooser_widget_setup(this, nullptr, false);
  chooser_widget_factory_t &factory = chooser_widget_factory();
  chooser_widget_t *widget = factory.new_chooser_widget(setup);
  const bool modal = (flags & chooser_modal) != 0;
  widget->select_default(&default_selection, modal);
  if ( modal )
    return factory.run_modal_chooser(widget);
  factory.present_widget(widget, (flags & chooser_dock_remembered) != 0 ? placement_remembered : placement_as_tab);
  return 0;
}

chooser_widget_t *chooser_base_t::create_embedded_widget(const char *form_title, int field_id)
{
  (void)prepare_source(*this);
  const QByteArray embedded_title =
    QStringLiteral("%1:%2").arg(QString::fromUtf8(form_title != nullptr ? form_title : "")).arg(field_id).toUtf8();
  const chooser_widget_setup_t setup = init_chooser_widget_setup(this, embedded_title.constData(), true);
  return chooser_widget_factory().new_chooser_widget(setup);
}

// ---- chooser_embedded_list_t -----------------------------------------------------------------------------------

QWidget *chooser_embedded_list_t::create_embedded_widget(const QString &form_title, int field_id)
{
  return source_->create_embedded_widget(form_title.toUtf8().constData(), field_id);
}

int chooser_embedded_list_t::natural_width() const
{
  if ( source_->columns <= 0 )
    return 0;
  int width = 2;
  for ( int32_t i = 0; i < source_->columns; ++i )
    width += int(std::min(source_->widths != nullptr ? source_->widths[i] & column_glyphs_mask : 0u, column_max_glyphs))
             + 1;
  return width;
}

QString chooser_embedded_list_t::title() const
{
  return QString::fromUtf8(source_->title != nullptr ? source_->title : "");
}

void chooser_embedded_list_t::set_title(const QString &text)
{
  if ( text.isEmpty() )
  {
    if ( borrowing_ )
      source_->title = own_title_;
    borrowing_ = false;
    return;
  }
  if ( !borrowing_ )
    own_title_ = source_->title;
  borrowed_ = qstring(text.toUtf8().constData());
  source_->title = borrowed_.c_str();
  borrowing_ = true;
}

QSize chooser_embedded_list_t::minimum_widget_size(QWidget *widget) const
{
  return widget != nullptr ? widget->sizeHint() : QSize();
}

qvector<uint64_t> chooser_embedded_list_t::selection(QWidget *widget) const
{
  qvector<uint64_t> rows;
  if ( chooser_widget_t *chooser = as_chooser_widget(widget) )
    (void)chooser->get_selected_indexes(&rows);
  return rows;
}

void chooser_embedded_list_t::set_selection(QWidget *widget, const qvector<uint64_t> &rows)
{
  if ( chooser_widget_t *chooser = as_chooser_widget(widget) )
    chooser->set_selection(rows, -1);
}

void chooser_embedded_list_t::reload(QWidget *widget)
{
  if ( chooser_widget_t *chooser = as_chooser_widget(widget) )
    chooser->refresh_items(nullptr, refresh_reason, false);
}

uint32_t chooser_embedded_list_t::state_word() const
{
  return source_->flags;
}

// ---- chooser_multi_t -----------------------------------------------------------------------------------------

int64_t chooser_multi_t::open_chooser(const qvector<uint64_t> *default_selection)
{
  return chooser_base_t::open_chooser(chooser_default_t {default_selection, nullptr});
}

void chooser_multi_t::resolve_default_selection(qvector<uint64_t> *out, const qvector<uint64_t> &default_selection)
{
  *out = default_selection;
}

int chooser_multi_t::insert_item(qvector<uint64_t> * /*selection*/)
{
  return chooser_unchanged;
}

int chooser_multi_t::delete_items(qvector<uint64_t> * /*selection*/)
{
  return chooser_unchanged;
}

int chooser_multi_t::edit_items(qvector<uint64_t> * /*selection*/)
{
  return chooser_unchanged;
}

int chooser_multi_t::activate_items(qvector<uint64_t> * /*selection*/)
{
  return chooser_unchanged;
}

int chooser_multi_t::reload_items(qvector<uint64_t> * /*selection*/)
{
  return chooser_rebuild;
}

void chooser_multi_t::on_selection_changed(const qvector<uint64_t> & /*selection*/) {}

void chooser_multi_t::make_single_selection(qvector<uint64_t> *selection, uint64_t index)
{
  selection->clear();
  if ( const uint64_t count = item_count(); count > 0 )
    selection->push_back(std::min(index, count - 1));
}

int chooser_multi_t::run_row_operation(chooser_row_op_t op, qvector<uint64_t> *rows)
{
  switch ( op )
  {
    case chooser_row_op_t::insert:
      return insert_item(rows);
    case chooser_row_op_t::remove:
      return delete_items(rows);
    case chooser_row_op_t::edit:
      return edit_items(rows);
    case chooser_row_op_t::activate:
      return activate_items(rows);
    case chooser_row_op_t::reload:
      break;
  }
  return reload_items(rows);
}

void chooser_multi_t::resolve_default(const chooser_default_t &default_selection, qvector<uint64_t> *rows)
{
  rows->clear();
  if ( default_selection.rows != nullptr )
    resolve_default_selection(rows, *default_selection.rows);
}

// ---- chooser_t -------------------------------------------------------------------------------------------------

int64_t chooser_t::open_chooser(const int64_t *default_index)
{
  return chooser_base_t::open_chooser(chooser_default_t {nullptr, default_index});
}

int64_t chooser_t::resolve_default_selection(const int64_t *default_index)
{
  return default_index != nullptr ? *default_index : -1;
}

chooser_single_result_t chooser_t::insert_item(int64_t row)
{
  return {row, chooser_unchanged};
}

chooser_single_result_t chooser_t::delete_items(int64_t row)
{
  return {row, chooser_unchanged};
}

chooser_single_result_t chooser_t::edit_items(int64_t row)
{
  return {row, chooser_unchanged};
}

chooser_single_result_t chooser_t::activate_items(int64_t row)
{
  return {row, chooser_unchanged};
}

chooser_single_result_t chooser_t::reload_items(int64_t row)
{
  return {row, chooser_rebuild};
}

void chooser_t::on_selection_changed(int64_t /*row*/) {}

int chooser_t::run_row_operation(chooser_row_op_t op, qvector<uint64_t> *rows)
{
  const int64_t first = rows->empty() ? -1 : int64_t(rows->front());
  chooser_single_result_t result;
  switch ( op )
  {
    case chooser_row_op_t::insert:
      result = insert_item(first);
      break;
    case chooser_row_op_t::remove:
      result = delete_items(first);
      break;
    case chooser_row_op_t::edit:
      result = edit_items(first);
      break;
    case chooser_row_op_t::activate:
      result = activate_items(first);
      break;
    case chooser_row_op_t::reload:
      result = reload_items(first);
      break;
  }
  if ( result.code != chooser_unchanged )
  {
    rows->clear();
    if ( result.row >= 0 )
      rows->push_back(uint64_t(result.row));
  }
  return result.code;
}

void chooser_t::selection_changed(const qvector<uint64_t> &rows)
{
  if ( !rows.empty() )
    on_selection_changed(int64_t(rows.front()));
}

void chooser_t::resolve_default(const chooser_default_t &default_selection, qvector<uint64_t> *rows)
{
  rows->clear();
  if ( const int64_t row = resolve_default_selection(default_selection.index); row >= 0 )
    rows->push_back(uint64_t(row));
}

bool selection_pop_back(qvector<uint64_t> *selection)
{
  if ( selection->size() < 2 )
    return false;
  selection->pop_back();
  return true;
}

// ---- Live chooser widgets ------------------------------------------------------------------------------------

chooser_widget_t *find_chooser_widget_by_title(const char *title)
{
  if ( title == nullptr )
    return nullptr;
  const qstring wanted = strip_chooser_title(title);
  const std::string_view text = wanted.view();
  for ( chooser_widget_t *widget : live_chooser_widgets() )
  {
    const QByteArray own = widget->windowTitle().toUtf8();
    const std::string_view name(own.constData(), size_t(own.size()));
    if ( name == text )
      return widget;
    if ( (widget->widget_flags & chooser_widget_t::embedded) == 0 || name.size() < text.size() + 2
         || name.substr(0, text.size()) != text || name[text.size()] != ':' )
      continue;
    const std::string_view digits = name.substr(text.size() + 1);
    if ( std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) )
      return widget;
  }
  return nullptr;
}

chooser_widget_t *find_chooser_widget_by_object(const chooser_base_t *source)
{
  for ( chooser_widget_t *widget : live_chooser_widgets() )
    if ( widget->source() == source )
      return widget;
  return nullptr;
}

bool close_chooser_by_title(const char *title)
{
  chooser_widget_t *widget = find_chooser_widget_by_title(title);
  if ( widget == nullptr )
    return false;
  close_chooser_widget(widget);
  return true;
}

bool is_live_chooser_widget(const void *pointer)
{
  const std::vector<chooser_widget_t *> &live = live_chooser_widgets();
  return std::find(live.begin(), live.end(), pointer) != live.end();
}

void close_chooser_widget(chooser_widget_t *widget)
{
  if ( (widget->widget_flags & chooser_widget_t::embedded) != 0 )
    return;
  app_t *app = current_app();
  if ( (widget->widget_flags & chooser_widget_t::in_dialog) != 0 || app == nullptr )
  {
    widget->close();
    return;
  }
  app->close_hosted_widget(widget, 0);
}
