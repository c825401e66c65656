# The script engine's suite: the .zxl test programs are read from the source tree.
akui_test_suite(script DEPS akui_script)
if(AKUI_SANITIZE)
  target_compile_definitions(test_script PRIVATE AKUI_SANITIZE)
endif()
