# Sync and commit of a work directory over TLS against the test server, beside rsync of the same tree.
if(TARGET akui_test_server)
  akui_benchmark(sync SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/sync.cpp DEPS akui_test_server)
endif()
