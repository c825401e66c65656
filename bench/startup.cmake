# akui's start-up to its first shown main window, beside a minimal Qt Widgets program showing a QMainWindow: whole
# processes, each timed from its start until its window is mapped on the X display (run it on one: with_xvfb).
find_package(X11)
if(TARGET akui AND X11_FOUND)
  find_package(Qt5 5.15 REQUIRED COMPONENTS Widgets)
  akui_benchmark(startup SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/startup.cpp DEPS Qt5::Widgets X11::X11)
  target_include_directories(bench_startup PRIVATE ${PROJECT_SOURCE_DIR})
  add_dependencies(bench_startup akui akui_runtime_files)
endif()
