# Appending 100,000 log lines to the Output window and painting its last page, beside a QPlainTextEdit.
# It runs inside the UI suite's test application, so it is built with the tests.
if(TARGET akui_ui_test_app)
  akui_benchmark(output_window SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/output_window.cpp DEPS akui_ui_test_app)
endif()
