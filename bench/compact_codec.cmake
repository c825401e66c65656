# Compact integer encode and decode rates.
akui_benchmark(compact_codec SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/compact_codec.cpp DEPS akui_core)
