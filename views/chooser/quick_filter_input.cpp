// The text line of the quick filter bar.
#include "views/chooser/quick_filter_input.h"

#include "core/internal_error.h"
#include "ui/app_base.h"
#include "ui/layout_helpers.h"
#include "ui/popup_menu.h"
#include "ui/ui_action_registry.h"
#include "views/filter/filtered_widget_mixin.h"
#include "views/filter/quick_filter_widget.h"

#include <QBitmap>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QTimerEvent>

#include <cmath>
#include <cstdio>

namespace
{

bool is_reserved_key(int key)
{
  return key == Qt::Key_Escape || key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp
      || key == Qt::Key_PageDown;
}

// One indicator glyph: two letters stacked in one colour on white.
struct glyph_desc_t
{
  char top;
  char bottom;
  QRgb colour;
};
constexpr glyph_desc_t glyph_descs[indicator_count] = {
  {'A', 'a', qRgb(200, 91, 91)},   // match case
  {'W', 'w', qRgb(162, 162, 107)}, // whole words
  {'R', 'x', qRgb(0, 162, 200)},   // regular expression
  {'F', 'z', qRgb(91, 200, 91)},   // fuzzy
};

// The shared glyph of an index, drawn once per process at the given device pixel ratio. Images, not
// pixmaps: they may outlive the application object.
const QImage &shared_glyph(int index, qreal ratio)
{
  if ( index < 0 || index >= indicator_count )
    interr(interr_indicator_glyph);
  static QImage glyphs[indicator_count];
  QImage &glyph = glyphs[index];
  if ( glyph.isNull() )
  {
    QFont font(QString::fromLatin1(fallback_fixed_font_name()));
    font.setStyleHint(QFont::TypeWriter);
    font.setWeight(QFont::Bold);
    font.setPointSizeF(20 * ratio);
    const QFontMetricsF metrics(font);
    const int width = int(std::ceil(metrics.averageCharWidth()));
    const qreal h = metrics.height() - metrics.descent() - 1;
    glyph = QImage(width, int(std::ceil(2 * h + 2)), QImage::Format_RGB32);
    glyph.fill(Qt::white);
    QPainter painter(&glyph);
    painter.setFont(font);
    painter.setPen(QColor(glyph_descs[index].colour));
    painter.drawText(QPointF(0, h), QString(QChar(glyph_descs[index].top)));
    painter.drawText(QPointF(0, 2 * h), QString(QChar(glyph_descs[index].bottom)));
    painter.end();
    glyph.setDevicePixelRatio(ratio);
  }
  return glyph;
}

} // namespace

quick_filter_input_t::quick_filter_input_t(QWidget *parent) : QLineEdit(parent)
{
  connect(this, &QLineEdit::textChanged, this, &quick_filter_input_t::text_changed);
}

quick_filter_input_t::~quick_filter_input_t() = default;

QWidget *quick_filter_input_t::owner_filter_widget() const
{
  return owner_bar();
}

quick_filter_widget_t *quick_filter_input_t::owner_bar() const
{
  return qobject_cast<quick_filter_widget_t *>(parentWidget());
}

// ---- Typing -------------------------------------------------------------------------------------------

void quick_filter_input_t::text_changed(const QString &text)
{
  if ( !text.isEmpty() )
  {
    typing_timer_.start(quick_filter_typing_delay_ms, this);
    history_timer_.start(quick_filter_history_delay_ms, this);
    return;
  }
  typing_timer_.stop();
  history_timer_.stop();
  emit search_text_changed(text);
}

void quick_filter_input_t::timerEvent(QTimerEvent *event)
{
  // Each timer does its own step: the filter after the typing delay, the history after the longer one.
  if ( event->timerId() == typing_timer_.timerId() )
  {
    typing_timer_.stop();
    emit search_text_changed(text());
  }
  else if ( event->timerId() == history_timer_.timerId() )
  {
    history_timer_.stop();
    if ( !text().isEmpty() )
      emit search_history_changed(text());
  }
  else
    QLineEdit::timerEvent(event);
}

bool quick_filter_input_t::event(QEvent *event)
{
  if ( event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease )
  {
    auto *key = static_cast<QKeyEvent *>(event);
    if ( is_reserved_key(key->key()) )
    {
      key->accept();
      if ( event->type() == QEvent::KeyPress )
        emit reserved_key_press(*key);
      return true;
    }
  }
  return QLineEdit::event(event);
}

// ---- Indicators ---------------------------------------------------------------------------------------

const QPixmap &quick_filter_input_t::scaled_glyph(int index)
{
  if ( index < 0 || index >= indicator_count )
    interr(interr_indicator_pixmap);
  const qreal ratio = widget_device_pixel_ratio(this);
  QPixmap &cached = indicator_pixmaps_[size_t(index)];
  const int target = int(std::floor((height() - 2) * ratio));
  if ( target == cached.height() || target <= 0 )
    return cached;
  QPixmap scaled = QPixmap::fromImage(shared_glyph(index, ratio).scaledToHeight(target, Qt::SmoothTransformation));
  scaled.setMask(scaled.createMaskFromColor(Qt::white));
  scaled.setDevicePixelRatio(ratio);
  cached = scaled;
  return cached;
}

void quick_filter_input_t::mode_indicators(QList<QPixmap> *out, const quick_filter_widget_t &bar)
{
  if ( bar.mode() != filter_mode_substring )
    out->append(scaled_glyph(int(bar.mode())));
  if ( bar.match_case() )
    out->append(scaled_glyph(indicator_match_case));
}

int quick_filter_input_t::indicator_area_width(const QList<QPixmap> &pixmaps)
{
  int width = 5;
  for ( const QPixmap &pixmap : pixmaps )
    width += int(std::ceil(pixmap.width() / pixmap.devicePixelRatio())) + 1;
  return width;
}

void quick_filter_input_t::update_text_margins(const QList<QPixmap> &pixmaps)
{
  setTextMargins(indicator_area_width(pixmaps) + 2, 0, 0, 0);
}

void quick_filter_input_t::paintEvent(QPaintEvent *event)
{
  QLineEdit::paintEvent(event);
  quick_filter_widget_t *bar = owner_bar();
  if ( bar == nullptr )
    return;
  QList<QPixmap> indicators;
  mode_indicators(&indicators, *bar);
  QPainter painter(this);
  qreal x = 5;
  for ( const QPixmap &pixmap : indicators )
  {
    painter.drawPixmap(QPointF(x, 1), pixmap);
    x += pixmap.width() / pixmap.devicePixelRatio() + pixmap.devicePixelRatio();
  }
}

void quick_filter_input_t::resizeEvent(QResizeEvent *event)
{
  const bool taller = event->size().height() != event->oldSize().height();
  QLineEdit::resizeEvent(event);
  if ( !taller )
    return;
  // The glyphs follow the height, and the text keeps clear of them.
  if ( quick_filter_widget_t *bar = owner_bar() )
  {
    QList<QPixmap> indicators;
    mode_indicators(&indicators, *bar);
    update_text_margins(indicators);
  }
  update();
}

// ---- Context menu -------------------------------------------------------------------------------------

void quick_filter_input_t::contextMenuEvent(QContextMenuEvent *event)
{
  app_t *app = current_app();
  if ( app == nullptr )
    return;
  popup_menu_ctx_t popup(this);
  QList<QPixmap> indicators;
  if ( quick_filter_widget_t *bar = owner_bar() )
    mode_indicators(&indicators, *bar);
  // A click on the glyphs offers only the filter's own entries.
  if ( event->pos().x() >= indicator_area_width(indicators) && popup.menu != nullptr )
  {
    const std::unique_ptr<QMenu> standard(createStandardContextMenu());
    for ( QAction *action : standard->actions() )
    {
      action->setParent(popup.menu.get());
      popup.menu->addAction(action);
    }
  }
  app->exec_popup(&popup, event, POPUP_AT_EVENT);
}

void quick_filter_input_t::populate_popup(void *pp)
{
  auto *popup = static_cast<popup_menu_ctx_t *>(pp);
  quick_filter_widget_t *bar = owner_bar();
  if ( bar != nullptr )
    bar->update_mode_actions();
  static constexpr popup_entry_desc_t entries[] = {
    {"QuickFilterMatchCase", 0, nullptr}, {nullptr, 0, nullptr},
    {"QuickFilterModeWholeWords", 0, nullptr}, {"QuickFilterModeRegex", 0, nullptr},
    {"QuickFilterModeFuzzy", 0, nullptr}, {nullptr, 0, nullptr},
  };
  QList<popup_entry_t> list;
  fill_popup_entry_list(&list, entries, std::size(entries));
  popup->attach_action_list(list);

  filtered_widget_mixin_t *engine = bar != nullptr ? bar->target_engine() : nullptr;
  if ( engine == nullptr || bar->column_choice_hidden )
    return;
  const bool filtering = engine->quick_filter_allowed();
  const auto attach_column = [&](const char *label, int column) {
    ui_action_desc_t desc;
    desc.label = label;
    desc.handler = new target_quick_filter_column_ah_t(engine, column);
    desc.flags = ACTION_DESC_OWNS_HANDLER | ACTION_DESC_PLAIN_LABEL | ACTION_DESC_CHECKABLE;
    if ( filtering && bar->target_column() == column )
      desc.flags |= ACTION_DESC_CHECKED;
    (void)popup->attach_generated_action(desc, "Column/", 0, nullptr);
  };
  attach_column("All", -1);
  (void)popup->attach_separator("Column/", 0);
  std::vector<qstring> titles;
  engine->column_titles(&titles);
  for ( size_t column = 0; column < titles.size(); ++column )
  {
    const qstring &title = titles[column];
    if ( title.stored_length() == 0 )
    {
      (void)popup->attach_separator("Column/", 0);
      continue;
    }
    char numbered[32];
    std::snprintf(numbered, sizeof(numbered), "Column #%d", int(column));
    attach_column(title.empty() ? numbered : title.c_str(), int(column));
  }
}

int target_quick_filter_column_ah_t::activate(ui_action_activation_ctx_t * /*context*/)
{
  quick_filter_widget_t *bar = engine_->quick_filter();
  if ( !engine_->quick_filter_allowed() || bar == nullptr )
    return 0;
  bar->set_target_column(column_);
  engine_->reapply_quick_filter();
  return 1;
}

int target_quick_filter_column_ah_t::update(ui_action_update_ctx_t * /*context*/)
{
  return 0;
}
