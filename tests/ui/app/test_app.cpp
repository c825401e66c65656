// The UI suite's application object: an app_t that answers the application's operations the way tests need.
#include "tests/ui/app/test_app.h"

#include "core/ui_callback.h"
#include "tests/ui/app/desktop_views.h"
#include "ui/popup_menu.h"
#include "ui/docks/dock_area.h"
#include "ui/docks/dock_node.h"
#include "ui/docks/dock_widget.h"
#include "ui/log_widget.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

#include <cstring>

int32_t recording_exception_handler_t::handle(const std::exception_ptr &fault)
{
  std::string text = "?";
  try
  {
    std::rethrow_exception(fault);
  }
  catch ( const std::exception &e )
  {
    text = e.what();
  }
  catch ( ... )
  {
  }
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.push_back(text);
  return 0;
}

std::vector<std::string> recording_exception_handler_t::faults() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return faults_;
}

void recording_exception_handler_t::clear()
{
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.clear();
}

QMenu *test_widget_factory_t::new_menu(const QString &title, QWidget *parent)
{
  return new QMenu(title, parent);
}

void test_main_window_t::default_menubar_menus(QStringList *out)
{
  *out = QStringList {QStringLiteral("File"), QStringLiteral("View"), QStringLiteral("Actions"),
                      QStringLiteral("Search"), QStringLiteral("Help")};
}

bool test_main_window_t::add_special_item(const char *name, QWidget *target)
{
  if ( strcmp(name, "@probe") != 0 )
    return false;
  target->addAction(new QAction(QStringLiteral("probe"), target));
  return true;
}

QLabel *test_widget_factory_t::new_label(const QString &text)
{
  return new QLabel(text);
}

DockWidget *test_widget_factory_t::new_dock_widget(QWidget *content, uint32_t flags)
{
  return new DockWidget(content, flags);
}

namespace {

// On a display without a window manager nothing activates a window that is shown: the OnDisplay suites' windows
// and dialogs are activated when they show, as a desktop's window manager does.
class window_activator_t : public QObject
{
public:
  using QObject::QObject;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override
  {
    if ( event->type() == QEvent::Show && watched->isWidgetType() )
    {
      auto *widget = static_cast<QWidget *>(watched);
      const Qt::WindowType type = widget->windowType();
      if ( widget->isWindow() && (type == Qt::Window || type == Qt::Dialog) )
        widget->activateWindow();
    }
    return false;
  }
};

} // namespace

test_app_t::test_app_t(int &argc, char **argv) : app_t(argc, argv), window_(std::make_unique<test_main_window_t>())
{
  if ( platformName() == QLatin1String("xcb") )
    installEventFilter(new window_activator_t(this));
  auto *area = new TopLevelDockArea;
  window_->setCentralWidget(area);
  set_top_level_dock_area(area);
  register_desktop_test_factories();
  reset_desktop_state();
}

bool test_app_t::default_desktop_layout(desktop_config_t &out)
{
  return out.parse_json(default_desktop.c_str());
}

void test_app_t::on_dock_inserted(DockWidget *dock, ComplexDockWidget *container)
{
  dock_insertions.emplace_back(dock->title(), container);
}

void test_app_t::on_desktop_layout_built(const desktop_config_t &)
{
  int holders = 0;
  for ( DockWidget *dock : leaf_dock_widgets() )
    holders += is_place_holder(dock_content(dock)) ? 1 : 0;
  layouts_built.push_back(holders);
}

void test_app_t::reset_desktop_state()
{
  default_desktop = default_desktop_text;
  default_focus = nullptr;
  dock_insertions.clear();
  layouts_built.clear();
}

test_app_t::~test_app_t()
{
  window_.reset();
}

QMenu *test_app_t::user_menu_root(const QString &name)
{
  return window_ != nullptr ? window_->find_named_menu(name) : nullptr;
}

void test_app_t::populate_popup(popup_menu_ctx_t *popup, const void *, int)
{
  QWidget *owner = popup->owner;
  if ( owner == nullptr )
    return;
  ui_action_context_provider_t *provider = get_action_context_provider();
  const action_ctx_ptr<ui_action_activation_ctx_t> context(provider->new_activation_context());
  provider->fill_activation_context(context.get());
  const ui_callback_t dispatch = ui_callback;
  if ( dispatch != nullptr )
    (void)dispatch(UI_CODE_POPULATE_POPUP, owner, popup, context.get());
  popup->attach_permanent_actions();
  if ( dispatch != nullptr )
    (void)dispatch(UI_CODE_POPUP_POPULATED, owner, popup, context.get());
}

bool test_app_t::swap_event_processing_state(bool state)
{
  swaps_.push_back(state);
  return false;
}

int test_app_t::widget_kind_of(QWidget *widget)
{
  const QVariant kind = widget != nullptr ? widget->property("widget_kind") : QVariant();
  return kind.isValid() ? kind.toInt() : -1;
}

int test_app_t::write_log_message(msg_data_t &msg, uint32_t flags)
{
  if ( on_log_message )
    return on_log_message(msg, flags);
  if ( log_window != nullptr )
    log_window->append_message(msg, flags);
  return int(msg.text.size());
}

bool test_app_t::get_default_dir(qstring *out, int kind)
{
  const auto found = default_dirs.find(kind);
  if ( found == default_dirs.end() )
    return false;
  *out = found->second.c_str();
  return true;
}

void test_app_t::set_default_dir(int kind, const char *folder)
{
  if ( folder == nullptr || *folder == '\0' )
    default_dirs.erase(kind);
  else
    default_dirs[kind] = folder;
}

void test_app_t::before_request_batch(bool flag)
{
  if ( before_batch )
    before_batch();
  app_t::before_request_batch(flag);
}

bool test_app_t::intercept_request(exec_request_t *request)
{
  return intercept ? intercept(request) : app_t::intercept_request(request);
}

bool test_app_t::may_run_request(exec_request_t *request, bool nested)
{
  return may_run ? may_run(request, nested) : app_t::may_run_request(request, nested);
}

void test_app_t::reset_test_state()
{
  before_batch = nullptr;
  intercept = nullptr;
  may_run = nullptr;
  faults_.clear();
  swaps_.clear();
}

size_t test_app_t::cancel_queued(const std::function<bool(exec_request_t *)> &which)
{
  critical_section_guard_t guard(request_queue_lock);
  size_t cancelled = 0;
  for ( size_t i = 0; i < request_queue.size(); )
  {
    exec_request_t *request = request_queue[i].request;
    if ( request != nullptr && which(request) )
    {
      remove_queued_request(i, true);
      ++cancelled;
    }
    else
    {
      ++i;
    }
  }
  return cancelled;
}

size_t test_app_t::queued_entries()
{
  critical_section_guard_t guard(request_queue_lock);
  return request_queue.size();
}

void test_app_t::set_last_request_id(int32_t id)
{
  critical_section_guard_t guard(request_queue_lock);
  last_request_id = id;
}

test_app_t &test_app()
{
  return *static_cast<test_app_t *>(current_app());
}
