# A 256 MiB sync over TLS with the progress display shown in the wait box, beside the same sync without it.
# It runs inside the UI suite's test application, so it is built with the tests.
if(TARGET akui_ui_test_app AND TARGET akui_client AND TARGET akui_test_server)
  akui_benchmark(sync_progress SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/sync_progress.cpp
                 DEPS akui_client akui_test_server akui_ui_test_app)
endif()
