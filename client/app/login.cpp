// Login, connection and reconnection: the login sequence with its Connect dialog, connections from credentials,
// the site switch, the connection information, the network-failure handler and the "logon"/"logoff" actions.
#include "client/app/login.h"

#include "client/app/akui_app.h"
#include "client/app/akui_main_window.h"
#include "client/app/arkive_with_events.h"
#include "client/app/client_config.h"
#include "client/app/progress_display.h"
#include "client/views/site_forms.h"
#include "core/internal_error.h"
#include "core/unicode.h"
#include "core/ui_callback.h"
#include "repo/abstract_fs.h"
#include "repo/arkive_errors.h"
#include "repo/arkive_messenger.h"
#include "repo/connection_factory.h"
#include "repo/login_credentials.h"
#include "ui/action_context.h"
#include "ui/log_widget.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"
#include "ui/wait_box.h"

#include <QDialog>
#include <QLabel>
#include <QMetaObject>

#include <strings.h>

#include <cctype>
#include <cstring>
#include <string>
#include <utility>

namespace {

// Internal errors of the connection information.
constexpr int INTERR_NO_MAIN_WINDOW = 80085;

// Headers of the new-site form of the login: no site name could be guessed, or the guessed one is unknown.
constexpr char new_site_header[] = "Enter the new site data";
constexpr char first_connection_header[] =
  "Please specify a work directory.\nIt appears this is your first connection to the ZUK Kollab server from this "
  "host.\nPlease specify where files should be stored locally:";

arkive_credentials_t &default_credentials()
{
  return client_config().default_credentials;
}

// The file system's progress sink: it passes every report on to the application's display while there is an
// application (file systems live until the process ends, the application does not).
class application_progress_sink_t final : public arkive_progressor_t
{
public:
  int32_t set_title(const char *text) override
  {
    akui_app_t *app = akui_app();
    return app != nullptr ? app->progressor.set_title(text) : 0;
  }
  int32_t progress(uint8_t kind, uint64_t amount) override
  {
    akui_app_t *app = akui_app();
    return app != nullptr ? app->progressor.progress(kind, amount) : 0;
  }
};

const char *computer_name()
{
  akui_app_t *app = akui_app();
  return app != nullptr ? app->computer_name_text().c_str() : "";
}

// The server endpoint as "host:port", without user and password.
qstring server_endpoint_text(const arkive_credentials_t &credentials)
{
  qstring text;
  endpoint_to_string(credentials, &text, false);
  return text;
}

// Copies what the Connect dialog edits (the server and proxy endpoints, the flags and the site) into the
// default credentials.
void take_dialog_credentials(const arkive_credentials_t &entered)
{
  arkive_credentials_t &defaults = default_credentials();
  endpoint_assign(&defaults, entered);
  endpoint_assign(&defaults.proxy, entered.proxy);
  defaults.flags = entered.flags;
  defaults.site = entered.site;
}

} // namespace

//--------------------------------------------------------------------------
// Connections.

std::unique_ptr<rpc_arkive_connection_t> connect_to_server(qstring *error, arkive_connection_factory_t &factory,
                                                           const arkive_credentials_t &credentials,
                                                           bool *settings_refused)
{
  qstring reason;
  const auto refuse = [&](const char *format) -> std::unique_ptr<rpc_arkive_connection_t> {
    format_to_string(error, format, reason.c_str());
    if ( settings_refused != nullptr )
      *settings_refused = true;
    return nullptr;
  };
  if ( !factory.reset(&reason, credentials) )
    return refuse("Error during reset of arkive connection parameters: %s");
  if ( !factory.configure(&reason, credentials) )
    return refuse("Couldn't parse server connection string: %s");

  abstract_fs_t *fs = get_file_system("", [](abstract_fs_t *made) {
    made->set_reporters(std::make_unique<arkive_messenger_t>(), std::make_unique<application_progress_sink_t>());
  }, FS_CREATE_WITH_CACHE);
  qstring password = credentials.password;
  if ( password.empty() )
  {
    arkive_credentials_t stored = credentials;
    (void)stored.read_password(&password, nullptr);
  }
  return factory.connect_and_login(error, credentials.user.c_str(), password.c_str(), fs, computer_name(), 0);
}

bool validator_t::validate(arkive_credentials_t &credentials)
{
  qstring error;
  *made_ = connect_to_server(&error, factory_, credentials);
  if ( *made_ == nullptr )
  {
    warning_printf("Login to %s:%d failed:\n%s", credentials.host.c_str(), int(credentials.port), error.c_str());
    return false;
  }
  arkive_credentials_t stored = credentials;
  if ( stored.load_default_site() )
    credentials.site = stored.site;
  return true;
}

//--------------------------------------------------------------------------
// The login sequence and the site switch.

bool akui_app_t::perform_login(bool first)
{
  arkive_connection_factory_t &factory = *arkive_connection_factory_t::instance();
  arkive_credentials_t &defaults = default_credentials();
  arkive_credentials_t local = defaults;
  std::unique_ptr<rpc_arkive_connection_t> connection;

  if ( first && !defaults.user.empty() )
  {
    qstring password = defaults.password;
    qstring error;
    const bool known = !password.empty() || defaults.read_password(&password, &error);
    if ( known && !defaults.host.empty() )
    {
      bool settings_refused = false;
      connection = connect_to_server(&error, factory, defaults, &settings_refused);
      if ( settings_refused )
        log_printf("%s\n", error.c_str());
    }
    else if ( !known && !error.empty() )
    {
      log_printf("Failed to retrieve password: %s\n", error.c_str());
    }
  }

  if ( connection == nullptr )
  {
    if ( !first )
      load_saved_credentials(&local);
    local.site.clear();
    validator_t validator(factory, &connection);
    for ( ;; )
    {
      const int answer = local.run_connect_dialog(&validator, nullptr, 0);
      if ( answer == 0 )
        return false;
      if ( answer == 1 && connection != nullptr )
        break;
    }
    take_dialog_credentials(local);
  }

  log_printf("Connected to %s:%d\n", local.host.c_str(), int(local.port));
  set_connection(std::move(connection));
  const qstring endpoint = server_endpoint_text(local);
  facade.notify(arkive_event_connected, endpoint.c_str());

  if ( !local.site.empty() && use_local_site(local.site.c_str(), false) )
    return true;

  // No remembered site, or it is gone: the user's usual site on this host, when its name can be guessed;
  // otherwise the user names a work directory for a new one.
  site_info_t site;
  site.user = local.user;
  site.client_host = computer_name_text();
  const char *header = new_site_header;
  if ( propose_site_name(&site.name, local.user.c_str(), computer_name_text().c_str()) )
  {
    if ( use_local_site(site.name.c_str(), true) )
      return true;
    header = first_connection_header;
  }
  // The form offers the owner as a field to an administrator only: the server's view of this login first.
  connection_info();
  if ( run_new_site_form(header, &site) )
  {
    set_store_credentials_flag(true);
    if ( use_local_site(site.name.c_str(), false) )
      return true;
  }
  connection_info();
  return true;
}

void akui_app_t::set_connection(std::unique_ptr<arkive_connection_t> connection)
{
  facade.set_connection(nullptr);
  if ( connection != nullptr )
  {
    connection->set_network_failure_handler(&network_handler());
    connection->set_messenger(new arkive_messenger_t);
    facade.set_connection(std::move(connection));
  }
  refresh_actions(UPDACT_CONNECTION, nullptr, nullptr);
}

bool akui_app_t::use_local_site(const char *name, bool quiet)
{
  const char *site = name != nullptr ? name : "";
  const int code = facade.use_site(nullptr, site, nullptr);
  arkive_credentials_t &defaults = default_credentials();
  if ( code == ARKIVE_OK )
  {
    log_printf("Using local site %s\n", site);
    defaults.site = site;
  }
  else if ( !quiet )
  {
    show_server_warning(code, "Failed to switch to local site");
  }
  // The remembered site of this server and user: kept when the server could not say (53, 47).
  if ( code == ARKIVE_OK && get_store_credentials_flag() )
    defaults.save_default_site(site);
  else if ( code != ARKIVE_DISCONNECTED && code != ARKIVE_BAD_PACKET )
    defaults.save_default_site(nullptr);
  return code == ARKIVE_OK;
}

void akui_app_t::connection_info()
{
  akui_main_window_t *window = client_main_window();
  if ( window == nullptr )
    interr(INTERR_NO_MAIN_WINDOW);
  arkive_server_info_t info;
  if ( !facade.is_usable() )
  {
    server_info = arkive_server_info_t();
    window->set_status_text(QStringLiteral("Disconnected"));
    return;
  }
  if ( facade.get_arkive_info(&info) != ARKIVE_OK )
  {
    server_info = arkive_server_info_t();
    window->set_status_text(QStringLiteral("No info"));
    return;
  }
  server_info = std::move(info);
  const QString texts[akui_main_window_t::status_label_count] = {
    QStringLiteral("Server: %1").arg(QString::fromUtf8(server_text.c_str())),
    QStringLiteral("Client: %1").arg(QString::fromUtf8(server_info.session.client_host.c_str())),
    QStringLiteral("User: %1").arg(QString::fromUtf8(server_info.session.user.c_str())),
    QStringLiteral("Local site: %1").arg(QString::fromUtf8(server_info.session.site.c_str())),
    QStringLiteral("Root directory: %1").arg(QString::fromUtf8(server_info.root_dir.c_str())),
  };
  for ( int i = 0; i < akui_main_window_t::status_label_count; ++i )
    window->status_label(i)->setText(texts[i]);
}

void akui_app_t::on_network_failure()
{
  facade.set_connection(nullptr);
  refresh_widgets(all_widget_kinds, true);
  refresh_actions(UPDACT_CONNECTION, nullptr, nullptr);
  (void)trigger_ui_action(find_ui_action("logon"));
}

//--------------------------------------------------------------------------
// The network-failure handler.

akui_network_handler_t &network_handler()
{
  static akui_network_handler_t handler;
  return handler;
}

bool akui_network_handler_t::begin_reconnect(arkive_credentials_t *credentials, qstring *client, const char *reason)
{
  if ( !network_failure_handler_t::begin_reconnect(credentials, client, reason) )
    return false;
  log_printf("%s. Reconnecting...\n", reason != nullptr ? reason : "");
  repaint_log_widget();
  *client = computer_name();
  *credentials = default_credentials();
  return true;
}

void akui_network_handler_t::end_reconnect(bool success, const char *error)
{
  network_failure_handler_t::end_reconnect(success, error);
  const arkive_credentials_t &defaults = default_credentials();
  if ( success )
    log_printf("Reconnected to %s:%d; using local site '%s'\n", defaults.host.c_str(), int(defaults.port),
               defaults.site.c_str());
  else
    log_printf("Reconnection failed: %s\n", error != nullptr ? error : "");
}

void akui_network_handler_t::give_up()
{
  // The wait box belongs to the request under way, which hides it when it returns.
  const QWidget *wait_box = current_app() != nullptr ? current_app()->wait_dialog() : nullptr;
  for ( QWidget *widget : QApplication::topLevelWidgets() )
    if ( auto *dialog = qobject_cast<QDialog *>(widget); dialog != nullptr && dialog != wait_box
                                                          && dialog->isVisible() )
      dialog->done(-1);
  if ( akui_app_t *app = akui_app() )
    QMetaObject::invokeMethod(app, &akui_app_t::on_network_failure, Qt::QueuedConnection);
}

//--------------------------------------------------------------------------
// The default site name.

bool propose_site_name(qstring *out, const char *user, const char *host)
{
  const char *dot = std::strchr(host, '.');
  const std::string host_part(host, dot != nullptr ? size_t(dot - host) : std::strlen(host));
  if ( host_part.empty() || strncasecmp(host_part.c_str(), "localhost", 9) == 0 )
    return false;
  const std::string text = std::string(user) + "_" + host_part;
  // Each character becomes one: a letter or "_" stays, so do a digit or "-" after the first; anything else
  // (a code point beyond ASCII, a malformed byte) is one "_".
  std::string name;
  for ( const char *at = text.c_str(); *at != '\0' && name.size() < proposed_site_name_max; )
  {
    const char *start = at;
    uint32_t c = utf8_next_char(&at);
    if ( at == start )
      ++at;
    if ( c >= 0x80 )
      c = '_';
    const bool kept = std::isalpha(int(c)) != 0 || c == '_' || (!name.empty() && (std::isdigit(int(c)) != 0 || c == '-'));
    name += kept ? char(c) : '_';
  }
  *out = name.c_str();
  return true;
}

//--------------------------------------------------------------------------
// The actions.

int logon_activate(ui_action_activation_ctx_t *)
{
  akui_app_t *app = akui_app();
  return app != nullptr && app->perform_login(false) ? 1 : 0;
}

int logon_update(ui_action_t *, ui_action_update_ctx_t *)
{
  akui_app_t *app = akui_app();
  return app != nullptr && app->facade.is_usable() ? ACTION_STATE_MISSING_CONTEXT : ACTION_STATE_INITIAL;
}

int logoff_activate(ui_action_activation_ctx_t *)
{
  akui_app_t *app = akui_app();
  if ( app == nullptr )
    return 0;
  app->facade.notify(arkive_event_disconnected);
  app->facade.set_connection(nullptr);
  app->refresh_actions(UPDACT_CONNECTION, nullptr, nullptr);
  app->connection_info();
  return 1;
}

int logoff_update(ui_action_t *, ui_action_update_ctx_t *)
{
  akui_app_t *app = akui_app();
  return app != nullptr && app->facade.is_usable() ? ACTION_STATE_INITIAL : ACTION_STATE_MISSING_CONTEXT;
}
