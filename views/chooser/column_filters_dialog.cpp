// The column filters dialog.
#include "views/chooser/column_filters_dialog.h"

#include "core/registry.h"
#include "forms/inputs/color_button.h"
#include "ui/app_base.h"
#include "ui/input_history.h"
#include "ui/layout_helpers.h"
#include "ui/widget_factory.h"
#include "views/filter/bgr_color.h"
#include "views/filter/filtered_widget_mixin.h"
#include "views/filter/quick_filter_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include <array>

namespace
{

// The conditions, by index; with "Regular expression" only the first four are offered.
constexpr std::array<const char *, 8> condition_names = {
  "contains", "doesn't contain", "is", "is not", "begins with", "ends with", "less than", "more than",
};
constexpr int pattern_conditions = 4;

// The actions, by index, with their icon ids.
constexpr std::array<const char *, 3> action_names = {"include", "exclude", "highlight"};
constexpr std::array<int32_t, 3> action_icons = {50, 51, 174};
constexpr int highlight_action = 2;
constexpr int32_t dialog_icon = 181;

constexpr int action_shift = 10;
constexpr int condition_shift = 12;
constexpr uint32_t input_flag_bits = filter_mode_regex | filter_match_case | filter_action_mask | filter_test_mask;

// What the button shows for a stored colour of all ones, when filling and when editing a filter.
const QColor no_color_filling(0xB3, 0xEB, 0xE3);
const QColor no_color_editing(0x00, 0x00, 0xFF);

enum table_column_t : int
{
  column_column,
  column_condition,
  column_value,
  column_action,
  column_flags,
  table_columns,
};

int action_index(uint32_t flags)
{
  return int((flags & filter_action_mask) >> action_shift);
}

int condition_index(uint32_t flags)
{
  return int((flags & filter_test_mask) >> condition_shift);
}

QIcon app_icon_by_id(int32_t id)
{
  app_t *app = current_app();
  return app != nullptr ? app->icon_by_id(id) : QIcon();
}

} // namespace

uint32_t valid_filter_input_flags(uint32_t stored)
{
  const bool names_choice = (stored & ~input_flag_bits) == 0 && action_index(stored) < int(action_names.size())
                         && ((stored & filter_mode_regex) == 0 || condition_index(stored) < pattern_conditions);
  return names_choice ? stored : 0;
}

// The dialog's widgets, in the order of the design's record.
struct edit_filters_dialog_t::widgets_t
{
  QLabel *labIf;
  QComboBox *comboColumn;
  QComboBox *comboCondition;
  QComboBox *comboText;
  QLabel *labThen;
  QComboBox *comboAction;
  QCheckBox *cbMatchCase;
  QCheckBox *cbRegExp;
  QPushButton *btnAdd;
  QPushButton *btnCancel;
  QGroupBox *groupFilters;
  QTableWidget *tableFilters;
  QPushButton *btnReset;
};

edit_filters_dialog_t::edit_filters_dialog_t(filtered_widget_mixin_t *engine, QWidget *parent)
  : ui_dialog_t(parent), engine_(engine), ui_(std::make_unique<widgets_t>())
{
  setObjectName(QStringLiteral("edit_filters_dialog_t"));
  setWindowTitle(QStringLiteral("Modify filters..."));
  setWindowIcon(app_icon_by_id(dialog_icon));
  setWindowFlags((windowFlags() & ~Qt::WindowContextHelpButtonHint) | Qt::WindowMinimizeButtonHint
                 | Qt::WindowMaximizeButtonHint);

  widgets_t &w = *ui_;
  const auto named = [](QWidget *widget, const char *name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
  };
  const auto button = [&](const char *text, const char *name) {
    auto *b = new QPushButton(QString::fromLatin1(text), this);
    // Return belongs to the value line (it adds); no button takes it as the dialog's default.
    b->setAutoDefault(false);
    named(b, name);
    return b;
  };
  w.labIf = new QLabel(QStringLiteral("If column"), this);
  named(w.labIf, "labIf");
  w.comboColumn = new QComboBox(this);
  named(w.comboColumn, "comboColumn");
  w.comboCondition = new QComboBox(this);
  named(w.comboCondition, "comboCondition");
  w.comboCondition->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  w.comboText = new QComboBox(this);
  named(w.comboText, "comboText");
  w.comboText->setEditable(true);
  w.comboText->setInsertPolicy(QComboBox::NoInsert);
  w.comboText->setMinimumContentsLength(35);
  w.comboText->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  w.comboText->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  w.labThen = new QLabel(QStringLiteral("then"), this);
  named(w.labThen, "labThen");
  w.comboAction = new QComboBox(this);
  named(w.comboAction, "comboAction");
  w.cbMatchCase = new QCheckBox(QStringLiteral("Match case"), this);
  named(w.cbMatchCase, "cbMatchCase");
  w.cbRegExp = new QCheckBox(QStringLiteral("Regular expression"), this);
  named(w.cbRegExp, "cbRegExp");
  w.btnAdd = button("&Add", "btnAdd");
  w.btnCancel = button("&Close", "btnCancel");
  w.groupFilters = new QGroupBox(QStringLiteral("Filter list"), this);
  named(w.groupFilters, "groupFilters");
  w.tableFilters = new QTableWidget(0, table_columns, w.groupFilters);
  named(w.tableFilters, "tableFilters");
  w.btnReset = button("&Reset", "btnReset");
  highlight_button_ = new ColorButton(QStringLiteral("Highlight"), this, 0);
  highlight_button_->setAutoDefault(false);
  highlight_button_->set_color(Qt::yellow);

  fill_conditions(false);
  for ( size_t i = 0; i < action_names.size(); ++i )
    w.comboAction->addItem(app_icon_by_id(action_icons[i]), QString::fromLatin1(action_names[i]));

  if ( QCompleter *completer = w.comboText->completer() )
    completer->setCaseSensitivity(Qt::CaseSensitive);
  connect(w.comboText->lineEdit(), &QLineEdit::returnPressed, this, &edit_filters_dialog_t::on_btnAdd_clicked);

  QTableWidget *table = w.tableFilters;
  table->verticalHeader()->hide();
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
  table->setShowGrid(false);
  table->setHorizontalHeaderLabels({QStringLiteral("Column"), QStringLiteral("Condition"), QStringLiteral("Value"),
                                    QStringLiteral("Action"), QStringLiteral("Flags")});
  table->horizontalHeader()->setSectionResizeMode(column_value, QHeaderView::Stretch);
  table->horizontalHeader()->setHighlightSections(false);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table->installEventFilter(this);

  auto *main = new QVBoxLayout(this);
  main->setContentsMargins(10, 10, 10, 10);
  main->setSpacing(20);
  auto *row1 = new QHBoxLayout;
  for ( QWidget *widget : {static_cast<QWidget *>(w.labIf), static_cast<QWidget *>(w.comboColumn),
                           static_cast<QWidget *>(w.comboCondition), static_cast<QWidget *>(w.comboText),
                           static_cast<QWidget *>(w.labThen), static_cast<QWidget *>(w.comboAction)} )
    row1->addWidget(widget);
  main->addLayout(row1);
  auto *row2 = new QHBoxLayout;
  row2->addWidget(w.cbMatchCase);
  row2->addWidget(w.cbRegExp);
  row2->addSpacing(20);
  row2->addWidget(highlight_button_);
  row2->addSpacerItem(new QSpacerItem(20, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
  row2->addWidget(w.btnAdd);
  row2->addWidget(w.btnReset);
  row2->addWidget(w.btnCancel);
  main->addLayout(row2);
  auto *group = new QVBoxLayout(w.groupFilters);
  group->addWidget(table);
  main->addWidget(w.groupFilters);

  setTabOrder(w.comboColumn, w.comboCondition);
  setTabOrder(w.comboCondition, w.comboText);
  setTabOrder(w.comboText, w.comboAction);
  setTabOrder(w.comboAction, w.cbMatchCase);
  setTabOrder(w.cbMatchCase, w.cbRegExp);
  setTabOrder(w.cbRegExp, w.btnAdd);
  setTabOrder(w.btnAdd, w.btnReset);
  setTabOrder(w.btnReset, w.btnCancel);
  setTabOrder(w.btnCancel, table);

  QMetaObject::connectSlotsByName(this);
  on_comboAction_currentIndexChanged(w.comboAction->currentIndex());
}

edit_filters_dialog_t::~edit_filters_dialog_t()
{
  const uint32_t flags = input_flags();
  if ( flags != stored_flags_ )
    (void)registry_int(filter_flags_value, true, int32_t(flags));
  // Only a colour the user changed is stored: the colour shown for none is no choice of the user's.
  if ( const uint32_t colour = button_color(); colour != shown_color_ )
    (void)registry_int(filter_color_value, true, int32_t(colour));
  for ( int row = 0; row < ui_->tableFilters->rowCount(); ++row )
    if ( reconcile_row(row) )
      apply_change();
}

// ---- Inputs ---------------------------------------------------------------------------------------------

void edit_filters_dialog_t::fill_conditions(bool regex)
{
  QComboBox *combo = ui_->comboCondition;
  const int selected = combo->currentIndex();
  const QSignalBlocker blocker(combo);
  combo->clear();
  const int count = regex ? pattern_conditions : int(condition_names.size());
  for ( int i = 0; i < count; ++i )
    combo->addItem(QString::fromLatin1(condition_names[size_t(i)]));
  combo->setCurrentIndex(selected >= 0 && selected < count ? selected : 0);
}

uint32_t edit_filters_dialog_t::input_flags() const
{
  const widgets_t &w = *ui_;
  uint32_t flags = 0;
  if ( w.cbMatchCase->isChecked() )
    flags |= filter_match_case;
  if ( w.cbRegExp->isChecked() )
    flags |= filter_mode_regex;
  flags |= uint32_t(std::max(w.comboAction->currentIndex(), 0)) << action_shift;
  flags |= uint32_t(std::max(w.comboCondition->currentIndex(), 0)) << condition_shift;
  return flags;
}

void edit_filters_dialog_t::set_inputs(uint32_t flags)
{
  widgets_t &w = *ui_;
  w.cbMatchCase->setChecked((flags & filter_match_case) != 0);
  // The condition list follows the box, so the box goes first.
  w.cbRegExp->setChecked((flags & filter_mode_regex) != 0);
  w.comboAction->setCurrentIndex(action_index(flags));
  const int condition = condition_index(flags);
  w.comboCondition->setCurrentIndex(condition < w.comboCondition->count() ? condition : 0);
}

uint32_t edit_filters_dialog_t::button_color() const
{
  return bgr_of_color(highlight_button_->color());
}

void edit_filters_dialog_t::on_cbRegExp_stateChanged(int state)
{
  fill_conditions(state == Qt::Checked);
}

void edit_filters_dialog_t::on_comboAction_currentIndexChanged(int index)
{
  highlight_button_->setVisible(index == highlight_action);
}

// ---- Filling --------------------------------------------------------------------------------------------

void edit_filters_dialog_t::fill(view_snapshot_t *snapshot)
{
  widgets_t &w = *ui_;
  snapshot_ = snapshot;
  engine_->take_snapshot(snapshot_, 7);

  std::vector<qstring> titles;
  engine_->column_titles(&titles);
  column_titles_.clear();
  for ( const qstring &title : titles )
    column_titles_.append(QString::fromUtf8(title.c_str(), int(title.size())));
  w.comboColumn->show();
  w.comboColumn->clear();
  w.comboColumn->addItem(QStringLiteral("(any)"));
  w.comboColumn->addItems(column_titles_);

  // Stored words come from outside: one that names no choice of the dialog starts it at its default.
  stored_flags_ = uint32_t(registry_int(filter_flags_value, false, 0));
  const int32_t stored_color = registry_int(filter_color_value, false, -1);
  highlight_button_->set_color(stored_color == -1 ? no_color_filling : color_of_bgr(uint32_t(stored_color)));
  shown_color_ = button_color();
  set_inputs(valid_filter_input_flags(stored_flags_));

  input_history_t history;
  history.load_from_registry(quick_filter_history_name);
  (void)quick_filter_history()->replace(history.entries);
  w.comboText->clear();
  w.comboText->addItems(history.entries);
  app_t *app = current_app();
  if ( app != nullptr && !app->combo_completion_enabled() )
    w.comboText->setCompleter(nullptr);
  if ( w.comboText->count() > 0 )
    w.comboText->setCurrentIndex(0);

  for ( const filter_condition_t &filter : engine_->conditions() )
    insert_table_row(filter);

  w.comboText->lineEdit()->selectAll();
  w.comboText->setFocus(Qt::OtherFocusReason);
}

// ---- The table ------------------------------------------------------------------------------------------

void edit_filters_dialog_t::insert_table_row(const filter_condition_t &filter)
{
  QTableWidget *table = ui_->tableFilters;
  const QSignalBlocker blocker(table);
  const bool highlights = action_index(filter.flags) == highlight_action;
  const QColor background = highlights ? color_of_bgr(filter.color) : table->palette().color(QPalette::Base);
  const QColor foreground = contrasting_text_color(background);

  QString column = QStringLiteral("*");
  if ( filter.column >= 0 )
    column = filter.column < column_titles_.size() ? column_titles_.at(filter.column) : QString::number(filter.column);
  QStringList flags;
  if ( (filter.flags & filter_quick_filter) != 0 )
    flags.append(QStringLiteral("quick-filter"));
  if ( (filter.flags & filter_mode_regex) != 0 )
    flags.append(QStringLiteral("regex"));
  if ( (filter.flags & filter_match_case) != 0 )
    flags.append(QStringLiteral("match-case"));
  const int action = std::min(action_index(filter.flags), int(action_names.size()) - 1);
  const std::array<QString, table_columns> texts = {
    column,
    QString::fromLatin1(condition_names[size_t(condition_index(filter.flags))]),
    QString::fromUtf8(filter.query.c_str(), int(filter.query.size())),
    QString::fromLatin1(action_names[size_t(action)]),
    flags.join('|'),
  };

  table->insertRow(0);
  for ( int c = 0; c < table_columns; ++c )
  {
    auto *item = new QTableWidgetItem(texts[size_t(c)]);
    item->setBackground(background);
    item->setForeground(foreground);
    Qt::ItemFlags item_flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if ( c == column_column )
    {
      item_flags |= Qt::ItemIsUserCheckable;
      item->setIcon(app_icon_by_id(action_icons[size_t(action)]));
      item->setCheckState(filter.is_enabled() ? Qt::Checked : Qt::Unchecked);
    }
    item->setFlags(item_flags);
    table->setItem(0, c, item);
  }
}

size_t edit_filters_dialog_t::filter_of_row(int row) const
{
  return engine_->conditions().size() - 1 - size_t(row);
}

void edit_filters_dialog_t::remove_filter_row(int row)
{
  std::vector<filter_condition_t> &filters = engine_->condition_list();
  const size_t index = filter_of_row(row);
  ui_->tableFilters->removeRow(row);
  if ( index < filters.size() )
    filters.erase(filters.begin() + ptrdiff_t(index)); // releases its pattern
  apply_change();
}

bool edit_filters_dialog_t::reconcile_row(int row)
{
  const QTableWidgetItem *item = ui_->tableFilters->item(row, column_column);
  std::vector<filter_condition_t> &filters = engine_->condition_list();
  const size_t index = filter_of_row(row);
  if ( item == nullptr || index >= filters.size() )
    return false;
  const bool enabled = item->checkState() == Qt::Checked;
  filter_condition_t &filter = filters[index];
  if ( enabled == filter.is_enabled() )
    return false;
  filter.flags = enabled ? filter.flags & ~filter_disabled : filter.flags | filter_disabled;
  return true;
}

void edit_filters_dialog_t::apply_change()
{
  engine_->resync_view(*snapshot_, 0);
  *snapshot_ = view_snapshot_t();
  engine_->take_snapshot(snapshot_, 7);
  changed_ = true;
}

// ---- Slots ----------------------------------------------------------------------------------------------

void edit_filters_dialog_t::on_btnAdd_clicked()
{
  widgets_t &w = *ui_;
  filter_condition_t filter;
  filter.flags = input_flags();
  filter.column = w.comboColumn->currentIndex() - 1;
  filter.color = action_index(filter.flags) == highlight_action ? button_color() : no_bgr_color;
  const QString value = w.comboText->currentText();
  const QByteArray text = value.toUtf8();
  filter.set_text(std::string_view(text.constData(), size_t(text.size())));
  if ( filter.query.empty() || (filter.needs_pattern() && !filter.compile()) )
    return;
  engine_->condition_list().push_back(filter);
  insert_table_row(filter);
  if ( const int at = w.comboText->findText(value, Qt::MatchExactly | Qt::MatchCaseSensitive); at >= 0 )
    w.comboText->removeItem(at);
  w.comboText->insertItem(0, value);
  w.comboText->setCurrentIndex(-1);
  apply_change();
  push_quick_filter_history(value);
}

void edit_filters_dialog_t::on_btnCancel_clicked()
{
  reject();
}

void edit_filters_dialog_t::on_tableFilters_itemActivated(QTableWidgetItem *item)
{
  widgets_t &w = *ui_;
  const int row = item->row();
  const size_t index = filter_of_row(row);
  if ( index >= engine_->conditions().size() )
    return;
  const filter_condition_t filter = engine_->conditions()[index];
  remove_filter_row(row);
  set_inputs(filter.flags);
  w.comboText->setEditText(QString::fromUtf8(filter.query.c_str(), int(filter.query.size())));
  const int column = filter.column + 1;
  w.comboColumn->setCurrentIndex(column >= 0 && column < w.comboColumn->count() ? column : 0);
  highlight_button_->set_color(filter.color == no_bgr_color ? no_color_editing : color_of_bgr(filter.color));
}

void edit_filters_dialog_t::on_tableFilters_itemChanged(QTableWidgetItem *item)
{
  if ( item->column() == column_column && reconcile_row(item->row()) )
    apply_change();
}

void edit_filters_dialog_t::on_btnReset_clicked()
{
  ui_->tableFilters->setRowCount(0);
  engine_->condition_list().clear();
  apply_change();
}

bool edit_filters_dialog_t::eventFilter(QObject *watched, QEvent *event)
{
  if ( watched == ui_->tableFilters && event->type() == QEvent::KeyPress )
  {
    const auto *key = static_cast<QKeyEvent *>(event);
    if ( key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier )
    {
      QTableWidget *table = ui_->tableFilters;
      for ( QModelIndexList rows = table->selectionModel()->selectedRows(); !rows.isEmpty();
            rows = table->selectionModel()->selectedRows() )
        remove_filter_row(rows.first().row());
      return true;
    }
  }
  return ui_dialog_t::eventFilter(watched, event);
}

// ---- Running it -----------------------------------------------------------------------------------------

bool edit_filters_dialog_run(filtered_widget_mixin_t *engine, view_snapshot_t *snapshot)
{
  app_t *app = current_app();
  ui_widget_factory_t *factory = app != nullptr ? app->get_widget_factory() : nullptr;
  ui_dialog_t *made = factory != nullptr ? factory->new_edit_filters_dialog(engine, app->active_window()) : nullptr;
  const std::unique_ptr<edit_filters_dialog_t> dialog(qobject_cast<edit_filters_dialog_t *>(made));
  if ( dialog == nullptr )
  {
    delete made;
    return false;
  }
  dialog->fill(snapshot);
  (void)dialog->exec();
  const bool changed = dialog->changed();
  return changed;
}
