# GUI-thread requests beside Qt's own cross-thread calls: a waiting round trip and a flood of no-wait requests.
# It runs inside the UI suite's test application, so it is built with the tests.
if(TARGET akui_ui_test_app)
  akui_benchmark(request_queue SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/request_queue.cpp DEPS akui_ui_test_app)
endif()
