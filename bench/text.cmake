akui_benchmark(text SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/text.cpp DEPS akui_core)
