# Rehighlighting a 100,000-line script source in a text area, beside a regular-expression QSyntaxHighlighter.
# It runs inside the UI suite's test application, so it is built with the tests.
if(TARGET akui_ui_test_app AND TARGET akui_forms)
  akui_benchmark(text_area SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/text_area.cpp DEPS akui_forms akui_ui_test_app)
endif()
