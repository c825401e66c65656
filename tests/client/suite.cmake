# The client suite runs inside the client's own application object, started as the program starts it (its
# configuration and theme come from beside the test program), against the project's test server (its fixture is
# the repository suite's).
find_package(Qt5 5.15 REQUIRED COMPONENTS Widgets Test)
akui_test_suite(client DEPS akui_client akui_ui_test_app akui_test_server Qt5::Test)
target_sources(test_client PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/repo/test_server_client.cpp
                                   ${CMAKE_CURRENT_SOURCE_DIR}/repo/disassembler_standin.cpp)
set_target_properties(test_client PROPERTIES AUTOMOC ON)
add_dependencies(test_client akui akui_runtime_files message_catalog user_manual arkive-test-server zuk zuk64)
if(AKUI_SANITIZE)
  target_compile_definitions(test_client PRIVATE AKUI_SANITIZE)
endif()
# The on-display tests drive the real program through the X server (its input extension is loaded at run time).
find_package(X11 REQUIRED)
target_link_libraries(test_client PRIVATE X11::X11 ${CMAKE_DL_LIBS})
