// The logger: the log file, the hand-over of messages to the GUI thread, and the UI callback's log request.
#include "ui/logger.h"

#include "core/internal_error.h"
#include "core/qstring.h"
#include "ui/app_base.h"
#include "ui/message_box_header.h"
#include "ui/request_queue.h"

#include <QCoreApplication>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<app_logger_t *> registered_logger {nullptr};

// Hand-overs (of held text and of other threads' text) are numbered process-wide, so that a request left from a
// destroyed logger never matches a later one, even at the same address.
std::atomic<uint64_t> last_handover_generation {0};

} // namespace

// Wakes the GUI thread for text a logger keeps: the text held while a delivery ran (queued when that delivery
// ended, so it follows everything queued before it), or the text other threads handed over (later messages join
// it while this waits). It delivers the text of its own hand-over only. When the queue drops it unrun, its
// destructor raises the `gone` flag (when it has one), so that the next message queues a new one.
struct handover_request_t final : exec_request_t
{
  using deliver_fn = void (app_logger_t::*)(uint64_t generation);
  handover_request_t(app_logger_t *owner, uint64_t number, deliver_fn how,
                     std::shared_ptr<std::atomic<bool>> gone_flag = nullptr)
    : logger(owner), generation(number), deliver(how), gone(std::move(gone_flag))
  {
  }
  ~handover_request_t() override
  {
    if ( gone != nullptr )
      gone->store(true);
  }
  int32_t run() override
  {
    if ( app_logger() == logger )
      (logger->*deliver)(generation);
    delete this;
    return 0;
  }

  app_logger_t *logger; // not owned; checked against the registered logger before use
  uint64_t generation;
  deliver_fn deliver;
  std::shared_ptr<std::atomic<bool>> gone; // shared with the logger, which reads it under its lock
};

qstring log_time_prefix(packed_time_t time)
{
  char text[64];
  size_t n = format_packed_time(text, sizeof(text), "%Y-%m-%d %H:%M:%S.", time);
  if ( n == 0 || n + 5 > sizeof(text) )
    return qstring("0000-00-00 00:00:00.000 "); // an unconvertible time keeps the prefix width
  n += size_t(std::snprintf(text + n, sizeof(text) - n, "%03d ", int((time & 0xFFFFFFFF) / 1000)));
  return qstring(text, n);
}

int logger_t::log(msg_data_t &msg)
{
  if ( msg.time == 0 )
    msg.time = current_packed_time();
  if ( msg.prefix.empty() )
    msg.prefix = log_time_prefix(msg.time);
  return do_vlog(msg, get_show_timestamps() ? LOG_FLAG_TIMESTAMPS : 0);
}

app_logger_t::app_logger_t()
{
  app_logger_t *expected = nullptr;
  if ( !registered_logger.compare_exchange_strong(expected, this) )
    interr(INTERR_SECOND_LOGGER);
}

app_logger_t::~app_logger_t()
{
  // Nothing handed over or held is lost: what no hand-over delivered yet goes to the window now.
  msg_data_t held;
  uint32_t flags = 0;
  if ( lock_ != nullptr && take_outbox(&held, &flags, 0) )
  {
    app_t *app = current_app();
    if ( app != nullptr && on_main_thread() )
      (void)app->write_log_message(held, flags);
    else
      std::printf("%s", held.text.c_str());
  }
  while ( lock_ != nullptr && take_held(&held, &flags, 0) )
  {
    if ( QCoreApplication::instance() != nullptr && on_main_thread() )
    {
      (void)run_delivery(held, flags);
    }
    else
    {
      std::printf("%s", held.text.c_str());
      critical_section_guard_t guard(lock_);
      busy_ = false;
    }
  }
  registered_logger.store(nullptr);
  lock_destroy(lock_);
}

app_logger_t *app_logger()
{
  return registered_logger.load();
}

void app_logger_t::set_up()
{
  lock_ = lock_create();
  qstring path;
  bool silent = false;
  log_destination(path, silent);
  if ( !path.empty() )
    (void)file_.open_append(path.c_str());
  // Without a usable log file, silence would lose every message.
  silent_ = silent && file_.is_open();
}

int app_logger_t::do_vlog(msg_data_t &msg, uint32_t flags)
{
  std::call_once(set_up_once_, [this] { set_up(); });
  const int length = int(msg.text.size());
  // A thread never changes its identity; asking once per thread saves a system call per message.
  thread_local const bool gui_thread = on_main_thread();
  // One lock serialises the file writes and the hand-overs: the file gets the messages in the order they take
  // it, and the queue the order in which they are held or handed over.
  critical_section_guard_t guard(lock_);
  if ( file_.is_open() )
  {
    const int written = int(file_.write_message(msg, flags));
    if ( silent_ )
      return written;
  }
  if ( QCoreApplication::instance() == nullptr )
  {
    take_held_into(msg);
    std::printf("%s", msg.text.c_str());
    return 0;
  }
  // A message logged while a delivery runs (the window's display may process events) waits.
  if ( busy_ )
  {
    hold(msg, flags);
    return length;
  }
  take_held_into(msg);
  if ( gui_thread )
  {
    busy_ = true;
    guard.release();
    return run_delivery(msg, flags);
  }
  // Another thread hands the message over without waiting: it joins the text that waits for the GUI thread, or
  // starts it and queues the request that wakes the GUI thread.
  if ( outbox_generation_ != 0 )
  {
    outbox_.append(msg.text);
    if ( !outbox_gone_->load() )
      return length;
  }
  else
  {
    outbox_ = std::move(msg.text);
    outbox_prefix_ = msg.prefix;
    outbox_flags_ = flags;
  }
  outbox_generation_ = ++last_handover_generation;
  outbox_gone_ = std::make_shared<std::atomic<bool>>(false);
  if ( execute_request(new handover_request_t(this, outbox_generation_, &app_logger_t::deliver_outbox, outbox_gone_), exec_flag_no_wait) < 0 )
    outbox_gone_->store(true); // refused: the next message tries again
  return length;
}

int app_logger_t::run_delivery(msg_data_t &msg, uint32_t flags)
{
  const auto end_delivery = [this] {
    critical_section_guard_t guard(lock_);
    busy_ = false;
    if ( pending_.empty() )
      return;
    // Text held meanwhile follows everything queued so far, unless a later message takes it first.
    held_generation_ = ++last_handover_generation;
    (void)execute_request(new handover_request_t(this, held_generation_, &app_logger_t::deliver_held), exec_flag_no_wait);
  };
  int32_t result = 0;
  try
  {
    msg_request_t request(std::move(msg), flags);
    result = int32_t(execute_request(&request, 0));
  }
  catch ( ... )
  {
    end_delivery();
    throw;
  }
  end_delivery();
  return result;
}

void app_logger_t::hold(const msg_data_t &msg, uint32_t flags)
{
  if ( pending_.empty() )
  {
    pending_prefix_ = msg.prefix;
    pending_flags_ = flags;
  }
  pending_.append(msg.text);
}

void app_logger_t::take_held_into(msg_data_t &msg)
{
  if ( pending_.empty() )
    return;
  // Held messages reach the window in front of the next one, under its prefix.
  pending_.append(msg.text);
  msg.text = std::move(pending_);
  pending_ = qstring();
  held_generation_ = 0;
}

bool app_logger_t::take_held(msg_data_t *msg, uint32_t *flags, uint64_t generation)
{
  critical_section_guard_t guard(lock_);
  if ( pending_.empty() || busy_ || (generation != 0 && generation != held_generation_) )
    return false;
  msg->text = std::move(pending_);
  pending_ = qstring();
  msg->prefix = pending_prefix_;
  *flags = pending_flags_;
  held_generation_ = 0;
  busy_ = true;
  return true;
}

bool app_logger_t::take_outbox(msg_data_t *msg, uint32_t *flags, uint64_t generation)
{
  critical_section_guard_t guard(lock_);
  if ( outbox_generation_ == 0 || (generation != 0 && generation != outbox_generation_) )
    return false;
  msg->text = std::move(outbox_);
  outbox_ = qstring();
  msg->prefix = outbox_prefix_;
  *flags = outbox_flags_;
  outbox_generation_ = 0;
  return true;
}

void app_logger_t::deliver_outbox(uint64_t generation)
{
  msg_data_t msg;
  uint32_t flags = 0;
  if ( !take_outbox(&msg, &flags, generation) )
    return;
  if ( app_t *app = current_app(); app != nullptr )
    (void)app->write_log_message(msg, flags);
}

void app_logger_t::deliver_held(uint64_t generation)
{
  // Nothing when a later message took the text, or a newer hand-over will deliver it.
  msg_data_t held;
  uint32_t flags = 0;
  if ( take_held(&held, &flags, generation) )
    (void)run_delivery(held, flags);
}

int logger_print_va(const char *format, va_list va)
{
  app_logger_t *logger = app_logger();
  if ( logger == nullptr )
    interr(INTERR_LOG_WITHOUT_LOGGER);
  msg_data_t msg;
  {
    va_list copy;
    va_copy(copy, va);
    vformat_to_string(&msg.text, format, copy);
    va_end(copy);
  }
  (void)extract_help_marker_qstring(&msg.text);
  if ( msg.text.empty() )
    return 0;
  return logger->log(msg);
}

int32_t msg_request_t::run()
{
  app_t *app = current_app();
  return app != nullptr ? app->write_log_message(msg, flags) : 0;
}
