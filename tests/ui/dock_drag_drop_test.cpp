// Dock drag and drop: the drop targets and preview, every drop code, drags started by title bars and tabs,
// tab reordering and middle clicks, and payloads that name no dragged dock.
#include "tests/ui/app/screenshots.h"
#include "tests/ui/dock_test_support.h"
#include "ui/docks/dock_area_p.h"
#include "ui/docks/dock_drag.h"
#include "ui/docks/dock_drag_title.h"

#include <QCursor>
#include <QMimeData>
#include <QMouseEvent>
#include <QRubberBand>
#include <QtTest/QTest>

#include <cstring>

namespace {

class DockDragDrop : public DockFixture
{
protected:
  // X | Y side by side in the top-level area.
  void SetUp() override
  {
    DockFixture::SetUp();
    x = make_dock("X");
    y = make_dock("Y");
    area->dock_at_edge(x, dock_edge_right);
    area->split_dock(y, x, dock_edge_right);
    settle_events();
  }

  // A parentless dock, as the dragged dock is while a drag runs.
  DockWidget *dragged(const QString &title)
  {
    DockWidget *node = make_dock(title);
    node->resize(200, 150);
    node->setBaseSize(node->size());
    drag_state = drag_running;
    return node;
  }

  static std::unique_ptr<QMimeData> payload_of(const BaseDockWidget *node)
  {
    auto data = std::make_unique<QMimeData>();
    data->setData(dock_mime_format(), dock_payload_bytes(node));
    return data;
  }

  // Sends a drag entry (and a move) then a drop at the point of the widget; answers whether the drop was accepted.
  static bool drop_on(QWidget *target, const QPoint &point, const QMimeData *data)
  {
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(point, actions, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDragMoveEvent move(point, actions, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(point, actions, data, Qt::LeftButton, Qt::NoModifier);
    drop.setAccepted(false);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
  }

  // Real mouse events with the left button held.
  static void mouse(QWidget *widget, QEvent::Type type, const QPoint &point, Qt::MouseButton button,
                    Qt::MouseButtons held)
  {
    QMouseEvent event(type, point, widget->mapToGlobal(point), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
  }

  [[nodiscard]] dock_area_private_t &parts() const { return area->drag_parts(); }
  [[nodiscard]] int floating_count() const { return area->floating_areas().size(); }

  DockWidget *x = nullptr;
  DockWidget *y = nullptr;
};

TEST_F(DockDragDrop, ThePayloadNamesTheDockInThisProcessesFormat)
{
  EXPECT_EQ(dock_mime_format(), "dockdata" + QString::number(QCoreApplication::applicationPid()));
  EXPECT_EQ(dock_payload_bytes(x).size(), 8);
  EXPECT_EQ(dock_from_payload(dock_payload_bytes(x)), x);
  EXPECT_EQ(dock_from_payload(dock_payload_bytes(x).left(7)), nullptr);
}

TEST_F(DockDragDrop, TheCrossAndTheArrowsSitOnTheTargetAndTheEdges)
{
  QPointer<DockWidget> node(dragged("N"));
  area->show_drop_arrows(y);
  const QWidget *content = dock_content(y);
  const QPoint centre = content->mapTo(area, content->rect().center());
  EXPECT_EQ(parts().arrow_area->geometry().topLeft(), centre - QPoint(44, 44));
  EXPECT_EQ(parts().arrow_area->size(), QSize(89, 89));
  EXPECT_TRUE(parts().arrow_area->isVisible());
  const int w = area->width();
  const int h = area->height();
  struct
  {
    int index;
    QRect geometry;
  } const arrows[] = {
    {0, QRect(w / 2 - 29 / 2, 0, 29, 32)},
    {1, QRect(w / 2 - 29 / 2, h - 32, 29, 32)},
    {2, QRect(0, h / 2 - 29 / 2, 32, 29)},
    {3, QRect(w - 32, h / 2 - 29 / 2, 32, 29)},
  };
  for ( const auto &a : arrows )
  {
    EXPECT_EQ(parts().arrows[size_t(a.index)]->geometry(), a.geometry) << a.index;
    EXPECT_TRUE(parts().arrows[size_t(a.index)]->isVisible()) << a.index;
  }
  save_screenshot(*window, "arrows");
  area->show_drop_preview(dock_drop_split_right);
  save_screenshot(*window, "preview-right-of-y");
  area->hide_drop_indicators();
  EXPECT_FALSE(parts().arrow_area->isVisible());
  EXPECT_FALSE(parts().drop_marker->isVisible());
  for ( DockArrow *arrow : parts().arrows )
    EXPECT_FALSE(arrow->isVisible());
  delete node.data();
}

TEST_F(DockDragDrop, FloatingWindowsShowNoEdgeArrows)
{
  DockWidget *f = make_dock("F");
  DockArea *floating = area->float_dock(f, nullptr, false);
  floating->show_drop_arrows(f);
  EXPECT_TRUE(floating->drag_parts().arrow_area->isVisible());
  for ( DockArrow *arrow : floating->drag_parts().arrows )
    EXPECT_FALSE(arrow->isVisible());
}

TEST_F(DockDragDrop, ThePreviewCoversWhereTheDockWouldGo)
{
  area->show_drop_arrows(y);
  const QRect r(y->mapTo(area, QPoint(0, 0)), y->size());
  const int w = area->width();
  const int h = area->height();
  struct
  {
    int code;
    QRect marker;
  } const cases[] = {
    {1, r},
    {2, QRect(r.x(), r.y(), r.width() / 2, r.height())},
    {3, QRect(r.x() + r.width() - r.width() / 2, r.y(), r.width() / 2, r.height())},
    {4, QRect(r.x(), r.y(), r.width(), r.height() / 2)},
    {5, QRect(r.x(), r.y() + r.height() - r.height() / 2, r.width(), r.height() / 2)},
    {6, QRect(0, 0, w / 4, h)},
    {7, QRect(w - w / 4, 0, w / 4, h)},
    {8, QRect(0, 0, w, h / 4)},
    {9, QRect(0, h - h / 4, w, h / 4)},
  };
  for ( const auto &c : cases )
  {
    area->show_drop_preview(c.code);
    EXPECT_EQ(parts().drop_marker->geometry(), c.marker) << c.code;
    EXPECT_TRUE(parts().drop_marker->isVisible()) << c.code;
  }
  // An empty area is covered whole, whatever the code.
  DockArea empty;
  empty.resize(300, 200);
  empty.show_drop_preview(dock_drop_edge_left);
  EXPECT_EQ(empty.drag_parts().drop_marker->geometry(), QRect(0, 0, 300, 200));
}

TEST_F(DockDragDrop, TheCrossZonesAreTestedCentreFirst)
{
  const DockArrowArea &cross = *parts().arrow_area;
  struct
  {
    QPoint point;
    int zone;
  } const cases[] = {
    {{44, 44}, 1}, {{30, 30}, 1}, {{29, 30}, 2}, {{0, 58}, 2},  {{59, 44}, 3}, {{88, 58}, 3},
    {{44, 0}, 4},  {{44, 29}, 4}, {{44, 60}, 5}, {{58, 88}, 5}, {{5, 5}, 0},   {{88, 88}, 0},
  };
  for ( const auto &c : cases )
    EXPECT_EQ(cross.zone_at(c.point), c.zone) << c.point.x() << "," << c.point.y();
}

// Every drop code reaches its tree operation.
TEST_F(DockDragDrop, EveryDropCodeReachesItsTreeOperation)
{
  struct
  {
    int code;
    const char *shape;
  } const cases[] = {
    {dock_drop_tab, "H[X,T[Y,N]]"},
    {dock_drop_split_left, "H[X,N,Y]"},
    {dock_drop_split_right, "H[X,Y,N]"},
    {dock_drop_split_above, "H[X,V[N,Y]]"},
    {dock_drop_split_below, "H[X,V[Y,N]]"},
    {dock_drop_edge_left, "H[N,X,Y]"},
    {dock_drop_edge_right, "H[X,Y,N]"},
    {dock_drop_edge_top, "V[N,H[X,Y]]"},
    {dock_drop_edge_bottom, "V[H[X,Y],N]"},
  };
  for ( const auto &c : cases )
  {
    DockWidget *node = dragged("N");
    area->show_drop_arrows(y);
    area->drop_dock(c.code, node, QPoint(10, 10));
    drag_state = drag_idle;
    EXPECT_EQ(shape(), c.shape) << c.code;
    EXPECT_FALSE(parts().arrow_area->isVisible()) << c.code;
    DockArea::detach_docked(node);
    delete node;
    EXPECT_EQ(shape(), "H[X,Y]") << c.code;
  }
}

// Dropping on the bare area or on a dock's body floats the dock at the mouse with its previous size.
TEST_F(DockDragDrop, DropsOutsideTheTargetsFloatTheDockAtTheMouse)
{
  QCursor::setPos(window->mapToGlobal(QPoint(300, 200)));
  for ( QWidget *target : {static_cast<QWidget *>(area), static_cast<QWidget *>(y)} )
  {
    DockWidget *node = dragged("N");
    node->drag_offset_x = 20;
    const int before = floating_count();
    const auto data = payload_of(node);
    EXPECT_TRUE(drop_on(target, QPoint(5, 5), data.get()));
    drag_state = drag_idle;
    ASSERT_EQ(floating_count(), before + 1);
    DockArea *floating = enclosing_dock_area(node);
    ASSERT_NE(floating, nullptr);
    EXPECT_TRUE(floating->is_floating());
    EXPECT_EQ(floating->pos(), QCursor::pos() - QPoint(20, 0));
    EXPECT_EQ(floating->size(), QSize(200, 150));
    EXPECT_EQ(shape(), "H[X,Y]");
  }
}

TEST_F(DockDragDrop, DropsOnTheArrowsAndTheCrossDockWhereTheyShow)
{
  DockWidget *node = dragged("N");
  auto data = payload_of(node);
  DockArrow *left = parts().arrows[2];
  area->show_drop_arrows(nullptr);
  EXPECT_TRUE(drop_on(left, QPoint(5, 5), data.get()));
  EXPECT_EQ(shape(), "H[N,X,Y]");
  DockArea::detach_docked(node);

  // Entering the cross over its bottom zone previews, and the drop splits the dock under it.
  drag_state = drag_running;
  area->show_drop_arrows(y);
  DockArrowArea *cross = parts().arrow_area;
  QDragEnterEvent enter(QPoint(44, 70), Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(cross, &enter);
  EXPECT_EQ(cross->zone, dock_drop_split_below);
  EXPECT_TRUE(parts().drop_marker->isVisible());
  save_screenshot(*window, "cross-bottom-zone");
  QDropEvent drop(QPoint(44, 70), Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(cross, &drop);
  drag_state = drag_idle;
  EXPECT_EQ(shape(), "H[X,V[Y,N]]");
}

// A drop whose target went away (the arrows hid meanwhile) floats the dock instead of losing it.
TEST_F(DockDragDrop, ADropOnATargetThatWentAwayFloatsTheDock)
{
  for ( int code : {int(dock_drop_tab), int(dock_drop_split_left), int(dock_drop_split_below)} )
  {
    DockWidget *node = dragged("N");
    area->show_drop_arrows(y);
    area->hide_drop_indicators();
    const int before = floating_count();
    area->drop_dock(code, node, QPoint(40, 50));
    drag_state = drag_idle;
    EXPECT_EQ(shape(), "H[X,Y]") << code;
    EXPECT_EQ(floating_count(), before + 1) << code;
    DockArea *floating = enclosing_dock_area(node);
    ASSERT_NE(floating, nullptr) << code;
    EXPECT_EQ(floating->pos(), QPoint(40, 50)) << code;
  }
}

TEST_F(DockDragDrop, DroppingOnTheCentreOfAPageNestsANewGroup)
{
  area->tabify_dock(make_dock("Z"), y, false, -1);
  EXPECT_EQ(shape(), "H[X,T[Y,Z]]");
  DockWidget *node = dragged("N");
  area->show_drop_arrows(y);
  area->drop_dock(dock_drop_tab, node, QPoint());
  drag_state = drag_idle;
  EXPECT_EQ(shape(), "H[X,T[T[Y,N],Z]]");
  settle_events();
  save_screenshot(*window, "nested-tab-group");
}

// A payload that names no dragged dock of this process moves nothing.
TEST_F(DockDragDrop, HostilePayloadsAreIgnored)
{
  QPointer<DockWidget> gone(dragged("Gone"));
  const QByteArray stale = dock_payload_bytes(gone);
  delete gone.data();
  QByteArray forged(8, '\0');
  const quintptr fake = quintptr(0x1234567890ull);
  std::memcpy(forged.data(), &fake, sizeof(fake));
  DockWidget *node = dragged("N");
  const QByteArray good = dock_payload_bytes(node);
  const QString other = "dockdata" + QString::number(QCoreApplication::applicationPid() + 1);

  struct
  {
    const char *why;
    QString format;
    QByteArray bytes;
  } const cases[] = {
    {"forged address", dock_mime_format(), forged},
    {"deleted node", dock_mime_format(), stale},
    {"seven bytes", dock_mime_format(), good.left(7)},
    {"empty", dock_mime_format(), QByteArray()},
    {"another process", other, good},
    {"a dock inside the tree", dock_mime_format(), dock_payload_bytes(x)},
    {"the tree's root", dock_mime_format(), dock_payload_bytes(area->root())},
  };
  DockTab *group = static_cast<DockTab *>(area->tabify_dock(make_dock("Z"), y, false, -1));
  const std::string before = shape();
  for ( const auto &c : cases )
  {
    QMimeData data;
    data.setData(c.format, c.bytes);
    area->show_drop_arrows(y);
    const int floating = floating_count();
    QList<QWidget *> targets {area, y, parts().arrows[0], parts().arrow_area, group->tab_bar()};
    for ( QWidget *target : targets )
      drop_on(target, QPoint(1, 1), &data);
    QDropEvent direct(QPoint(1, 1), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    area->drop_payload(dock_drop_tab, &direct);
    EXPECT_EQ(shape(), before) << c.why;
    EXPECT_EQ(floating_count(), floating) << c.why;
    EXPECT_EQ(node->parentWidget(), nullptr) << c.why;
  }
  drag_state = drag_idle;
}

// Under the offscreen platform a drag ends at once with no target: the dock floats at the mouse.
TEST_F(DockDragDrop, DraggingATitleBarTakesTheDockOutAndFloatsIt)
{
  DockWidgetTitle *bar = dock_title_bar(y);
  const QPoint press(12, 5);
  mouse(bar, QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
  mouse(bar, QEvent::MouseMove, press + QPoint(QApplication::startDragDistance() + 2, 0), Qt::NoButton,
        Qt::LeftButton);
  EXPECT_EQ(drag_state, drag_idle);
  EXPECT_EQ(shape(), "H[X]");
  DockArea *floating = enclosing_dock_area(y);
  ASSERT_NE(floating, nullptr);
  EXPECT_TRUE(floating->is_floating());
  EXPECT_EQ(y->drag_offset_x, 12);
  save_screenshot(*floating, "dragged-out");
}

// The only dock dragged out of a floating window lands in a new one; the emptied window closes after the drag.
TEST_F(DockDragDrop, TheOnlyDockDraggedOutOfAFloatingWindowClosesIt)
{
  DockWidget *f = make_dock("F");
  QPointer<DockArea> old_window(area->float_dock(f, nullptr, true));
  DockAreaDragTitle *title = old_window->drag_title();
  mouse(title, QEvent::MouseButtonPress, QPoint(8, 2), Qt::LeftButton, Qt::LeftButton);
  mouse(title, QEvent::MouseMove, QPoint(8 + QApplication::startDragDistance() + 2, 2), Qt::NoButton,
        Qt::LeftButton);
  settle_events();
  EXPECT_TRUE(old_window.isNull());
  DockArea *now = enclosing_dock_area(f);
  ASSERT_NE(now, nullptr);
  EXPECT_TRUE(now->is_floating());
  EXPECT_EQ(now->countDockWidgets(false), 1);
}

TEST_F(DockDragDrop, PressingATabAndLeavingTheBarDragsItsPage)
{
  DockWidget *hidden_page = make_dock("H");
  auto *group = static_cast<DockTab *>(area->tabify_dock(hidden_page, y, false, -1));
  DockWidget *z = make_dock("Z");
  area->tabify_dock(z, y, false, -1);
  area->hide_dock(hidden_page);
  settle_events();
  EXPECT_EQ(shape(), "H[X,T[Y,H*,Z]]");
  DockTabBar *bar = group->tab_bar();
  ASSERT_EQ(bar->count(), 2);
  const QPoint on_z = bar->tabRect(1).center();
  mouse(bar, QEvent::MouseButtonPress, on_z, Qt::LeftButton, Qt::LeftButton);
  mouse(bar, QEvent::MouseMove, QPoint(on_z.x(), bar->height() + 40), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(shape(), "H[X,T[Y,H*]]");
  DockArea *floating = enclosing_dock_area(z);
  ASSERT_NE(floating, nullptr);
  EXPECT_TRUE(floating->is_floating());
}

TEST_F(DockDragDrop, ATabReleasedOverAnotherMovesBeforeIt)
{
  auto *group = static_cast<DockTab *>(area->tabify_dock(make_dock("B"), y, false, -1));
  area->tabify_dock(make_dock("C"), y, false, 2);
  area->tabify_dock(make_dock("D"), y, false, 3);
  settle_events();
  EXPECT_EQ(shape(), "H[X,T[Y,B,C,D]]");
  DockTabBar *bar = group->tab_bar();
  ASSERT_EQ(bar->count(), 4);
  const QPoint on_0 = bar->tabRect(0).center();
  const QPoint on_2 = bar->tabRect(2).center();
  mouse(bar, QEvent::MouseButtonPress, on_0, Qt::LeftButton, Qt::LeftButton);
  mouse(bar, QEvent::MouseMove, on_2, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(bar->drop_index, 2);
  EXPECT_TRUE(bar->drop_marker->isVisible());
  save_screenshot(*window, "tab-drop-marker");
  mouse(bar, QEvent::MouseButtonRelease, on_2, Qt::LeftButton, Qt::NoButton);
  settle_events();
  EXPECT_EQ(shape(), "H[X,T[B,Y,C,D]]");
  EXPECT_EQ(bar->tabText(1), "Y");
  EXPECT_EQ(bar->currentIndex(), 1);
  EXPECT_EQ(group->stack()->currentWidget(), y);
  EXPECT_EQ(bar->press_index, -1);
  EXPECT_FALSE(bar->drop_marker->isVisible());
}

TEST_F(DockDragDrop, AMiddleClickOnATabClosesItsPage)
{
  DockWidget *b = make_dock("B");
  auto *group = static_cast<DockTab *>(area->tabify_dock(b, y, false, -1));
  settle_events();
  DockTabBar *bar = group->tab_bar();
  const QPoint beside(bar->tabRect(1).right() + 30, bar->tabRect(1).center().y());
  QTest::mouseClick(bar, Qt::MiddleButton, Qt::NoModifier, beside);
  settle_events();
  EXPECT_FALSE(b->hidden);
  EXPECT_FALSE(y->hidden);
  QTest::mouseClick(bar, Qt::MiddleButton, Qt::NoModifier, bar->tabRect(1).center());
  settle_events();
  EXPECT_TRUE(b->hidden);
  EXPECT_FALSE(y->hidden);
}

TEST_F(DockDragDrop, ADropOnATabBarInsertsAPageThere)
{
  auto *group = static_cast<DockTab *>(area->tabify_dock(make_dock("B"), y, false, -1));
  settle_events();
  DockWidget *node = dragged("N");
  node->hidden = true;
  const auto data = payload_of(node);
  EXPECT_TRUE(drop_on(group->tab_bar(), group->tab_bar()->tabRect(1).center(), data.get()));
  drag_state = drag_idle;
  EXPECT_EQ(shape(), "H[X,T[Y,N,B]]");
  EXPECT_EQ(group->stack()->currentWidget(), node);
  EXPECT_EQ(group->tab_bar()->drop_index, -1);
}

} // namespace
