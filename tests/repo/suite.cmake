# The repository suite runs its connection tests against the project's own test server.
akui_test_suite(repo DEPS akui_repo akui_test_server)

# The client that the sync-kill test starts in a fresh process and lets die in the middle of a sync.
add_executable(sync_kill_client ${CMAKE_CURRENT_LIST_DIR}/helpers/sync_kill_client.cpp)
target_link_libraries(sync_kill_client PRIVATE akui_repo)
set_target_properties(sync_kill_client PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
add_dependencies(test_repo sync_kill_client)
