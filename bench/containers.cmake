akui_benchmark(containers SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/containers.cpp DEPS akui_core)
