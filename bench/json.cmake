# JSON text: parsing and writing a 5 MB desktop-layout-like document.
akui_benchmark(json SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/json.cpp DEPS akui_core)
