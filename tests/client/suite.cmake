# The client suite runs inside the UI suite's test application, against the project's test server (its
# fixture is the repository suite's).
find_package(Qt5 5.15 REQUIRED COMPONENTS Widgets Test)
akui_test_suite(client DEPS akui_client akui_test_server akui_ui_test_app Qt5::Test)
target_sources(test_client PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/repo/test_server_client.cpp)
set_target_properties(test_client PROPERTIES AUTOMOC ON)
