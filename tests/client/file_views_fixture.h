// The file views' fixture: the started client logged in as alice on site ws of the test server, with the
// server's frames at hand and the log lines the views write.
#pragma once

#include "client/app/akui_app.h"
#include "repo/wire_records.h"
#include "tests/repo/test_server_client.h"
#include "tests/support/recording_ui_callback.h"

#include <string>
#include <vector>

class file_views_fixture_t : public test_server_fixture_t
{
protected:
  void SetUp() override;
  void TearDown() override;

  static akui_app_t &app();
  // The patterns, revision and options of every GET_ARKIVE_FILES the server received since the last clear.
  struct listing_request_t
  {
    std::vector<std::string> patterns;
    int32_t revision = 0;
    int32_t options = 0;
  };
  std::vector<listing_request_t> listing_requests() const;
  // The log lines written since the last clear.
  std::vector<std::string> log_lines() const;

  recording_ui_callback_t ui;
};

[[nodiscard]] std::string str(const qstring &text);
