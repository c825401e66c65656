// Forms shown as real windows on a display: the Connect form and one form per layout feature, laid out with the
// display's own fonts and style, driven with real mouse events, with a screenshot of each.
#include "repo/connect_form.h"

#include "tests/forms/connect_form_fixture.h"
#include "tests/ui/app/screenshots.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

int noop_handler(int, form_actions_t &)
{
  return 0;
}

// The visible input controls and buttons of a form (group boxes and tab widgets are containers, not inputs).
std::vector<QWidget *> visible_inputs(const form_widget_t &form)
{
  std::vector<QWidget *> out;
  for ( const form_control_t &c : form.controls() )
  {
    auto *w = qobject_cast<QWidget *>(c.widget);
    if ( w == nullptr || !w->isVisible() )
      continue;
    if ( qobject_cast<QComboBox *>(w) || qobject_cast<QLineEdit *>(w) || qobject_cast<QAbstractButton *>(w) )
      out.push_back(w);
  }
  return out;
}

// Each visible input lies inside the dialog, has a usable size, and no two of them overlap.
void expect_laid_out(QWidget &dialog, const form_widget_t &form, const char *what)
{
  const std::vector<QWidget *> inputs = visible_inputs(form);
  EXPECT_FALSE(inputs.empty()) << what;
  std::vector<QRect> rects;
  for ( QWidget *w : inputs )
  {
    const QRect r(w->mapTo(&dialog, QPoint(0, 0)), w->size());
    EXPECT_TRUE(dialog.rect().contains(r)) << what << ": " << w->metaObject()->className() << " at " << r.x() << ","
                                           << r.y() << " " << r.width() << "x" << r.height();
    EXPECT_GE(r.height(), w->fontMetrics().height()) << what << ": " << w->metaObject()->className();
    rects.push_back(r);
  }
  for ( size_t i = 0; i < rects.size(); ++i )
    for ( size_t j = i + 1; j < rects.size(); ++j )
      EXPECT_FALSE(rects[i].intersects(rects[j]))
        << what << ": " << inputs[i]->metaObject()->className() << " and " << inputs[j]->metaObject()->className();
}

TEST(FormsOnDisplay, ConnectFormShowsTheProxyFieldsExactlyWhileTicked)
{
  arkive_credentials_t credentials = sample_connect_credentials();
  const int answer = run_connect_form(credentials, [](hosted_form_t &hosted) {
    auto *use_proxy = hosted.control<QCheckBox>('C', 0);
    auto *proxy = hosted.control<QComboBox>('q', 2);
    EXPECT_TRUE(use_proxy != nullptr && proxy != nullptr);
    if ( use_proxy == nullptr || proxy == nullptr )
      return 0;
    EXPECT_FALSE(proxy->isVisible());
    expect_laid_out(*hosted.dialog, *hosted.form, "without the proxy");
    save_screenshot(*hosted.dialog, "connect");

    QTest::mouseClick(use_proxy, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(proxy->isVisible());
    EXPECT_TRUE(hosted.control('q', 3)->isVisible());
    EXPECT_TRUE(hosted.control('p', 1)->isVisible());
    expect_laid_out(*hosted.dialog, *hosted.form, "with the proxy");
    save_screenshot(*hosted.dialog, "connect-with-proxy");

    QTest::mouseClick(use_proxy, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_FALSE(proxy->isVisible());
    QTest::mouseClick(hosted.dialog_button(QDialogButtonBox::Cancel), Qt::LeftButton);
    return hosted.dialog->result();
  });
  EXPECT_EQ(answer, 0);
}

TEST(FormsOnDisplay, EachLayoutFeatureIsLaidOutOnTheScreen)
{
  recording_ui_callback_t ui;
  qstring a("first"), b("second"), c("third");
  uint16_t mask = 5;
  uint16_t radio = 1;
  struct case_t
  {
    const char *name;
    const char *text;
    std::vector<form_arg_t> args;
    std::function<void(hosted_form_t &)> drive; // real events and what they must show
  };
  const std::vector<case_t> cases = {
    {"tabs", "Tabs\n<~N~ame :q1::30::>\n<=:~G~eneral>\n<Other:q2::30::>\n<=:~M~ore>7>",
     {arg_string(&a), arg_string(&b)},
     [](hosted_form_t &h) {
       auto *tabs = h.control<QTabWidget>('=');
       ASSERT_NE(tabs, nullptr);
       EXPECT_FALSE(h.control('q', 1)->isVisible());
       QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, Qt::NoModifier, tabs->tabBar()->tabRect(1).center());
       EXPECT_EQ(tabs->currentIndex(), 1);
       EXPECT_TRUE(h.control('q', 1)->isVisible());
       EXPECT_FALSE(h.control('q', 0)->isVisible());
     }},
    {"splitter", "Split\n<Top:q::20::>\n<->\n<Left:q::10::><|><Right:q::10::>",
     {arg_string(&a), arg_string(&b), arg_string(&c)},
     [](hosted_form_t &h) {
       for ( const QSplitter *s : h.form->findChildren<QSplitter *>() )
         for ( const int size : s->sizes() )
           EXPECT_GT(size, 0) << "every pane has room";
       EXPECT_LT(h.control('q', 1)->mapToGlobal(QPoint()).x(), h.control('q', 2)->mapToGlobal(QPoint()).x());
       EXPECT_LT(h.control('q', 0)->mapToGlobal(QPoint()).y(), h.control('q', 1)->mapToGlobal(QPoint()).y());
     }},
    {"groups", "Groups\n<#h#Options#tip#~O~ne:c1>\n<~T~wo:c2>\n<T~h~ree:c3>>\n<~A~lpha:r>\n<~B~eta:r>>",
     {arg_mask(&mask), arg_mask(&radio)},
     [](hosted_form_t &h) {
       auto *two = h.control<QCheckBox>('C', 1);
       auto *alpha = h.control<QAbstractButton>('R', 0);
       ASSERT_TRUE(two != nullptr && alpha != nullptr);
       // On the box itself: a check box is wider than its text, and the rest of it takes no click.
       QTest::mouseClick(two, Qt::LeftButton, Qt::NoModifier, QPoint(6, two->height() / 2));
       EXPECT_TRUE(two->isChecked());
       QTest::mouseClick(alpha, Qt::LeftButton, Qt::NoModifier, QPoint(6, alpha->height() / 2));
       EXPECT_TRUE(alpha->isChecked());
       EXPECT_FALSE(h.control<QAbstractButton>('R', 1)->isChecked()) << "radio buttons exclude each other";
       for ( QGroupBox *box : h.form->findChildren<QGroupBox *>() )
         EXPECT_TRUE(box->isAncestorOf(two) || box->isAncestorOf(alpha));
     }},
    {"button row", "BUTTON YES NONE\nBUTTON CANCEL NONE\nButtons\n<Name:q::20::>\n<~F~irst:B::> <~S~econd:B::>",
     {arg_string(&a), arg_handler(&noop_handler), arg_handler(&noop_handler)},
     [](hosted_form_t &h) {
       QWidget *first = h.control('B', 0);
       QWidget *second = h.control('B', 1);
       EXPECT_EQ(first->mapToGlobal(QPoint()).y(), second->mapToGlobal(QPoint()).y()) << "one row";
       EXPECT_GT(first->mapToGlobal(QPoint()).y(), h.control('q', 0)->mapToGlobal(QPoint()).y()) << "below the field";
     }},
  };
  for ( const case_t &k : cases )
  {
    SCOPED_TRACE(k.name);
    hosted_form_t hosted;
    ASSERT_TRUE(hosted.compile(k.text, k.args));
    ASSERT_TRUE(hosted.show());
    expect_laid_out(*hosted.dialog, *hosted.form, k.name);
    k.drive(hosted);
    save_screenshot(*hosted.dialog, QString::fromUtf8(k.name).replace(' ', '-'));
  }
  EXPECT_TRUE(recorded_warnings(ui).empty());
}

} // namespace
