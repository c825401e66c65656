// Popup menus: insertion at menu paths, separators, permanent entries, generated actions, and showing a popup
// from a real context-menu request.
#include "ui/popup_menu.h"

#include "tests/support/interr_capture.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/support/seeded_random.h"
#include "tests/ui/app/menu_text.h"
#include "tests/ui/app/popup_dispatch.h"
#include "tests/ui/app/screenshots.h"
#include "tests/ui/app/test_app.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// A widget whose popup is filled by a test: its populate_popup(void*) slot calls `fill`, its context-menu
// handler shows the popup through the application and calls `shown` while the menu runs.
class popup_owner_t : public QWidget
{
  Q_OBJECT

public:
  popup_owner_t()
  {
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(200, 120);
  }

  std::function<void(popup_menu_ctx_t *)> fill;
  int context_menu_events = 0;

public slots:
  void populate_popup(void *popup)
  {
    if ( fill )
      fill(static_cast<popup_menu_ctx_t *>(popup));
  }

protected:
  void contextMenuEvent(QContextMenuEvent *event) override
  {
    ++context_menu_events;
    popup_menu_ctx_t popup(this);
    test_app().exec_popup(&popup, event, POPUP_AT_EVENT);
  }
};

namespace {

// A handler that counts its activations.
class counting_handler_t : public action_handler_t
{
public:
  explicit counting_handler_t(int *count) : count_(count) {}
  int activate(ui_action_activation_ctx_t *) override
  {
    ++*count_;
    return 1;
  }
  int update(ui_action_update_ctx_t *) override { return ACTION_STATE_ENABLED; }

private:
  int *count_;
};

// The description of a one-off action with a plain label, run by a new handler that counts into *runs.
ui_action_desc_t counting_desc(const char *label, int *runs)
{
  ui_action_desc_t desc;
  desc.label = label;
  desc.flags = ACTION_DESC_PLAIN_LABEL;
  desc.handler = new counting_handler_t(runs);
  return desc;
}

// Runs `act` on the context menu once it is shown: the menu runs its own event loop, which a timer polls.
class popup_driver_t
{
public:
  explicit popup_driver_t(std::function<void(QMenu *)> act) : act_(std::move(act))
  {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if ( auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget()); menu != nullptr )
      {
        timer_.stop();
        seen = true;
        act_(menu);
      }
    });
    timer_.start();
  }

  bool seen = false; // a menu was shown

private:
  std::function<void(QMenu *)> act_;
  QTimer timer_;
};

class PopupMenuTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    registry().clear();
    answer_popup_requests(ui_);
    for ( const char *name : {"copy", "paste", "cut", "off"} )
    {
      const std::string label = std::string(1, char(toupper(name[0]))) + (name + 1);
      ASSERT_TRUE(register_plain_action(name, label.c_str(), &handler_, this));
    }
    action("off")->qaction()->setEnabled(false);
  }
  void TearDown() override { registry().clear(); }

  static ui_action_registry_t &registry() { return *test_app().get_action_registry(); }
  static ui_action_t *action(const char *name) { return find_ui_action(name); }
  // A popup of the owner whose menu already holds "&Open", the submenu "~E~dit" with "Undo", and "Close file".
  std::unique_ptr<popup_menu_ctx_t> prepared_popup()
  {
    auto popup = std::make_unique<popup_menu_ctx_t>(&owner_);
    popup->menu->addAction("&Open");
    popup->menu->addMenu("~E~dit")->addAction("Undo");
    popup->menu->addAction("Close file");
    return popup;
  }

  recording_ui_callback_t ui_;
  idle_action_handler_t handler_;
  popup_owner_t owner_;
};

TEST_F(PopupMenuTest, PathsPlaceActionsInExistingAndNewSubmenus)
{
  struct row_t
  {
    const char *path;
    int flags;
    const char *expected;
  };
  const row_t rows[] = {
    {"", 0, "&Open|~E~dit[Undo]|Close file|Copy"},
    {nullptr, 0, "&Open|~E~dit[Undo]|Close file|Copy"},
    {"CLOSE", 0, "&Open|~E~dit[Undo]|Copy|Close file"},
    {"close", POPUP_AFTER, "&Open|~E~dit[Undo]|Close file|Copy"}, // after the last item: appended
    {"o p e n!", POPUP_AFTER, "&Open|Copy|~E~dit[Undo]|Close file"},
    {"edit/", 0, "&Open|~E~dit[Undo|Copy]|Close file"},
    {"e-d-i-t/UNDO", 0, "&Open|~E~dit[Copy|Undo]|Close file"},
    {"Edit/Undo", POPUP_AFTER, "&Open|~E~dit[Undo|Copy]|Close file"},
    {"Tools/", 0, "&Open|~E~dit[Undo]|Close file|Tools[Copy]"},
    {"Tools/More/x", 0, "&Open|~E~dit[Undo]|Close file|Tools[More[Copy]]"},
    {"Open/", 0, "&Open|~E~dit[Undo]|Close file|Open[Copy]"}, // "Open" opens no submenu
    {"file", 0, "&Open|~E~dit[Undo]|Close file|Copy"},        // a prefix only: no match
    {"~!", 0, "&Open|~E~dit[Undo]|Close file|Copy"},          // nothing left to match
    {"close", POPUP_SEPARATOR_FIRST, "&Open|~E~dit[Undo]|-|Copy|Close file"},
    {"open", POPUP_SEPARATOR_FIRST, "Copy|&Open|~E~dit[Undo]|Close file"}, // nothing before it
    {"", POPUP_SEPARATOR_FIRST, "&Open|~E~dit[Undo]|Close file|-|Copy"},
    {"close", POPUP_TOP, "Copy|&Open|~E~dit[Undo]|Close file"},
    {"", POPUP_TOP | POPUP_AFTER, "&Open|Copy|~E~dit[Undo]|Close file"},
  };
  for ( const row_t &row : rows )
  {
    auto popup = prepared_popup();
    EXPECT_TRUE(popup->attach_action(action("copy"), row.path, row.flags)) << row.path;
    EXPECT_EQ(menu_items(popup->menu.get()), row.expected) << (row.path != nullptr ? row.path : "(null)");
  }

  // An empty popup: the top is its end, and a separator first has nothing to separate.
  popup_menu_ctx_t empty(&owner_);
  EXPECT_TRUE(empty.attach_action(action("copy"), "x", POPUP_TOP | POPUP_SEPARATOR_FIRST));
  EXPECT_EQ(menu_items(empty.menu.get()), "Copy");
}

TEST_F(PopupMenuTest, SeparatorsAreNeverDoubledAndActionsGoInOnce)
{
  popup_menu_ctx_t popup(&owner_);
  EXPECT_TRUE(popup.attach_separator(nullptr, 0)); // an empty menu gets one
  EXPECT_TRUE(popup.attach_separator("", 0));
  EXPECT_EQ(menu_items(popup.menu.get()), "-");
  EXPECT_TRUE(popup.attach_action(action("copy"), "", POPUP_SEPARATOR_FIRST));
  EXPECT_TRUE(popup.attach_action(action("paste"), "", POPUP_SEPARATOR_FIRST));
  EXPECT_EQ(menu_items(popup.menu.get()), "-|Copy|-|Paste");
  EXPECT_TRUE(popup.attach_separator("paste", 0)); // after a separator: nothing
  EXPECT_TRUE(popup.attach_separator("copy", POPUP_AFTER));
  EXPECT_EQ(menu_items(popup.menu.get()), "-|Copy|-|Paste");
  EXPECT_TRUE(popup.attach_separator("paste", POPUP_AFTER)); // after the last item: the end
  EXPECT_TRUE(popup.attach_separator("", 0));
  EXPECT_EQ(menu_items(popup.menu.get()), "-|Copy|-|Paste|-");

  // The same action twice, a disabled one: refused, nothing changes.
  EXPECT_FALSE(popup.attach_action(action("copy"), "", 0));
  EXPECT_FALSE(popup.attach_action(action("off"), "", 0));
  EXPECT_FALSE(popup.attach_qaction(action("paste")->qaction(), nullptr, POPUP_TOP));
  EXPECT_EQ(menu_items(popup.menu.get()), "-|Copy|-|Paste|-");
  popup.remove_qaction(action("copy")->qaction());
  EXPECT_EQ(menu_items(popup.menu.get()), "-|-|Paste|-");
}

// Whether two separators stand next to each other anywhere in the menu tree.
bool has_doubled_separator(const QMenu *menu)
{
  const QList<QAction *> items = menu->actions();
  for ( int i = 0; i < items.size(); ++i )
  {
    if ( i > 0 && items[i]->isSeparator() && items[i - 1]->isSeparator() )
      return true;
    if ( items[i]->menu() != nullptr && has_doubled_separator(items[i]->menu()) )
      return true;
  }
  return false;
}

TEST_F(PopupMenuTest, RandomAttachmentsNeverDoubleSeparatorsOrActions)
{
  const char *const words[] = {"", "copy", "Paste", "~c~ut", "Sub", "s-u-b", "Deep", "x", "!", " "};
  const int flag_choices[] = {0, POPUP_AFTER, POPUP_TOP, POPUP_SEPARATOR_FIRST, POPUP_AFTER | POPUP_SEPARATOR_FIRST};
  const char *const actions[] = {"copy", "paste", "cut", nullptr};
  uint32_t seed = 0x9e3779b9u;
  for ( int run = 0; run < seeded_runs(400); ++run )
  {
    popup_menu_ctx_t popup(&owner_);
    const int steps = 1 + int(next_random(&seed) % 12);
    for ( int step = 0; step < steps; ++step )
    {
      std::string path;
      const int components = int(next_random(&seed) % 4);
      for ( int c = 0; c < components; ++c )
        path += std::string(c > 0 ? "/" : "") + words[next_random(&seed) % std::size(words)];
      const int flags = flag_choices[next_random(&seed) % std::size(flag_choices)];
      const char *name = actions[next_random(&seed) % std::size(actions)];
      if ( name != nullptr )
        (void)popup.attach_action(action(name), path.c_str(), flags);
      else
        EXPECT_TRUE(popup.attach_separator(path.c_str(), flags));
    }
    ASSERT_FALSE(has_doubled_separator(popup.menu.get())) << "run " << run << ": " << menu_items(popup.menu.get());
    // The top level holds each action once at most.
    for ( const char *name : {"copy", "paste", "cut"} )
      ASSERT_LE(popup.menu->actions().count(action(name)->qaction()), 1) << run;
  }
}

TEST_F(PopupMenuTest, EntryListsUseTheDefaultPathAndFlags)
{
  const popup_entry_desc_t entries[] = {
    {"copy", 0, nullptr}, {nullptr, 0, nullptr}, {"paste", 0, "Clip/"}, {"cut", POPUP_TOP, ""}};
  QList<popup_entry_t> list;
  fill_popup_entry_list(&list, entries, std::size(entries));

  auto popup = prepared_popup();
  popup->default_path = "Edit/";
  popup->default_flags = POPUP_SEPARATOR_FIRST;
  popup->attach_action_list(list);
  EXPECT_EQ(menu_items(popup->menu.get()), "Cut|&Open|~E~dit[Undo|-|Copy|-]|Close file|Clip[Paste]");

  // A QAction that no registered action owns is a separator.
  QAction stray("stray");
  auto other = prepared_popup();
  EXPECT_TRUE(other->attach_qaction(&stray, "close", 0));
  EXPECT_EQ(menu_items(other->menu.get()), "&Open|~E~dit[Undo]|-|Close file");
}

TEST_F(PopupMenuTest, PermanentEntriesAreStoredOnTheOwnerAndShownByEveryPopup)
{
  {
    popup_menu_ctx_t popup(&owner_);
    EXPECT_TRUE(popup.attach_action(action("paste"), "Clip/", POPUP_PERMANENT | POPUP_SEPARATOR_FIRST));
    EXPECT_TRUE(popup.attach_action(nullptr, nullptr, POPUP_PERMANENT));
    EXPECT_TRUE(popup.attach_action(action("cut"), "", POPUP_PERMANENT | POPUP_TOP));
    // The same entry from a later popup is kept once.
    EXPECT_TRUE(popup.attach_action(action("paste"), "Clip/", POPUP_PERMANENT | POPUP_SEPARATOR_FIRST));
    EXPECT_TRUE(popup.menu->isEmpty());
  }
  const QStringList stored = owner_.property(perma_popup_property).toStringList();
  EXPECT_EQ(stored, (QStringList {QStringLiteral("paste\x01" "Clip/\x01" "8"), QStringLiteral("\x01\x01" "0"),
                                  QStringLiteral("cut\x01\x01" "2")}));

  // An entry that does not split in three is a separator at the end; "-" is one too.
  owner_.setProperty(perma_popup_property, stored + QStringList {"garbage", "-\x01" "Clip/\x01" "0"});
  {
    popup_menu_ctx_t popup(&owner_);
    popup.attach_permanent_actions();
    EXPECT_EQ(menu_items(popup.menu.get()), "Cut|Clip[Paste|-]|-");
  }

  // An action unregistered since shows as a separator.
  ASSERT_TRUE(unregister_ui_action_by_name("cut"));
  popup_menu_ctx_t popup(&owner_);
  popup.menu->addAction("Top");
  popup.attach_permanent_actions();
  EXPECT_EQ(menu_items(popup.menu.get()), "-|Top|Clip[Paste|-]|-");

  // Without an owner a permanent entry has nowhere to go.
  popup_menu_ctx_t orphan(nullptr);
  EXPECT_EQ(interr_number([&] { (void)orphan.attach_action(action("copy"), "", POPUP_PERMANENT); }),
            INTERR_PERMANENT_POPUP_WITHOUT_OWNER);
}

TEST_F(PopupMenuTest, GeneratedActionsGetFreshNamesNeverReused)
{
  int runs = 0;
  ui_action_desc_t desc = counting_desc("Gen", &runs);
  popup_menu_ctx_t popup(&owner_);
  qstring first;
  ASSERT_TRUE(popup.attach_generated_action(desc, "Column/", 0, &first));
  ASSERT_EQ(first.view().substr(0, 10), "___dynact#");
  const unsigned long long number = std::stoull(std::string(first.view().substr(10)));
  EXPECT_NE(find_ui_action(first.c_str()), nullptr);
  EXPECT_EQ(menu_items(popup.menu.get()), "Column[Gen]");

  // A name taken by someone else is skipped; an unregistered generated name is not used again.
  const std::string taken = "___dynact#" + std::to_string(number + 1);
  ASSERT_TRUE(register_plain_action(taken.c_str(), "Taken", &handler_, this));
  ASSERT_TRUE(unregister_ui_action_by_name(first.c_str()));
  qstring second;
  desc.handler = new counting_handler_t(&runs);
  ASSERT_TRUE(popup.attach_generated_action(desc, "", POPUP_TOP, &second));
  EXPECT_EQ(second.view(), "___dynact#" + std::to_string(number + 2));
  EXPECT_EQ(popup.generated_names.size(), 2u);

  // Refusals register nothing and keep no handler (the sanitizers see a leak otherwise).
  const size_t registered = registry().size();
  desc.handler = nullptr;
  EXPECT_FALSE(popup.attach_generated_action(desc, "", 0, nullptr));
  desc.handler = new counting_handler_t(&runs);
  desc.label = "-";
  EXPECT_FALSE(popup.attach_generated_action(desc, "", 0, nullptr));
  desc.label = "Gen";
  popup_menu_ctx_t menuless(&owner_);
  menuless.menu.reset();
  desc.handler = new counting_handler_t(&runs);
  qstring refused;
  EXPECT_FALSE(menuless.attach_generated_action(desc, "", 0, &refused));
  EXPECT_EQ(find_ui_action(refused.c_str()), nullptr);
  EXPECT_TRUE(menuless.generated_names.empty());
  EXPECT_EQ(registry().size(), registered);
  EXPECT_EQ(runs, 0);
}

TEST_F(PopupMenuTest, WidgetSlotAndFormDialogHookFillThePopup)
{
  static std::vector<std::pair<popup_menu_ctx_t *, QWidget *>> forwarded;
  forwarded.clear();
  const forward_to_form_dialog_fn previous =
    set_forward_to_form_dialog([](popup_menu_ctx_t *popup, QWidget *widget, ui_action_activation_ctx_t *) {
      forwarded.emplace_back(popup, widget);
    });
  owner_.fill = [this](popup_menu_ctx_t *popup) { (void)popup->attach_action(action("copy"), "", 0); };
  popup_menu_ctx_t popup(&owner_);
  EXPECT_TRUE(populate_widget_popup(&popup, &owner_, nullptr));
  QWidget plain;
  EXPECT_FALSE(populate_widget_popup(&popup, &plain, nullptr));
  EXPECT_FALSE(populate_widget_popup(&popup, nullptr, nullptr));
  EXPECT_EQ(menu_items(popup.menu.get()), "Copy");
  EXPECT_EQ(forwarded, (std::vector<std::pair<popup_menu_ctx_t *, QWidget *>> {{&popup, &owner_}, {&popup, &plain}}));
  set_forward_to_form_dialog(previous);
}

class PopupShowTest : public PopupMenuTest
{
protected:
  void SetUp() override
  {
    PopupMenuTest::SetUp();
    auto *layout = new QVBoxLayout(&window_);
    owner_.setParent(&window_);
    layout->addWidget(&owner_);
    window_.show();
    QApplication::setActiveWindow(&window_);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
    owner_.setFocus();
  }
  void TearDown() override
  {
    owner_.setParent(nullptr);
    PopupMenuTest::TearDown();
  }
  // The codes the popup requests reached the dispatcher with, in order.
  std::vector<int32_t> popup_codes() const
  {
    std::vector<int32_t> codes;
    for ( const ui_request_record_t &r : ui_.requests() )
      if ( r.code == UI_CODE_POPULATE_POPUP || r.code == UI_CODE_POPUP_POPULATED )
        codes.push_back(r.code);
    return codes;
  }

  QWidget window_;
};

TEST_F(PopupShowTest, RightClickShowsTheFilledPopupAndReturnRunsTheChosenAction)
{
  int runs = 0;
  qstring generated;
  owner_.fill = [&](popup_menu_ctx_t *popup) {
    ASSERT_TRUE(popup->attach_generated_action(counting_desc("Refresh view", &runs), "", POPUP_TOP, &generated));
    ASSERT_TRUE(popup->attach_action(action("copy"), "", 0));
    popup->captions.insert(action("copy")->qaction(), QStringLiteral("Copy path"));
  };
  owner_.setProperty(perma_popup_property, QStringList {QStringLiteral("paste\x01\x01" "8")});

  std::string shown_items;
  QString shown_name;
  popup_menu_ctx_t *current = nullptr;
  popup_driver_t driver([&](QMenu *menu) {
    shown_items = menu_items(menu);
    shown_name = menu->objectName();
    current = test_app().current_popup();
    save_screenshot(*menu, "open");
    QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Return);
  });
  QTest::mouseClick(window_.windowHandle(), Qt::RightButton, {}, owner_.mapTo(&window_, QPoint(20, 20)));

  EXPECT_EQ(owner_.context_menu_events, 1);
  EXPECT_EQ(shown_items, "Refresh view|Copy path|-|Paste");
  EXPECT_EQ(shown_name, "ctxmenu");
  EXPECT_NE(current, nullptr);
  EXPECT_EQ(runs, 1);
  // Closed: captions back, the generated action gone, no popup current.
  EXPECT_EQ(action("copy")->qaction()->text(), "Copy");
  EXPECT_FALSE(generated.empty());
  EXPECT_EQ(find_ui_action(generated.c_str()), nullptr);
  EXPECT_EQ(test_app().current_popup(), nullptr);
  EXPECT_EQ(popup_codes(), (std::vector<int32_t> {UI_CODE_POPULATE_POPUP, UI_CODE_POPUP_POPULATED}));
}

TEST_F(PopupShowTest, KeyboardRequestOpensAndEscapeClosesWithoutRunning)
{
  int runs = 0;
  qstring generated;
  owner_.fill = [&](popup_menu_ctx_t *popup) {
    ASSERT_TRUE(popup->attach_generated_action(counting_desc("Once", &runs), "Sub/", 0, &generated));
  };
  std::string shown_items;
  popup_driver_t driver([&](QMenu *menu) {
    shown_items = menu_items(menu);
    QTest::keyClick(menu, Qt::Key_Escape);
  });
  // What the Menu key delivers (the offscreen platform does not turn the key into the request itself).
  QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(10, 10), owner_.mapToGlobal(QPoint(10, 10)));
  QApplication::sendEvent(&owner_, &request);
  EXPECT_TRUE(driver.seen);
  EXPECT_EQ(owner_.context_menu_events, 1);
  EXPECT_EQ(shown_items, "Sub[Once]");
  EXPECT_EQ(runs, 0);
  EXPECT_EQ(find_ui_action(generated.c_str()), nullptr);
}

TEST_F(PopupShowTest, AnEmptyPopupIsNotShown)
{
  // The permanent entries of a disabled action and a separator leave nothing to pick.
  owner_.setProperty(perma_popup_property, QStringList {QStringLiteral("off\x01\x01" "0"), QStringLiteral("-\x01\x01" "0")});
  popup_driver_t driver([](QMenu *menu) { menu->close(); });
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), owner_.mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(&owner_, &event);
  EXPECT_EQ(owner_.context_menu_events, 1);
  EXPECT_EQ(test_app().current_popup(), nullptr);
  QTest::qWait(50);
  EXPECT_FALSE(driver.seen);
  EXPECT_EQ(popup_codes(), (std::vector<int32_t> {UI_CODE_POPULATE_POPUP, UI_CODE_POPUP_POPULATED}));

  // A position of an unknown kind is a programming error.
  popup_menu_ctx_t popup(&owner_);
  const QPoint at(1, 1);
  EXPECT_EQ(interr_number([&] { test_app().exec_popup(&popup, &at, 3); }), INTERR_BAD_POPUP_POSITION_KIND);
}

} // namespace

#include "popup_menu_test.moc"
