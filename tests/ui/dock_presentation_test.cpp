// Presenting widgets as docks, floating windows and their drag title, closing docks and floating windows,
// and the memory of a closed dock's place.
#include "tests/ui/app/screenshots.h"
#include "tests/ui/dock_test_support.h"
#include "ui/docks/dock_drag_title.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest/QTest>

Q_DECLARE_METATYPE(QCloseEvent *)

namespace {

// A content that is a core widget (it has "form_activate()"), so that the focus makes its dock the focused dock.
class core_editor_t : public QLineEdit
{
  Q_OBJECT

public:
  explicit core_editor_t(const QString &title) { setWindowTitle(title); }

public slots:
  void form_activate() {}
};

// A content that refuses to close.
class stubborn_label_t : public QLabel
{
public:
  explicit stubborn_label_t(const QString &title) : QLabel(title) { setWindowTitle(title); }

protected:
  void closeEvent(QCloseEvent *event) override { event->ignore(); }
};

class DockPresentation : public DockFixture
{
protected:
  void SetUp() override
  {
    DockFixture::SetUp();
    qRegisterMetaType<QCloseEvent *>();
    qRegisterMetaType<QList<DockWidget *>>();
    qRegisterMetaType<uint32_t>("uint32_t");
  }

  // Presents a label with that title through show_as_dock with the options word and anchor.
  DockWidget *present(const QString &title, uint32_t options, const char *anchor = "")
  {
    auto *label = new QLabel(title);
    label->setWindowTitle(title);
    dock_options_t record;
    record.options = options;
    record.anchor = anchor;
    return area->show_as_dock(label, &record);
  }

  static uint32_t placement(uint32_t bits) { return bits << dock_placement_shift; }
};

TEST_F(DockPresentation, AWidgetTitledLikeAnExistingDockReusesIt)
{
  DockWidget *first = present("Log", placement(dock_place_right));
  const int docks = leaf_dock_widgets().size();
  auto *again = new QLabel("second");
  again->setWindowTitle("Log");
  EXPECT_EQ(area->show_as_dock(again, nullptr), first);
  EXPECT_EQ(leaf_dock_widgets().size(), docks);
  delete again;
}

TEST_F(DockPresentation, PlacementZeroFloatsAtAQuarterOfTheScreen)
{
  auto *label = new QLabel("Lonely");
  label->setWindowTitle("Lonely");
  label->resize(300, 200);
  DockWidget *dock = area->show_as_dock(label, nullptr);
  DockArea *floating = enclosing_dock_area(dock);
  ASSERT_NE(floating, nullptr);
  ASSERT_TRUE(floating->is_floating());
  const QRect screen = floating->screen()->geometry();
  EXPECT_EQ(floating->pos(), QPoint(screen.width() / 4, screen.height() / 4));
  EXPECT_EQ(floating->windowTitle(), "Lonely");
  EXPECT_TRUE(floating->isVisible());
  EXPECT_TRUE(floating->drag_title()->is_expanded());
  EXPECT_TRUE(floating->drag_title()->collapse_timer.isActive());
  EXPECT_EQ(floating->drag_title()->collapse_timer.interval(), 1300);
  EXPECT_EQ(floating->drag_title()->label->text(), "Drag this title to dock somewhere else");
  save_screenshot(*floating, "floating");
}

// A floating window takes a saved geometry first, else the record's place with 0 meaning half the screen.
TEST_F(DockPresentation, FloatingWindowsArePlacedByTheirRecord)
{
  const QRect screen = window->screen()->geometry();
  dock_options_t sized;
  sized.float_pos = QPoint(30, 40);
  sized.float_size = QSize(0, 300);
  DockArea *first = area->float_dock(make_dock("First"), &sized, false);
  EXPECT_EQ(first->pos(), QPoint(30, 40));
  EXPECT_EQ(first->size(), QSize(screen.width() / 2, 300));

  QWidget model;
  model.setGeometry(70, 80, 320, 240);
  dock_options_t saved;
  saved.float_geometry = model.saveGeometry();
  saved.float_pos = QPoint(1, 1);
  saved.float_size = QSize(10, 10);
  DockArea *second = area->float_dock(make_dock("Second"), &saved, false);
  EXPECT_EQ(second->geometry(), QRect(70, 80, 320, 240));
  EXPECT_FALSE(second->drag_title()->is_expanded());
}

TEST_F(DockPresentation, PlacementsBesideAnAnchor)
{
  present("X", placement(dock_place_right));
  struct
  {
    const char *title;
    uint32_t bits;
    const char *anchor;
    const char *shape;
  } const cases[] = {
    {"R", dock_place_right, "X", "H[X,R]"},
    {"L", dock_place_left, "X", "H[L,X,R]"},
    {"B", dock_place_below, "R", "H[L,X,V[R,B]]"},
    {"T", dock_place_as_tab, "B", "H[L,X,V[R,T[B,T]]]"},
    {"U", dock_place_as_tab | dock_place_tab_before, "T", "H[L,X,V[R,T[B,U,T]]]"},
    {"N", dock_place_new_tab_group, "L", "H[T[L,N],X,V[R,T[B,U,T]]]"},
  };
  for ( const auto &c : cases )
  {
    present(c.title, placement(c.bits), c.anchor);
    EXPECT_EQ(shape(), c.shape) << c.title;
  }
  settle_events();
  save_screenshot(*window, "placements");
}

TEST_F(DockPresentation, AnUnknownAnchorTabsWithTheFocusedDock)
{
  auto *editor = new core_editor_t("Editor");
  dock_options_t record;
  record.options = placement(dock_place_right);
  DockWidget *e = area->show_as_dock(editor, &record);
  present("X", placement(dock_place_right), "Editor");
  area->activate_dock(e, 1);
  ASSERT_EQ(test_app().focused_dock(), e);
  present("Tabbed", placement(dock_place_as_tab), "Nowhere");
  EXPECT_EQ(shape(), "H[T[Editor,Tabbed],X]");
}

TEST_F(DockPresentation, TheAnchorCanBeTheRoot)
{
  present("X", placement(dock_place_right));
  present("Y", placement(dock_place_right), "X");
  present("Z", placement(dock_place_below) | dock_anchor_is_root);
  EXPECT_EQ(shape(), "V[H[X,Y],Z]");
}

TEST_F(DockPresentation, RememberPlacementDescribesTheNeighbour)
{
  DockWidget *a = present("A", placement(dock_place_right));
  DockWidget *b = present("B", placement(dock_place_right), "A");
  DockWidget *c = present("C", placement(dock_place_below), "B");
  DockWidget *d = present("D", placement(dock_place_as_tab), "A");
  DockWidget *f = present("F", 0);
  DockWidget *loose = make_dock("Loose");
  EXPECT_EQ(shape(), "H[T[A,D],V[B,C]]");

  struct
  {
    DockWidget *node;
    bool ok;
    const char *anchor;
    uint32_t options;
  } const cases[] = {
    {b, true, "C", dock_place_above}, {c, true, "B", dock_place_below},
    {a, true, "D", dock_place_as_tab | dock_place_tab_before}, {d, true, "A", dock_place_as_tab},
    {f, true, "", dock_place_floating}, {loose, false, "", 0},
  };
  for ( const auto &k : cases )
  {
    dock_options_t record;
    EXPECT_EQ(record.remember_placement(k.node), k.ok) << k.node->title().toStdString();
    EXPECT_EQ(record.anchor, k.anchor) << k.node->title().toStdString();
    EXPECT_EQ(record.options, k.options) << k.node->title().toStdString();
  }
  dock_options_t floating;
  ASSERT_TRUE(floating.remember_placement(f));
  DockArea *window_area = enclosing_dock_area(f);
  EXPECT_EQ(floating.float_pos, window_area->pos());
  EXPECT_EQ(floating.float_size, window_area->size());
  EXPECT_FALSE(floating.float_geometry.isEmpty());

  // In a horizontal splitter: the first gives its right neighbour and "left", the second "right".
  area->removeAllDocks(true);
  DockWidget *first = present("First", placement(dock_place_right));
  DockWidget *second = present("Second", placement(dock_place_right), "First");
  dock_options_t r1;
  dock_options_t r2;
  ASSERT_TRUE(r1.remember_placement(first));
  ASSERT_TRUE(r2.remember_placement(second));
  EXPECT_EQ(r1.anchor, "Second");
  EXPECT_EQ(r1.options, dock_place_left);
  EXPECT_EQ(r2.anchor, "First");
  EXPECT_EQ(r2.options, dock_place_right);
}

// A closed widget comes back where it stood when presented with the remembered placement.
TEST_F(DockPresentation, AClosedWidgetReopensAtItsRememberedPlace)
{
  present("X", placement(dock_place_right));
  present("Y", placement(dock_place_right), "X");
  DockWidget *a = present("A", placement(dock_place_below), "X");
  EXPECT_EQ(shape(), "H[V[X,A],Y]");
  test_app().close_hosted_widget(a, 0);
  ASSERT_NE(closed_dock_entry("A", false), nullptr);
  EXPECT_EQ(closed_dock_entry("A", false)->placement.anchor, "X");
  DockArea::detach_docked(a);
  delete a;
  EXPECT_EQ(shape(), "H[X,Y]");

  present("A", placement(dock_place_right) | dock_use_remembered_placement);
  EXPECT_EQ(shape(), "H[V[X,A],Y]");
}

// The walk stops at the first dock that refuses; the closed ones are hidden and reported.
TEST_F(DockPresentation, CloseTreeStopsAtARefusingDock)
{
  DockWidget *a = present("A", placement(dock_place_right));
  auto *stubborn = new stubborn_label_t("B");
  dock_options_t record;
  record.options = placement(dock_place_right);
  record.anchor = "A";
  DockWidget *b = area->show_as_dock(stubborn, &record);
  DockWidget *c = present("C", placement(dock_place_right), "B");
  QSignalSpy closing(area, &TopLevelDockArea::closeEventReceived);
  QSignalSpy deletion(area, &TopLevelDockArea::user_request_docks_deletion);
  ASSERT_TRUE(deletion.isValid());

  QCloseEvent event;
  area->closeTree(area->root(), &event, 0x1C0);
  EXPECT_FALSE(event.isAccepted());
  EXPECT_FALSE(a->hidden);
  EXPECT_FALSE(b->hidden);
  EXPECT_TRUE(c->hidden);
  ASSERT_EQ(closing.count(), 1);
  ASSERT_EQ(deletion.count(), 1);
  EXPECT_EQ(deletion[0][0].value<QList<DockWidget *>>(), QList<DockWidget *> {c});
  EXPECT_EQ(deletion[0][1].toUInt(), 0x1C0u);
}

TEST_F(DockPresentation, ClosingAFloatingWindowReportsItsDocksTwice)
{
  DockWidget *f = present("F", 0);
  DockArea *floating = enclosing_dock_area(f);
  ASSERT_TRUE(floating->is_floating());
  QSignalSpy deletion(area, &TopLevelDockArea::user_request_docks_deletion);
  EXPECT_TRUE(floating->close());
  ASSERT_EQ(deletion.count(), 2);
  EXPECT_EQ(deletion[0][0].value<QList<DockWidget *>>(), QList<DockWidget *> {f});
  EXPECT_EQ(deletion[1][0].value<QList<DockWidget *>>(), QList<DockWidget *> {f});
  EXPECT_EQ(deletion[1][1].toUInt(), 0u);
  EXPECT_FALSE(floating->isVisible());
  // Once the application takes the closed dock out, the empty window goes.
  QPointer<DockArea> watched(floating);
  DockArea::detach_docked(f);
  settle_events();
  EXPECT_TRUE(watched.isNull());
}

TEST_F(DockPresentation, AFloatingWindowWhoseDockRefusesStays)
{
  auto *stubborn = new stubborn_label_t("S");
  DockWidget *s = area->show_as_dock(stubborn, nullptr);
  DockArea *floating = enclosing_dock_area(s);
  EXPECT_FALSE(floating->close());
  EXPECT_TRUE(floating->isVisible());
  EXPECT_FALSE(s->hidden);
  EXPECT_EQ(enclosing_dock_area(s), floating);
}

TEST_F(DockPresentation, ClosingTheLastVisibleDockHidesTheFloatingWindow)
{
  DockWidget *f = present("F", 0);
  DockArea *floating = enclosing_dock_area(f);
  DockWidget *g = present("G", placement(dock_place_as_tab), "F");
  EXPECT_EQ(enclosing_dock_area(g), floating);
  test_app().close_hosted_widget(f, 0);
  EXPECT_TRUE(floating->isVisible());
  test_app().close_hosted_widget(g, 0);
  EXPECT_FALSE(floating->isVisible());
  EXPECT_EQ(floating->countDockWidgets(false), 2);
}

TEST_F(DockPresentation, AnEmptiedFloatingWindowWaitsForTheDragToEnd)
{
  DockWidget *f = present("F", 0);
  QPointer<DockArea> floating(enclosing_dock_area(f));
  drag_state = drag_running;
  DockArea::detach_docked(f);
  settle_events();
  ASSERT_FALSE(floating.isNull());
  drag_state = drag_idle;
  floating->check_floating_empty();
  settle_events();
  EXPECT_TRUE(floating.isNull());
}

TEST_F(DockPresentation, TheDragTitleExpandsOnHoverAndCollapses)
{
  DockWidget *f = present("F", 0);
  DockArea *floating = enclosing_dock_area(f);
  DockAreaDragTitle *title = floating->drag_title();
  title->collapse();
  EXPECT_EQ(title->height(), DockAreaDragTitle::collapsed_height);
  EXPECT_TRUE(title->label->isHidden());
  QEvent enter(QEvent::Enter);
  QApplication::sendEvent(title, &enter);
  EXPECT_TRUE(title->hover_timer.isActive());
  EXPECT_EQ(title->hover_timer.interval(), 300);
  // The timer's own turn, however late a loaded machine gives it.
  EXPECT_TRUE(QTest::qWaitFor([&] { return title->is_expanded(); }, 5000));
  EXPECT_GT(title->height(), DockAreaDragTitle::collapsed_height);
  EXPECT_FALSE(title->label->isHidden());
  EXPECT_TRUE(title->exit_button->isHidden());
  EXPECT_EQ(f->mapTo(floating, QPoint(0, 0)).y(), title->height());
  save_screenshot(*floating, "expanded-title");
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(title, &leave);
  EXPECT_FALSE(title->is_expanded());
  EXPECT_EQ(title->height(), DockAreaDragTitle::collapsed_height);
}

TEST_F(DockPresentation, FullScreenShowsTheWindowTitleAndTheExitButton)
{
  DockWidget *x = present("X", placement(dock_place_right));
  DockWidget *a = present("A", placement(dock_place_right), "X");
  DockArea *full = area->full_screen_dock(a);
  ASSERT_TRUE(full->is_floating());
  EXPECT_TRUE(full->isFullScreen());
  EXPECT_TRUE(full->drag_title()->is_expanded());
  EXPECT_EQ(full->drag_title()->label->text(), "A");
  EXPECT_FALSE(full->drag_title()->exit_button->isHidden());
  EXPECT_EQ(shape(), "H[X]");
  (void)x;
}

TEST_F(DockPresentation, TheFullscreenButtonAsksTheApplication)
{
  // The Fullscreen button asks the application by name, through its enter_full_screen slot.
  DockWidget *a = present("A", placement(dock_place_right));
  QPointer<QWidget> content(dock_content(a));
  settle_events();
  QTest::mouseClick(dock_title_bar(a)->findChildren<QPushButton *>()[0], Qt::LeftButton);
  ASSERT_TRUE(test_app().is_full_screen());
  EXPECT_TRUE(enclosing_dock_area(content)->isFullScreen());
  EXPECT_TRUE(test_app().leave_full_screen());
  settle_events();
  EXPECT_EQ(shape(), "H[A]");
  EXPECT_EQ(dock_content(area->find_dock_widget("A")), content.data());
}

} // namespace

#include "dock_presentation_test.moc"
