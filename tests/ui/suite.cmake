# The UI suite runs inside a test application object (tests/ui/test_app.h), made by its own test main.
find_package(Qt5 5.15 REQUIRED COMPONENTS Widgets Test)
akui_test_suite(ui DEPS akui_ui Qt5::Test)
set_target_properties(test_ui PROPERTIES AUTOMOC ON AUTORCC ON)
# Seeded loops and stress tests run smaller under the sanitizers.
if(AKUI_SANITIZE)
  target_compile_definitions(test_ui PRIVATE AKUI_SANITIZE)
endif()
