// One drag started from a filtered view.
#include "views/filter/drag_scope.h"

#include "ui/app_base.h"
#include "ui/widget_factory.h"
#include "views/filter/code_points.h"
#include "views/filter/filtered_item_view_model.h"
#include "views/filter/filtered_widget_mixin.h"

#include <QAbstractItemView>

namespace
{

// The byte length of the first `points` code points of the text.
size_t bytes_of_code_points(std::string_view text, size_t points)
{
  const char *p = text.data();
  const char *end = text.data() + text.size();
  for ( size_t n = 0; n < points && p < end; ++n )
    step_code_point(&p, end);
  return size_t(p - text.data());
}

} // namespace

qstring drag_label_text(filtered_widget_mixin_t &engine, const view_snapshot_t &handover)
{
  const int column = engine.flagged_column();
  qstring names;
  for ( const view_bucket_record_t &record : handover.buckets )
  {
    if ( record.selected == nullptr )
      continue;
    for ( size_t i = 0, n = record.selected->shown_count(); i < n; ++i )
    {
      const item_info_t &row = engine.row_texts(record.selected->row_key(i));
      if ( column < 0 || size_t(column) >= row.texts.size() || row.texts[size_t(column)].empty() )
        continue;
      if ( !names.empty() )
        names += ", ";
      names += row.texts[size_t(column)].view();
      const size_t points = code_points_before(names.view(), names.size());
      if ( points < drag_label_max_code_points )
        continue;
      if ( points > drag_label_max_code_points )
      {
        names.set_length(bytes_of_code_points(names.view(), drag_label_max_code_points - 1));
        names += "\xE2\x80\xA6";
      }
      break;
    }
  }
  if ( names.empty() )
    return qstring("Drag items");
  qstring label("Drag '");
  label += names;
  label += "'";
  return label;
}

drag_scope_t::drag_scope_t(filtered_widget_mixin_t *engine, QAbstractItemView *view, view_snapshot_t *handover)
  : engine_(engine)
{
  ++engine_->drag_counter;
  engine_->drag_handover.swap(*handover);
  engine_->drag_view = view;
  label_ = drag_label_text(*engine_, engine_->drag_handover);
  if ( app_t *app = current_app() )
    factory_ = app->get_widget_factory();
  if ( factory_ != nullptr )
    control_ = factory_->new_reversible_op_ctl("Drag items", label_.c_str());
}

drag_scope_t::~drag_scope_t()
{
  filtered_widget_mixin_t &engine = *engine_;
  QAbstractItemView *view = engine.drag_view;
  auto *model = view != nullptr ? qobject_cast<filtered_item_view_model_t *>(view->model()) : nullptr;
  if ( engine.drop_key != no_key && model != nullptr )
  {
    // The dropped rows now live in the target bucket: select them there.
    if ( const filtered_bucket_t *target = engine.filtered_bucket(engine.drop_key) )
    {
      const view_snapshot_t &handover = engine.drag_handover;
      QItemSelection selection;
      QModelIndex current;
      for ( const view_bucket_record_t &record : handover.buckets )
        target->select_in_view(view, QModelIndex(engine.drop_index), record.selected.get(), handover.current.get(), &selection,
                               &current);
      add_view_selection(&engine.drag_records, view, selection, current);
    }
  }
  filtered_widget_mixin_t::restore_view_selections(engine.drag_records);
  engine.drag_records.clear();
  engine.drag_handover = view_snapshot_t();
  engine.drop_key = no_key;
  engine.drop_index = QPersistentModelIndex();
  engine.drag_view = nullptr;
  --engine.drag_counter;
  if ( factory_ != nullptr )
    factory_->delete_owned_object(control_);
}
