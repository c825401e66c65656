# A case-insensitive substring filter over 1,000,000 cached rows beside `grep -F -i -c` on the same lines.
akui_benchmark(filter_scan SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/filter_scan.cpp DEPS akui_views)
