// The quick filter bar, its stored flags and the shared history of filter texts.
#include "views/filter/quick_filter_widget.h"

#include "core/registry.h"
#include "ui/action_context.h"
#include "ui/app_base.h"
#include "ui/input_history.h"
#include "ui/ui_action_registry.h"
#include "views/chooser/quick_filter_input.h"
#include "views/filter/filtered_widget_mixin.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>

#include <array>
#include <iterator>

// ---- The history ----------------------------------------------------------------------------------------

int zuk_quick_filter_model_t::rowCount(const QModelIndex &parent) const
{
  return parent.isValid() ? 0 : int(entries_.size());
}

QVariant zuk_quick_filter_model_t::data(const QModelIndex &index, int role) const
{
  if ( !index.isValid() || index.row() >= entries_.size() || (role != Qt::DisplayRole && role != Qt::EditRole) )
    return {};
  return entries_.at(index.row());
}

bool zuk_quick_filter_model_t::replace(const QStringList &entries)
{
  if ( entries == entries_ )
    return false;
  beginResetModel();
  entries_ = entries;
  endResetModel();
  return true;
}

zuk_quick_filter_model_t *quick_filter_history()
{
  // One list for every bar, owned by the application object so that it goes before Qt does.
  static QPointer<zuk_quick_filter_model_t> model;
  if ( model == nullptr )
    model = new zuk_quick_filter_model_t(QCoreApplication::instance());
  return model;
}

void push_quick_filter_history(const QString &text)
{
  input_history_t history;
  history.load_from_registry(quick_filter_history_name);
  (void)history.add_entry(text);
  (void)quick_filter_history()->replace(history.entries);
}

// ---- The bar --------------------------------------------------------------------------------------------

namespace
{

// The mode actions and the flag each one shows.
struct mode_action_t
{
  const char *name;
  uint32_t mode; // 0: the match-case action
};
constexpr std::array<mode_action_t, 4> mode_actions = {{
  {"QuickFilterMatchCase", 0},
  {"QuickFilterModeRegex", filter_mode_regex},
  {"QuickFilterModeFuzzy", filter_mode_fuzzy},
  {"QuickFilterModeWholeWords", filter_mode_whole_words},
}};

} // namespace

uint32_t valid_quick_filter_flags(uint32_t stored)
{
  return (stored & ~quick_filter_flag_bits) == 0 ? stored : 0;
}

quick_filter_widget_t::quick_filter_widget_t(QWidget *parent) : QWidget(parent)
{
  auto *layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(5);
  auto *close = new QPushButton(this);
  close->setFlat(true);
  close->setFixedWidth(18);
  close->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
  close->setIconSize(QSize(16, 16));
  if ( app_t *app = current_app() )
    close->setIcon(app->icon_by_name("close_quick_filter.svg"));
  connect(close, &QPushButton::clicked, this, &quick_filter_widget_t::hide_quick_filter);
  layout->addWidget(close);
  input_ = new quick_filter_input_t(this);
  input_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  layout->addWidget(input_);

  condition_.flags = filter_quick_filter;
  connect(input_, &quick_filter_input_t::search_text_changed, this, &quick_filter_widget_t::on_search_text_changed);
  connect(input_, &quick_filter_input_t::search_history_changed, this,
          &quick_filter_widget_t::on_search_history_changed);
  connect(input_, &quick_filter_input_t::reserved_key_press, this, &quick_filter_widget_t::on_reserved_key_press);

  if ( parent != nullptr )
    settings_name_ = qstring(parent->windowTitle().toUtf8().constData());
  // The stored word comes from outside: one that names no choice of the bar starts the bar at its default.
  const uint32_t stored = settings_name_.empty() ? 0 : uint32_t(registry_int(settings_name_.c_str(), false, 0,
                                                                             quick_filter_flags_subkey));
  set_flags(valid_quick_filter_flags(stored));

  QCompleter *completer = input_->completer();
  if ( completer == nullptr )
  {
    completer = new QCompleter(input_);
    input_->setCompleter(completer);
  }
  completer->setModel(quick_filter_history());
  completer->setCaseSensitivity(Qt::CaseSensitive);
  completer->setCompletionMode(QCompleter::PopupCompletion);
}

quick_filter_widget_t::~quick_filter_widget_t() = default;

QString quick_filter_widget_t::text() const
{
  return input_->text();
}

void quick_filter_widget_t::set_flags(uint32_t flags)
{
  const filter_condition_t old = condition_;
  const uint32_t word = flags | filter_quick_filter;
  if ( word != condition_.flags )
  {
    condition_.flags = word;
    if ( (word & ~filter_quick_filter) != 0 )
      (void)registry_int(settings_name_.c_str(), true, int32_t(word), quick_filter_flags_subkey);
    else if ( !settings_name_.empty() )
      (void)registry_remove_value(settings_name_.c_str(), quick_filter_flags_subkey);
  }
  update_mode_actions();
  QList<QPixmap> indicators;
  input_->mode_indicators(&indicators, *this);
  input_->update_text_margins(indicators);
  update();
  rebuild_condition(old);
}

void quick_filter_widget_t::set_mode(uint32_t mode)
{
  set_flags((condition_.flags & ~filter_mode_mask) | (mode & filter_mode_mask));
}

void quick_filter_widget_t::update_mode_actions()
{
  update_action_filter_t filter;
  for ( const mode_action_t &entry : mode_actions )
    filter.add_name(entry.name);
  refresh_actions_for(UPDACT_LISTED, nullptr, &filter);
  for ( const mode_action_t &entry : mode_actions )
    if ( ui_action_t *action = find_ui_action(entry.name) )
    {
      const bool checked = entry.mode == 0 ? match_case() : mode() == entry.mode;
      (void)action->apply_property(ACTION_PROP_CHECKED, &checked);
    }
}

void quick_filter_widget_t::rebuild_condition(const filter_condition_t &old)
{
  condition_.regex.reset();
  const QByteArray text = input_->text().toUtf8();
  set_filter_query(&condition_, text.constData(), size_t(text.size()));
  if ( condition_.needs_pattern() )
    (void)condition_.compile_regex();
  // A pattern mode always counts as a change: its compiled pattern cannot be compared.
  if ( condition_.needs_pattern() || old.needs_pattern() || !filter_conditions_equal(old, condition_) )
    emit filter_changed();
}

void quick_filter_widget_t::on_search_text_changed(const QString & /*text*/)
{
  const filter_condition_t old = condition_;
  rebuild_condition(old);
}

void quick_filter_widget_t::on_search_history_changed(const QString &text)
{
  push_quick_filter_history(text);
  if ( QCompleter *completer = input_->completer(); completer != nullptr && completer->popup()->isVisible() )
    completer->popup()->hide();
}

void quick_filter_widget_t::on_reserved_key_press(const QKeyEvent &event)
{
  if ( event.key() == Qt::Key_Escape && parentWidget() != nullptr )
    parentWidget()->setFocus(Qt::OtherFocusReason);
  emit reserved_key_press(event);
}

void quick_filter_widget_t::show_condition_text(const filter_condition_t *condition)
{
  if ( input_->typing_pending() )
    return;
  const QString text = condition != nullptr ? QString::fromUtf8(condition->query.c_str(), int(condition->query.size()))
                                            : QString();
  if ( input_->text() != text )
    input_->setText(text);
}

void quick_filter_widget_t::set_target_widget(QWidget *widget)
{
  target_.watch_object(widget);
}

QWidget *quick_filter_widget_t::target_widget() const
{
  return target_.watched_as<QWidget>();
}

filtered_widget_mixin_t *quick_filter_widget_t::target_engine() const
{
  if ( filtered_widget_mixin_t *engine = find_filtered_widget_mixin(target_widget()) )
    return engine;
  return find_filtered_widget_mixin(parentWidget());
}

void quick_filter_widget_t::setVisible(bool visible)
{
  QWidget::setVisible(visible);
  if ( visible )
    input_->setFocus(Qt::OtherFocusReason);
  else if ( parentWidget() != nullptr )
    parentWidget()->setFocus(Qt::OtherFocusReason);
}

void quick_filter_widget_t::show_quick_filter()
{
  show();
}

void quick_filter_widget_t::hide_quick_filter()
{
  hide();
}

// A bar hidden together with its parent keeps its condition; one hidden on its own stops filtering.
void quick_filter_widget_t::showEvent(QShowEvent *event)
{
  QWidget::showEvent(event);
  if ( parentWidget() != nullptr && parentWidget()->isVisible() && (condition_.flags & filter_disabled) != 0 )
    set_flags(condition_.flags & ~filter_disabled);
}

void quick_filter_widget_t::hideEvent(QHideEvent *event)
{
  QWidget::hideEvent(event);
  if ( parentWidget() != nullptr && parentWidget()->isVisible() && (condition_.flags & filter_disabled) == 0 )
    set_flags(condition_.flags | filter_disabled);
}
