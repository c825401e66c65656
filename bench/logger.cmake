# Four threads logging to a log file and a GUI thread, beside the same lines written with fputs under one mutex.
# It runs inside the UI suite's test application, so it is built with the tests.
if(TARGET akui_ui_test_app)
  akui_benchmark(logger SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/logger.cpp DEPS akui_ui_test_app)
endif()
