// Focus tracking's core-widget step: the active core widget and its custom menus follow real focus changes,
// with update passes for the old and the new widget in between.
#include "ui/app_base.h"

#include "tests/support/interr_capture.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/menu_text.h"
#include "tests/ui/app/test_app.h"
#include "ui/action_context.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cstdarg>
#include <memory>
#include <string>
#include <vector>

// A core widget that logs its activation and offers a custom Jump menu when it has one.
class tracked_core_widget_t : public QWidget
{
  Q_OBJECT

public:
  tracked_core_widget_t(const char *name, std::vector<std::string> *log) : log_(log)
  {
    setObjectName(QString::fromLatin1(name));
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(80, 60);
  }
  QMenu *jump = nullptr;
  bool destroy_on_activate = false;

public slots:
  void form_activate()
  {
    log_->push_back("activate " + objectName().toStdString());
    if ( destroy_on_activate )
      delete this;
  }
  void form_deactivate() { log_->push_back("deactivate " + objectName().toStdString()); }
  void get_custom_menus(QObject **, QObject **, QObject **j) { *j = jump; }

private:
  std::vector<std::string> *log_;
};

namespace {

// An enabled action whose updates are logged with the widget of their context.
class logging_handler_t : public action_handler_t
{
public:
  explicit logging_handler_t(std::vector<std::string> *log) : log_(log) {}
  int activate(ui_action_activation_ctx_t *) override { return 1; }
  int update(ui_action_update_ctx_t *context) override
  {
    log_->push_back("update " + (context->widget != nullptr ? context->widget->objectName().toStdString() : "-"));
    return ACTION_STATE_ENABLED;
  }

private:
  std::vector<std::string> *log_;
};

class FocusTrackingTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    registry().clear();
    provider().update_reasons.clear();
    ASSERT_TRUE(register_plain_action("focus.probe", "Probe", &handler_, this));
    // The passes show up in the log with their reason.
    for ( const int32_t code : {UI_CODE_BEFORE_ACTION_UPDATE, UI_CODE_AFTER_ACTION_UPDATE} )
      ui_.handle_code(code, [this, code](va_list) -> int64_t {
        log_.push_back(std::to_string(code) + " reason " + std::to_string(provider().update_reasons.back()));
        return 0;
      });

    window().deactivate_core_widget();
    for ( const char *name : {"File", "Edit", "Search", "Jump"} )
      window().make_menu(QString::fromLatin1(name), QString::fromLatin1(name), &window());
    window().set_menubar_menus({"File", "Edit", "Search", "Jump"});

    auto *layout = new QHBoxLayout(&top_);
    first_ = new tracked_core_widget_t("first", &log_);
    second_ = new tracked_core_widget_t("second", &log_);
    edit_ = new QLineEdit;
    second_->setLayout(new QHBoxLayout);
    second_->layout()->addWidget(edit_);
    plain_ = new QLineEdit;
    for ( QWidget *w : {static_cast<QWidget *>(first_), static_cast<QWidget *>(second_), static_cast<QWidget *>(plain_)} )
      layout->addWidget(w);
    top_.show();
    QApplication::setActiveWindow(&top_);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&top_));
    log_.clear();
  }
  void TearDown() override
  {
    window().deactivate_core_widget();
    window().set_menubar_menus({});
    registry().clear();
  }
  static ui_action_registry_t &registry() { return *test_app().get_action_registry(); }
  static ui_main_window_t &window() { return *test_app().main_window(); }
  static test_action_context_provider_t &provider() { return test_app().action_provider(); }

  recording_ui_callback_t ui_;
  std::vector<std::string> log_;
  logging_handler_t handler_ {&log_};
  QWidget top_;
  tracked_core_widget_t *first_ = nullptr;
  tracked_core_widget_t *second_ = nullptr;
  QLineEdit *edit_ = nullptr; // inside second_
  QLineEdit *plain_ = nullptr; // inside no core widget
};

TEST_F(FocusTrackingTest, MovingTheFocusDeactivatesUpdatesActivatesAndUpdatesInOrder)
{
  first_->setFocus();
  EXPECT_EQ(window().active_core_widget(), first_);
  log_.clear();
  provider().update_reasons.clear();

  // A click into the line edit inside the second widget makes the second widget active.
  QTest::mouseClick(edit_, Qt::LeftButton);
  ASSERT_EQ(QApplication::focusWidget(), edit_);
  EXPECT_EQ(window().active_core_widget(), second_);
  EXPECT_EQ(log_, (std::vector<std::string> {"deactivate first", "136 reason 8", "update second", "137 reason 8",
                                             "activate second", "136 reason 7", "update second",
                                             "137 reason 7"}));
  EXPECT_EQ(provider().update_reasons, (std::vector<int> {UPDACT_DEACTIVATING, UPDACT_ACTIVATED}));

  // Within the same core widget, and into a widget of no core widget: nothing changes.
  log_.clear();
  second_->setFocus();
  plain_->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), plain_);
  EXPECT_EQ(window().active_core_widget(), second_);
  EXPECT_TRUE(log_.empty());

  first_->setFocus();
  EXPECT_EQ(window().active_core_widget(), first_);
  EXPECT_EQ(log_.front(), "deactivate second");
  EXPECT_EQ(log_[4], "activate first");
}

TEST_F(FocusTrackingTest, CustomMenusFollowTheFocus)
{
  QMenu my_jump("My jump");
  second_->jump = &my_jump;
  QTest::mouseClick(first_, Qt::LeftButton);
  EXPECT_EQ(menu_bar_titles(window()), "File Edit Search Jump");
  QTest::mouseClick(second_, Qt::LeftButton);
  EXPECT_EQ(menu_bar_titles(window()), "File Edit Search My jump");
  QTest::mouseClick(first_, Qt::LeftButton);
  EXPECT_EQ(menu_bar_titles(window()), "File Edit Search Jump");

  // Destroyed while active: the standard menus come back.
  second_->setFocus();
  EXPECT_EQ(menu_bar_titles(window()), "File Edit Search My jump");
  delete second_;
  second_ = nullptr;
  EXPECT_EQ(menu_bar_titles(window()), "File Edit Search Jump");
  EXPECT_EQ(window().active_core_widget(), nullptr);
}

TEST_F(FocusTrackingTest, AWidgetDestroyedWhileItIsActivatedIsAnInternalError)
{
  first_->setFocus();
  first_->destroy_on_activate = true;
  first_->clearFocus();
  window().deactivate_core_widget();
  // Called as the focus signal would call it, so that the error reaches the test rather than Qt.
  EXPECT_EQ(interr_number([&] { test_app().track_focus(nullptr, first_); }), 40345);
  first_ = nullptr;
  EXPECT_EQ(window().active_core_widget(), nullptr);
}

} // namespace

#include "focus_tracking_test.moc"
