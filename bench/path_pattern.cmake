# Ignore-rule matching: a typical rule set against a tree of paths, and star patterns against long names.
akui_benchmark(path_pattern SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/path_pattern.cpp DEPS akui_core)
