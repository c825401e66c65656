// One drag started from a filtered view: its label, the engine's hand-over, and what a drop leaves to select.
#pragma once

#include "core/qstring.h"

class QAbstractItemView;
class filtered_widget_mixin_t;
class ui_owned_object_t;
class ui_widget_factory_t;
struct view_snapshot_t;

// The most code points of the names a drag label shows.
inline constexpr size_t drag_label_max_code_points = 20;

// The names of the rows that a hand-over's records selected (the text of the engine's flagged column, empty
// texts left out), joined by ", ", and the label built from them: "Drag '<names>'", or "Drag items" without
// any name. Names beyond 20 code points end in 19 code points and "…" (U+2026).
[[nodiscard]] qstring drag_label_text(filtered_widget_mixin_t &engine, const view_snapshot_t &handover);

// Lives for one drag (the startDrag overrides of filtered views hold it around the base startDrag). Promises:
// while it lives the engine's drag counter is raised, the caller's hand-over is the engine's and the view is
// the engine's drag view; when it ends the drop's rows are selected in the drop's view, the engine's drag
// state is cleared and the reversible-operation control goes back to the factory.
class drag_scope_t
{
public:
  // Swaps the hand-over (a snapshot taken with flags 7) into the engine and opens a reversible-operation
  // control "Drag items" with the label.
  drag_scope_t(filtered_widget_mixin_t *engine, QAbstractItemView *view, view_snapshot_t *handover);
  ~drag_scope_t();
  drag_scope_t(const drag_scope_t &) = delete;
  drag_scope_t &operator=(const drag_scope_t &) = delete;

  [[nodiscard]] const qstring &label() const { return label_; }

private:
  filtered_widget_mixin_t *engine_; // not owned
  qstring label_;
  ui_widget_factory_t *factory_ = nullptr; // the application's, null without one
  ui_owned_object_t *control_ = nullptr;   // released through the factory
};
