# Operation rates of the 16-byte software float beside __float128 (libquadmath, shipped with gcc).
akui_benchmark(xfloat SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/xfloat.cpp DEPS akui_core)
target_link_libraries(bench_xfloat PRIVATE quadmath)
