// A reference to a Qt object one does not own, which forgets the object when it is destroyed.
#pragma once

#include <QObject>

// Watches one QObject through its destroyed() signal.
// Promises: watched() is null once the object is gone, and was_destroyed() then says so, until another
// object (or null) is watched; both change on the destroying thread before destroyed() returns.
class object_lifecycle_monitor_t : public QObject
{
  Q_OBJECT

public:
  object_lifecycle_monitor_t() = default;
  ~object_lifecycle_monitor_t() override = default;

  // Stops watching the previous object (internal error 40419 when its signal cannot be disconnected),
  // clears the destroyed mark and, for a non-null object, starts watching it (internal error 40420
  // when the connection cannot be made).
  void watch_object(QObject *object);

  // The watched object, null when none or when it was destroyed.
  [[nodiscard]] QObject *watched() const { return watched_; }
  // The watched object as a T, null when it is none, gone or not a T.
  template <typename T>
  [[nodiscard]] T *watched_as() const { return qobject_cast<T *>(watched_); }
  // True after the watched object was destroyed; false when nothing was watched since the last watch_object.
  [[nodiscard]] bool was_destroyed() const { return destroyed_; }

public slots:
  virtual void on_object_destroyed();

private:
  QObject *watched_ = nullptr;   // not owned
  bool destroyed_ = false;
  QMetaObject::Connection connection_;
};
