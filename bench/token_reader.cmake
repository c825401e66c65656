# Tokenizing rate of the token reader over a generated C-like file with macros and conditionals.
akui_benchmark(token_reader SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/token_reader.cpp DEPS akui_core)
