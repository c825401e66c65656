// Layout helpers: splitter partitions, centring, event walks, signal blocking, keys, hotkey markup and fonts.
#include "ui/layout_helpers.h"

#include "core/json_reader.h"

#include <QApplication>
#include <QFontInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QSplitter>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace
{

json_value_t parse(const char *text)
{
  json_value_t v;
  EXPECT_EQ(json_parse_text(&v, text), 0) << text;
  return v;
}

// A widget that takes its font through the framework's slot.
class slot_font_widget_t : public QWidget
{
  Q_OBJECT

public:
  QFont received;
  int calls = 0;

public slots:
  void set_font(QFont font)
  {
    received = font;
    ++calls;
  }
};

// Records which objects an event reached, in order.
class event_recorder_t : public QObject
{
public:
  std::vector<QString> order;

  bool eventFilter(QObject *watched, QEvent *event) override
  {
    if ( event->type() == QEvent::User )
      order.push_back(watched->objectName());
    return false;
  }
};

TEST(HotkeyMarkup, TildesBecomeOneMnemonicAndAmpersandsAreDoubled)
{
  struct case_t
  {
    const char *name;
    const char *text;
    const char *expected;
    bool has_hotkey;
  };
  const case_t cases[] = {
    {"mnemonic", "~D~etails...", "&Details...", true},
    {"ampersand and mnemonic", "A&B ~x~", "A&&B &x", true},
    {"lone tilde", "~", "&", true},
    {"no markup, trimmed", "  plain text \t", "plain text", false},
    {"later tildes dropped", "~a~b~c~", "&abc", true},
    {"UTF-8 kept", "~\xC3\xA9t\xC3\xA9~", "&\xC3\xA9t\xC3\xA9", true},
    {"empty", "", "", false},
  };
  for ( const case_t &c : cases )
  {
    bool has_hotkey = !c.has_hotkey;
    EXPECT_EQ(hotkey_markup_to_qt(c.text, &has_hotkey), QString::fromUtf8(c.expected)) << c.name;
    EXPECT_EQ(has_hotkey, c.has_hotkey) << c.name;
  }
  bool has_hotkey = true;
  EXPECT_EQ(hotkey_markup_to_qt(nullptr, &has_hotkey), QString());
  EXPECT_FALSE(has_hotkey);
}

TEST(HotkeyMarkup, LongTextsAreCutAtACodePointBoundary)
{
  struct case_t
  {
    const char *name;
    std::string tail; // appended to 1022 'a's; the result holds 1023 bytes at most
    std::string expected_tail;
  };
  const case_t cases[] = {
    {"one more byte fits", "b", "b"},
    {"a two-byte character does not fit", "\xC3\xA9", ""},
    {"a four-byte character does not fit", "\xF0\x9F\x98\x80", ""},
    {"a doubled ampersand is never halved", "&", ""},
    {"a malformed byte counts as one", "\xFF", "\xFF"},
  };
  for ( const case_t &c : cases )
  {
    const std::string text = std::string(1022, 'a') + c.tail + "zzz";
    const QString expected = QString::fromUtf8((std::string(1022, 'a') + c.expected_tail).c_str());
    EXPECT_EQ(hotkey_markup_to_qt(text.c_str()), expected) << c.name;
  }
  // The cut never leaves a replacement character behind for a well-formed text.
  std::string accents;
  for ( int i = 0; i < 600; ++i )
    accents += "\xC3\xA9";
  const QString cut = hotkey_markup_to_qt(accents.c_str());
  EXPECT_EQ(cut.size(), 511);
  EXPECT_FALSE(cut.contains(QChar::ReplacementCharacter));
}

TEST(SplitterPartitions, SizesFollowTheFractionsOfTheLengthLessTheHandles)
{
  QSplitter splitter(Qt::Horizontal);
  splitter.addWidget(new QWidget);
  splitter.addWidget(new QWidget);
  splitter.resize(1000, 300);
  splitter.show();
  const int h = splitter.handleWidth();

  // The whole length goes to the second widget (Qt itself then keeps room for the handle).
  EXPECT_TRUE(set_splitter_partitions(&splitter, {0.0, 1.0}));
  EXPECT_EQ(splitter.sizes(), (QList<int> {0, 1000 - h}));
  EXPECT_TRUE(set_splitter_partitions(&splitter, {0.25, 0.75}));
  EXPECT_EQ(splitter.sizes(), (QList<int> {int(std::lround((1000 - h) * 0.25)), int(std::lround((1000 - h) * 0.75))}));
  EXPECT_FALSE(set_splitter_partitions(&splitter, {0.5, 0.25, 0.25}));
  splitter.addWidget(new QWidget);
  const QList<int> before = splitter.sizes();
  EXPECT_FALSE(set_splitter_partitions(&splitter, {0.5, 0.5}));
  EXPECT_EQ(splitter.sizes(), before);
  EXPECT_FALSE(set_splitter_partitions(nullptr, {}));
}

TEST(SplitterPartitions, JsonValuesMustBeIntsFrom0To100)
{
  std::vector<double> fractions {0.9};
  EXPECT_TRUE(partitions_from_json(&fractions, parse("[0, 50, 100]")));
  EXPECT_EQ(fractions, (std::vector<double> {0.0, 0.5, 1.0}));
  for ( const char *bad : {"[101]", "[-1]", "[50, \"50\"]", "[50.0]", "[true]", "{\"a\": 1}", "50"} )
  {
    fractions = {0.9};
    EXPECT_FALSE(partitions_from_json(&fractions, parse(bad))) << bad;
    EXPECT_EQ(fractions, std::vector<double> {0.9}) << bad;
  }
}

TEST(WindowPlacement, WindowsAreCentredOnTheScreenOrOverAWidget)
{
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  QWidget window;
  window.resize(200, 100);
  center_on_screen(&window);
  EXPECT_EQ(window.frameGeometry().center(), screen.center());

  QWidget reference;
  reference.setGeometry(screen.x() + 100, screen.y() + 100, 300, 300);
  reference.show();
  QWidget dialog;
  dialog.resize(100, 60);
  center_over_widget(&dialog, &reference);
  EXPECT_EQ(dialog.frameGeometry().center(), reference.frameGeometry().center());

  // A reference so close to the screen's corner that the centred widget would start outside it.
  reference.setGeometry(screen.x(), screen.y(), 20, 20);
  center_over_widget(&dialog, &reference);
  EXPECT_EQ(dialog.frameGeometry().center(), screen.center());

  center_on_screen(nullptr);
  center_over_widget(nullptr, &reference);
  center_over_widget(&dialog, nullptr);
}

TEST(WidgetTree, EventsReachEveryObjectParentFirstInChildOrder)
{
  event_recorder_t recorder;
  QWidget root;
  root.setObjectName("root");
  auto *a = new QWidget(&root);
  a->setObjectName("a");
  auto *plain = new QObject(a);
  plain->setObjectName("a.plain");
  auto *b = new QLabel(&root);
  b->setObjectName("b");
  for ( QObject *o : std::initializer_list<QObject *> {&root, a, plain, b} )
    o->installEventFilter(&recorder);
  QEvent event(QEvent::User);
  send_event_to_widget_tree(&root, &event);
  EXPECT_EQ(recorder.order, (std::vector<QString> {"root", "a", "a.plain", "b"}));
  send_event_to_widget_tree(nullptr, &event);
}

TEST(SignalBlocker, RestoresThePreviousStateUnlessTheObjectDied)
{
  QObject object;
  {
    signal_blocker_t blocker(&object);
    EXPECT_TRUE(object.signalsBlocked());
    {
      signal_blocker_t inner(&object);
    }
    EXPECT_TRUE(object.signalsBlocked()); // the inner blocker found it blocked
  }
  EXPECT_FALSE(object.signalsBlocked());
  auto *doomed = new QObject;
  {
    signal_blocker_t blocker(doomed);
    delete doomed; // the destructor must not touch it
  }
  signal_blocker_t none(nullptr);
}

TEST(LiveWidgets, OnlyExistingWidgetsAreLive)
{
  auto *w = new QWidget;
  QObject plain;
  EXPECT_TRUE(is_live_widget(w));
  EXPECT_FALSE(is_live_widget(&plain));
  EXPECT_FALSE(is_live_widget(nullptr));
  const QObject *gone = w;
  delete w;
  EXPECT_FALSE(is_live_widget(gone));
}

TEST(Keys, FirstKeysAndDialogAcceptKeys)
{
  EXPECT_EQ(first_key_of_sequence(QKeySequence()), 0);
  EXPECT_EQ(first_key_of_sequence(QKeySequence("Ctrl+K, Ctrl+C")), int(Qt::CTRL) | int(Qt::Key_K));

  struct case_t
  {
    const char *name;
    int key;
    Qt::KeyboardModifiers modifiers;
    bool accepts;
  };
  const case_t cases[] = {
    {"Ctrl+Return", Qt::Key_Return, Qt::ControlModifier, true},
    {"Ctrl+Enter", Qt::Key_Enter, Qt::ControlModifier, true},
    {"Ctrl+keypad Enter", Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier, true},
    {"Alt+K", Qt::Key_K, Qt::AltModifier, true},
    {"Return alone", Qt::Key_Return, Qt::NoModifier, false},
    {"Ctrl+Shift+Return", Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier, false},
    {"Ctrl+Alt+K", Qt::Key_K, Qt::ControlModifier | Qt::AltModifier, false},
    {"Alt+Return", Qt::Key_Return, Qt::AltModifier, false},
  };
  for ( const case_t &c : cases )
  {
    const QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers);
    EXPECT_EQ(is_dialog_accept_key(&event), c.accepts) << c.name;
  }
}

TEST(Fonts, WidgetFontsBypassStyleSheetsOrGoThroughTheSlot)
{
  const QFont font = fixed_pitch_font(13);
  QLabel label;
  EXPECT_TRUE(set_widget_font(&label, font));
  EXPECT_EQ(label.font().pointSize(), 13);
  EXPECT_EQ(label.property("_q_styleSheetWidgetFont").value<QFont>(), font);

  slot_font_widget_t with_slot;
  EXPECT_TRUE(set_widget_font(&with_slot, font));
  EXPECT_EQ(with_slot.calls, 1);
  EXPECT_EQ(with_slot.received, font);
  EXPECT_FALSE(with_slot.property("_q_styleSheetWidgetFont").isValid());
  EXPECT_FALSE(set_widget_font(nullptr, font));
}

TEST(Fonts, FixedPitchFontKeepsItsFamiliesAndFindsAFixedPitchFace)
{
  const QFont font = fixed_pitch_font(10);
  EXPECT_EQ(font.family(), "Consolas");
  EXPECT_EQ(font.families(), (QStringList {"Consolas", "Courier New"}));
  EXPECT_EQ(font.styleHint(), QFont::TypeWriter);
  EXPECT_EQ(font.pointSize(), 10);
  EXPECT_EQ(font.weight(), QFont::Normal);
  EXPECT_FALSE(font.italic());
  EXPECT_TRUE(QFontInfo(font).fixedPitch()) << QFontInfo(font).family().toStdString();
}

TEST(Fonts, ScaledHeightsAndContrastingColours)
{
  QLabel label;
  const int line = QFontMetrics(label.font()).height();
  EXPECT_EQ(scaled_font_height(3, &label), 2 * 3 * line / 3);
  EXPECT_EQ(scaled_font_height(1, nullptr), 2 * QFontMetrics(QApplication::font()).height() / 3);

  EXPECT_EQ(contrasting_text_color(QColor(128, 0, 0)), QColor(Qt::black));
  EXPECT_EQ(contrasting_text_color(QColor(127, 255, 255)), QColor(Qt::white));
  EXPECT_EQ(contrasting_text_color(QColor(Qt::white)), QColor(Qt::black));
}

} // namespace

#include "layout_helpers_test.moc"
