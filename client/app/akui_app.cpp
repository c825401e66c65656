// The client's application object: windows it watches, the framework's operations, dirty views, settings, paths.
#include "client/app/akui_app.h"

#include "client/app/akui_main_window.h"
#include "client/app/client_actions.h"
#include "client/app/client_config.h"
#include "client/app/stored_desktop.h"
#include "client/commands/selected_file.h"
#include "client/views/arkive_listing_cache.h"
#include "client/views/file_tree_widget.h"
#include "core/directories.h"
#include "core/environment.h"
#include "core/registry.h"
#include "core/ui_callback.h"
#include "ui/desktop_layout.h"
#include "ui/docks/desktop_widgets.h"
#include "ui/docks/dock_widget.h"
#include "ui/layout_helpers.h"
#include "ui/log_widget.h"
#include "ui/popup_menu.h"
#include "views/chooser/chooser_widget.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMenu>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

constexpr char config_key[] = "Config";
constexpr char show_deleted_value[] = "ShowDeletedFiles";
constexpr char show_ignored_value[] = "ShowIgnoredFiles";
constexpr char resource_root[] = ":/AKUI/resources/";
// How long a run of Output-window messages goes on before the interface gets a moment for its own events, and
// how long that moment lasts. Counting time instead of lines keeps a burst of short lines cheap while a slow
// run still lets paints happen.
constexpr std::chrono::milliseconds log_breath_interval {50};
constexpr int log_breath_ms = 50;
constexpr char support_address[] = "<support@zuk-kollab.example>";

} // namespace

akui_app_t::akui_app_t(int &argc, char **argv) : app_t(argc, argv)
{
  dump_all_exceptions = true;
  show_deleted_files_ = registry_int(show_deleted_value, false, 0, config_key) != 0;
  show_ignored_files_ = registry_int(show_ignored_value, false, 0, config_key) != 0;
  refresh_timer_.setSingleShot(true);
  connect(&refresh_timer_, &QTimer::timeout, this, &akui_app_t::on_dirty_widgets_refresh_timer);
  (void)set_chooser_widget_factory(this);
}

akui_app_t::~akui_app_t()
{
  (void)set_chooser_widget_factory(nullptr);
  // The actions' QActions are children of this object: the registry goes first so that no action is left
  // pointing at a deleted QAction.
  actions_.clear();
  destroy_listing_cache();
}

akui_app_t *akui_app()
{
  return qobject_cast<akui_app_t *>(QCoreApplication::instance());
}

// ---- Watched windows ----------------------------------------------------------------------------------------

void akui_app_t::watch_main_window(akui_main_window_t *window)
{
  main_window_watch_.watch_object(window);
}

void akui_app_t::watch_log_widget(log_widget_t *widget)
{
  log_widget_watch_.watch_object(widget);
}

akui_main_window_t *akui_app_t::client_main_window() const
{
  return main_window_watch_.watched_as<akui_main_window_t>();
}

ui_main_window_t *akui_app_t::main_window()
{
  return client_main_window();
}

log_widget_t *akui_app_t::log_widget()
{
  return log_widget_watch_.watched_as<log_widget_t>();
}

// ---- app_t --------------------------------------------------------------------------------------------------

QIcon akui_app_t::app_icon(int kind)
{
  return icon_by_name(kind >= 0 && kind <= 2 ? "/large.png" : "");
}

QFont akui_app_t::default_domain_font(const font_domain_t &domain)
{
  return (domain.flags & font_domain_tabular) == 0 ? fixed_pitch_font(10) : QFont();
}

void akui_app_t::themes_dir_name(qvector<qstring> *out)
{
  out->clear();
  collect_search_dirs(out, "akui_themes", SEARCH_INSTALL_FIRST);
}

QMenu *akui_app_t::user_menu_root(const QString &name)
{
  ui_main_window_t *window = main_window();
  return window != nullptr ? window->find_named_menu(name) : nullptr;
}

void akui_app_t::populate_popup(popup_menu_ctx_t *popup, const void *, int)
{
  QWidget *owner = popup->owner;
  if ( owner == nullptr )
    return;
  const action_ctx_ptr<ui_action_activation_ctx_t> context(new_activation_context());
  fill_activation_context(context.get());
  const ui_callback_t dispatch = ui_callback;
  if ( dispatch != nullptr )
    (void)dispatch(UI_CODE_POPULATE_POPUP, owner, popup, context.get());
  popup->attach_permanent_actions();
  if ( dispatch != nullptr )
    (void)dispatch(UI_CODE_POPUP_POPULATED, owner, popup, context.get());
}

// The resource bundle is linked from a static library, so its registration is pulled in by name.
static void init_client_resources()
{
  Q_INIT_RESOURCE(client_resources);
}

void akui_app_t::register_resource_icons()
{
  init_client_resources();
  // The root counts as the folder with the empty name, so its large.png is "/large.png".
  for ( const char *folder : {"", "icons/actions", "icons/widgets"} )
  {
    const QDir dir(QString::fromLatin1(resource_root) + QString::fromLatin1(folder));
    for ( const QString &entry : dir.entryList(QDir::Files, QDir::Name) )
    {
      const QIcon icon(dir.filePath(entry));
      if ( icon.isNull() )
        continue;
      const std::string name = std::string(folder) + "/" + entry.toStdString();
      (void)register_icon(icon, name.c_str());
    }
  }
  app_t::register_resource_icons();
}

// ---- _base_app_mixin_t --------------------------------------------------------------------------------------

int akui_app_t::widget_kind_of(QWidget *widget)
{
  if ( widget == nullptr )
    return -1;
  if ( widget == log_widget() )
    return akui_kind_log;
  if ( const chooser_widget_t *chooser = as_chooser_widget(widget); chooser != nullptr )
    return chooser->widget_kind();
  if ( const files_dirtree_widget_t *tree = file_tree_of(widget); tree != nullptr )
    return tree->widget_kind();
  if ( const auto *source = dynamic_cast<const file_selection_source_t *>(widget); source != nullptr )
    return source->selection_widget_kind();
  return -1;
}

bool akui_app_t::query_generic_title(QString &out, QWidget *widget)
{
  if ( widget != nullptr )
  {
    const QString title = widget->windowTitle();
    for ( const QString &prefix : {QStringLiteral("History of "), QStringLiteral("Commit #")} )
    {
      if ( title.startsWith(prefix, Qt::CaseSensitive) )
      {
        out = prefix;
        return true;
      }
    }
  }
  return app_t::query_generic_title(out, widget);
}

int akui_app_t::activate_action_handler(ui_action_t *action, ui_action_activation_ctx_t *context,
                                        action_extra_t *extra)
{
  (void)app_t::activate_action_handler(action, context, extra);
  return 1;
}

DockWidget *akui_app_t::present_widget(QWidget *widget, const dock_options_t *placement)
{
  const int kind = widget_kind_of(widget);
  if ( kind >= 0 && kind < 32 && kind != akui_kind_log )
  {
    const bool by_esc = ((client_config().closed_by_esc >> kind) & 1) != 0;
    const uint32_t others = widget_close_flags(widget) & ~uint32_t(close_flag_by_esc | close_flag_never_by_esc);
    (void)set_widget_close_flags(widget, others | (by_esc ? close_flag_by_esc : close_flag_never_by_esc));
  }
  if ( applying_desktop )
    return nullptr;
  return app_t::present_widget(widget, placement);
}

int akui_app_t::write_log_message(msg_data_t &msg, uint32_t flags)
{
  log_widget_t *window = log_widget();
  if ( window == nullptr )
    return int(msg.text.size());
  window->append_message(msg, flags);
  if ( log_widget() == nullptr )
    interr(INTERR_LOG_WINDOW_DESTROYED);
  // A message after a pause starts a new run: the event loop had its turn meanwhile.
  const auto now = std::chrono::steady_clock::now();
  if ( now - last_log_message_ >= log_breath_interval )
    log_run_start_ = now;
  last_log_message_ = now;
  if ( now - log_run_start_ >= log_breath_interval )
  {
    process_events(log_breath_ms, true);
    log_run_start_ = last_log_message_ = std::chrono::steady_clock::now();
  }
  return int(msg.text.size());
}

void akui_app_t::refresh_widgets(uint64_t kind_mask, bool set)
{
  if ( !set )
  {
    pending_refresh_mask_ &= ~kind_mask;
    return;
  }
  const uint64_t before = pending_refresh_mask_;
  pending_refresh_mask_ |= kind_mask;
  if ( pending_refresh_mask_ != before )
    refresh_timer_.start(dirty_refresh_delay_ms);
}

void akui_app_t::on_dirty_widgets_refresh_timer()
{
  const uint64_t mask = pending_refresh_mask_;
  for ( QWidget *top : QApplication::topLevelWidgets() )
  {
    refresh_dirty_widgets_event_t event(mask);
    QApplication::sendEvent(top, &event);
    for ( QWidget *child : top->findChildren<QWidget *>() )
    {
      refresh_dirty_widgets_event_t child_event(mask);
      QApplication::sendEvent(child, &child_event);
    }
  }
  refresh_widgets(all_widget_kinds, false);
}

// ---- ui_action_context_provider_t -------------------------------------------------------------------------

bool akui_app_t::is_chooser_kind(int widget_kind)
{
  return unsigned(widget_kind - akui_kind_commits) < 7;
}

chooser_view_t *akui_app_t::context_chooser_widget(action_ctx_base_t *context)
{
  return is_chooser_kind(context->widget_kind) ? as_chooser_view(context->widget) : nullptr;
}

filtered_widget_mixin_t *akui_app_t::context_filtered_widget(action_ctx_base_t *context)
{
  return context->widget != nullptr ? filter_engine_of(context->widget) : nullptr;
}

// ---- ui_widget_factory_t ----------------------------------------------------------------------------------

QMenu *akui_app_t::new_menu(const QString &title, QWidget *parent)
{
  return new QMenu(title, parent);
}

QLabel *akui_app_t::new_label(const QString &text)
{
  return new QLabel(text);
}

DockWidget *akui_app_t::new_dock_widget(QWidget *content, uint32_t)
{
  return new DockWidget(content, 0);
}

// ---- Crash reports ------------------------------------------------------------------------------------------

void akui_app_t::dump_file_name(qstring *out, const std::exception_ptr &, const tm &local_time, long pid,
                                bool internal_error)
{
  format_to_string(out, internal_error ? "akui-interr-%04d%02d%02d-%02d%02d%02d-%ld.dmp"
                                       : "akui-%04d%02d%02d-%02d%02d%02d-%ld.dmp",
                   local_time.tm_year + 1900, local_time.tm_mon + 1, local_time.tm_mday, local_time.tm_hour,
                   local_time.tm_min, local_time.tm_sec, pid);
}

void akui_app_t::after_dump_message(const std::exception_ptr &, const char *path, bool internal_error, bool written)
{
  if ( !written )
    return;
  // No box here: the fault may have left the interface in any state; standard error always works.
  if ( internal_error )
    fprintf(stderr, "A mini dump file has been created in '%s'\nPlease send it to %s\n", path, support_address);
  else
    fprintf(stderr,
            "ZUK Kollab has encountered a problem.\nIt is recommended to save your work and restart.\n"
            "A mini dump file has been created in '%s'\nPlease send it to %s\n",
            path, support_address);
}

int32_t akui_app_t::no_dump_message(const std::exception_ptr &fault)
{
  fprintf(stderr,
          "ZUK Kollab has encountered a problem%s.\nPlease send this information and, if possible, steps to "
          "reproduce the problem to %s\n\nException code: %08X Exception: %s\n",
          dump_all_exceptions ? " but could not produce a crash dump file" : "", support_address,
          fault_exception_code(fault), fault_exception_text(fault).c_str());
  return 0;
}

// ---- Settings -----------------------------------------------------------------------------------------------

void akui_app_t::store_show_setting(bool *setting, bool value, const char *registry_name, const char *action_name)
{
  *setting = value;
  (void)registry_int(registry_name, true, value ? 1 : 0, config_key);
  if ( ui_action_t *action = actions_.find_action(action_name); action != nullptr && action->qaction() != nullptr )
    action->qaction()->setChecked(value);
}

bool akui_app_t::toggle_show_deleted_files()
{
  set_show_deleted_files(!show_deleted_files_);
  return show_deleted_files_;
}

bool akui_app_t::toggle_show_ignored_files()
{
  set_show_ignored_files(!show_ignored_files_);
  return show_ignored_files_;
}

void akui_app_t::set_show_deleted_files(bool value)
{
  if ( value == show_deleted_files_ )
    return;
  store_show_setting(&show_deleted_files_, value, show_deleted_value, "show_deleted_files");
  forget_listings(true);
}

void akui_app_t::set_show_ignored_files(bool value)
{
  if ( value == show_ignored_files_ )
    return;
  store_show_setting(&show_ignored_files_, value, show_ignored_value, "show_ignored_files");
  refresh_widgets(uint64_t(1) << akui_kind_local_files, true);
}

bool akui_app_t::get_default_dir(qstring *out, int)
{
  *out = default_dir_;
  return !default_dir_.empty();
}

void akui_app_t::set_default_dir(int, const char *folder)
{
  default_dir_ = folder != nullptr ? folder : "";
}

bool akui_app_t::default_desktop_layout(desktop_config_t &out)
{
  return out.parse_json(default_desktop_json);
}

// ---- Connection state and paths ---------------------------------------------------------------------------

const qstring &akui_app_t::computer_name_text()
{
  if ( computer_name_.empty() )
    (void)local_computer_name(&computer_name_);
  return computer_name_;
}

bool akui_app_t::to_local_path(qstring *out, const char *server_path) const
{
  qstring result = server_info.root_dir;
  const std::string_view path = server_path != nullptr ? server_path : "";
  size_t begin = 0;
  while ( begin <= path.size() )
  {
    // A "\\" becomes "/" at the system call, so it separates components here too.
    size_t end = path.find_first_of("/\\", begin);
    if ( end == std::string_view::npos )
      end = path.size();
    const std::string_view part = path.substr(begin, end - begin);
    begin = end + 1;
    if ( part.empty() )
      continue;
    if ( part == "." || part == ".." )
      return false;
    if ( result.empty() || result.view().back() != '/' )
      result += '/';
    result += part;
  }
  *out = std::move(result);
  return true;
}
