# A full change scan of a 100,000-file work tree beside `git status` on the same tree.
akui_benchmark(change_scan SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/change_scan.cpp DEPS akui_repo)
