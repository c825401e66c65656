# Request/reply round trips against the test server, beside a bare socket ping-pong of the same frame sizes.
if(TARGET akui_test_server)
  akui_benchmark(rpc_roundtrip SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/rpc_roundtrip.cpp DEPS akui_test_server)
endif()
