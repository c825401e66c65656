# The forms suite; seeded loops run smaller under the sanitizers.
akui_test_suite(forms DEPS akui_forms)
if(AKUI_SANITIZE)
  target_compile_definitions(test_forms PRIVATE AKUI_SANITIZE)
endif()
