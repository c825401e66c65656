# Work directory: checksum-cache lookups, site confinement and committed writes through the process file system.
akui_benchmark(work_dir SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/work_dir.cpp DEPS akui_repo)
