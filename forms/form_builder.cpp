// The form layout builder: the parsed lines become grids, tab pages or splitter panes, group boxes, button rows
// and one control record per field.
#include "forms/form_builder.h"

#include "core/ui_callback.h"
#include "forms/form_chooser.h"
#include "forms/inputs/buddy_label.h"
#include "forms/inputs/color_button.h"
#include "forms/inputs/field_widgets.h"
#include "forms/text/text_area.h"
#include "ui/layout_helpers.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCompleter>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalMapper>
#include <QSpacerItem>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace {

bool is_label(char type)
{
  return type == 0 || type == ' ' || type == 'h';
}

QGridLayout *new_grid()
{
  auto *grid = new QGridLayout;
  grid->setContentsMargins(0, 0, 0, 0);
  return grid;
}

// A label in "~x~" markup as shown on a button or check box: after its last '#', trimmed.
QString caption_of(const QString &label)
{
  const std::string visible = label_text_after_hint(label.toStdString(), true);
  return hotkey_markup_to_qt(visible.c_str());
}

} // namespace

form_builder_t::form_builder_t(form_widget_t *form, form_layout_t &layout, const form_header_t &header)
  : form_(form), layout_(layout), header_(header), font_height_(QFontMetrics(form->font()).height()),
    x_width_(QFontMetrics(form->font()).horizontalAdvance(QLatin1Char('X')))
{
}

bool form_builder_t::build()
{
  bool splitter = false;
  bool tabs = false;
  for ( const auto &line : layout_.lines )
    if ( line.size() == 1 )
    {
      splitter = splitter || line[0].type == '-';
      tabs = tabs || line[0].type == '=';
    }
  if ( splitter && tabs )
  {
    warning_printf("Cannot support both vertical splitter & tabs in the same form");
    return false;
  }
  for ( const auto &label : header_.buttons )
    has_standard_buttons_ = has_standard_buttons_ || label.has_value();

  grid_ = new_grid();
  QSplitter *vertical = nullptr;
  QTabWidget *tab_widget = nullptr;
  int tab_control = -1;
  for ( size_t j = 0; j < layout_.lines.size(); ++j )
  {
    auto &items = layout_.lines[j];
    if ( items.size() == 1 && items[0].type == '-' )
    {
      if ( vertical == nullptr )
      {
        vertical = new QSplitter(Qt::Vertical);
        auto *first = new QWidget;
        first->setLayout(grid_);
        vertical->addWidget(first);
      }
      auto *pane = new QWidget;
      grid_ = new_grid();
      pane->setLayout(grid_);
      vertical->addWidget(pane);
      continue;
    }
    if ( items.size() == 1 && items[0].type == '=' )
    {
      if ( tab_widget == nullptr )
      {
        tab_widget = new QTabWidget;
        form_control_t control;
        control.widget = tab_widget;
        control.type = '=';
        control.id = items[0].id;
        form_->controls_.push_back(control);
        tab_control = int(form_->controls_.size()) - 1;
      }
      else
      {
        form_->controls_[size_t(tab_control)].id = items[0].id;
      }
      auto *page = new QWidget;
      auto *page_layout = new QHBoxLayout(page);
      auto *inner = new QWidget;
      inner->setLayout(grid_);
      page_layout->addWidget(inner);
      tab_widget->addTab(page, hotkey_markup_to_qt(items[0].text.toUtf8().constData()));
      grid_ = new_grid();
      continue;
    }
    if ( items.empty() )
    {
      grid_->addItem(new QSpacerItem(1, font_height_, QSizePolicy::Minimum, QSizePolicy::Minimum), int(j), 0);
      continue;
    }
    place_line(j);
  }
  apply_stretch();
  if ( vertical != nullptr )
  {
    form_->main_layout_->addWidget(vertical);
  }
  else if ( tab_widget != nullptr )
  {
    form_->main_layout_->addWidget(tab_widget);
    // Lines after the last tab marker belong to no page: built, kept by the form, never shown.
    auto *rest = new QWidget(form_);
    rest->setLayout(grid_);
    rest->hide();
  }
  else
  {
    form_->main_layout_->addLayout(grid_);
  }
  return true;
}

void form_builder_t::apply_stretch()
{
  const auto &b = layout_.sorted_boundaries;
  for ( size_t k = 0; k + 1 < b.size(); ++k )
    grid_->setColumnStretch(int(k), std::min(b[k + 1] - b[k], 255));
  for ( const int column : zero_stretch_ )
    grid_->setColumnStretch(column, 0);
}

bool form_builder_t::unshared(size_t j, size_t k) const
{
  const auto &items = layout_.lines[j];
  const int column = items[k].column;
  if ( k == 0 && column == 0 )
    return true;
  for ( const size_t other : {j - 1, j + 1} )
  {
    if ( other >= layout_.lines.size() )
      continue;
    const auto &neighbour = layout_.lines[other];
    if ( neighbour.size() > k && neighbour[k].column == column && column != 0 )
      return false;
  }
  return true;
}

void form_builder_t::mark_item_runs(size_t j)
{
  auto &items = layout_.lines[j];
  const auto mark = [&](auto member, int mode) {
    size_t k = 0;
    while ( k < items.size() )
    {
      size_t end = k;
      while ( end < items.size() && member(items[end].type) && unshared(j, end) )
        ++end;
      if ( end - k >= 2 )
      {
        int widest = 0;
        for ( size_t i = k; i < end; ++i )
        {
          items[i].layout_mode = mode;
          widest = std::max(widest, items[i].width);
        }
        if ( mode == layout_button_run )
          for ( size_t i = k; i < end; ++i )
            items[i].width = widest;
      }
      k = std::max(end, k + 1);
    }
  };
  mark([](char t) { return t == 'B'; }, layout_button_run);
  mark([](char t) { return is_label(t); }, layout_label_run);
  for ( size_t k = 0; k < items.size(); ++k )
    if ( items[k].type == '|' )
    {
      if ( k > 0 )
        items[k - 1].layout_mode = layout_splitter_member;
      if ( k + 1 < items.size() )
        items[k + 1].layout_mode = layout_splitter_member;
    }
}

void form_builder_t::flush_pending(int row)
{
  if ( splitter_ != nullptr )
  {
    grid_->addWidget(splitter_, row, splitter_column_, 1, std::max(1, splitter_end_ - splitter_column_));
    form_->placed_.push_back(splitter_);
    splitter_ = nullptr;
  }
  if ( run_ != nullptr )
  {
    if ( run_->count() > 0 )
      if ( QWidget *last = run_->itemAt(run_->count() - 1)->widget() )
        last->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    grid_->addLayout(run_, row, run_column_, 1, std::max(1, run_end_ - run_column_), Qt::AlignLeft);
    run_ = nullptr;
  }
}

void form_builder_t::place_line(size_t j)
{
  auto &items = layout_.lines[j];
  const int row = int(j);
  bool aligned = false;
  {
    bool any_shared = false;
    bool free_line = false;
    for ( size_t k = 0; k < items.size(); ++k )
    {
      if ( !unshared(j, k) )
      {
        any_shared = true;
        break;
      }
      if ( items[k].width == 0 )
      {
        free_line = true;
        break;
      }
    }
    aligned = any_shared && !free_line;
  }
  mark_item_runs(j);
  const bool last_line = j + 1 == layout_.lines.size();
  const bool button_row = last_line && !has_standard_buttons_
                       && std::all_of(items.begin(), items.end(), [](const form_item_t &i) { return i.type == 'B'; });
  const int last_boundary = std::max(0, int(layout_.sorted_boundaries.size()) - 1);
  int next_free = 0;
  bool previous_label = false;
  for ( size_t k = 0; k < items.size(); ++k )
  {
    form_item_t &item = items[k];
    if ( aligned && previous_label && item.grid_column > next_free && item.type != '*' && item.type != 0
         && item.type != 'C' && item.type != 'R' && item.layout_mode != layout_label_run )
    {
      auto *spacer = new QSpacerItem(1, font_height_, QSizePolicy::Fixed, QSizePolicy::Minimum);
      grid_->addItem(spacer, row, next_free, 1, item.grid_column - next_free);
      for ( int c = next_free; c < item.grid_column; ++c )
        zero_stretch_.push_back(c);
    }
    previous_label = is_label(item.type);
    int span = item.column_span;
    if ( is_label(item.type) && k + 1 == items.size() )
      span = std::max(1, last_boundary - item.grid_column);
    placement_t placed = make_widget(item, button_row);
    if ( placed.widget == nullptr && placed.layout == nullptr )
      continue;
    if ( item.start && placed.widget != nullptr )
      form_->start_items_.emplace_back(item.number, placed.widget);
    if ( !placed.in_grid )
      continue;
    if ( item.layout_mode == layout_splitter_member && placed.widget != nullptr )
    {
      if ( splitter_ == nullptr )
      {
        splitter_ = new QSplitter(Qt::Horizontal);
        splitter_column_ = item.grid_column;
        splitter_end_ = item.grid_column;
      }
      splitter_->addWidget(placed.widget);
      splitter_->setStretchFactor(splitter_->count() - 1, std::max(item.width, 1));
      splitter_end_ = std::max(splitter_end_, item.grid_column + std::max(span, 1));
      next_free = item.grid_column + span;
      continue;
    }
    if ( (item.layout_mode == layout_button_run || item.layout_mode == layout_label_run) && placed.widget != nullptr )
    {
      if ( run_ == nullptr )
      {
        run_ = new QHBoxLayout;
        run_column_ = item.grid_column;
        run_end_ = item.grid_column;
      }
      if ( item.layout_mode == layout_button_run )
        placed.widget->setFixedWidth(item.width * x_width_ + 10);
      run_->addWidget(placed.widget);
      run_end_ = std::max(run_end_, item.grid_column + std::max(span, 1));
      next_free = item.grid_column + span;
      continue;
    }
    flush_pending(row);
    if ( placed.widget != nullptr )
    {
      grid_->addWidget(placed.widget, row, item.grid_column, 1, std::max(span, 1), placed.alignment);
      form_->placed_.push_back(placed.widget);
    }
    else
    {
      grid_->addLayout(placed.layout, row, item.grid_column, 1, std::max(span, 1), placed.alignment);
    }
    next_free = item.grid_column + span;
  }
  flush_pending(row);
}

int form_builder_t::add_control(form_control_t control)
{
  form_->controls_.push_back(std::move(control));
  return int(form_->controls_.size()) - 1;
}

form_builder_t::placement_t form_builder_t::make_widget(form_item_t &item, bool button_row)
{
  placement_t out;
  switch ( item.type )
  {
    case '*': case '-': case '=': case '|':
      return out;
    case 0: case ' ': case 'h':
    {
      auto *label = new buddy_label_t;
      if ( item.type == 'h' )
        label->set_rich_text(item.text, nullptr);
      else if ( item.type == ' ' )
        label->set_text_with_buddy(hotkey_markup_to_qt(item.text.toUtf8().constData()), nullptr);
      else
        label->set_text_with_buddy(caption_of(item.text), nullptr);
      if ( item.type == ' ' )
      {
        form_control_t control;
        control.widget = label;
        control.type = ' ';
        control.id = item.id;
        control.value = item.arg;
        control.value_type = item.value_type;
        add_control(control);
      }
      last_label_ = label;
      last_label_text_ = item.text.toStdString();
      out.widget = label;
      out.alignment = Qt::AlignLeft;
      return out;
    }
    case 'p':
    {
      auto *edit = new input_field_t(default_max_length('p', int(item.max_length)));
      if ( item.width > 0 )
      {
        edit->setFixedWidth(item.width * x_width_);
        edit->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
      }
      set_tooltip_from_hint(edit, last_label_text_);
      edit->setEchoMode(QLineEdit::Password);
      form_control_t control = field_control(item, edit);
      if ( item.arg != nullptr )
      {
        QString text;
        (void)form_->value_to_text(item.arg, 'p', &text);
        edit->setText(text);
      }
      add_control(control);
      out.widget = edit;
      out.alignment = Qt::AlignLeft;
      return out;
    }
    case 'B': case 'k':
    {
      auto *button = new QPushButton;
      const QString caption = caption_of(item.text);
      button->setText(caption);
      set_tooltip_from_hint(button, item.text.toStdString());
      if ( item.type == 'k' )
      {
        button->setFlat(true);
        QFont font = button->font();
        if ( caption.contains(QLatin1Char('&')) )
          font.setItalic(true);
        else
          font.setUnderline(true);
        button->setFont(font);
        QPalette palette = button->palette();
        const QColor link = palette.color(QPalette::Link);
        for ( const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled} )
          palette.setColor(group, QPalette::ButtonText, link);
        button->setPalette(palette);
      }
      if ( caption == QLatin1String("...") )
        button->setFixedWidth(QFontMetrics(button->font()).horizontalAdvance(caption) + 25);
      const int index = add_control(basic_control(item, button));
      form_->button_mapper_->setMapping(button, index);
      QObject::connect(button, &QPushButton::clicked, form_->button_mapper_, qOverload<>(&QSignalMapper::map));
      form_->register_hotkey(button_hotkey(button), button);
      out.widget = button;
      out.alignment = item.type == 'k' ? Qt::AlignLeft : Qt::Alignment();
      if ( item.type == 'B' && button_row )
      {
        if ( form_->button_box_ == nullptr )
          form_->button_box_ = new QDialogButtonBox;
        form_->button_box_->addButton(button, QDialogButtonBox::ActionRole);
        form_->placed_.push_back(button);
        out.in_grid = false;
      }
      else if ( item.type == 'B' && item.layout_mode == layout_grid_cell && item.width > 0 && item.column_span > 0 )
      {
        for ( int c = item.grid_column; c < item.grid_column + item.column_span; ++c )
          zero_stretch_.push_back(c);
      }
      return out;
    }
    case 'C': case 'R':
    {
      const form_group_t &group = layout_.groups[size_t(item.group)];
      if ( group.members.front() != std::make_pair(item.line, member_index(item)) )
        return out;
      QWidget *box = build_group_box(item.group);
      grid_->addWidget(box, group.first_line, group.grid_column, std::max(group.line_count, 1),
                       std::max(group.column_span, 1));
      form_->placed_.push_back(box);
      out.in_grid = false;
      return out;
    }
    case 'K':
    {
      auto *selector = new color_selector_t(nullptr, true);
      form_control_t control = field_control(item, selector);
      const int index = add_control(control);
      if ( item.arg != nullptr )
      {
        const auto value = *static_cast<const int32_t *>(item.arg);
        if ( value != -1 )
          selector->button()->set_color(QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF));
      }
      form_->color_mapper_->setMapping(selector->button(), index);
      QObject::connect(selector->button(), &ColorButton::colorChanged, form_->color_mapper_,
                       qOverload<>(&QSignalMapper::map));
      out.widget = selector;
      out.alignment = Qt::AlignLeft;
      return out;
    }
    case 'b':
    {
      QComboBox *combo = form_->new_combo_box(item.flags != 0, INT_MAX, nullptr);
      combo->setEditable(item.flags != 0);
      set_tooltip_from_hint(combo, last_label_text_);
      if ( auto *list = static_cast<qvector<qstring> *>(item.arg2) )
        for ( const qstring &entry : *list )
          combo->addItem(QString::fromUtf8(entry.c_str()));
      combo->setCurrentIndex(0);
      if ( combo->isEditable() && combo->lineEdit() != nullptr )
      {
        combo->lineEdit()->installEventFilter(form_);
        if ( QCompleter *completer = combo->completer() )
          completer->setCaseSensitivity(Qt::CaseSensitive);
      }
      form_control_t control = field_control(item, combo);
      control.second = item.arg2;
      const int index = add_control(control);
      if ( item.arg != nullptr )
        (void)form_->write_control_value(form_->controls_[size_t(index)], item.arg);
      out.widget = combo;
      out.alignment = Qt::AlignLeft;
      return out;
    }
    case 'E':
    {
      auto *chooser = static_cast<form_chooser_t *>(item.arg2);
      form_control_t control = basic_control(item, nullptr);
      control.chooser = chooser;
      if ( chooser == nullptr )
      {
        warning_printf("form: nullptr is an invalid input field argument");
        add_control(control);
        return out;
      }
      const bool borrowed_title = chooser->title().isEmpty();
      const QString label = caption_of(item.text);
      if ( borrowed_title )
        chooser->set_title(QString(label).remove(QLatin1Char('&')));
      QWidget *embedded = chooser->create_embedded_widget(form_->windowTitle(), item.id);
      if ( borrowed_title )
        chooser->set_title(QString());
      auto *container = new chooser_widget_container_t;
      container->set_up(item.text, embedded);
      if ( item.width > 0 && item.layout_mode != layout_splitter_member )
        embedded->setMinimumWidth(item.width * x_width_);
      if ( item.flags == 1 )
      {
        if ( form_->host_ != nullptr )
          container->setMinimumSize(chooser->minimum_widget_size(embedded));
        else
          container->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
      }
      control.widget = container;
      const int index = add_control(control);
      if ( item.arg != nullptr )
        (void)form_->write_control_value(form_->controls_[size_t(index)], item.arg);
      out.widget = container;
      const bool left = layout_.lines[size_t(item.line)].size() >= 2 && item.layout_mode != layout_splitter_member;
      out.alignment = left ? Qt::AlignLeft : Qt::Alignment();
      if ( left && item.width > 0 && item.column_span > 0 )
        for ( int c = item.grid_column; c < item.grid_column + item.column_span; ++c )
          zero_stretch_.push_back(c);
      return out;
    }
    case 't':
    {
      auto *area = new text_area_t;
      auto *container = new labeled_group_box_t;
      container->set_up(item.text, area);
      if ( item.width > 0 && item.layout_mode != layout_splitter_member )
        area->setMinimumWidth(item.width * x_width_);
      form_control_t control = basic_control(item, nullptr);
      control.widget = container;
      const int index = add_control(control);
      if ( item.arg != nullptr )
        (void)form_->write_control_value(form_->controls_[size_t(index)], item.arg);
      out.widget = container;
      return out;
    }
    case 'e':
    {
      // The type editor comes with its own library part; until then such a field has no widget.
      add_control(basic_control(item, nullptr));
      return out;
    }
    default:
      break;
  }
  // The input combo kinds, and the path fields with their browse button.
  QComboBox *combo = new_input_combo(item);
  form_control_t control = field_control(item, combo);
  if ( combo == nullptr )
  {
    control.widget = nullptr;
    control.extra.clear();
    add_control(control);
    return out;
  }
  if ( item.type == 'F' || item.type == 'f' )
  {
    auto *browse = new QPushButton(QStringLiteral("..."));
    browse->setMaximumWidth(QFontMetrics(browse->font()).horizontalAdvance(QStringLiteral("...")) + 25);
    set_tooltip_from_hint(browse, last_label_text_);
    control.extra.push_back(browse);
    const int index = add_control(control);
    form_->browse_mapper_->setMapping(browse, index);
    QObject::connect(browse, &QPushButton::clicked, form_->browse_mapper_, qOverload<>(&QSignalMapper::map));
    auto *row = new QHBoxLayout;
    row->addWidget(combo);
    row->addWidget(browse);
    out.layout = row;
    return out;
  }
  add_control(control);
  out.widget = combo;
  out.alignment = Qt::AlignLeft;
  return out;
}

int form_builder_t::member_index(const form_item_t &item) const
{
  const auto &line = layout_.lines[size_t(item.line)];
  for ( size_t k = 0; k < line.size(); ++k )
    if ( &line[k] == &item )
      return int(k);
  return -1;
}

form_control_t form_builder_t::basic_control(const form_item_t &item, QObject *widget)
{
  form_control_t control;
  control.widget = widget;
  control.type = item.type;
  control.id = item.id;
  control.value = item.arg;
  control.flags = item.flags;
  control.max_length = item.max_length;
  return control;
}

form_control_t form_builder_t::field_control(const form_item_t &item, QWidget *widget)
{
  form_control_t control = basic_control(item, widget);
  if ( last_label_ != nullptr && widget != nullptr )
  {
    control.extra.push_back(last_label_);
    last_label_->set_buddy(widget);
    form_->register_hotkey(label_hotkey(last_label_), last_label_);
  }
  return control;
}

QComboBox *form_builder_t::new_input_combo(const form_item_t &item)
{
  if ( item.arg == nullptr )
  {
    warning_printf("form: nullptr is an invalid input field argument");
    return nullptr;
  }
  QString text;
  if ( !form_->value_to_text(item.arg, item.type, &text) )
  {
    warning_printf("form: bad input field type %c", item.type);
    return nullptr;
  }
  QComboBox *combo = form_->new_combo_box(true, default_max_length(item.type, int(item.max_length)), &item);
  if ( QCompleter *completer = combo->completer() )
  {
    completer->setCompletionMode(QCompleter::PopupCompletion);
    completer->setCaseSensitivity(Qt::CaseSensitive);
  }
  if ( item.width > 0 )
  {
    combo->view()->setTextElideMode(Qt::ElideMiddle);
    combo->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    combo->setFixedWidth(item.width * x_width_ + form_->combo_arrow_width_);
  }
  set_tooltip_from_hint(combo, last_label_text_);
  if ( combo->count() > 0 )
  {
    if ( combo->itemText(0) != text )
      combo->insertItem(0, text);
  }
  else
  {
    combo->addItem(text);
  }
  combo->setCurrentIndex(0);
  combo->setEditText(text);
  if ( combo->lineEdit() != nullptr )
    combo->lineEdit()->installEventFilter(form_);
  return combo;
}

QWidget *form_builder_t::build_group_box(int group_index)
{
  const form_group_t &group = layout_.groups[size_t(group_index)];
  auto *box = new QGroupBox;
  auto *buttons = new QButtonGroup(form_);
  form_->owned_groups_.push_back(buttons);
  QBoxLayout *layout = group.horizontal ? static_cast<QBoxLayout *>(new QHBoxLayout(box)) : new QVBoxLayout(box);
  const form_item_t &first = layout_.lines[size_t(group.members[0].first)][size_t(group.members[0].second)];
  // The first member's label may carry "#hint#title#tooltip#label".
  {
    const std::string label = first.text.toStdString();
    if ( !label.empty() && label[0] == '#' )
    {
      std::vector<std::string> parts;
      size_t start = 1;
      for ( size_t end; (end = label.find('#', start)) != std::string::npos; start = end + 1 )
        parts.push_back(label.substr(start, end - start));
      if ( parts.size() >= 2 )
        box->setTitle(hotkey_markup_to_qt(parts[1].c_str()));
      if ( parts.size() >= 3 )
        box->setToolTip(QString::fromUtf8(parts[2].c_str()));
    }
  }
  form_control_t group_control;
  group_control.widget = buttons;
  group_control.type = 'G';
  group_control.id = group.id;
  group_control.value = group.value;
  group_control.extra.push_back(box);
  std::vector<int> members;
  uint16_t initial = group.initial;
  int position = 0;
  for ( const auto &[line, index] : group.members )
  {
    const form_item_t &member = layout_.lines[size_t(line)][size_t(index)];
    const QString caption = caption_of(member.text);
    QAbstractButton *button;
    if ( member.type == 'C' )
    {
      auto *check = new check_box_t(caption);
      check->setFocusPolicy(Qt::StrongFocus);
      check->setChecked((initial & 1) != 0);
      initial = uint16_t(initial >> 1);
      button = check;
    }
    else
    {
      auto *radio = new QRadioButton(caption);
      radio->setChecked(position == group.initial);
      radio->installEventFilter(form_);
      button = radio;
      group_control.type = 'g';
    }
    const std::string label = member.text.toStdString();
    const std::string hint = label_hint(label);
    if ( !hint.empty() )
      button->setToolTip(QString::fromUtf8(hint.c_str()));
    form_control_t control;
    control.widget = button;
    control.type = member.type;
    control.id = member.id;
    members.push_back(add_control(control));
    form_->register_hotkey(button_hotkey(button), button);
    buttons->addButton(button);
    layout->addWidget(button);
    if ( member.start )
      form_->start_items_.emplace_back(member.number, button);
    if ( position == 0 )
      buttons->setExclusive(member.type == 'R');
    ++position;
  }
  const int group_index_control = add_control(group_control);
  for ( const int m : members )
    form_->controls_[size_t(m)].group_control = group_index_control;
  return box;
}

int button_hotkey(QAbstractButton *button)
{
  if ( !button->shortcut().isEmpty() )
    return first_key_of_sequence(button->shortcut()) & 0x1FFFFFF;
  return label_letter(button->text());
}

int label_hotkey(QLabel *label)
{
  if ( auto *buddy = dynamic_cast<buddy_label_t *>(label) )
    if ( !buddy->key_sequence().isEmpty() )
      return first_key_of_sequence(buddy->key_sequence()) & 0x1FFFFFF & ~int(Qt::ALT);
  return 0;
}

int label_letter(const QString &text)
{
  const int marker = mnemonic_marker_index(text);
  if ( marker < 0 )
    return 0;
  const QChar letter = text[marker + 1].toUpper();
  return letter >= QLatin1Char('A') && letter <= QLatin1Char('Z') ? letter.unicode() : 0;
}
