// The file views' fixture.
#include "tests/client/file_views_fixture.h"

#include "client/app/akui_app.h"
#include "client/views/arkive_listing_cache.h"
#include "core/ui_callback.h"
#include "repo/packets_sites.h"
#include "tests/client/client_session.h"

void file_views_fixture_t::SetUp()
{
  test_server_fixture_t::SetUp();
  app().set_connection(connect_alice());
  ASSERT_TRUE(app().has_usable_connection());
  ASSERT_TRUE(app().use_local_site("ws", true));
  app().set_show_deleted_files(false);
  app().set_show_ignored_files(false);
  app().forget_listings(false);
  app().refresh_widgets(all_widget_kinds, false);
  server.clear_received();
  ui.clear();
}

void file_views_fixture_t::TearDown()
{
  app().set_connection(nullptr);
  app().forget_listings(false);
  app().set_show_deleted_files(false);
  app().set_show_ignored_files(false);
  app().refresh_widgets(all_widget_kinds, false);
}

akui_app_t &file_views_fixture_t::app()
{
  return *client_session().app;
}

std::vector<file_views_fixture_t::listing_request_t> file_views_fixture_t::listing_requests() const
{
  std::vector<listing_request_t> out;
  for ( const recorded_frame_t &frame : server.received() )
  {
    if ( frame.type != GET_ARKIVE_FILES )
      continue;
    path_query_packet_t query(GET_ARKIVE_FILES);
    const uint8_t *cursor = frame.body.data();
    size_t remaining = frame.body.size();
    EXPECT_TRUE(query.deserialize(cursor, remaining, ARKIVE_PROTOCOL_VERSION));
    listing_request_t request;
    for ( const qstring &pattern : query.patterns )
      request.patterns.push_back(str(pattern));
    request.revision = query.revision;
    request.options = query.options;
    out.push_back(request);
  }
  return out;
}

std::vector<std::string> file_views_fixture_t::log_lines() const
{
  std::vector<std::string> out;
  for ( const ui_request_record_t &request : ui.requests_of(ui_code_log) )
    out.push_back(request.text);
  return out;
}

std::string str(const qstring &text)
{
  return std::string(text.view());
}
