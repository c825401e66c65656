# The views suite runs inside the UI suite's test application (the engine's tests drive real widgets);
# seeded loops run smaller under the sanitizers. The forms library's services answer input requests with the
# real dialogs where a test plays them.
find_package(Qt5 5.15 REQUIRED COMPONENTS Widgets Test)
akui_test_suite(views DEPS akui_views akui_ui_test_app akui_forms_test_support Qt5::Test)
set_target_properties(test_views PROPERTIES AUTOMOC ON)
if(AKUI_SANITIZE)
  target_compile_definitions(test_views PRIVATE AKUI_SANITIZE)
endif()
