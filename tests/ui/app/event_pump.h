// Processing the GUI thread's events in widget tests until something holds.
#pragma once

#include <QCoreApplication>

#include <chrono>
#include <functional>

// Processes events on the GUI thread until `done` holds or the time is up; false on time-out.
inline bool pump_until(const std::function<bool()> &done, std::chrono::milliseconds limit = std::chrono::seconds(20))
{
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while ( !done() )
  {
    if ( std::chrono::steady_clock::now() > deadline )
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}
