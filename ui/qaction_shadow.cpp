// An action that mirrors another one: same text, state and icon, and triggering it triggers the source.
#include "ui/qaction_shadow.h"

qaction_shadow_t::qaction_shadow_t(QAction *source, QObject *parent) : QAction(parent)
{
  setIcon(source->icon());
  sync_from(source);
  connect(this, &QAction::triggered, source, &QAction::triggered);
  connect(source, &QAction::changed, this, &qaction_shadow_t::on_sync_required);
}

void qaction_shadow_t::on_sync_required()
{
  if ( const auto *source = qobject_cast<const QAction *>(sender()) )
    sync_from(source);
}

void qaction_shadow_t::sync_from(const QAction *source)
{
  if ( text() != source->text() )
    setText(source->text());
  if ( toolTip() != source->toolTip() )
    setToolTip(source->toolTip());
  setEnabled(source->isEnabled());
  setVisible(source->isVisible());
  setCheckable(source->isCheckable());
  if ( source->isCheckable() )
    setChecked(source->isChecked());
  const QVariant metadata = source->property(icon_metadata_property);
  if ( !metadata.isValid() )
    return;
  const QString value = metadata.toString();
  if ( value != property(icon_metadata_property).toString() )
  {
    setIcon(source->icon());
    setProperty(icon_metadata_property, value);
  }
}
