// Dialog base: remembered geometry, modal-run time, imported actions, focus restore after a modal run.
#include "ui/dialog_base.h"

#include "core/internal_error.h"
#include "ui/app_base.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"

#include <QAction>
#include <QApplication>
#include <QByteArray>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace {

// The remembered dialog geometries, by exact key; entries are never removed and never saved.
struct dialog_geometry_t
{
  std::string key;
  QByteArray geometry;
};
std::vector<dialog_geometry_t> dialog_geometries;

dialog_geometry_t *find_geometry(const std::string &key)
{
  for ( dialog_geometry_t &entry : dialog_geometries )
    if ( entry.key == key )
      return &entry;
  return nullptr;
}

constexpr int32_t EXEC_CTL_REMEMBER_FOCUS = 1;
constexpr int32_t INTERR_REFOCUS_DESTROYED = 40345;

} // namespace

int64_t monotonic_ns()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
    .count();
}

// ---- ui_dialog_t ---------------------------------------------------------------------------------------

ui_dialog_t::ui_dialog_t(QWidget *parent, Qt::WindowFlags flags)
  : QDialog(parent != nullptr && parent->isVisible() ? parent : nullptr, flags)
{
}

ui_dialog_t::~ui_dialog_t() = default;

bool ui_dialog_t::accepts_imported_action(ui_action_t * /*action*/) const
{
  return false;
}

void ui_dialog_t::geometry_key(qstring *out) const
{
  const QByteArray title = windowTitle().toUtf8();
  out->append(title.constData(), size_t(title.size()));
}

int ui_dialog_t::exec()
{
  qstring key_text;
  geometry_key(&key_text);
  app_t *app = current_app();
  if ( key_text.empty() || app == nullptr || !app->keeps_dialog_geometry(this) )
  {
    exec_start_time_ = monotonic_ns();
    return QDialog::exec();
  }
  const std::string key(key_text.c_str(), key_text.size());
  if ( const dialog_geometry_t *stored = find_geometry(key) )
    restoreGeometry(stored->geometry);
  exec_start_time_ = monotonic_ns();
  const int result = QDialog::exec();
  // Looked up again: a dialog run inside this one may have grown the list.
  if ( dialog_geometry_t *stored = find_geometry(key) )
    stored->geometry = saveGeometry();
  else
    dialog_geometries.push_back({key, saveGeometry()});
  return result;
}

void ui_dialog_t::import_actions() const
{
  class my_visitor_t : public action_visitor_t
  {
  public:
    my_visitor_t(const ui_dialog_t *dialog, QWidget *window) : dialog_(dialog), window_(window) {}
    int visit(ui_action_t *action) override
    {
      if ( action->qaction() != nullptr && dialog_->accepts_imported_action(action) )
        window_->addAction(action->qaction());
      return 0;
    }

  private:
    const ui_dialog_t *dialog_;
    QWidget *window_;
  };
  my_visitor_t visitor(this, window());
  (void)visit_ui_actions(&visitor);
}

// ---- ui_dialog_exec_ctl_t ------------------------------------------------------------------------------

ui_dialog_exec_ctl_t::ui_dialog_exec_ctl_t(int32_t flags) : flags_(flags)
{
  if ( (flags_ & EXEC_CTL_REMEMBER_FOCUS) == 0 )
    return;
  QWidget *focus = QApplication::focusWidget();
  if ( focus == nullptr )
    if ( app_t *app = current_app() )
      focus = app->focused_core_widget();
  focus_.watch_object(focus);
}

ui_dialog_exec_ctl_t::~ui_dialog_exec_ctl_t()
{
  QWidget *widget = focus_.watched_as<QWidget>();
  if ( widget == nullptr )
    return;
  widget->setFocus(Qt::OtherFocusReason);
  if ( focus_.was_destroyed() )
    interr(INTERR_REFOCUS_DESTROYED);
  widget->activateWindow();
}

ui_dialog_exec_ctl_t *ui_widget_factory_t::new_dialog_exec_ctl(int32_t flags)
{
  return new ui_dialog_exec_ctl_t(flags);
}

// ---- ui_label_t ----------------------------------------------------------------------------------------

ui_label_t::ui_label_t(QWidget *parent) : QLabel(parent)
{
  setTextFormat(Qt::PlainText);
}

ui_label_t::ui_label_t(const QString &text, QWidget *parent) : QLabel(parent)
{
  setTextFormat(Qt::PlainText);
  setText(text);
}
