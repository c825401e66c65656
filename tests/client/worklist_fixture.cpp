// The worklist tests' fixture.
#include "tests/client/worklist_fixture.h"

#include "forms/form_widget.h"
#include "forms/inputs/input_requests.h"
#include "forms/text/text_area.h"
#include "repo/packets_worklists.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>

dialog_player_t::dialog_player_t(std::vector<step_t> steps) : steps_(std::move(steps))
{
  timer_.setInterval(5);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
    // Only forms count: the wait box of a long request comes and goes by itself.
    if ( dialog == nullptr || !dialog->isVisible() || !dialog->isActiveWindow() || dialog == last_
         || dialog->findChild<form_widget_t *>() == nullptr )
      return;
    last_ = dialog;
    if ( played_ < steps_.size() )
    {
      const step_t step = steps_[played_++];
      step(*dialog);
    }
    else
    {
      ++unexpected_;
      QTest::keyClick(dialog, Qt::Key_Escape);
    }
  });
  timer_.start();
}

dialog_player_t::~dialog_player_t()
{
  timer_.stop();
  EXPECT_EQ(unexpected_, 0) << "a dialog came that the test did not expect";
  EXPECT_EQ(played_, steps_.size()) << "a dialog the test expected did not come";
}

QAbstractButton *dialog_button(QDialog &dialog, const char *text)
{
  for ( QPushButton *button : dialog.findChildren<QPushButton *>() )
    if ( button->isVisible() && button->text().remove(QLatin1Char('&')) == QString::fromUtf8(text) )
      return button;
  return nullptr;
}

void click_button(QDialog &dialog, const char *text)
{
  QAbstractButton *button = dialog_button(dialog, text);
  ASSERT_NE(button, nullptr) << "no button " << text;
  QTest::mouseClick(button, Qt::LeftButton);
}

std::vector<text_area_t *> text_areas(QDialog &dialog)
{
  const QList<text_area_t *> found = dialog.findChildren<text_area_t *>();
  return {found.begin(), found.end()};
}

QCheckBox *check_box_of(QDialog &dialog, const char *text)
{
  for ( QCheckBox *box : dialog.findChildren<QCheckBox *>() )
    if ( box->text().remove(QLatin1Char('&')).contains(QString::fromUtf8(text)) )
      return box;
  return nullptr;
}

void type_text(text_area_t *area, const char *text)
{
  area->setFocus();
  QTest::keyClick(area, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(area, Qt::Key_Delete);
  // Line feeds are the Return key (the test helpers know no key for the character).
  const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
  for ( int i = 0; i < lines.size(); ++i )
  {
    if ( i > 0 )
      QTest::keyClick(area, Qt::Key_Return);
    QTest::keyClicks(area, lines[i]);
  }
}

namespace {

// Answers requests 30 and 116 with the form engine, as the application's dispatcher does.
int64_t real_form_dialog(va_list args)
{
  const char *form = va_arg(args, const char *);
  va_list *inner = va_arg(args, va_list *);
  va_list copy;
  va_copy(copy, *inner);
  const int result = ask_form_request(form, copy);
  va_end(copy);
  return result;
}

int64_t real_form_widget(va_list args)
{
  const char *form = va_arg(args, const char *);
  const int32_t flags = va_arg(args, int32_t);
  va_list *inner = va_arg(args, va_list *);
  va_list copy;
  va_copy(copy, *inner);
  form_widget_t *widget = open_form_widget_request(form, flags, copy);
  va_end(copy);
  return int64_t(reinterpret_cast<intptr_t>(widget));
}

} // namespace

void answer_forms_with_the_engine(recording_ui_callback_t &ui)
{
  ui.handle_code(ui_code_form_dialog, real_form_dialog);
  ui.handle_code(ui_code_form_widget, real_form_widget);
}

void worklist_test_t::SetUp()
{
  file_command_test_t::SetUp();
  answer_forms_with_the_engine(ui);
}

int32_t worklist_test_t::open_in_new_worklist(const char *description, const std::vector<std::string> &paths)
{
  arkive_with_events_t &facade = app().facade;
  int32_t number = -1;
  EXPECT_EQ(facade.add_worklist(&number, description), 0) << error_detail();
  qvector<qstring> list;
  for ( const std::string &path : paths )
  {
    list.push_back(qstring(path.c_str()));
    write_local(local(path.c_str()), "changed " + path);
  }
  EXPECT_EQ(facade.edit_files(list, number), 0) << error_detail();
  server.clear_received();
  ui.clear();
  return number;
}

worklist_info_t worklist_test_t::worklist_record(int32_t number)
{
  qvector<worklist_info_t> records;
  EXPECT_EQ(app().facade.get_worklists(&records, nullptr, nullptr, number), 0) << error_detail();
  EXPECT_EQ(records.size(), 1u);
  return records.empty() ? worklist_info_t() : records[0];
}

qvector<worklist_file_t> worklist_test_t::worklist_files(int32_t number)
{
  qvector<worklist_file_t> files;
  EXPECT_EQ(app().facade.get_worklist_files(&files, "*", "ws", number), 0) << error_detail();
  return files;
}

std::vector<worklist_test_t::commit_request_t> worklist_test_t::commit_requests() const
{
  std::vector<commit_request_t> out;
  for ( const commit_worklist_packet_t &packet : requests_of<commit_worklist_packet_t>(COMMIT_WORKLIST) )
    out.push_back({packet.description.c_str(), packet.worklist, packet.force});
  return out;
}

std::vector<std::pair<int32_t, std::string>> worklist_test_t::edit_worklist_requests() const
{
  std::vector<std::pair<int32_t, std::string>> out;
  for ( const code_text_packet_t &packet : requests_of<code_text_packet_t>(EDIT_WORKLIST) )
    out.emplace_back(packet.code, packet.text.c_str());
  return out;
}
