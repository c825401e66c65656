akui_benchmark(packet_codec SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/packet_codec.cpp DEPS akui_repo)
