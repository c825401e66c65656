// Helpers of the dock tests: labelled docks, a readable form of a tree's shape, and a fixture that leaves the
// application's top-level dock area empty again.
#pragma once

#include "tests/ui/app/test_app.h"
#include "ui/docks/desktop_widgets.h"
#include "ui/docks/dock_area.h"
#include "ui/docks/dock_containers.h"
#include "ui/docks/dock_widget.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QSplitter>
#include <QStackedWidget>

#include <gtest/gtest.h>

#include <string>

// A dock around a label whose window title is the title (made by the application's factory).
inline DockWidget *make_dock(const QString &title, QWidget **content_out = nullptr)
{
  auto *label = new QLabel(title);
  label->setWindowTitle(title);
  label->setFocusPolicy(Qt::StrongFocus);
  if ( content_out != nullptr )
    *content_out = label;
  return test_app().get_widget_factory()->new_dock_widget(label, 0);
}

// The shape of a subtree: a leaf is its title (with '*' when hidden), a splitter "H[...]" or "V[...]", a tab
// group "T[...]"; children joined by ",".
inline QString dock_shape(const BaseDockWidget *node)
{
  if ( node == nullptr )
    return QStringLiteral("-");
  if ( node->is_leaf() )
    return node->title() + (node->hidden ? QStringLiteral("*") : QString());
  const auto *complex = static_cast<const ComplexDockWidget *>(node);
  QStringList parts;
  for ( int i = 0; i < complex->child_count(); ++i )
    parts.append(dock_shape(complex->child_at(i)));
  QString kind = QStringLiteral("T");
  if ( const auto *splitter = qobject_cast<const DockSplitter *>(node) )
    kind = splitter->orientation() == Qt::Horizontal ? QStringLiteral("H") : QStringLiteral("V");
  return kind + QLatin1Char('[') + parts.join(QLatin1Char(',')) + QLatin1Char(']') +
         (node->hidden ? QStringLiteral("*") : QString());
}

// Runs the posted events, deferred deletions included.
inline void settle_events()
{
  for ( int i = 0; i < 3; ++i )
  {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
  }
}

// The application's top-level area in a shown main window; everything docked is gone again afterwards.
class DockFixture : public ::testing::Test
{
protected:
  void SetUp() override
  {
    window = test_app().main_window();
    window->resize(800, 600);
    window->show();
    QApplication::setActiveWindow(window);
    area = test_app().top_level_dock_area();
    ASSERT_NE(area, nullptr);
    closed_docks().clear();
    // The dock tests look at the areas alone: closed docks stay hidden in their trees. What the application
    // does with them is the desktop tests' business (answer_deletion_requests).
    QObject::disconnect(area, &TopLevelDockArea::user_request_docks_deletion, &test_app(),
                        &app_t::on_user_docks_deletion_request);
  }

  // Lets the application answer the areas' deletion requests, as it does outside these tests.
  void answer_deletion_requests()
  {
    QObject::connect(area, &TopLevelDockArea::user_request_docks_deletion, &test_app(),
                     &app_t::on_user_docks_deletion_request, Qt::UniqueConnection);
  }

  void TearDown() override
  {
    area->removeAllDocks(true);
    settle_events();
    // The leaves taken out survive the area; the tests own them.
    QList<QPointer<BaseDockWidget>> nodes;
    for ( BaseDockWidget *node : all_dock_nodes() )
      nodes.append(node);
    for ( const QPointer<BaseDockWidget> &node : nodes )
      if ( node != nullptr && node->parentWidget() == nullptr )
        delete node.data();
    settle_events();
    closed_docks().clear();
    drag_state = drag_idle;
    answer_deletion_requests();
    window->hide();
    settle_events();
  }

  [[nodiscard]] std::string shape() const { return dock_shape(area->root()).toStdString(); }

  QWidget *window = nullptr;
  TopLevelDockArea *area = nullptr;
};
