// The wait box: its requests, its stack of nested texts, its delayed showing and the throttled poll.
#include "ui/wait_box.h"

#include "core/error_state.h"
#include "core/printf_format.h"
#include "core/threads.h"
#include "ui/app_base.h"
#include "ui/layout_helpers.h"
#include "ui/message_box_header.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr int SHOW_DELAY_MS = 500;

// The shown requests; the last one is on screen. GUI thread only.
std::vector<wait_box_entry_t> wait_box_stack;

bool take_prefix(std::string_view &text, std::string_view prefix)
{
  if ( text.substr(0, prefix.size()) != prefix )
    return false;
  text.remove_prefix(prefix.size());
  return true;
}

std::string format_text(const char *format, va_list va)
{
  va_list measure;
  va_copy(measure, va);
  const int length = buf_vprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string text(size_t(std::max(length, 0)) + 1, '\0');
  va_list copy;
  va_copy(copy, va);
  const int written = buf_vprintf(text.data(), ptrdiff_t(text.size()), format, copy);
  va_end(copy);
  text.resize(size_t(std::max(written, 0)));
  return text;
}

WaitDialog *dialog_of(app_t *app)
{
  return app != nullptr ? app->wait_dialog() : nullptr;
}

void show_top_entry(app_t *app)
{
  if ( WaitDialog *dialog = dialog_of(app); dialog != nullptr && !wait_box_stack.empty() )
    dialog->show_entry(wait_box_stack.back());
}

void set_cancel_mark(bool cancelled)
{
  if ( WaitDialog *dialog = dialog_of(current_app()) )
    dialog->set_cancelled(cancelled);
}

struct show_request_t : exec_request_t
{
  show_request_t(const char *format, va_list va, bool is_new) : entry(make_wait_box_entry(format_text(format, va), !is_new)) {}

  int32_t run() override
  {
    app_t *app = current_app();
    QTimer *timer = app->wait_box_timer();
    WaitDialog *dialog = dialog_of(app);
    if ( !entry.replace )
      set_cancel_mark(false);
    else if ( !timer->isActive() && (dialog == nullptr || !dialog->isVisible()) )
      return 0;

    if ( entry.replace && !wait_box_stack.empty() )
      wait_box_stack.back() = entry;
    else
      wait_box_stack.push_back(entry);
    if ( !timer->isActive() )
    {
      if ( !entry.replace && entry.delay )
      {
        app->wait_box_request_time = monotonic_ns();
        timer->start(SHOW_DELAY_MS);
      }
      else
      {
        show_top_entry(app);
      }
    }
    else if ( entry.replace )
    {
      app->process_events(20, true);
    }
    return 1;
  }

  wait_box_entry_t entry;
};

struct hide_request_t : exec_request_t
{
  int32_t run() override
  {
    const int32_t saved = qerrno_get();
    app_t *app = current_app();
    if ( !wait_box_stack.empty() )
      wait_box_stack.pop_back();
    if ( !wait_box_stack.empty() )
    {
      show_top_entry(app);
    }
    else
    {
      app->wait_box_timer()->stop();
      if ( WaitDialog *dialog = dialog_of(app) )
        dialog->do_accept();
    }
    set_cancel_mark(false);
    qerrno_set(saved);
    return 0;
  }
};

struct isvis_request_t : exec_request_t
{
  int32_t run() override
  {
    const WaitDialog *dialog = dialog_of(current_app());
    return dialog != nullptr && dialog->isVisible() ? 1 : 0;
  }
};

struct setbrk_request_t : exec_request_t
{
  explicit setbrk_request_t(bool set) : cancelled(set) {}
  int32_t run() override
  {
    set_cancel_mark(cancelled);
    return 0;
  }
  bool cancelled;
};

struct wasbrk_request_t : exec_request_t
{
  int32_t run() override
  {
    // Throttles the event processing of polls made in tight loops; GUI thread only.
    static QElapsedTimer clock;
    app_t *app = current_app();
    WaitDialog *dialog = dialog_of(app);
    const auto visible = [dialog] { return dialog != nullptr && dialog->isVisible(); };
    if ( !clock.isValid() )
    {
      clock.start();
    }
    else
    {
      const qint64 elapsed = clock.elapsed();
      const bool pending = app->wait_box_timer()->isActive();
      if ( visible() && elapsed >= 200 )
      {
        dialog->repaint();
        app->process_events(100, false); // with user input: Cancel can be clicked
        clock.restart();
      }
      else if ( !visible() && pending && elapsed >= 50 )
      {
        app->process_events(100, true);
        clock.restart();
      }
      else if ( !visible() && !pending && elapsed >= 1000 )
      {
        app->process_events(200, true);
        clock.restart();
      }
    }
    return visible() && dialog->cancelled() ? 1 : 0;
  }
};

} // namespace

wait_box_entry_t make_wait_box_entry(std::string text, bool replace)
{
  wait_box_entry_t entry;
  entry.replace = replace;
  // The wait box shows no help: the marker line only goes.
  (void)extract_help_marker(text.data());
  text.resize(std::char_traits<char>::length(text.c_str()));
  text.erase(std::remove(text.begin(), text.end(), '\x03'), text.end());
  std::string_view rest(text);
  for ( ;; )
  {
    if ( take_prefix(rest, "HIDECANCEL\n") )
      entry.show_cancel = false;
    else if ( take_prefix(rest, "NODELAY\n") )
      entry.delay = false;
    else
      break;
  }
  if ( take_prefix(rest, "CANCEL ") )
  {
    const size_t newline = std::min(rest.find('\n'), rest.size());
    entry.cancel_label.assign(rest.substr(0, newline));
    rest.remove_prefix(newline);
  }
  entry.text.assign(rest);
  return entry;
}

// ---- WaitDialog ------------------------------------------------------------------------------------------

WaitDialog::WaitDialog(app_t *app) : app_(app)
{
  const QString please_wait = tr("Please wait...");
  setWindowTitle(please_wait);
  setMinimumWidth(QFontMetrics(font()).horizontalAdvance(please_wait) + 80);
  label_ = new ui_label_t(please_wait, this);
  button_ = new QPushButton(tr("Cancel"), this);
  button_->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(label_, 0, Qt::AlignCenter);
  layout->addWidget(button_, 0, Qt::AlignCenter);
  layout->setSpacing(20);
  layout->setContentsMargins(40, 15, 40, 15);
  connect(button_, &QPushButton::clicked, this, &WaitDialog::do_cancel);
}

WaitDialog::~WaitDialog() = default;

void WaitDialog::set_cancelled(bool cancelled)
{
  cancelled_ = cancelled;
  button_->setEnabled(!cancelled);
}

void WaitDialog::do_cancel()
{
  set_cancelled(true);
}

void WaitDialog::do_accept()
{
  accept();
}

void WaitDialog::keyPressEvent(QKeyEvent *event)
{
  if ( event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier )
  {
    _base_app_mixin_t::cancel_long_op();
    event->accept();
    return;
  }
  ui_dialog_t::keyPressEvent(event);
}

void WaitDialog::closeEvent(QCloseEvent *event)
{
  event->ignore();
}

void WaitDialog::show_entry(const wait_box_entry_t &entry)
{
  const bool button_was_visible = button_->isVisibleTo(this);
  if ( entry.show_cancel )
    button_->setText(QString::fromStdString(entry.cancel_label));
  button_->setVisible(entry.show_cancel);

  const QString text = QString::fromStdString(entry.text);
  const QFontMetrics metrics(font());
  int width = 10;
  for ( const QString &line : text.split('\n') )
    width = std::max(width, metrics.horizontalAdvance(line));
  const int digit = std::max(metrics.horizontalAdvance(QLatin1Char('0')), 1);
  if ( width % digit != 0 )
    width += digit - width % digit;
  label_->setText(text);
  resize(width + 80, 80);

  if ( isVisible() )
  {
    if ( button_was_visible == entry.show_cancel )
    {
      label_->repaint();
      app_->process_events(20, true);
    }
    else
    {
      app_->process_events(50, true);
    }
    return;
  }
  center_over_widget(this, app_->active_window());
  setWindowModality(Qt::ApplicationModal);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  show();
  activateWindow();
  setFocus(Qt::OtherFocusReason);
  app_->process_events(50, true);
}

// ---- The application's operations ----------------------------------------------------------------------

void app_t::create_app_wait_dialog()
{
  if ( wait_dialog_ == nullptr )
    wait_dialog_ = std::make_unique<WaitDialog>(this);
}

void app_t::delete_wait_dialog()
{
  wait_dialog_.reset();
}

void app_t::on_timeout_show_wait_dialog()
{
  QWidget *modal = QApplication::activeModalWidget();
  if ( modal != nullptr && modal != wait_dialog_.get() )
  {
    const auto *dialog = qobject_cast<ui_dialog_t *>(modal);
    if ( dialog == nullptr || dialog->exec_start_time() > wait_box_request_time )
    {
      wait_box_timer()->start(SHOW_DELAY_MS);
      return;
    }
  }
  show_top_entry(this);
}

bool _base_app_mixin_t::push_wait_dialog_request(const char *format, va_list va, bool is_new)
{
  show_request_t request(format, va, is_new);
  return execute_request(&request, 0) > 0;
}

void _base_app_mixin_t::hide_wait_dialog()
{
  // Queueing may touch this thread's error code too.
  const int32_t saved = qerrno_get();
  hide_request_t request;
  (void)execute_request(&request, 0);
  qerrno_set(saved);
}

bool _base_app_mixin_t::is_wait_dialog_visible()
{
  isvis_request_t request;
  return execute_request(&request, 0) > 0;
}

void _base_app_mixin_t::cancel_long_op()
{
  setbrk_request_t request(true);
  (void)execute_request(&request, 0);
}

void _base_app_mixin_t::clear_long_op_cancellation()
{
  setbrk_request_t request(false);
  (void)execute_request(&request, 0);
}

bool _base_app_mixin_t::is_long_op_cancelled()
{
  // The paint mark belongs to the GUI thread; another thread's poll waits for the paint to end anyway.
  if ( const app_t *app = current_app(); app != nullptr && on_main_thread() && app->in_paint_event() )
    return false;
  wasbrk_request_t request;
  return execute_request(&request, 0) != 0;
}

bool dispatch_wait_box_message(int32_t kind, const char *format, va_list va)
{
  app_t *app = current_app();
  switch ( kind )
  {
    case msg_kind_wait_show:
    case msg_kind_wait_text:
      if ( app != nullptr )
        (void)app->push_wait_dialog_request(format, va, kind == msg_kind_wait_show);
      return true;
    case msg_kind_wait_hide:
      if ( app != nullptr )
        app->hide_wait_dialog();
      return true;
    default:
      return false;
  }
}
