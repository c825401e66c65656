// The first connection from a host: the login uses the site the user and host name suggest when the server
// knows it, and otherwise asks for a work directory in the new-site form, adds the site, uses and remembers it.
// Played with real key and mouse events against the test server.
#include "client/app/akui_app.h"
#include "client/app/client_config.h"
#include "forms/form_widget.h"
#include "forms/inputs/form_dialog.h"
#include "repo/login_credentials.h"
#include "tests/client/admin_views_fixture.h"
#include "tests/client/client_session.h"
#include "tests/forms/modal_player.h"
#include "tests/repo/test_server_client.h"
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/screenshots.h"
#include "ui/message_box.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace {

akui_app_t &app()
{
  return *client_session().app;
}

arkive_credentials_t &defaults()
{
  return client_config().default_credentials;
}

class FirstConnection : public test_server_fixture_t
{
protected:
  void SetUp() override
  {
    test_server_fixture_t::SetUp();
    app().set_connection(nullptr);
    defaults() = arkive_credentials_t();
    defaults().host = "127.0.0.1";
    defaults().port = server.tls_port();
    defaults().user = "bob";
    // Bob's password is stored, no default site: the start logs in without the Connect dialog.
    arkive_credentials_t saved = defaults();
    saved.password = "builder";
    qstring error;
    ASSERT_TRUE(saved.save(&error)) << error.c_str();
    set_store_credentials_flag(false);
    (void)defaults().save_default_site(nullptr);
    defaults() = arkive_credentials_t();
    load_saved_credentials(&defaults());
    proposal = "bob_" + std::string(app().computer_name_text().c_str());
    proposal = proposal.substr(0, proposal.find('.'));
  }
  void TearDown() override
  {
    (void)pump_until([] { return false; }, std::chrono::milliseconds(20));
    app().set_connection(nullptr);
    app().connection_info();
    set_store_credentials_flag(false);
    defaults() = arkive_credentials_t();
  }

  std::optional<std::string> stored_default_site()
  {
    arkive_credentials_t stored = defaults();
    stored.site = "?";
    if ( !stored.load_default_site() )
      return std::nullopt;
    return std::string(stored.site.c_str());
  }

  std::string proposal;
};

TEST_F(FirstConnection, TheSuggestedSiteIsUsedWhenTheServerKnowsIt)
{
  server.repository().add_site(proposal, "bob", "/home/bob/known", "bob-pc");
  modal_player_t no_form;
  EXPECT_TRUE(app().perform_login(true));
  EXPECT_STREQ(app().current_site_name().c_str(), proposal.c_str());
}

TEST_F(FirstConnection, WithoutItTheFormAsksForAWorkDirectoryAndTheNewSiteIsUsedAndRemembered)
{
  std::string title;
  std::vector<std::string> labels;
  bool name_shown = true;
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the first-connection form", [&](ui_form_dialog_t &dialog) {
    title = dialog.windowTitle().toStdString();
    for ( QLabel *label : dialog.findChildren<QLabel *>() )
      if ( label->isVisible() )
        labels.push_back(label->text().toStdString());
    name_shown = form_field(dialog, "Name") != nullptr;
    type_into(dialog, "Rootdir", QString::fromStdString(site_root + "-bob"));
    save_screenshot(dialog, QStringLiteral("first_connection_form"));
    click(dialog_button(dialog, "OK"));
  });
  EXPECT_TRUE(app().perform_login(true));
  EXPECT_TRUE(player.done());
  EXPECT_EQ(title, "Please specify a work directory.");
  EXPECT_NE(std::find(labels.begin(), labels.end(),
                      "It appears this is your first connection to the ZUK Kollab server from this host."),
            labels.end())
    << testing::PrintToString(labels);
  EXPECT_FALSE(name_shown) << "the suggested name is the site's";
  EXPECT_TRUE(server.repository().has_site(proposal));
  EXPECT_STREQ(app().current_site_name().c_str(), proposal.c_str());
  EXPECT_TRUE(get_store_credentials_flag());
  EXPECT_EQ(stored_default_site(), proposal);
}

TEST_F(FirstConnection, ARefusedSiteIsReportedAndTheLoginGoesOnWithoutASite)
{
  // Another user's site of that name: the server refuses to add it again.
  server.repository().add_site(proposal, "alice", "/home/alice/taken", "alice-pc");
  std::vector<std::string> boxes;
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the first-connection form", [&](ui_form_dialog_t &dialog) {
    type_into(dialog, "Rootdir", QStringLiteral("/home/bob/anywhere"));
    click(dialog_button(dialog, "OK"));
  });
  player.on_next<message_box_t>("the refusal", [&](message_box_t &box) {
    boxes.push_back(box.text().toStdString());
    click(dialog_button(box, "OK"));
  });
  EXPECT_TRUE(app().perform_login(true));
  EXPECT_TRUE(player.done());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("Failed to add site\n", 0), 0u) << boxes[0];
  EXPECT_TRUE(app().current_site_name().empty());
  EXPECT_FALSE(get_store_credentials_flag());
}

} // namespace
