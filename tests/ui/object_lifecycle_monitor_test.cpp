// The lifecycle monitor forgets a watched object the moment it is destroyed, and tells that apart.
#include "ui/object_lifecycle_monitor.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

TEST(ObjectLifecycleMonitor, FreshMonitorWatchesNothing)
{
  object_lifecycle_monitor_t monitor;
  EXPECT_EQ(monitor.watched(), nullptr);
  EXPECT_FALSE(monitor.was_destroyed());
  EXPECT_EQ(monitor.parent(), nullptr);
}

TEST(ObjectLifecycleMonitor, DestroyedObjectIsForgottenBeforeTheDeleteReturns)
{
  object_lifecycle_monitor_t monitor;
  auto widget = std::make_unique<QWidget>();
  monitor.watch_object(widget.get());
  EXPECT_EQ(monitor.watched(), widget.get());
  EXPECT_EQ(monitor.watched_as<QWidget>(), widget.get());
  EXPECT_FALSE(monitor.was_destroyed());

  widget.reset();
  EXPECT_EQ(monitor.watched(), nullptr);
  EXPECT_TRUE(monitor.was_destroyed());

  // Watching again (something or nothing) clears the mark.
  monitor.watch_object(nullptr);
  EXPECT_EQ(monitor.watched(), nullptr);
  EXPECT_FALSE(monitor.was_destroyed());
}

TEST(ObjectLifecycleMonitor, SwitchingObjectsStopsFollowingThePreviousOne)
{
  object_lifecycle_monitor_t monitor;
  auto first = std::make_unique<QObject>();
  auto second = std::make_unique<QWidget>();
  monitor.watch_object(first.get());
  monitor.watch_object(second.get());
  first.reset();
  EXPECT_EQ(monitor.watched(), second.get());
  EXPECT_FALSE(monitor.was_destroyed());

  // Watching null after an object leaves nothing watched and no mark, and the old object's death is not heard.
  monitor.watch_object(nullptr);
  second.reset();
  EXPECT_EQ(monitor.watched(), nullptr);
  EXPECT_FALSE(monitor.was_destroyed());

  // A plain QObject is not a widget.
  auto plain = std::make_unique<QObject>();
  monitor.watch_object(plain.get());
  EXPECT_EQ(monitor.watched_as<QWidget>(), nullptr);
}

TEST(ObjectLifecycleMonitor, MonitorDestroyedFirstLeavesTheObjectUntouched)
{
  auto object = std::make_unique<QObject>();
  {
    object_lifecycle_monitor_t monitor;
    monitor.watch_object(object.get());
  }
  object.reset();   // no call into the freed monitor (the sanitizers would see it)
  SUCCEED();
}

TEST(ObjectLifecycleMonitor, ObjectDestroyedOnAnotherThreadIsSeenWhenTheThreadIsJoined)
{
  object_lifecycle_monitor_t monitor;
  auto *object = new QObject;
  object->moveToThread(nullptr);
  monitor.watch_object(object);
  std::thread([object] { delete object; }).join();
  EXPECT_EQ(monitor.watched(), nullptr);
  EXPECT_TRUE(monitor.was_destroyed());
}
