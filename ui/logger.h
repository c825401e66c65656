// The logger: every log message of the process goes to the optional log file and, through the GUI thread, to the
// application's display of it (the Output window).
#pragma once

#include "core/process_exit.h"
#include "core/threads.h"
#include "ui/msg_outstream.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <memory>
#include <mutex>

// Internal errors of the logger.
constexpr int INTERR_LOG_WITHOUT_LOGGER = 2534;
constexpr int INTERR_SECOND_LOGGER = 2551;
constexpr int INTERR_UNREGISTERED_LOGGER = 2552;

// The interface of a logger.
class logger_t
{
public:
  virtual ~logger_t() = default;
  [[nodiscard]] virtual bool get_show_timestamps() = 0;
  virtual void set_show_timestamps(bool show) = 0;
  // Stamps the message with the current time when it has none and builds its 24-character prefix when it has
  // none, then answers do_vlog with LOG_FLAG_TIMESTAMPS while timestamps are shown.
  virtual int log(msg_data_t &msg);
  // Writes and delivers the message (the message may be moved from); answers the number of text bytes handled.
  virtual int do_vlog(msg_data_t &msg, uint32_t flags) = 0;
};

// The "YYYY-MM-DD HH:MM:SS.mmm " prefix of a packed time, in local time.
qstring log_time_prefix(packed_time_t time);

// The framework's logger: owns the log file, the lock and the delivery to the GUI thread. Exactly one exists
// per process; constructing it registers it (internal error 2551 when one is registered), destroying it
// unregisters it (internal error 2552 when another is registered).
// Promises: any thread may log. The log file receives every message whole, in the order the writes take its
// lock, each thread's messages in its own order. A thread other than the GUI thread hands its message over
// without waiting; the GUI thread delivers its own at once. A message that arrives while a delivery runs is
// held and reaches the window glued in front of the next message, or, when none comes, right after the running
// delivery ends; whatever is still held when the logger is destroyed is delivered then. Messages that other
// threads hand over while the GUI thread has not yet taken the earlier ones join them, so a burst costs the GUI
// thread one delivery.
class app_logger_t : public logger_t
{
public:
  app_logger_t();
  ~app_logger_t() override;
  app_logger_t(const app_logger_t &) = delete;
  app_logger_t &operator=(const app_logger_t &) = delete;

  int do_vlog(msg_data_t &msg, uint32_t flags) override;
  // Where the log file is (empty: none) and whether only the file gets messages; asked once, at the first
  // message.
  virtual void log_destination(qstring &path, bool &silent) = 0;

private:
  friend struct handover_request_t;

  void set_up();
  // Runs the delivery of a message with busy_ set; clears it afterwards (also when the delivery throws).
  int run_delivery(msg_data_t &msg, uint32_t flags);
  // Under lock_: adds the message to the held text, or puts the held text in front of it.
  void hold(const msg_data_t &msg, uint32_t flags);
  void take_held_into(msg_data_t &msg);
  // The held text of that hand-over, delivered on the GUI thread unless a later message took it first.
  void deliver_held(uint64_t generation);
  // The text other threads handed over for that hand-over request, displayed on the GUI thread.
  void deliver_outbox(uint64_t generation);
  // Takes the handed-over text out (under lock_); false when there is none or the generation (0: any) is not
  // the current hand-over's.
  bool take_outbox(msg_data_t *msg, uint32_t *flags, uint64_t generation);
  // Takes the held text out for a delivery and sets busy_ (under lock_); false when there is none, a delivery
  // runs, or the generation (0: any) is not the current hand-over's.
  bool take_held(msg_data_t *msg, uint32_t *flags, uint64_t generation);

  std::once_flag set_up_once_;
  // Guarded by lock_: the log file; the text held back while a delivery runs, with the prefix and flags of its
  // first message; whether a delivery runs on the GUI thread; and which hand-over may deliver the held text
  // (0: none).
  file_outstream_t file_;
  qstring pending_;
  qstring pending_prefix_;
  uint32_t pending_flags_ = 0;
  bool busy_ = false;
  uint64_t held_generation_ = 0;
  // Guarded by lock_: the text other threads handed over that the GUI thread has not taken yet, with the prefix
  // and flags of its first message; the hand-over request that will take it (0: none) and whether that request
  // was destroyed unrun (the queue may drop it), so that the next message queues a new one.
  qstring outbox_;
  qstring outbox_prefix_;
  uint32_t outbox_flags_ = 0;
  uint64_t outbox_generation_ = 0;
  std::shared_ptr<std::atomic<bool>> outbox_gone_;
  critical_section_t *lock_ = nullptr; // owned; made with the first message
  bool silent_ = false; // set once, at the first message: log to the file only
};

// The registered logger, null when none.
[[nodiscard]] app_logger_t *app_logger();

// The handler of the UI callback's log request: formats the text, removes a help-marker line, and logs it with
// the registered logger (internal error 2534 without one). An empty text answers 0.
int logger_print_va(const char *format, va_list va);

// Carries one message of the GUI thread to the application's display.
struct msg_request_t final : exec_request_t
{
  msg_request_t(msg_data_t &&message, uint32_t message_flags) : msg(std::move(message)), flags(message_flags) {}
  // The application's write_log_message of the message (0 without an application).
  int32_t run() override;

  msg_data_t msg;
  uint32_t flags;
};
