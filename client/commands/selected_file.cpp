// Finding a view's selection source and collecting its records.
#include "client/commands/selected_file.h"

#include "ui/action_context.h"
#include "views/chooser/chooser_base.h"

#include <QWidget>

file_selection_source_t *selection_source_of(const action_ctx_base_t &context)
{
  for ( QWidget *widget = context.widget; widget != nullptr; widget = widget->parentWidget() )
    if ( auto *source = dynamic_cast<file_selection_source_t *>(widget); source != nullptr )
      return source;
  // A list's data source may be the selection source of its chooser widget.
  return dynamic_cast<file_selection_source_t *>(context.chooser);
}

int selection_kind_of(const action_ctx_base_t &context)
{
  const file_selection_source_t *source = selection_source_of(context);
  return source != nullptr ? source->selection_widget_kind() : context.widget_kind;
}

bool collect_selected_files(selected_files_t *out, const action_ctx_base_t &context, uint32_t bits)
{
  if ( bits == 0 )
    return true;
  file_selection_source_t *source = selection_source_of(context);
  return source != nullptr && source->collect_files(out, bits, context);
}

qvector<qstring> paths_of(const selected_files_t &files)
{
  qvector<qstring> paths;
  for ( const selected_file_t &file : files )
    paths.push_back(file.path);
  return paths;
}

qvector<qstring> take_paths(selected_files_t &files)
{
  qvector<qstring> paths;
  paths.reserve(files.size());
  for ( selected_file_t &file : files )
    paths.push_back(std::move(file.path));
  return paths;
}

qstring confirmation_list(const qvector<qstring> &paths)
{
  constexpr size_t shown = 30;
  qstring text;
  for ( size_t i = 0; i < paths.size() && i < shown; ++i )
    append_format_to_string(&text, "%s\n", paths[i].c_str());
  if ( paths.size() > shown )
    append_format_to_string(&text, "... + %zu more\n", paths.size() - shown);
  return text;
}
