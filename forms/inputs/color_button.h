// The colour field: a button showing a colour swatch, with an optional "no colour" state and a reset button.
#pragma once

#include <QColor>
#include <QPushButton>
#include <QWidget>

// A push button painted with its colour. Flags: 1 offer an alpha channel, 2 allow no colour (shown as
// "DEFAULT"). Promise: colorChanged is emitted exactly when the colour changes.
class ColorButton : public QPushButton
{
  Q_OBJECT

public:
  enum : int
  {
    alpha_channel = 1,
    allow_default = 2,
  };
  ColorButton(const QString &caption, QWidget *parent, int flags);

  [[nodiscard]] QColor color() const { return color_; }
  // An invalid colour without allow_default is ignored; an equal colour changes nothing.
  void set_color(const QColor &color);

signals:
  void colorChanged(QColor color);

public slots:
  // Asks for a colour with the colour dialog; a cancelled dialog changes nothing.
  void on_clicked();

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  QColor color_;
  QString saved_caption_;
  int flags_;
};

// A colour button with a reset button beside it, shown while a colour is set.
class color_selector_t : public QWidget
{
  Q_OBJECT

public:
  color_selector_t(QWidget *parent, bool with_reset);
  [[nodiscard]] ColorButton *button() const { return button_; }
  [[nodiscard]] QPushButton *reset_button() const { return reset_; }

public slots:
  void on_color_button_colorChanged(const QColor &color);
  void on_reset_button_clicked();

private:
  ColorButton *button_;          // child
  QPushButton *reset_ = nullptr; // child, or none
};
