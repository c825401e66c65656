# The script engine's suite: the .zxl test programs are read from the source tree.
akui_test_suite(script DEPS akui_script)
target_compile_definitions(test_script PRIVATE AKUI_ZXL_PROGRAMS="${CMAKE_CURRENT_SOURCE_DIR}/script/programs")
if(AKUI_SANITIZE)
  target_compile_definitions(test_script PRIVATE AKUI_SANITIZE)
endif()
