// Deleting and reloading the rows of the server lists by name.
#include "client/views/server_list_rows.h"

#include "client/app/akui_app.h"
#include "client/app/arkive_with_events.h"
#include "client/commands/selected_file.h"
#include "core/clock_time.h"
#include "core/ui_callback.h"
#include "repo/arkive_errors.h"
#include "ui/action_context.h"
#include "views/chooser/chooser_base.h"
#include "views/chooser/chooser_widget.h"

#include <algorithm>

int delete_named_rows(chooser_multi_t &chooser, qvector<uint64_t> *selection, const row_name_fn_t &name_of,
                      const named_row_delete_t &how)
{
  // Rows go from the last, so the indexes still to come never move.
  std::sort(selection->begin(), selection->end());
  qvector<qstring> names;
  for ( uint64_t row : *selection )
    if ( const qstring *name = name_of(row) )
      names.push_back(*name);
  if ( names.empty() )
    return chooser_unchanged;
  if ( question_printf(1, how.question, confirmation_list(names).c_str()) != 1 )
    return chooser_unchanged;
  const uint64_t first = selection->front();
  for ( ;; )
  {
    const uint64_t row = selection->back();
    if ( const qstring *found = name_of(row) )
    {
      const qstring name = *found;
      int code = how.remove(name.c_str(), false);
      bool skipped = false;
      if ( code == how.retry_code )
      {
        if ( question_printf(1, how.retry_question, name.c_str()) == 1 )
          code = how.remove(name.c_str(), true);
        else
          skipped = true;
      }
      if ( !skipped && code != ARKIVE_OK )
      {
        show_server_warning(code, how.failure);
        chooser.make_single_selection(selection, first);
        return chooser_rebuild;
      }
      if ( !skipped )
        how.erase(row);
    }
    if ( !selection_pop_back(selection) )
      break;
  }
  chooser.make_single_selection(selection, first);
  return chooser_rebuild;
}

int reload_keeping_names(chooser_multi_t &chooser, qvector<uint64_t> *selection, const row_name_fn_t &name_of)
{
  qvector<qstring> names;
  for ( uint64_t row : *selection )
    if ( const qstring *name = name_of(row) )
      names.push_back(*name);
  (void)chooser.prepare();
  const int64_t first = selection->empty() ? -1 : int64_t(selection->front());
  selection->clear();
  const uint64_t count = chooser.item_count();
  for ( const qstring &name : names )
    for ( uint64_t row = 0; row < count; ++row )
      if ( const qstring *candidate = name_of(row); candidate != nullptr && *candidate == name )
      {
        if ( std::find(selection->begin(), selection->end(), row) == selection->end() )
          selection->push_back(row);
        break;
      }
  if ( selection->empty() && first >= 0 && count > 0 )
    selection->push_back(std::min(uint64_t(first), count - 1));
  return chooser_rebuild;
}

const session_info_t &login_session()
{
  static const session_info_t none;
  akui_app_t *app = akui_app();
  return app != nullptr ? app->server_info.session : none;
}

qstring list_time_text(uint64_t packed)
{
  char buffer[64];
  if ( format_packed_time(buffer, sizeof(buffer), "%F %T", packed) == 0 )
    buffer[0] = '\0';
  return buffer;
}

int64_t single_selected_row(const action_ctx_base_t &context)
{
  return context.chooser_selection.size() == 1 && context.chooser_selection[0] >= 0 ? context.chooser_selection[0]
                                                                                     : -1;
}

QWidget *open_server_list(chooser_multi_t *source, const chooser_popup_entry_t *extra_entry)
{
  const qvector<uint64_t> none;
  (void)source->open_chooser(&none);
  chooser_widget_t *widget = find_chooser_widget_by_object(source);
  if ( widget != nullptr )
  {
    widget->extra_popup_entries = extra_entry;
    widget->extra_popup_count = 1;
  }
  return widget;
}

int present_server_list(QWidget *(*find)(), QWidget *(*create)())
{
  akui_app_t *app = akui_app();
  if ( QWidget *found = find(); found != nullptr && app != nullptr )
    (void)app->present_widget(found, nullptr);
  else
    (void)create();
  return 1;
}
