// The colour field.
#include "forms/inputs/color_button.h"

#include "forms/inputs/input_requests.h"
#include "ui/app_base.h"
#include "ui/layout_helpers.h"

#include <QColorDialog>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace {
const char default_caption[] = "DEFAULT";
}

ColorButton::ColorButton(const QString &caption, QWidget *parent, int flags) : QPushButton(parent), flags_(flags)
{
  if ( !caption.isNull() )
    setText(caption);
  if ( (flags_ & allow_default) != 0 )
  {
    setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1String(default_caption)) + fontMetrics().height() + 40);
    saved_caption_ = text();
    setText(QLatin1String(default_caption));
  }
  connect(this, &QPushButton::clicked, this, &ColorButton::on_clicked);
}

void ColorButton::on_clicked()
{
  const QColorDialog::ColorDialogOptions options =
    (flags_ & alpha_channel) != 0 ? QColorDialog::ShowAlphaChannel : QColorDialog::ColorDialogOptions();
  const QColor chosen = get_color_guarded(color_, this, QString(), options);
  if ( chosen.isValid() )
    set_color(chosen);
}

void ColorButton::set_color(const QColor &color)
{
  if ( !color.isValid() && (flags_ & allow_default) == 0 )
    return;
  if ( color == color_ )
    return;
  const bool was_valid = color_.isValid();
  color_ = color;
  if ( (flags_ & allow_default) != 0 && was_valid != color_.isValid() )
  {
    if ( color_.isValid() )
    {
      setText(saved_caption_);
    }
    else
    {
      saved_caption_ = text();
      setText(QLatin1String(default_caption));
    }
  }
  update();
  emit colorChanged(color_);
}

void ColorButton::paintEvent(QPaintEvent *)
{
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  option.features |= QStyleOptionButton::Flat;
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF swatch(1.5, 1.5, width() - 2, height() - 2);
  QPainterPath path;
  path.addRoundedRect(swatch, 2, 2);
  if ( color_.isValid() )
  {
    painter.fillPath(path, color_);
    const QColor text = color_.red() >= 128 ? QColor(Qt::black) : QColor(Qt::white);
    for ( const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled} )
      option.palette.setColor(group, QPalette::ButtonText, text);
  }
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QColor(64, 64, 64, 255));
  painter.drawPath(path);
  painter.drawControl(QStyle::CE_PushButtonLabel, option);
}

color_selector_t::color_selector_t(QWidget *parent, bool with_reset)
  : QWidget(parent), button_(new ColorButton(QString(), this, ColorButton::allow_default))
{
  auto *layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(button_);
  if ( with_reset )
  {
    reset_ = new QPushButton(this);
    reset_->setFlat(true);
    reset_->setToolTip(QStringLiteral("Reset color"));
    if ( app_t *app = current_app() )
      reset_->setIcon(app->icon_by_id(203));
    QSizePolicy keep = reset_->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    reset_->setSizePolicy(keep);
    reset_->hide();
    connect(reset_, &QPushButton::clicked, this, &color_selector_t::on_reset_button_clicked);
    layout->addWidget(reset_);
  }
  connect(button_, &ColorButton::colorChanged, this, &color_selector_t::on_color_button_colorChanged);
  QSizePolicy policy(QSizePolicy::Minimum, QSizePolicy::Fixed);
  policy.setRetainSizeWhenHidden(true);
  setSizePolicy(policy);
}

void color_selector_t::on_color_button_colorChanged(const QColor &color)
{
  if ( reset_ != nullptr )
    reset_->setVisible(color.isValid());
}

void color_selector_t::on_reset_button_clicked()
{
  button_->set_color(QColor());
}
