# The forms suite runs inside the UI suite's test application; seeded loops run smaller under the sanitizers.
# The repository core is linked for its Connect form, the forms engine's main real-world text.
find_package(Qt5 5.15 REQUIRED COMPONENTS Widgets Test)
akui_test_suite(forms DEPS akui_forms akui_repo akui_ui_test_app Qt5::Test)
set_target_properties(test_forms PROPERTIES AUTOMOC ON)
if(AKUI_SANITIZE)
  target_compile_definitions(test_forms PRIVATE AKUI_SANITIZE)
endif()
