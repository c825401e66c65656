// Font domains: a widget's domain, its font (stored or default), re-applying fonts to live widgets, the picker.
#include "ui/font_domains.h"

#include "tests/ui/app/test_app.h"
#include "ui/layout_helpers.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <memory>

namespace
{

// A widget of the domain its `domain` names.
class domain_widget_t : public QWidget
{
  Q_OBJECT

public:
  explicit domain_widget_t(QString name, QWidget *parent = nullptr) : QWidget(parent), domain(std::move(name)) {}
  QString domain;

public slots:
  QString get_font_domain_name() { return domain; }
};

// A domain widget that takes fonts through its slot; `on_font` runs inside the slot.
class slot_domain_widget_t : public domain_widget_t
{
  Q_OBJECT

public:
  using domain_widget_t::domain_widget_t;
  std::function<void()> on_font;
  int fonts_received = 0;
  QFont last;

public slots:
  void set_font(QFont font)
  {
    ++fonts_received;
    last = font;
    if ( on_font )
      on_font();
  }
};

// Widgets resolve their fonts against their parents', so fonts are compared by what the tests set.
testing::AssertionResult same_font(const QFont &actual, const QFont &expected)
{
  if ( actual.family() == expected.family() && actual.pointSize() == expected.pointSize() )
    return testing::AssertionSuccess();
  return testing::AssertionFailure() << actual.toString().toStdString() << " is not " << expected.toString().toStdString();
}

// Whether the framework gave the widget a font of its own (not one inherited from its parent).
bool has_own_font(const QWidget *w)
{
  return w->testAttribute(Qt::WA_SetFont) && w->property("_q_styleSheetWidgetFont").isValid();
}

class FontDomains : public testing::Test
{
protected:
  void TearDown() override { test_app().stored_fonts.clear(); }

  const font_domain_t &domain(const char *name)
  {
    for ( const font_domain_t &d : test_app().font_domains() )
      if ( d.name == name )
        return d;
    ADD_FAILURE() << name;
    return test_app().font_domains().front();
  }
};

TEST_F(FontDomains, TheApplicationHasTheThreeDomainsInOrder)
{
  const std::vector<font_domain_t> &domains = test_app().font_domains();
  ASSERT_EQ(domains.size(), 3u);
  EXPECT_EQ(domains[0].name, "Tabular views");
  EXPECT_EQ(domains[0].flags, font_domain_tabular);
  EXPECT_EQ(domains[1].name, "Output window");
  EXPECT_EQ(domains[1].flags, 0u);
  EXPECT_EQ(domains[2].name, "Text input");
  EXPECT_EQ(domains[2].description, "Text input (database notepad, input fields, ...)");
}

TEST_F(FontDomains, WidgetsNameTheirDomainExactly)
{
  struct case_t
  {
    const char *name;
    bool found;
  };
  const case_t cases[] = {{"Output window", true}, {"Tabular views", true}, {"", false}, {"output window", false},
                          {"Output window ", false}, {"Nowhere", false}};
  for ( const case_t &c : cases )
  {
    domain_widget_t w(c.name);
    const font_domain_t *found = nullptr;
    EXPECT_EQ(get_font_domain_name(&found, &w), c.found) << c.name;
    if ( c.found )
    {
      EXPECT_EQ(found->name, c.name);
    }
  }
  QWidget plain;
  const font_domain_t *found = nullptr;
  EXPECT_FALSE(get_font_domain_name(&found, &plain));
  EXPECT_FALSE(get_font_domain_name(&found, nullptr));
}

TEST_F(FontDomains, WidgetsGetTheStoredFontElseTheDefault)
{
  domain_widget_t text("Text input");
  ASSERT_TRUE(apply_domain_font(&text));
  EXPECT_TRUE(same_font(text.font(), fixed_pitch_font(10)));
  EXPECT_EQ(text.property("_q_styleSheetWidgetFont").value<QFont>(), fixed_pitch_font(10));

  QFont stored("Serif", 17);
  test_app().stored_fonts["Text input"] = stored;
  QFont out;
  EXPECT_TRUE(test_app().font_of_domain(&out, "Text input"));
  EXPECT_EQ(out, stored);
  EXPECT_FALSE(test_app().font_of_domain(&out, "Output window")); // nothing stored there
  EXPECT_FALSE(test_app().font_of_domain(&out, "No such domain"));
  ASSERT_TRUE(apply_domain_font(&text));
  EXPECT_TRUE(same_font(text.font(), stored));

  // Through the slot: never the property.
  slot_domain_widget_t with_slot("Output window");
  EXPECT_TRUE(apply_domain_font(&with_slot));
  EXPECT_EQ(with_slot.fonts_received, 1);
  EXPECT_EQ(with_slot.last, fixed_pitch_font(10));
  EXPECT_FALSE(with_slot.property("_q_styleSheetWidgetFont").isValid());

  // Without a domain the font stays.
  for ( const char *name : {"", "Elsewhere"} )
  {
    domain_widget_t none(name);
    EXPECT_FALSE(apply_domain_font(&none)) << name;
    EXPECT_FALSE(has_own_font(&none)) << name;
  }
}

TEST_F(FontDomains, ReappliedFontsReachLiveWidgetsOfTheDomainOnly)
{
  const QFont big("Sans", 21);
  auto top = std::make_unique<domain_widget_t>("Output window");
  auto *child = new slot_domain_widget_t("Output window", top.get());
  auto *other = new domain_widget_t("Text input", top.get());
  auto *grandchild = new domain_widget_t("Output window", other);
  auto *victim = new slot_domain_widget_t("Output window", top.get());
  // The first child's slot destroys a later sibling: the walk must skip it.
  child->on_font = [&victim] {
    delete victim;
    victim = nullptr;
  };

  apply_one_domain_font(big, domain("Output window"));
  EXPECT_TRUE(has_own_font(top.get()));
  EXPECT_TRUE(same_font(top->font(), big));
  EXPECT_EQ(child->fonts_received, 1);
  EXPECT_EQ(child->last, big);
  EXPECT_EQ(victim, nullptr);
  EXPECT_FALSE(has_own_font(other));
  EXPECT_TRUE(has_own_font(grandchild));
  EXPECT_TRUE(same_font(grandchild->font(), big));

  // Two entries: each widget gets its own domain's font, the others keep theirs.
  const QFont small("Sans", 7);
  test_app().apply_fonts({{small, &domain("Text input")}, {QFont("Serif", 30), &domain("Tabular views")}});
  EXPECT_TRUE(has_own_font(other));
  EXPECT_TRUE(same_font(other->font(), small));
  EXPECT_TRUE(same_font(grandchild->font(), big));
}

TEST_F(FontDomains, PickerAppliesToTheDomainAndResets)
{
  domain_widget_t target("Tabular views");
  target.show();
  const QFont reset("Sans", 9);
  font_picker_t picker(domain("Tabular views"), reset);
  picker.show();
  QDialogButtonBox *box = picker.findChild<QDialogButtonBox *>();
  ASSERT_NE(box, nullptr);
  QPushButton *apply = box->button(QDialogButtonBox::Apply);
  QPushButton *reset_button = box->button(QDialogButtonBox::Reset);
  ASSERT_NE(apply, nullptr);
  ASSERT_NE(reset_button, nullptr);

  const QFont chosen = fixed_pitch_font(15);
  picker.setCurrentFont(chosen);
  const QFont current = picker.currentFont();
  QTest::mouseClick(apply, Qt::LeftButton);
  EXPECT_TRUE(same_font(target.font(), current));
  EXPECT_TRUE(picker.isVisible()); // Apply leaves the dialog open

  QTest::mouseClick(reset_button, Qt::LeftButton);
  EXPECT_EQ(picker.currentFont().pointSize(), 9);
  EXPECT_TRUE(same_font(target.font(), current)); // Reset alone applies nothing
}

} // namespace

#include "font_domains_test.moc"
