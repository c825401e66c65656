// The client's chooser widget: a chooser that reloads when the application marks its kind of list dirty.
#pragma once

#include "views/chooser/chooser_widget.h"

// A chooser_widget_t with the icon of its source and the client's refresh. Promise: the refresh event (3001)
// reloads it exactly when the event's mask holds the bit of its own kind (a source without a kind never
// reloads this way); every other event is the chooser's.
class akui_chooser_widget_t : public chooser_widget_t
{
  Q_OBJECT

public:
  explicit akui_chooser_widget_t(const chooser_widget_setup_t &setup);

protected:
  bool event(QEvent *event) override;
};
