// A reference to a Qt object one does not own, which forgets the object when it is destroyed.
#include "ui/object_lifecycle_monitor.h"

#include "core/internal_error.h"

void object_lifecycle_monitor_t::watch_object(QObject *object)
{
  if ( watched_ != nullptr && !disconnect(connection_) )
    interr(40419);
  watched_ = nullptr;
  connection_ = {};
  destroyed_ = false;
  if ( object == nullptr )
    return;
  // Direct: the mark must be set on the destroying thread before anything after the delete runs.
  connection_ = connect(object, &QObject::destroyed, this, &object_lifecycle_monitor_t::on_object_destroyed,
                        Qt::DirectConnection);
  if ( !connection_ )
    interr(40420);
  watched_ = object;
}

void object_lifecycle_monitor_t::on_object_destroyed()
{
  destroyed_ = true;
  watched_ = nullptr;
  connection_ = {};
}
