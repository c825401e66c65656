// An action that mirrors another one: same text, state and icon, and triggering it triggers the source.
#pragma once

#include <QAction>

// The dynamic string property of a QAction that names the icon it shows; a shadow re-copies the icon when
// its source's value changes.
inline constexpr char icon_metadata_property[] = "tivex_icon_metadata";

// Mirrors a source QAction. Promises: text, tooltip, enabled, visible, checkable and checked follow every
// change of the source; the icon is copied at construction and again whenever the source's icon metadata
// property changes; triggering the shadow triggers the source. The source must outlive the shadow's use.
class qaction_shadow_t : public QAction
{
  Q_OBJECT

public:
  qaction_shadow_t(QAction *source, QObject *parent);

private slots:
  void on_sync_required();

private:
  void sync_from(const QAction *source);
};
