# Operation rates of the 16-byte software float: arithmetic and text conversions.
akui_benchmark(xfloat SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/xfloat.cpp DEPS akui_core)
