// The application object: the focus ring, titles, core widgets, event processing, the dark-theme
// repolish, and the input drop while a wait box is pending, driven by real clicks and keys.
#include "tests/ui/app/test_app.h"
#include "ui/view_interfaces.h"
#include "ui/wait_box.h"

#include <QClipboard>
#include <QDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// Widgets with the slots the framework looks for by signature.
// A widget with a generic title, as some views declare one.
class titled_widget_t : public QWidget
{
  Q_OBJECT

public:
  QString generic = QStringLiteral("Generic");

public slots:
  QString get_generic_title() { return generic; }
};

// A core widget: it has "form_activate()".
class form_core_widget_t : public QWidget
{
  Q_OBJECT

public slots:
  void form_activate() {}
};

// Counts repolish() calls.
class repolished_widget_t : public QWidget
{
  Q_OBJECT

public:
  int repolishes = 0;

public slots:
  void repolish() { ++repolishes; }
};

namespace {

// A top-level window with a row of line edits, shown and active.
struct edit_row_t
{
  explicit edit_row_t(int count)
  {
    auto *layout = new QHBoxLayout(&window);
    for ( int i = 0; i < count; ++i )
    {
      edits.push_back(new QLineEdit(&window));
      layout->addWidget(edits.back());
    }
    window.show();
    QApplication::setActiveWindow(&window);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
  }
  QWidget window;
  std::vector<QLineEdit *> edits; // children of the window
};

TEST(AppFocusRing, RemembersTheLastTenFocusWidgetsAndSkipsDestroyedOrHiddenOnes)
{
  edit_row_t row(12);
  for ( QLineEdit *edit : row.edits )
  {
    QTest::mouseClick(edit, Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), edit);
  }
  app_t &app = test_app();
  // The walk starts at the entry before the newest, so the older of the newest two comes first.
  EXPECT_EQ(app.recent_focused_widget(0), row.edits[10]);

  // Entries 2..11 are in the ring: destroying 10 (and 9) moves the answer back through the ring.
  delete row.edits[10];
  delete row.edits[9];
  EXPECT_EQ(app.recent_focused_widget(0), row.edits[8]);

  // Flag 1 wants a visible widget (or one inside a dock).
  for ( int i = 2; i <= 8; ++i )
    row.edits[size_t(i)]->hide();
  EXPECT_EQ(app.recent_focused_widget(1), row.edits[11]) << "the newest entry is examined last";
  EXPECT_EQ(app.recent_focused_widget(1 | 2), nullptr) << "no widget lies inside a dock";

}

TEST(AppFocusRing, FocusInsideAnOpenPopupIsNotRemembered)
{
  edit_row_t row(2);
  QTest::mouseClick(row.edits[0], Qt::LeftButton);
  QTest::mouseClick(row.edits[1], Qt::LeftButton);
  ASSERT_EQ(test_app().recent_focused_widget(0), row.edits[0]);

  QWidget popup(&row.window, Qt::Popup);
  auto *inside = new QLineEdit(&popup);
  popup.show();
  ASSERT_EQ(QApplication::activePopupWidget(), &popup);
  inside->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), inside);
  EXPECT_EQ(test_app().recent_focused_widget(0), row.edits[0]) << "the ring did not move";
  popup.close();
}

// A view that exposes the chooser interface, as the views' chooser widget will.
class fake_chooser_t : public QWidget, public chooser_view_t
{
public:
  QString chooser_title() const override { return QStringLiteral("Chooser — files"); }
  std::vector<int> selected_indexes() const override { return {}; }
  chooser_base_t *chooser_data() const override { return nullptr; }
  QHeaderView *shown_header() const override { return nullptr; }
};

TEST(AppTitles, ChoosersGiveTheirOwnTitleOthersTheirWindowTitle)
{
  app_t &app = test_app();
  qstring title;
  EXPECT_FALSE(app.title_of_widget(title, nullptr));

  QWidget plain;
  plain.setWindowTitle(QStringLiteral("Résumé"));
  ASSERT_TRUE(app.title_of_widget(title, &plain));
  EXPECT_STREQ(title.c_str(), "R\xC3\xA9sum\xC3\xA9");

  fake_chooser_t chooser;
  chooser.setWindowTitle(QStringLiteral("ignored"));
  EXPECT_TRUE(is_chooser_widget(&chooser));
  EXPECT_FALSE(is_chooser_widget(&plain));
  ASSERT_TRUE(app.title_of_widget(title, &chooser));
  EXPECT_STREQ(title.c_str(), "Chooser \xE2\x80\x94 files");

  QString generic;
  titled_widget_t titled;
  titled.setWindowTitle(QStringLiteral("Window"));
  EXPECT_TRUE(app.query_generic_title(generic, &titled));
  EXPECT_EQ(generic, QStringLiteral("Generic"));
  titled.generic.clear();
  EXPECT_TRUE(app.query_generic_title(generic, &titled));
  EXPECT_EQ(generic, QStringLiteral("Window")) << "an empty generic title falls back to the window title";
  titled.setWindowTitle(QString());
  EXPECT_FALSE(app.query_generic_title(generic, &titled));
  EXPECT_FALSE(app.query_generic_title(generic, nullptr));
}

TEST(AppCoreWidget, TheNearestFormActivateOwnerUnlessABoxOrMenuComesFirst)
{
  form_core_widget_t core;
  auto *inner = new QLineEdit(new QWidget(&core));
  QWidget plain;
  auto *plain_child = new QLineEdit(&plain);
  QMessageBox box;
  auto *in_box = new form_core_widget_t;
  in_box->setParent(&box);
  auto *box_child = new QLineEdit(in_box);
  QMenu menu(&core);
  auto *in_menu = new QWidget(&menu);
  // A wait box owned by the core widget: what the box holds has no core widget.
  WaitDialog wait(&test_app());
  wait.setParent(&core, wait.windowFlags());
  auto *in_wait = new QLineEdit(&wait);

  struct
  {
    const char *name;
    QWidget *widget;
    QWidget *expected;
  } const cases[] = {
    {"itself", &core, &core},
    {"grandchild", inner, &core},
    {"no core widget above", plain_child, nullptr},
    {"inside a message box", box_child, in_box},
    {"message box window above the core widget", in_box->parentWidget(), nullptr},
    {"menu between the widget and the core widget", in_menu, nullptr},
    {"wait box between the widget and the core widget", in_wait, nullptr},
    {"null", nullptr, nullptr},
  };
  for ( const auto &c : cases )
    EXPECT_EQ(core_widget_of(c.widget), c.expected) << c.name;

  // The focused core widget follows the focus.
  core.show();
  QApplication::setActiveWindow(&core);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&core));
  QTest::mouseClick(inner, Qt::LeftButton);
  EXPECT_EQ(test_app().focused_core_widget(), &core);
}

TEST(AppHelpers, PixelRatioOfTheWindowAndTextToTheClipboard)
{
  QWidget window;
  auto *child = new QWidget(&window);
  EXPECT_EQ(widget_device_pixel_ratio(child), window.devicePixelRatioF());
  QApplication::setActiveWindow(nullptr);
  EXPECT_EQ(widget_device_pixel_ratio(nullptr), 1.0);

  copy_text_to_clipboard("gr\xC3\xBC\xC3\x9F dich");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("grüß dich"));
}

// Calls process_events from its paint handler and records what the application did meanwhile.
class painting_widget_t : public QWidget
{
public:
  size_t swaps_during_paint = 0;
  bool saw_paint_mark = false;

protected:
  void paintEvent(QPaintEvent *) override
  {
    saw_paint_mark = test_app().in_paint_event();
    const size_t before = test_app().swaps().size();
    test_app().process_events(10, true);
    swaps_during_paint = test_app().swaps().size() - before;
  }
};

TEST(AppEventProcessing, SwapsTheStateAroundProcessingAndDoesNothingWhilePainting)
{
  test_app().reset_test_state();
  test_app().process_events(5, false);
  EXPECT_EQ(test_app().swaps(), (std::vector<bool> {false, false})) << "false before, the previous answer after";

  painting_widget_t widget;
  widget.resize(50, 50);
  widget.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
  widget.saw_paint_mark = false;
  widget.repaint();
  EXPECT_TRUE(widget.saw_paint_mark);
  EXPECT_EQ(widget.swaps_during_paint, 0u);
  EXPECT_FALSE(test_app().in_paint_event());
  test_app().reset_test_state();
}

TEST(AppDarkTheme, APaletteChangeMarksAndRepolishesWidgetsThatCanRepolish)
{
  const QPalette original = QApplication::palette();
  repolished_widget_t widget;
  QEvent polish(QEvent::PolishRequest);
  QCoreApplication::sendEvent(&widget, &polish);
  const QVariant initial = widget.property("os-dark-theme");
  EXPECT_EQ(initial, QVariant(test_app().os_dark_theme()));
  const int after_polish = widget.repolishes;
  EXPECT_EQ(after_polish, 1);
  QCoreApplication::sendEvent(&widget, &polish);
  EXPECT_EQ(widget.repolishes, 1) << "an unchanged value does not repolish";

  QPalette dark = original;
  dark.setColor(QPalette::Window, QColor(20, 20, 20));
  QApplication::setPalette(dark);
  EXPECT_TRUE(test_app().os_dark_theme());
  EXPECT_EQ(widget.property("os-dark-theme"), QVariant(true));
  QApplication::setPalette(original);
  EXPECT_EQ(widget.property("os-dark-theme"), initial);
  EXPECT_EQ(widget.repolishes, initial.toBool() ? 1 : 3) << "each change of the value repolishes once";
}

// Records the key and mouse events it receives.
class input_recorder_t : public QWidget
{
public:
  std::vector<QEvent::Type> events;

protected:
  void keyPressEvent(QKeyEvent *) override { events.push_back(QEvent::KeyPress); }
  void keyReleaseEvent(QKeyEvent *e) override
  {
    if ( !e->isAutoRepeat() )
      events.push_back(QEvent::KeyRelease);
  }
};

class AppInputDrop : public testing::Test
{
protected:
  AppInputDrop()
  {
    auto *layout = new QHBoxLayout(&window);
    button = new QPushButton(QStringLiteral("Go"), &window);
    edit = new QLineEdit(&window);
    recorder = new input_recorder_t;
    recorder->setFocusPolicy(Qt::StrongFocus);
    layout->addWidget(button);
    layout->addWidget(edit);
    layout->addWidget(recorder);
    window.show();
    QApplication::setActiveWindow(&window);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
  }
  ~AppInputDrop() override { test_app().wait_box_timer()->stop(); }

  static void start_wait() { test_app().wait_box_timer()->start(60000); }
  static void stop_wait() { test_app().wait_box_timer()->stop(); }

  QWidget window;
  QPushButton *button;
  QLineEdit *edit;
  input_recorder_t *recorder;
};

TEST_F(AppInputDrop, ClicksKeysAndShortcutsAreDroppedWhileTheWaitBoxIsPending)
{
  QSignalSpy clicked(button, &QPushButton::clicked);
  auto *shortcut = new QShortcut(QKeySequence(QStringLiteral("Ctrl+K")), &window);
  shortcut->setContext(Qt::ApplicationShortcut);
  QSignalSpy activated(shortcut, &QShortcut::activated);
  edit->setFocus();

  start_wait();
  QTest::mouseClick(button, Qt::LeftButton);
  QTest::keyClicks(edit, QStringLiteral("abc"));
  QTest::keyClick(edit, Qt::Key_K, Qt::ControlModifier);
  EXPECT_EQ(clicked.count(), 0);
  EXPECT_EQ(edit->text(), QString());
  EXPECT_EQ(activated.count(), 0);
  EXPECT_FALSE(button->isDown());

  stop_wait();
  QTest::mouseClick(button, Qt::LeftButton);
  QTest::keyClicks(edit, QStringLiteral("abc"));
  QTest::keyClick(edit, Qt::Key_K, Qt::ControlModifier);
  EXPECT_EQ(clicked.count(), 1);
  EXPECT_EQ(edit->text(), QStringLiteral("abc"));
  EXPECT_EQ(activated.count(), 1);
}

TEST_F(AppInputDrop, AReleaseGoesExactlyWhenItsPressWent)
{
  QSignalSpy clicked(button, &QPushButton::clicked);

  // Pressed before the wait began: the release is delivered, so nothing stays pressed or grabbed.
  QTest::mousePress(button, Qt::LeftButton);
  ASSERT_TRUE(button->isDown());
  start_wait();
  QTest::mouseRelease(button, Qt::LeftButton);
  EXPECT_FALSE(button->isDown());
  EXPECT_EQ(clicked.count(), 1);
  EXPECT_EQ(QWidget::mouseGrabber(), nullptr);

  // Pressed during the wait: the release that comes after it is dropped as well.
  QTest::mousePress(button, Qt::LeftButton);
  stop_wait();
  QTest::mouseRelease(button, Qt::LeftButton);
  EXPECT_FALSE(button->isDown());
  EXPECT_EQ(clicked.count(), 1);

  // Keys: the same pairing.
  recorder->setFocus();
  QTest::keyPress(recorder, Qt::Key_A);
  start_wait();
  QTest::keyRelease(recorder, Qt::Key_A);
  QTest::keyPress(recorder, Qt::Key_B);
  stop_wait();
  QTest::keyRelease(recorder, Qt::Key_B);
  EXPECT_EQ(recorder->events, (std::vector<QEvent::Type> {QEvent::KeyPress, QEvent::KeyRelease}));
}

TEST_F(AppInputDrop, AModalWidgetKeepsItsInput)
{
  QDialog dialog(&window);
  auto *ok = new QPushButton(QStringLiteral("OK"), &dialog);
  dialog.setModal(true);
  dialog.show();
  ASSERT_EQ(QApplication::activeModalWidget(), &dialog);
  QSignalSpy clicked(ok, &QPushButton::clicked);
  start_wait();
  QTest::mouseClick(ok, Qt::LeftButton);
  EXPECT_EQ(clicked.count(), 1);
}

// A click made right after an entry was chosen may still reach the menu: its popup's pointer grab is released a
// moment after the menu closed, and the window system hands the click to the menu's window. The closed menu
// must not run the entry that lay under the pointer.
TEST(AppClosedMenu, AClickReachingAMenuAfterItClosedRunsNoEntry)
{
  QMenu menu;
  QAction *files = menu.addAction(QStringLiteral("Files"));
  QAction *log = menu.addAction(QStringLiteral("Log window"));
  QSignalSpy files_runs(files, &QAction::triggered);
  QSignalSpy log_runs(log, &QAction::triggered);
  menu.popup(QPoint(100, 100));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
  QWindow *window = menu.windowHandle();
  const QPoint over_log = menu.actionGeometry(log).center();

  QTest::mouseClick(window, Qt::LeftButton, {}, menu.actionGeometry(files).center());
  ASSERT_EQ(files_runs.count(), 1);
  ASSERT_FALSE(menu.isVisible());
  QTest::mouseClick(window, Qt::LeftButton, {}, over_log);
  QTest::mouseDClick(window, Qt::LeftButton, {}, over_log);
  EXPECT_EQ(log_runs.count(), 0);
  EXPECT_EQ(files_runs.count(), 1);

  // Shown again, the menu runs what is clicked.
  menu.popup(QPoint(100, 100));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
  QTest::mouseClick(window, Qt::LeftButton, {}, over_log);
  EXPECT_EQ(log_runs.count(), 1);
}

} // namespace

#include "app_base_test.moc"
