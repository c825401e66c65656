// Actions: registration, core actions, removal, running from the user interface, properties and lookups.
#include "ui/ui_action.h"

#include "core/internal_error.h"
#include "tests/support/interr_capture.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/test_app.h"
#include "ui/action_context.h"
#include "ui/shortcut_table.h"
#include "ui/theme_stylesheets.h"
#include "ui/ui_action_registry.h"

#include <QAction>
#include <QPixmap>
#include <QPointer>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

namespace {

// Counts its calls; answers the configured result and state.
class scripted_handler_t : public action_handler_t
{
public:
  int activate(ui_action_activation_ctx_t *context) override
  {
    ++activations;
    seen_name = context->action_name.c_str();
    seen_current = test_app().current_action();
    if ( on_activate )
      on_activate();
    return result;
  }
  int update(ui_action_update_ctx_t *) override
  {
    ++updates;
    return state;
  }

  int result = 1;
  int state = ACTION_STATE_ENABLED;
  int activations = 0;
  int updates = 0;
  std::string seen_name;
  ui_action_t *seen_current = nullptr;
  std::function<void()> on_activate;
};

class ActionTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    registry().clear();
    test_app().refreshes.clear();
    test_app().reset_test_state();
  }
  void TearDown() override { registry().clear(); }

  static ui_action_registry_t &registry() { return *test_app().get_action_registry(); }

  // A description named and labelled `name`, run by a handler the test keeps (owner set, no ownership flag).
  ui_action_desc_t desc_for(const char *name, action_handler_t *handler)
  {
    ui_action_desc_t desc;
    desc.name = name;
    desc.label = name;
    desc.handler = handler;
    desc.owner = this;
    return desc;
  }

  // Adds and inserts an action of desc_for.
  ui_action_t *add(const char *name, scripted_handler_t *handler, int flags = 0)
  {
    ui_action_desc_t desc = desc_for(name, handler);
    desc.flags = flags;
    std::unique_ptr<ui_action_t> action = registry().add_action(desc);
    ui_action_t *raw = action.get();
    EXPECT_TRUE(registry().insert_action(&action)) << name;
    return raw;
  }
};

TEST_F(ActionTest, AddActionRefusesAndConfigures)
{
  scripted_handler_t handler;
  struct refusal_t
  {
    const char *name;
    const char *label;
    action_handler_t *handler;
  };
  ASSERT_NE(add("known", &handler), nullptr);
  const refusal_t refusals[] = {
    {"a", nullptr, &handler}, {"a", "", &handler}, {"a", "-", &handler}, {"known", "Known", &handler},
    {"a", "Label", nullptr},
  };
  for ( const refusal_t &r : refusals )
  {
    ui_action_desc_t desc = desc_for(r.name, r.handler);
    desc.label = r.label;
    EXPECT_EQ(registry().add_action(desc), nullptr) << (r.label != nullptr ? r.label : "(null label)");
  }

  struct row_t
  {
    const char *name;
    const char *label;
    int flags;
    bool with_owner;
    const char *stored_name;
    const char *text;
    uint32_t action_flags;
    int owner_kind;
    bool owns_handler;
  };
  const row_t rows[] = {
    {"~O~pen &File", "~O~pen", 0, true, "Open File", "&Open", 0, 1, false},
    {"dash", "-x", ACTION_DESC_FLAG_2, true, "dash", "-x", ACTION_FLAG_FROM_DESC_2, 1, false},
    {"plain", "~P~lain & co", ACTION_DESC_PLAIN_LABEL | ACTION_DESC_OWNER_KIND_4, true, "plain", "~P~lain & co", 0, 2,
     false},
    {"kind8", "K", ACTION_DESC_OWNER_KIND_8 | ACTION_DESC_FLAG_20, true, "kind8", "K", ACTION_FLAG_FROM_DESC_20, 3, false},
    {"kind12", "K", ACTION_DESC_OWNER_KIND_4 | ACTION_DESC_OWNER_KIND_8 | ACTION_DESC_OWNS_HANDLER, true, "kind12", "K",
     0, 0, true},
    {"check", "C", ACTION_DESC_CHECKABLE | ACTION_DESC_CHECKED, false, "check", "C",
     ACTION_FLAG_CHECKABLE | ACTION_FLAG_CHECKED, 1, true},
  };
  for ( const row_t &row : rows )
  {
    ui_action_desc_t desc;
    desc.name = row.name;
    desc.label = row.label;
    desc.handler = row.owns_handler ? new scripted_handler_t : &handler;
    desc.owner = row.with_owner ? this : nullptr;
    desc.flags = row.flags;
    desc.tooltip = "tip";
    desc.shortcut = "Ctrl-Shift-F7";
    std::unique_ptr<ui_action_t> action = registry().add_action(desc);
    ASSERT_NE(action, nullptr) << row.name;
    EXPECT_EQ(action->registry(), nullptr) << "not inserted yet";
    EXPECT_EQ(action->name(), row.stored_name);
    EXPECT_EQ(action->qaction()->text().toStdString(), row.text) << row.name;
    EXPECT_EQ(action->flags, row.action_flags) << row.name;
    EXPECT_EQ(action->owner_kind, row.owner_kind) << row.name;
    EXPECT_EQ(action->owns_handler(), row.owns_handler) << row.name;
    EXPECT_EQ(action->state(), ACTION_STATE_INITIAL);
    EXPECT_FALSE(action->state_known());
    EXPECT_EQ(action->qaction()->shortcutContext(), Qt::ApplicationShortcut);
    EXPECT_EQ(action->qaction()->toolTip(), "tip");
    EXPECT_EQ(action->qaction()->isCheckable(), (row.action_flags & ACTION_FLAG_CHECKABLE) != 0);
    EXPECT_EQ(action->qaction()->isChecked(), (row.action_flags & ACTION_FLAG_CHECKED) != 0);
    // The default shortcut list is in configuration syntax.
    EXPECT_EQ(action->qaction()->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F7)) << row.name;
    EXPECT_NE(action->serial(), 0u);
    delete action->detach_qaction();
  }
}

TEST_F(ActionTest, FactoryHandlerIsReplacedWithALogLine)
{
  // Tells its owner when it is deleted.
  struct stray_t : action_handler_t
  {
    explicit stray_t(bool *deleted) : deleted(deleted) {}
    ~stray_t() override { *deleted = true; }
    int activate(ui_action_activation_ctx_t *) override { return 0; }
    int update(ui_action_update_ctx_t *) override { return 0; }
    bool *deleted;
  };
  recording_ui_callback_t ui;
  bool deleted = false;
  auto &factory = static_cast<test_widget_factory_t &>(*test_app().get_widget_factory());
  factory.stray_handler = std::make_unique<stray_t>(&deleted);
  scripted_handler_t handler;
  ui_action_t *action = add("stray", &handler);
  ASSERT_NE(action, nullptr);
  EXPECT_TRUE(deleted);
  EXPECT_EQ(action->handler(), &handler);
  const auto logs = ui.requests_of(ui_code_log);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].text, "Coherency check failed: _handler == nullptr\n");
}

int throwing_activation(ui_action_activation_ctx_t *)
{
  throw std::runtime_error("activation fault");
}
int counted_activations = 0;
int counting_activation(ui_action_activation_ctx_t *)
{
  return ++counted_activations;
}

TEST_F(ActionTest, CoreActionsFromDescriptions)
{
  test_app_t &app = test_app();
  QPixmap pixmap(8, 8);
  pixmap.fill(Qt::red);
  const int32_t file_icon = app.register_icon(QIcon(pixmap), "core_icon_file.svg");

  QAction *received = nullptr;
  action_desc_t desc;
  desc.name = "core.one";
  desc.qaction_receiver = &received;
  desc.activate = counting_activation;
  desc.widget_kinds = 0x6;
  desc.widget_classes = 0x4;
  desc.context_word = 0x100000000ull | 0x7;
  desc.flags = ACTION_FLAG_CHECKABLE | ACTION_FLAG_CHECKED | 0x10;
  desc.refresh_mask = 0x30;
  desc.label = "~C~ore & more";
  desc.shortcut = "Ctrl+Shift+F8,Ctrl-F9";
  desc.tooltip = "Core tip";
  desc.icon = "core_icon_file.svg";
  ui_action_t *action = registry().register_core_action(desc);
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(registry().find_action("core.one"), action);
  EXPECT_EQ(received, action->qaction());
  EXPECT_EQ(action->flags, desc.flags | ACTION_FLAG_CORE);
  EXPECT_EQ(action->widget_kinds, 0x6u);
  EXPECT_EQ(action->widget_classes, 0x4u);
  EXPECT_EQ(action->context_word, desc.context_word);
  EXPECT_EQ(action->refresh_mask, 0x30u);
  EXPECT_TRUE(action->owns_handler());
  EXPECT_EQ(action->owner_kind, 1);
  // Core labels are plain text; the shortcut list is taken as Qt text, so "Ctrl-F9" means nothing.
  EXPECT_EQ(action->qaction()->text(), "~C~ore & more");
  EXPECT_EQ(action->qaction()->shortcuts(), QList<QKeySequence> {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F8)});
  EXPECT_TRUE(action->qaction()->isChecked());
  EXPECT_EQ(action->qaction()->icon().cacheKey(), app.icon_by_id(file_icon).cacheKey());
  EXPECT_TRUE(action->icon_name.empty());

  // '@' names a theme icon of the main window: none yet, then the style sheet's declaration.
  const std::string theme_file = (std::filesystem::temp_directory_path() / "core_theme.png").string();
  ASSERT_TRUE(pixmap.save(QString::fromStdString(theme_file)));
  // Further descriptions like the first, without its QAction receiver and shortcut.
  const auto like_desc = [&desc](const char *name, action_desc_t::activate_fn activate) {
    action_desc_t other = desc;
    other.name = name;
    other.qaction_receiver = nullptr;
    other.shortcut = nullptr;
    other.activate = activate;
    return other;
  };
  action_desc_t themed = like_desc("core.themed", counting_activation);
  themed.icon = "@core_theme";
  ui_action_t *themed_action = registry().register_core_action(themed);
  ASSERT_NE(themed_action, nullptr);
  EXPECT_EQ(themed_action->icon_name, "core_theme");
  EXPECT_TRUE(themed_action->qaction()->icon().isNull());
  ASSERT_TRUE(app.main_window()->handleUnknownStyleProperty("themeicon-core_theme", QString::fromStdString(theme_file)));
  const int32_t declared = app.main_window()->theme_icon_id("core_theme");
  ASSERT_GE(declared, 0);
  registry().refresh_theme_icons();
  EXPECT_EQ(themed_action->qaction()->icon().cacheKey(), app.icon_by_id(declared).cacheKey());

  // Refusals: a name already known is an internal error; a QAction already registered is refused.
  EXPECT_EQ(interr_number([&] { (void)registry().register_core_action(desc); }), INTERR_CORE_ACTION_REFUSED);
  scripted_handler_t handler;
  std::unique_ptr<ui_action_t> sharing = registry().add_action(desc_for("shares.qaction", &handler));
  QAction *own = sharing->detach_qaction();
  sharing->set_qaction(action->qaction());
  EXPECT_FALSE(registry().insert_action(&sharing));
  EXPECT_NE(sharing, nullptr) << "a refused action stays with the caller";
  sharing->set_qaction(own);
  EXPECT_TRUE(registry().insert_action(&sharing));
  EXPECT_EQ(sharing, nullptr);
  std::unique_ptr<ui_action_t> none;
  EXPECT_EQ(interr_number([&] { (void)registry().insert_action(&none); }), INTERR_INSERT_NULL_ACTION);

  // An activate function that throws answers 0 through the exception handler.
  const action_desc_t faulty = like_desc("core.faulty", throwing_activation); // outlives its action
  ui_action_t *faulty_action = registry().register_core_action(faulty);
  ASSERT_NE(faulty_action, nullptr);
  faulty_action->widget_kinds = ~uint64_t(0);
  faulty_action->context_word = 0;
  EXPECT_EQ(faulty_action->run_from_ui(), 0);
  EXPECT_EQ(app.fault_record().faults(), std::vector<std::string> {"activation fault"});
  EXPECT_EQ(app.current_action(), nullptr);
  EXPECT_TRUE(app.refreshes.empty());

  // Without an activate function, activation is an internal error.
  const action_desc_t inert = like_desc("core.inert", nullptr);
  ui_action_t *inert_action = registry().register_core_action(inert);
  ui_action_activation_ctx_t context;
  EXPECT_EQ(interr_number([&] { (void)inert_action->handler()->activate(&context); }), INTERR_CORE_HANDLER_NO_ACTIVATE);
}

TEST_F(ActionTest, AppliedThemeReappliesActionIcons)
{
  test_app_t &app = test_app();
  const auto icon_file = [](const char *name, Qt::GlobalColor color) {
    QPixmap pixmap(6, 6);
    pixmap.fill(color);
    const std::string path = (std::filesystem::temp_directory_path() / name).string();
    EXPECT_TRUE(pixmap.save(QString::fromStdString(path)));
    return path;
  };
  action_desc_t desc;
  desc.name = "themed.action";
  desc.label = "Themed";
  desc.activate = counting_activation;
  desc.icon = "@act_theme";
  ui_action_t *action = registry().register_core_action(desc);
  ASSERT_NE(action, nullptr);
  for ( const auto &[file, color] : {std::pair {"theme_green.png", Qt::green}, std::pair {"theme_blue.png", Qt::blue}} )
  {
    theme_t theme;
    theme.theme_css = ("ui_main_window_t { themeicon-act_theme: \"" + icon_file(file, color) + "\"; }").c_str();
    app.apply_stylesheet(theme);
    const int32_t id = app.main_window()->theme_icon_id("act_theme");
    ASSERT_GE(id, 0) << file;
    EXPECT_EQ(action->qaction()->icon().cacheKey(), app.icon_by_id(id).cacheKey()) << file;
  }
  app.setStyleSheet(QString());
}

TEST_F(ActionTest, RemovalKeepsCoreQActionsAndDeletesOthers)
{
  action_desc_t desc;
  desc.name = "remove.core";
  desc.activate = counting_activation;
  desc.label = "Core";
  desc.shortcut = "Ctrl+Shift+F10";
  ui_action_t *core = registry().register_core_action(desc);
  ASSERT_NE(core, nullptr);
  QPointer<QAction> core_qaction = core->qaction();
  ASSERT_FALSE(core_qaction->shortcuts().isEmpty());

  scripted_handler_t handler;
  ui_action_t *generated = add("remove.generated", &handler);
  QPointer<QAction> generated_qaction = generated->qaction();

  EXPECT_TRUE(unregister_ui_action(&registry(), core));
  ASSERT_FALSE(core_qaction.isNull());
  EXPECT_FALSE(core_qaction->isEnabled());
  EXPECT_TRUE(core_qaction->shortcuts().isEmpty());
  EXPECT_EQ(find_ui_action_of_qaction(core_qaction), nullptr);
  EXPECT_EQ(find_ui_action("remove.core"), nullptr);

  EXPECT_TRUE(unregister_ui_action_by_name("remove.generated"));
  EXPECT_TRUE(generated_qaction.isNull());
  EXPECT_FALSE(unregister_ui_action_by_name("remove.generated"));
  EXPECT_FALSE(unregister_ui_action(&registry(), nullptr));
  delete core_qaction.data();

  // An action found through a parent registry is removed there.
  ui_action_registry_t parent;
  scripted_handler_t parent_handler;
  std::unique_ptr<ui_action_t> held = parent.add_action(desc_for("remove.parent", &parent_handler));
  ui_action_t *raw = held.get();
  ASSERT_TRUE(parent.insert_action(&held));
  registry().parent = &parent;
  EXPECT_EQ(find_ui_action("remove.parent"), raw);
  EXPECT_TRUE(unregister_ui_action(&registry(), raw));
  EXPECT_EQ(parent.size(), 0u);
  registry().parent = nullptr;
}

TEST_F(ActionTest, RunningActionCannotRemoveItselfUnlessExiting)
{
  scripted_handler_t handler;
  ui_action_t *action = add("self.remove", &handler);
  bool removed = true;
  handler.on_activate = [&] { removed = unregister_ui_action(&registry(), test_app().current_action()); };
  EXPECT_EQ(action->run_from_ui(), 1);
  EXPECT_FALSE(removed);
  EXPECT_EQ(handler.seen_current, action);
  EXPECT_EQ(handler.seen_name, "self.remove");
  EXPECT_EQ(test_app().current_action(), nullptr);

  process_exiting.store(true);
  ui_action_activation_ctx_t context;
  (void)test_app().activate_action_handler(action, &context, nullptr);
  process_exiting.store(false);
  EXPECT_TRUE(removed);
  EXPECT_EQ(find_ui_action("self.remove"), nullptr);
}

TEST_F(ActionTest, RunFromUiRunsAFreshDisabledActionOnce)
{
  recording_ui_callback_t ui;
  scripted_handler_t handler;
  handler.state = ACTION_STATE_MISSING_CONTEXT;
  ui_action_t *action = add("fresh", &handler);
  EXPECT_EQ(action->run_from_ui(), 1);
  EXPECT_EQ(handler.activations, 1);
  EXPECT_EQ(handler.updates, 1);
  EXPECT_TRUE(action->state_known());
  EXPECT_EQ(action->state(), ACTION_STATE_MISSING_CONTEXT);
  EXPECT_FALSE(action->qaction()->isEnabled());

  EXPECT_EQ(action->run_from_ui(), 0) << "a refused run never counts as a successful one";
  EXPECT_EQ(handler.activations, 1);
  const auto logs = ui.requests_of(ui_code_log);
  ASSERT_FALSE(logs.empty());
  EXPECT_EQ(logs.back().text, "Warning: Action \"fresh\" unexpectedly disabled. Context changed?\n");

  // trigger_ui_action runs only enabled actions.
  EXPECT_FALSE(trigger_ui_action(action));
  action->set_state(ACTION_STATE_ENABLED);
  EXPECT_TRUE(action->qaction()->isEnabled());
  EXPECT_TRUE(trigger_ui_action(action));
  handler.result = 0;
  EXPECT_FALSE(trigger_ui_action(action));
  EXPECT_EQ(handler.activations, 3);
  EXPECT_FALSE(trigger_ui_action(nullptr));
}

TEST_F(ActionTest, RefreshFollowsOnlyAPositiveResult)
{
  struct row_t
  {
    int result;
    uint64_t mask;
    bool refreshed;
  };
  const row_t rows[] = {{1, 0x30, true}, {7, 0x1, true}, {0, 0x30, false}, {-1, 0x30, false}, {1, 0, false}};
  int n = 0;
  for ( const row_t &row : rows )
  {
    scripted_handler_t handler;
    handler.result = row.result;
    ui_action_t *action = add(("refresh." + std::to_string(n++)).c_str(), &handler);
    action->refresh_mask = row.mask;
    test_app().refreshes.clear();
    EXPECT_EQ(action->run_from_ui(), row.result);
    EXPECT_EQ(test_app().refreshes.size(), row.refreshed ? 1u : 0u) << row.result << " " << row.mask;
    if ( row.refreshed )
    {
      EXPECT_EQ(test_app().refreshes.front(), std::make_pair(row.mask, true));
    }
  }
}

TEST_F(ActionTest, PropertiesByKind)
{
  scripted_handler_t handler;
  ui_action_t *action = add("props", &handler);
  QAction *qaction = action->qaction();
  QPixmap pixmap(4, 4);
  pixmap.fill(Qt::blue);
  const int icon = test_app().register_icon(QIcon(pixmap), "props_icon");
  const int state = ACTION_STATE_NOT_FOR_WIDGET;
  const bool yes = true;
  const bool no = false;

  EXPECT_TRUE(action->apply_property(ACTION_PROP_LABEL, "~L~abel"));
  EXPECT_EQ(qaction->text(), "&Label");
  EXPECT_TRUE(action->apply_property(ACTION_PROP_SHORTCUTS, "Ctrl-Shift-F3,Alt-Numpad5"));
  EXPECT_EQ(qaction->shortcuts(), (QList<QKeySequence> {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F3),
                                                         QKeySequence(QStringLiteral("Alt+Num+5"))}));
  qvector<qstring> user;
  ASSERT_TRUE(lookup_action_shortcuts("props", &user));
  EXPECT_EQ(find_shortcut_entry("props")->user_ids->size(), 2u);
  EXPECT_TRUE(action->apply_property(ACTION_PROP_TOOLTIP, "Tip"));
  EXPECT_EQ(qaction->toolTip(), "Tip");
  EXPECT_TRUE(action->apply_property(ACTION_PROP_TOOLTIP, nullptr));
  EXPECT_TRUE(qaction->toolTip().isEmpty() || qaction->toolTip() == qaction->text().remove('&'));
  EXPECT_TRUE(action->apply_property(ACTION_PROP_ICON, &icon));
  EXPECT_EQ(qaction->icon().cacheKey(), test_app().icon_by_id(icon).cacheKey());
  EXPECT_TRUE(action->apply_property(ACTION_PROP_STATE, &state));
  EXPECT_EQ(action->state(), ACTION_STATE_NOT_FOR_WIDGET);
  EXPECT_FALSE(qaction->isEnabled());
  EXPECT_FALSE(action->state_known()) << "setting a state does not make it known";
  EXPECT_TRUE(action->apply_property(ACTION_PROP_CHECKABLE, &yes));
  EXPECT_TRUE(qaction->isCheckable());
  EXPECT_TRUE(action->apply_property(ACTION_PROP_CHECKED, &yes));
  EXPECT_TRUE(qaction->isChecked());
  EXPECT_TRUE(action->apply_property(ACTION_PROP_VISIBLE, &no));
  EXPECT_FALSE(qaction->isVisible());

  const QString text_before = qaction->text();
  for ( const int kind : {0, 9, -1, 1000} )
    EXPECT_FALSE(action->apply_property(kind, "x")) << kind;
  EXPECT_EQ(qaction->text(), text_before);

  // An empty user list removes every key.
  EXPECT_TRUE(action->apply_property(ACTION_PROP_SHORTCUTS, ""));
  EXPECT_TRUE(qaction->shortcuts().isEmpty());
}

TEST_F(ActionTest, LookupsByNameAndQAction)
{
  scripted_handler_t handler;
  ui_action_t *first = add("look.first", &handler);
  ui_action_t *second = add("look.second", &handler);
  ui_action_desc_t nameless = desc_for(nullptr, &handler);
  nameless.label = "Nameless";
  std::unique_ptr<ui_action_t> held = registry().add_action(nameless);
  ui_action_t *unnamed = held.get();
  ASSERT_TRUE(registry().insert_action(&held));

  EXPECT_EQ(find_ui_action("look.first"), first);
  EXPECT_EQ(find_ui_action("look.none"), nullptr);
  EXPECT_EQ(find_ui_action_of_qaction(second->qaction()), second);
  EXPECT_EQ(find_ui_action_of_qaction(nullptr), nullptr);
  EXPECT_STREQ(ui_action_name_of_qaction(first->qaction()), "look.first");
  EXPECT_STREQ(ui_action_name_of_qaction(unnamed->qaction()), "");
  QAction stranger;
  EXPECT_EQ(ui_action_name_of_qaction(&stranger), nullptr);

  QAction *holder = nullptr;
  bind_qaction_by_name(&holder, "look.first");
  EXPECT_EQ(holder, first->qaction());
  bind_qaction_by_name(&holder, "look.second");
  EXPECT_EQ(holder, first->qaction()) << "a holder already bound keeps its QAction";

  const char *const names[] = {"look.second", nullptr, "look.unknown", "look.first"};
  QList<QAction *> list;
  fill_qaction_list(&list, names, std::size(names));
  EXPECT_EQ(list, (QList<QAction *> {second->qaction(), nullptr, first->qaction()}));
  fill_qaction_list(&list, names, 1);
  EXPECT_EQ(list.size(), 3) << "a filled list is left alone";

  const popup_entry_desc_t entries[] = {{"look.first", 1, "Edit/Copy"}, {nullptr, 0, ""}, {"look.x", 2, nullptr}};
  QList<popup_entry_t> popup;
  fill_popup_entry_list(&popup, entries, std::size(entries));
  ASSERT_EQ(popup.size(), 2);
  EXPECT_EQ(popup[0].qaction, first->qaction());
  EXPECT_EQ(popup[0].path, "Edit/Copy");
  EXPECT_EQ(popup[0].flags, 1);
  EXPECT_EQ(popup[1].qaction, nullptr);

  // The visitor walks in registration order and stops at the first non-zero answer.
  struct collecting_visitor_t final : action_visitor_t
  {
    std::vector<std::string> names;
    int visit(ui_action_t *action) override
    {
      names.emplace_back(action->name().c_str());
      return names.size() == 2 ? 42 : 0;
    }
  } visitor;
  EXPECT_EQ(visit_ui_actions(&visitor), 42);
  EXPECT_EQ(visitor.names, (std::vector<std::string> {"look.first", "look.second"}));
}

TEST(ActionShortcuts, ConfigurationAppliesOnce)
{
  (void)interr_number([] { apply_actions_shortcuts_config(); });
  EXPECT_EQ(interr_number([] { apply_actions_shortcuts_config(); }), INTERR_SHORTCUTS_APPLIED_TWICE);
}

} // namespace
