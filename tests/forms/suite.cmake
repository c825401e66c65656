# The forms suite runs inside the UI suite's test application; seeded loops run smaller under the sanitizers.
# The repository core is linked for its Connect form, the forms engine's main real-world text, and the test
# server for the Connect dialog's logins.
find_package(Qt5 5.15 REQUIRED COMPONENTS Widgets Test)
# The dispatcher that answers the core's input requests with real dialogs; later suites reuse it.
add_library(akui_forms_test_support STATIC ${CMAKE_CURRENT_SOURCE_DIR}/forms/support/dialog_dispatcher.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/forms/support/dialog_dispatcher.h)
target_include_directories(akui_forms_test_support PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(akui_forms_test_support PUBLIC akui_forms akui_test_support)

akui_test_suite(forms DEPS akui_forms akui_repo akui_ui_test_app akui_forms_test_support akui_test_server Qt5::Test)
set_target_properties(test_forms PROPERTIES AUTOMOC ON)
if(AKUI_SANITIZE)
  target_compile_definitions(test_forms PRIVATE AKUI_SANITIZE)
endif()
