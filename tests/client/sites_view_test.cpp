// The Sites view against the test server, played with real key and mouse events as an administrator (alice)
// and as a plain user (bob): the list, the new-site and edit forms, deletion, reload and the switch to a site.
#include "client/app/akui_app.h"
#include "client/views/site_forms.h"
#include "client/views/sites_view.h"
#include "forms/form_widget.h"
#include "forms/inputs/form_dialog.h"
#include "forms/text/text_area.h"
#include "repo/packets_sites.h"
#include "repo/revision_texts.h"
#include "tests/client/admin_views_fixture.h"
#include "tests/forms/modal_player.h"
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/screenshots.h"
#include "ui/message_box.h"
#include "ui/ui_action_registry.h"
#include "views/chooser/chooser_table.h"
#include "views/chooser/chooser_widget.h"

#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using strings = std::vector<std::string>;

class SitesView : public admin_views_fixture_t
{
protected:
  // The requests of a type the server received since the last clear.
  size_t received(uint8_t type) const
  {
    size_t count = 0;
    for ( const recorded_frame_t &frame : server.received() )
      count += frame.type == type ? 1 : 0;
    return count;
  }
  strings filters_of(const char *site)
  {
    qvector<qstring> lines;
    EXPECT_EQ(app().facade.get_site_filters(&lines, site), 0);
    strings out;
    for ( const qstring &line : lines )
      out.emplace_back(line.c_str());
    return out;
  }
};

// Fills the new-site form: the name (when shown), the root directory and, when given, the filter text.
void fill_new_site(ui_form_dialog_t &dialog, const char *name, const char *rootdir, const char *filters = nullptr)
{
  if ( name != nullptr )
    type_into(dialog, "Name", QString::fromUtf8(name));
  type_into(dialog, "Rootdir", QString::fromUtf8(rootdir));
  if ( filters != nullptr )
  {
    auto *area = dialog.findChild<text_area_t *>();
    ASSERT_NE(area, nullptr);
    area->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(area, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(area, Qt::Key_Delete);
    QTest::keyClicks(area, QString::fromUtf8(filters));
  }
}

TEST_F(SitesView, AnAdministratorSeesEverySiteWithTheCurrentOneBold)
{
  chooser_widget_t *list = open_list("open_sites_widget", "Sites");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(column(*list, 0), (strings {"bob_site", "ws"}));
  EXPECT_EQ(column(*list, 1), (strings {"bob", "alice"}));
  EXPECT_EQ(column(*list, 3), (strings {"bob-pc", "alice-pc"}));
  EXPECT_FALSE(row_bold(*list, 0));
  EXPECT_TRUE(row_bold(*list, 1));
  EXPECT_EQ(list->table_model()->headerData(2, Qt::Horizontal).toString().toStdString(), "Rootdir");
  save_screenshot(*list->window(), QStringLiteral("sites_admin"));
  // The open action again presents the same widget.
  ASSERT_TRUE(trigger_ui_action(find_ui_action("open_sites_widget")));
  EXPECT_EQ(find_chooser_widget_by_title("Sites"), list);
}

TEST_F(SitesView, APlainUserSeesOnlyTheOwnSites)
{
  log_in("bob", "builder", "bob_site");
  chooser_widget_t *list = open_list("open_sites_widget", "Sites");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(column(*list, 0), (strings {"bob_site"}));
  EXPECT_TRUE(row_bold(*list, 0));
}

TEST_F(SitesView, AddingASiteKeepsTheCurrentSiteAndSendsNoDefaultFilters)
{
  chooser_widget_t *list = open_list("open_sites_widget", "Sites");
  ASSERT_NE(list, nullptr);
  click_row(*list, 0);
  bool ok_disabled_at_first = false;
  bool ok_enabled_when_filled = false;
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the new-site form", [&](ui_form_dialog_t &dialog) {
    QPushButton *ok = dialog_button(dialog, "OK");
    ASSERT_NE(ok, nullptr);
    ok_disabled_at_first = !ok->isEnabled();
    EXPECT_NE(form_field(dialog, "User"), nullptr) << "an administrator may name the owner";
    fill_new_site(dialog, "ws2", "/home/alice/second");
    ok_enabled_when_filled = ok->isEnabled();
    save_screenshot(dialog, QStringLiteral("sites_new_form"));
    click(ok);
  });
  ASSERT_TRUE(choose_from_menu(*list, 0, "Add new site..."));
  ASSERT_TRUE(wait_rows(*list, 3));
  EXPECT_TRUE(player.done());
  EXPECT_TRUE(ok_disabled_at_first);
  EXPECT_TRUE(ok_enabled_when_filled);
  EXPECT_EQ(column(*list, 0), (strings {"bob_site", "ws", "ws2"}));
  EXPECT_EQ(row_texts(*list)[2][2], "/home/alice/second");
  EXPECT_STREQ(app().current_site_name().c_str(), "ws") << "only the very first site is switched to";
  EXPECT_EQ(received(SET_SITE_FILTERS), 0u);
  EXPECT_EQ(received(USE_SITE), 0u);
}

} // namespace
