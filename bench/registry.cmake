# Registry settings: reads of an unchanged store, and one-value writes beside a bare file write of the same size.
akui_benchmark(registry SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/registry.cpp DEPS akui_core)
