# The file trees against the test server: Local files showing a folder of 10,000 files beside a QTreeView over a
# QFileSystemModel, and checkout for edit of 10,000 files selected in Arkive files beside the bare request.
if(TARGET akui_test_server AND TARGET akui_client)
  akui_benchmark(file_trees SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/file_trees.cpp DEPS akui_client akui_test_server)
  target_include_directories(bench_file_trees PRIVATE ${PROJECT_SOURCE_DIR})
  add_dependencies(bench_file_trees akui_runtime_files)
endif()
