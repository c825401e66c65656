# The repository suite runs its connection tests against the project's own test server.
akui_test_suite(repo DEPS akui_repo akui_test_server)
