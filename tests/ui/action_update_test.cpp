// Action states and update passes: mask states, which reasons recompute which states, filters, contexts.
#include "ui/action_context.h"

#include "tests/support/interr_capture.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/test_app.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QCursor>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <QWidget>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// Answers a fixed state and counts the update calls.
class state_handler_t : public action_handler_t
{
public:
  explicit state_handler_t(int answer) : state(answer) {}
  int activate(ui_action_activation_ctx_t *) override { return 1; }
  int update(ui_action_update_ctx_t *) override
  {
    ++updates;
    return state;
  }
  int state;
  int updates = 0;
};

// A widget that is a core widget: it has the slot the framework looks for.
class core_widget_t : public QWidget
{
  Q_OBJECT

public:
  using QWidget::QWidget;

public slots:
  void form_activate() {}
};

// What a fake tree view answers.
struct tree_answers_t
{
  dirtree_selection_t selection;
  bool standalone = false;
  std::vector<int> features;
  filtered_widget_mixin_t *engine = nullptr;
};

template <typename Base>
class tree_of_t : public Base, public dirtree_view_t
{
public:
  using Base::Base;
  void collect_current_selection(dirtree_selection_t &out) override { out = tree.selection; }
  bool is_standalone_dirtree() const override { return tree.standalone; }
  bool model_supports(int feature) const override
  {
    return std::find(tree.features.begin(), tree.features.end(), feature) != tree.features.end();
  }
  filtered_widget_mixin_t *tree_filter_engine() const override { return tree.engine; }
  tree_answers_t tree;
};

class fake_chooser_t : public QWidget, public chooser_view_t
{
public:
  using QWidget::QWidget;
  QString chooser_title() const override { return QStringLiteral("Chooser title"); }
  std::vector<int> selected_indexes() const override { return selection; }
  chooser_base_t *chooser_data() const override { return data; }
  QHeaderView *shown_header() const override { return header; }
  std::vector<int> selection;
  chooser_base_t *data = nullptr;
  QHeaderView *header = nullptr;
};

using fake_tree_t = tree_of_t<QWidget>;
using fake_chooser_tree_t = tree_of_t<fake_chooser_t>;

class fake_filter_input_t : public QLineEdit, public quick_filter_input_view_t
{
public:
  using QLineEdit::QLineEdit;
  QWidget *owner_filter_widget() const override { return owner; }
  QWidget *owner = nullptr;
};

class fake_tree_host_t : public QWidget, public dirtree_host_view_t
{
public:
  using QWidget::QWidget;
  dirtree_view_t *hosted_tree() const override { return hosted; }
  dirtree_view_t *hosted = nullptr;
};

filtered_widget_mixin_t *fake_engine(uintptr_t n)
{
  return reinterpret_cast<filtered_widget_mixin_t *>(n);
}

class ActionUpdateTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    registry().clear();
    provider().pinned_widget = nullptr;
  }
  void TearDown() override
  {
    registry().clear();
    provider().pinned_widget = nullptr;
    set_filter_engine_lookup(nullptr);
  }
  static ui_action_registry_t &registry() { return *test_app().get_action_registry(); }
  static test_action_context_provider_t &provider() { return test_app().action_provider(); }

  ui_action_t *add(const std::string &name, state_handler_t *handler, int state)
  {
    ui_action_desc_t desc;
    desc.name = name.c_str();
    desc.label = name.c_str();
    desc.handler = handler;
    desc.owner = this;
    std::unique_ptr<ui_action_t> action = registry().add_action(desc);
    action->set_state(state);
    ui_action_t *raw = action.get();
    EXPECT_TRUE(registry().insert_action(&action));
    return raw;
  }

  // The context flags and widget-class flags of an update context for the pinned widget.
  static std::unique_ptr<ui_action_update_ctx_t> context_for(QWidget *widget)
  {
    provider().pinned_widget = widget;
    std::unique_ptr<ui_action_update_ctx_t> context(provider().new_update_context());
    provider().fill_update_context(context.get());
    return context;
  }
};

std::vector<int> set_bits(uint64_t word)
{
  std::vector<int> bits;
  for ( int i = 0; i < 64; ++i )
    if ( ((word >> i) & 1) != 0 )
      bits.push_back(i);
  return bits;
}

TEST_F(ActionUpdateTest, ReasonsRecomputeByState)
{
  std::vector<std::unique_ptr<state_handler_t>> handlers;
  for ( int state = 0; state <= ACTION_STATE_MAX; ++state )
  {
    handlers.push_back(std::make_unique<state_handler_t>(state));
    add("state." + std::to_string(state), handlers.back().get(), state);
  }
  const std::map<int, std::vector<int>> recomputed = {
    {1, {3, 7}}, {3, {3, 7}}, {6, {3, 7}}, {7, {2, 3, 6, 7}}, {8, {2, 3, 6, 7}}, {9, {1, 2, 3, 5, 6, 7}},
  };
  for ( const auto &[reason, states] : recomputed )
  {
    for ( auto &h : handlers )
      h->updates = 0;
    refresh_actions_for(reason, nullptr, nullptr);
    std::vector<int> updated;
    for ( int state = 0; state <= ACTION_STATE_MAX; ++state )
    {
      EXPECT_LE(handlers[size_t(state)]->updates, 1);
      if ( handlers[size_t(state)]->updates == 1 )
        updated.push_back(state);
    }
    EXPECT_EQ(updated, states) << "reason " << reason;
  }
  EXPECT_TRUE(find_ui_action("state.7")->state_known());
  EXPECT_FALSE(find_ui_action("state.0")->state_known());
}

TEST_F(ActionUpdateTest, FiltersAndNotifications)
{
  state_handler_t a(3), b(3), other(3), chooserish(3);
  add("Chooser.a", &a, 3);
  add("Chooser.b", &b, 3);
  add("Other", &other, 3);
  ui_action_t *by_qaction = add("ChoosERx", &chooserish, 3);
  const auto updates = [&] {
    std::vector<int> counts = {a.updates, b.updates, other.updates, chooserish.updates};
    a.updates = b.updates = other.updates = chooserish.updates = 0;
    return counts;
  };
  recording_ui_callback_t ui;

  update_action_filter_t prefix;
  prefix.add_name("\x01" "Chooser");
  refresh_actions_for(UPDACT_LISTED, nullptr, &prefix);
  EXPECT_EQ(updates(), (std::vector<int> {1, 1, 0, 0}));

  update_action_filter_t exact;
  exact.add_name("Chooser");
  exact.add_name("Other");
  refresh_actions_for(UPDACT_LISTED, nullptr, &exact);
  EXPECT_EQ(updates(), (std::vector<int> {0, 0, 1, 0}));

  update_action_filter_t qactions;
  qactions.add_qaction(by_qaction->qaction());
  refresh_actions_for(UPDACT_LISTED, nullptr, &qactions);
  EXPECT_EQ(updates(), (std::vector<int> {0, 0, 0, 1}));

  update_action_filter_t by_names;
  const char *const names[] = {"Other", "Unknown", "Chooser.b"};
  by_names.add_action_names(names, std::size(names));
  EXPECT_EQ(by_names.entries.size(), 2u);
  by_names.add_action_names(names, 1);
  EXPECT_EQ(by_names.entries.size(), 2u) << "a filled filter is left alone";
  refresh_actions_for(UPDACT_LISTED, nullptr, &by_names);
  EXPECT_EQ(updates(), (std::vector<int> {0, 1, 1, 0}));

  // A filter that names nothing changes nothing, but the application still hears of the pass.
  ui.clear();
  update_action_filter_t nothing;
  nothing.add_name("Nothing");
  refresh_actions_for(UPDACT_LISTED, nullptr, &nothing);
  EXPECT_EQ(updates(), (std::vector<int> {0, 0, 0, 0}));
  ASSERT_EQ(ui.requests().size(), 2u);
  EXPECT_EQ(ui.requests()[0].code, UI_CODE_BEFORE_ACTION_UPDATE);
  EXPECT_EQ(ui.requests()[1].code, UI_CODE_AFTER_ACTION_UPDATE);

  // Flag 1 keeps the pass silent.
  ui.clear();
  std::unique_ptr<ui_action_update_ctx_t> context = context_for(nullptr);
  provider().do_update_actions(UPDACT_ACTION_RAN, context.get(), nullptr, UPDACT_FLAG_SILENT);
  EXPECT_EQ(updates(), (std::vector<int> {1, 1, 1, 1}));
  EXPECT_TRUE(ui.requests().empty());
  EXPECT_EQ(context->action_name, "ChoosERx") << "the context names the action being updated";
}

TEST_F(ActionUpdateTest, StatesOutsideTheRangeAreInternalErrors)
{
  for ( const int bad : {8, -1, 100} )
  {
    state_handler_t handler(2);
    ui_action_t *action = add("bad." + std::to_string(bad), &handler, 2);
    action->set_state(bad);
    EXPECT_EQ(interr_number([] { refresh_actions_for(UPDACT_CONNECTION, nullptr, nullptr); }), INTERR_ACTION_BAD_STATE)
      << bad;
    registry().remove_action(action);
  }
}

TEST_F(ActionUpdateTest, MaskStates)
{
  constexpr uint64_t all = ~uint64_t(0);
  struct row_t
  {
    uint64_t kinds;
    uint64_t classes;
    uint64_t context_word;
    int kind;
    uint64_t class_flags;
    uint64_t context_flags;
    int expected;
  };
  const row_t rows[] = {
    {all, 0, 0, -1, 0, 0, 2},
    {all, 0, ctx_bit(32), -1, 0, 0, 7},
    {all, 0, ctx_bit(32) | ctx_bit(38), 5, 0, ctx_bit(32), 7},
    {all, 0, ctx_bit(32) | ctx_bit(38), 5, 0, ctx_bit(32) | ctx_bit(38) | ctx_bit(40), 2},
    {all, 0, 0xFFFFFFFFull, -1, 0, 0, 2}, // the lower half of the context word is not a requirement
    {1u << 3, 0, 0, 3, 0, 0, 2},
    {1u << 3, 0, 0, 4, 0, 0, 6},
    {1u << 3, 0, 0, -1, 0, 0, 6},
    {1u << 3, 4, 0, 4, 4, 0, 2},            // another kind, but the widget class matches
    {1u << 3, 4, ctx_bit(33), 4, 4, 0, 7},
    {1u << 3, 4, 0, 4, 0, 0, 6},
    {1ull << 63, 0, 0, 63, 0, 0, 2},
    {0, 0, 0, 64, 0, 0, 6},
    {0, 0, 0, -7, 0, 0, 6},
  };
  state_handler_t handler(2);
  ui_action_t *action = add("mask", &handler, 3);
  action->flags |= ACTION_FLAG_CORE;
  for ( const row_t &row : rows )
  {
    action->widget_kinds = row.kinds;
    action->widget_classes = row.classes;
    action->context_word = row.context_word;
    ui_action_update_ctx_t context;
    context.widget_kind = row.kind;
    context.widget_class_flags = row.class_flags;
    context.context_flags = row.context_flags;
    EXPECT_EQ(test_app().compute_action_state(action, &context), row.expected)
      << std::hex << row.kinds << " " << row.classes << " " << row.context_word << " kind " << std::dec << row.kind;
  }
  action->flags &= ~ACTION_FLAG_CORE;
  ui_action_update_ctx_t context;
  EXPECT_EQ(interr_number([&] { (void)test_app().compute_action_state(action, &context); }), 40725);
  EXPECT_EQ(test_app().recompute_action_state(nullptr, &context), ACTION_STATE_DISABLED_BIT);
}

int update_answers_one(ui_action_t *, ui_action_update_ctx_t *)
{
  return 1;
}
int activate_nothing(ui_action_activation_ctx_t *)
{
  return 1;
}

TEST_F(ActionUpdateTest, CoreHandlerUpdateRefinesTheMaskState)
{
  struct row_t
  {
    bool with_update;
    uint32_t flags;
    int kind;
    int expected;
  };
  const row_t rows[] = {
    {false, 0, 3, 2}, {false, 0, 4, 6}, {true, 0, 3, 1}, {true, 0, 4, 6}, {true, ACTION_FLAG_UPDATE_DECIDES, 4, 1},
  };
  int n = 0;
  for ( const row_t &row : rows )
  {
    action_desc_t desc;
    const std::string name = "core.update." + std::to_string(n++);
    desc.name = name.c_str();
    desc.label = "Update";
    desc.activate = activate_nothing;
    desc.update = row.with_update ? update_answers_one : nullptr;
    desc.flags = row.flags;
    desc.widget_kinds = 1u << 3;
    ui_action_t *action = registry().register_core_action(desc);
    ASSERT_NE(action, nullptr);
    ui_action_update_ctx_t context;
    context.widget_kind = row.kind;
    EXPECT_EQ(test_app().recompute_action_state(action, &context), row.expected) << name;
    EXPECT_EQ(action->state(), row.expected);
    EXPECT_EQ(action->qaction()->isEnabled(), row.expected < 4);
  }
}

TEST_F(ActionUpdateTest, ContextFlagsFollowTheWidget)
{
  fake_chooser_t chooser;
  chooser.setProperty("widget_kind", 3);
  chooser.selection = {4, 1};
  chooser.data = reinterpret_cast<chooser_base_t *>(uintptr_t(0x40));
  fake_chooser_t empty_chooser;
  empty_chooser.setProperty("widget_kind", 3);
  fake_chooser_t odd_kind_chooser;
  odd_kind_chooser.setProperty("widget_kind", 11);
  odd_kind_chooser.selection = {2};
  fake_tree_t tree;
  tree.tree.selection = {dirtree_cursor_t {0, 7}};
  tree.tree.standalone = true;
  tree.tree.features = {3, 5};
  fake_tree_t bare_tree;
  fake_chooser_tree_t chooser_tree;
  chooser_tree.setProperty("widget_kind", 12);
  chooser_tree.selection = {0};
  chooser_tree.tree.features = {4};
  QWidget plain;

  struct row_t
  {
    const char *what;
    QWidget *widget;
    std::vector<int> bits;
    uint64_t class_flags;
  };
  const row_t rows[] = {
    {"chooser with a selection", &chooser, {32, 33}, WIDGET_CLASS_CHOOSER},
    {"chooser without selection", &empty_chooser, {33}, WIDGET_CLASS_CHOOSER},
    {"chooser of another kind", &odd_kind_chooser, {33}, WIDGET_CLASS_CHOOSER},
    {"standalone tree with selection", &tree, {35, 36, 38, 39, 41}, 0},
    {"tree", &bare_tree, {35}, 0},
    {"chooser that is also a tree", &chooser_tree, {32, 35, 40}, WIDGET_CLASS_CHOOSER},
    {"plain widget", &plain, {}, 0},
    {"no widget", nullptr, {}, 0},
  };
  for ( const row_t &row : rows )
  {
    std::unique_ptr<ui_action_update_ctx_t> context = context_for(row.widget);
    EXPECT_EQ(set_bits(context->context_flags), row.bits) << row.what;
    EXPECT_EQ(context->widget_class_flags, row.class_flags) << row.what;
    EXPECT_EQ(context->widget, row.widget) << row.what;
  }

  std::unique_ptr<ui_action_update_ctx_t> context = context_for(&chooser);
  EXPECT_EQ(context->widget_kind, 3);
  EXPECT_EQ(context->chooser_selection, (std::vector<int> {4, 1}));
  EXPECT_EQ(context->chooser, chooser.data);
  EXPECT_EQ(context->header_column, -1);
  EXPECT_EQ(context->title, "Chooser title");
  EXPECT_EQ(context->log_widget, nullptr);
  context = context_for(&tree);
  ASSERT_NE(context->tree_selection, nullptr);
  EXPECT_EQ(context->tree_selection, &context->tree_selection_vector);
  EXPECT_EQ(context->tree_selection->front(), (dirtree_cursor_t {0, 7}));
  EXPECT_TRUE(context->has_tree_view);
  EXPECT_EQ(context->widget_kind, -1);

  // An activation context carries the same common fields and no flags.
  provider().pinned_widget = &chooser;
  std::unique_ptr<ui_action_activation_ctx_t> activation(provider().new_activation_context());
  provider().fill_activation_context(activation.get());
  EXPECT_EQ(activation->chooser_selection, (std::vector<int> {4, 1}));
  provider().reset_context(activation.get());
  EXPECT_EQ(activation->widget, nullptr);
  EXPECT_EQ(activation->widget_kind, -1);
  EXPECT_TRUE(activation->chooser_selection.empty());
}

TEST_F(ActionUpdateTest, HeaderColumnUnderThePointer)
{
  fake_chooser_t chooser;
  chooser.setProperty("widget_kind", 3);
  QStandardItemModel model(2, 3);
  QTableView table(&chooser);
  table.setModel(&model);
  table.horizontalHeader()->moveSection(0, 2); // logical 0 shown last
  chooser.header = table.horizontalHeader();
  chooser.resize(400, 200);
  table.resize(400, 200);
  chooser.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&chooser));
  QHeaderView *header = table.horizontalHeader();
  const QPoint over_first_shown(header->sectionViewportPosition(1) + 2, header->height() / 2);
  QCursor::setPos(header->mapToGlobal(over_first_shown));
  if ( header->mapFromGlobal(QCursor::pos()) != over_first_shown )
    GTEST_SKIP() << "this platform does not move the pointer";
  EXPECT_EQ(context_for(&chooser)->header_column, 1);
  const QPoint over_last_shown(header->sectionViewportPosition(0) + 2, header->height() / 2);
  QCursor::setPos(header->mapToGlobal(over_last_shown));
  EXPECT_EQ(context_for(&chooser)->header_column, 0);
  QCursor::setPos(header->mapToGlobal(QPoint(2, header->height() + 50)));
  EXPECT_EQ(context_for(&chooser)->header_column, -1) << "below the header";
}

TEST_F(ActionUpdateTest, FocusFieldOnlyInsideTheWidget)
{
  QWidget window;
  auto *layout = new QVBoxLayout(&window);
  auto *core = new core_widget_t;
  auto *inner = new QLineEdit(core);
  auto *input = new fake_filter_input_t(core);
  layout->addWidget(core);
  auto *host = new fake_tree_host_t;
  auto *bar = new QWidget(host);
  layout->addWidget(host);
  fake_tree_t hosted_tree;
  hosted_tree.tree.engine = fake_engine(0x100);
  host->hosted = &hosted_tree;
  input->owner = bar;
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

  // The focus inside a core widget makes it the current widget and the focus field.
  inner->setFocus();
  QApplication::processEvents();
  ASSERT_EQ(QApplication::focusWidget(), inner);
  std::unique_ptr<ui_action_update_ctx_t> context = context_for(nullptr);
  EXPECT_EQ(context->widget, core);
  EXPECT_EQ(context->focus_widget, inner);
  EXPECT_EQ(context->quick_filter_owner, nullptr);
  EXPECT_EQ(context->filter_engine, nullptr);

  // The focus in a quick-filter input: its bar, and the engine of the tree its host holds.
  input->setFocus();
  QApplication::processEvents();
  context = context_for(nullptr);
  EXPECT_EQ(context->focus_widget, input);
  EXPECT_EQ(context->quick_filter_owner, bar);
  EXPECT_EQ(context->filter_engine, fake_engine(0x100));
  // An engine registered for the widget itself comes first.
  set_filter_engine_lookup([](QWidget *w) { return qobject_cast<core_widget_t *>(w) != nullptr ? fake_engine(0x200) : nullptr; });
  context = context_for(nullptr);
  EXPECT_EQ(context->filter_engine, fake_engine(0x200));
  set_filter_engine_lookup(nullptr);

  // The focus in another window or in a popup is not the widget's.
  QWidget other;
  auto *other_edit = new QLineEdit(&other);
  other.show();
  QApplication::setActiveWindow(&other);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  other_edit->setFocus();
  QApplication::processEvents();
  context = context_for(core);
  EXPECT_EQ(context->widget, core);
  EXPECT_EQ(context->focus_widget, nullptr);

  QWidget popup(core, Qt::Popup);
  auto *popup_edit = new QLineEdit(&popup);
  popup.show();
  popup_edit->setFocus();
  QApplication::processEvents();
  context = context_for(core);
  EXPECT_EQ(context->focus_widget, nullptr);
  popup.hide();
}

} // namespace

#include "action_update_test.moc"
