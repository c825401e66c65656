// Message boxes: the request that any thread runs on the GUI thread, the box it shows, and the core's road to it.
#include "ui/message_box.h"

#include "core/printf_format.h"
#include "core/ui_callback.h"
#include "ui/app_base.h"
#include "ui/dialog_base.h"
#include "ui/layout_helpers.h"
#include "ui/request_queue.h"
#include "ui/widget_factory.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

constexpr int SCREEN_MARGIN = 200; // a text is left unwrapped only when the box stays this much narrower than the screen

struct icon_info_t
{
  const char *log_name;
  const char *object_name;
  QMessageBox::Icon icon;
};

// By icon number; a number outside the table shows no icon.
constexpr icon_info_t icon_table[] = {
  {"None", nullptr, QMessageBox::NoIcon},
  {"Info", "MsgBoxInformation", QMessageBox::Information},
  {"Question", "MsgBoxQuestion", QMessageBox::Question},
  {"Warning", "MsgBoxWarning", QMessageBox::Warning},
  {"Error", "MsgBoxCritical", QMessageBox::Critical},
};

const icon_info_t &icon_info(int32_t icon)
{
  return icon >= 0 && size_t(icon) < std::size(icon_table) ? icon_table[icon] : icon_table[MBOX_ICON_NONE];
}

std::optional<std::string> label_or_none(const char *label)
{
  if ( label == nullptr )
    return std::nullopt;
  return std::string(label);
}

// The text formatted into message_box_text_max bytes; a character that would not fit whole goes.
std::string format_message_text(const char *format, va_list va)
{
  // One byte beyond the buffer tells whether the text was cut.
  std::string text(message_box_text_max + 1, '\0');
  va_list_copy_t copy(va);
  const int written = buf_vprintf(text.data(), ptrdiff_t(text.size()), format, copy.list);
  text.resize(size_t(std::max(written, 0)));
  text.resize(utf8_cut_length(text.c_str(), text.size(), message_box_text_max - 1));
  return text;
}

// The captions the buttons get (step one of a run): null stays out, empty becomes the standard caption.
struct captions_t
{
  std::optional<std::string> yes;
  std::optional<std::string> no;
  std::optional<std::string> cancel;
};

captions_t standard_captions(const message_box_request_t &request)
{
  captions_t captions {request.yes_label, request.no_label, request.cancel_label};
  if ( captions.yes && captions.yes->empty() )
    *captions.yes = captions.no ? "~Y~es" : "OK";
  if ( captions.no && captions.no->empty() )
    *captions.no = "~N~o";
  if ( captions.cancel && captions.cancel->empty() )
    *captions.cancel = "~C~ancel";
  return captions;
}

// The caption an answer is logged with.
std::string caption_of_answer(const captions_t &captions, int32_t answer)
{
  switch ( answer )
  {
    case MBOX_ANSWER_CANCEL: return captions.cancel.value_or("Cancel");
    case MBOX_ANSWER_NO: return captions.no.value_or("No");
    case MBOX_ANSWER_YES: return captions.yes.value_or("Yes");
    default: return "?";
  }
}

// Shows the box and answers what the user clicked. The box dies with the run (or earlier, with its parent).
int32_t exec_box(app_t *app, const message_box_header_t &header, const char *body, const captions_t &captions,
                 int32_t default_answer, bool *ticked)
{
  QPointer<message_box_t> box = new message_box_t(app, header, QString::fromUtf8(body));
  const auto add = [&](const std::optional<std::string> &caption, QMessageBox::ButtonRole role) {
    return caption ? box->addButton(message_box_caption(*caption), role) : nullptr;
  };
  QPushButton *yes = add(captions.yes, QMessageBox::YesRole);
  QPushButton *no = add(captions.no, QMessageBox::NoRole);
  QPushButton *cancel = add(header.hide_cancel ? std::nullopt : captions.cancel, QMessageBox::RejectRole);
  if ( header.help_id != 0 )
  {
    QPushButton *help = box->addButton(QMessageBox::Help);
    if ( app != nullptr )
      help->setShortcut(app->help_key_sequence());
    QObject::connect(help, &QPushButton::clicked, box.data(), &message_box_t::on_help_requested);
  }
  box->setEscapeButton(cancel != nullptr ? cancel : no != nullptr ? no : yes);
  if ( header.hide_cancel && default_answer == MBOX_ANSWER_CANCEL )
    default_answer = MBOX_ANSWER_NO;
  QPushButton *preferred = default_answer == MBOX_ANSWER_CANCEL ? cancel
                           : default_answer == MBOX_ANSWER_NO   ? no
                           : default_answer == MBOX_ANSWER_YES  ? yes
                                                                : nullptr;
  if ( preferred != nullptr )
  {
    box->setDefaultButton(preferred);
    preferred->setFocus(Qt::OtherFocusReason);
  }

  ui_widget_factory_t *factory = app != nullptr ? app->get_widget_factory() : nullptr;
  ui_dialog_exec_ctl_t *control = factory != nullptr ? factory->new_dialog_exec_ctl(0) : nullptr;
  box->exec();
  if ( factory != nullptr )
    factory->delete_owned_object(control);
  if ( box == nullptr )
    return MBOX_ANSWER_CANCEL; // its parent took it along

  const QAbstractButton *clicked = box->clickedButton();
  const int32_t answer = clicked == nullptr ? MBOX_ANSWER_CANCEL
                         : clicked == yes   ? MBOX_ANSWER_YES
                         : clicked == no    ? MBOX_ANSWER_NO
                                            : MBOX_ANSWER_CANCEL;
  *ticked = box->hide_check_box() != nullptr && box->hide_check_box()->isChecked();
  delete box;
  return answer;
}

} // namespace

// ---- message_box_request_t -----------------------------------------------------------------------------

message_box_request_t::message_box_request_t(const char *title_text, int32_t icon_number, int32_t scope,
                                             const char *yes, const char *no, const char *cancel,
                                             int32_t default_choice, const char *format, va_list va)
  : title(title_text != nullptr ? title_text : ""),
    icon(icon_number),
    autohide(scope),
    yes_label(label_or_none(yes)),
    no_label(label_or_none(no)),
    cancel_label(label_or_none(cancel)),
    default_answer(default_choice)
{
  if ( format == nullptr )
    format = "";
  if ( strcmp(format, "%s") == 0 )
  {
    va_list_copy_t copy(va);
    const char *argument = va_arg(copy.list, const char *);
    header_source_ = argument != nullptr ? argument : "";
  }
  else
  {
    header_source_ = format;
  }
  text_ = format_message_text(format, va);
}

message_box_request_t::~message_box_request_t() = default;

int32_t message_box_request_t::run()
{
  return run_for(current_app());
}

int32_t message_box_request_t::run_for(app_t *app)
{
  const captions_t captions = standard_captions(*this);

  // The header and the key come from the unformatted text: one format shares one remembered answer.
  message_box_header_t header;
  header.title = title.c_str();
  header.icon = icon;
  header.autohide = autohide;
  const size_t source_body = parse_message_box_header(&header, header_source_.c_str());
  set_message_box_key(&header, header_source_.c_str() + source_body);

  std::string text = text_;
  if ( const int32_t id = extract_help_marker(text.data()); id != 0 )
    header.help_id = id;
  text.resize(strlen(text.c_str()));
  std::replace(text.begin(), text.end(), '\x03', ' ');
  const char *body = text.c_str() + skip_message_box_header(text.c_str());

  if ( app == nullptr )
  {
    (void)log_printf("[%s] %s -> Cancel\n", icon_info(header.icon).log_name, body);
    return MBOX_ANSWER_CANCEL;
  }

  int32_t stored = MBOX_ANSWER_CANCEL;
  // Only a yes or a no is ever stored; anything else in the registry was not written by a box.
  const bool remembered = app->get_hidden_answer(&stored, header) &&
                          (stored == MBOX_ANSWER_YES || stored == MBOX_ANSWER_NO);
  if ( remembered )
    (void)log_printf("[autohidden] ");
  if ( remembered || !app->message_boxes_enabled() )
  {
    const int32_t answer = remembered ? stored : default_answer;
    std::string caption = caption_of_answer(captions, answer);
    if ( remembered )
      caption.erase(std::remove(caption.begin(), caption.end(), '~'), caption.end());
    (void)log_printf("%s -> %s\n", body, caption.c_str());
    return answer;
  }

  bool ticked = false;
  const int32_t answer = exec_box(app, header, body, captions, default_answer, &ticked);
  if ( ticked && answer != MBOX_ANSWER_CANCEL )
    (void)app->set_hidden_answer(header, answer);
  return answer;
}

// ---- message_box_t -------------------------------------------------------------------------------------

message_box_t::message_box_t(app_t *app, const message_box_header_t &header, const QString &body)
  : QMessageBox(app != nullptr ? app->active_window() : nullptr), app_(app), help_id_(header.help_id)
{
  if ( app_ != nullptr )
    setWindowIcon(app_->app_icon(0));
  setWindowTitle(QString::fromUtf8(header.title.c_str()));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  const icon_info_t &info = icon_info(header.icon);
  setIcon(info.icon);
  if ( info.object_name != nullptr )
    setObjectName(QLatin1String(info.object_name));
  setTextFormat(header.rich_text ? Qt::RichText : Qt::PlainText);
  setText(body);
  if ( header.autohide != MBOX_AUTOHIDE_NONE )
  {
    QString caption = tr("&Don't display this message again");
    if ( header.autohide == MBOX_AUTOHIDE_DATABASE )
      caption += tr(" (for this database only)");
    else if ( header.autohide == MBOX_AUTOHIDE_SESSION )
      caption += tr(" (for this session only)");
    auto *check = new QCheckBox(caption, this);
    check->setChecked(header.ticked);
    setCheckBox(check);
  }
  // Told before the box reacts to a click, which it does at once: the refusal ends with that click's handling.
  connect(this, &QMessageBox::buttonClicked, this, [this](QAbstractButton *button) {
    if ( buttonRole(button) != HelpRole )
      return;
    help_clicked_ = true;
    QTimer::singleShot(0, this, [this] { help_clicked_ = false; });
  });
}

message_box_t::~message_box_t() = default;

QCheckBox *message_box_t::hide_check_box() const
{
  return checkBox();
}

void message_box_t::done(int result)
{
  if ( help_clicked_ )
    return;
  QMessageBox::done(result);
}

void message_box_t::setVisible(bool visible)
{
  // Qt hides a box on any button's click, Help included, and not always through done.
  if ( !visible && help_clicked_ )
    return;
  QMessageBox::setVisible(visible);
}

void message_box_t::on_help_requested()
{
  if ( app_ != nullptr && help_id_ != 0 )
    app_->show_help(help_id_);
}

bool message_box_t::event(QEvent *event)
{
  // Once the text is laid out unwrapped, Qt's own sizing (which wraps every text wider than half the
  // screen) must not undo it on a later layout request.
  if ( event->type() == QEvent::LayoutRequest && unwrapped_size_.isValid() )
  {
    setFixedSize(unwrapped_size_);
    return QDialog::event(event);
  }
  const bool result = QMessageBox::event(event);
  if ( !laid_out_ && isVisible() && (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Show) )
  {
    laid_out_ = true;
    fit_without_word_wrap();
  }
  return result;
}

void message_box_t::fit_without_word_wrap()
{
  auto *label = findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
  QLayout *box_layout = layout();
  if ( label == nullptr || box_layout == nullptr )
    return;
  label->setWordWrap(false);
  box_layout->invalidate();
  box_layout->activate();
  const QSize minimum = box_layout->totalMinimumSize();
  const QScreen *screen = this->screen();
  const int available = screen != nullptr ? screen->availableGeometry().width() : 0;
  if ( minimum.width() >= available - SCREEN_MARGIN )
  {
    label->setWordWrap(true);
    return;
  }
  unwrapped_size_ = minimum;
  setFixedSize(minimum);
  if ( parentWidget() != nullptr )
    center_over_widget(this, parentWidget());
  else
    center_on_screen(this);
  QCoreApplication::removePostedEvents(this, QEvent::LayoutRequest);
}

void message_box_t::keyPressEvent(QKeyEvent *event)
{
  if ( const QCheckBox *check = checkBox(); check != nullptr && event->modifiers() == Qt::NoModifier )
  {
    const QKeySequence mnemonic = QKeySequence::mnemonic(check->text());
    if ( !mnemonic.isEmpty() && int(mnemonic[0] & ~Qt::KeyboardModifierMask) == event->key() )
    {
      checkBox()->animateClick(100);
      event->accept();
      return;
    }
  }
  QMessageBox::keyPressEvent(event);
}

// ---- Captions and the core's messages ------------------------------------------------------------------

QString message_box_caption(const std::string &label)
{
  std::string qt;
  qt.reserve(label.size() + 2);
  const auto append = [&qt](std::string_view text) {
    for ( const char c : text )
      qt.append(c == '&' ? 2 : 1, c);
  };
  for ( size_t i = 0; i < label.size(); ++i )
  {
    const size_t close = label[i] == '~' ? label.find('~', i + 1) : std::string::npos;
    if ( close != std::string::npos && close > i + 1 )
    {
      qt += '&';
      append(std::string_view(label).substr(i + 1, close - i - 1));
      i = close;
    }
    else
    {
      append(std::string_view(label).substr(i, 1));
    }
  }
  return QString::fromUtf8(qt.c_str());
}

bool dispatch_message_box_message(int32_t kind, const char *format, va_list va)
{
  const char *title = nullptr;
  int32_t icon = MBOX_ICON_NONE;
  switch ( kind )
  {
    case msg_kind_error:
    case msg_kind_fatal:
      title = "Error";
      icon = MBOX_ICON_ERROR;
      break;
    case msg_kind_info:
      title = "Information";
      icon = MBOX_ICON_INFO;
      break;
    case msg_kind_warning:
      title = "Warning";
      icon = MBOX_ICON_WARNING;
      break;
    default:
      return false;
  }
  message_box_request_t request(title, icon, MBOX_AUTOHIDE_NONE, "", nullptr, nullptr, MBOX_ANSWER_YES, format, va);
  (void)execute_request(&request, exec_flag_marked);
  return true;
}
