# Helpers that keep every library, test suite and benchmark declared the same way.

# The core's headers that nearly every source of the libraries above the platform layer includes. Named through
# the include path, not by absolute path, so that the precompiled header is the same in every checkout and the
# compiler cache serves a fresh clone.
set(AKUI_CORE_PCH_HEADERS
    <cstdint> <cstring> <memory> <string> <string_view> <vector>
    <core/qstring.h> <core/qvector.h> <core/error_state.h> <core/internal_error.h>)

# akui_precompile_headers(<target> <header>...)
# Precompiles the headers for every source of the target (each source compiles as if it included them
# first). Libraries add the core's common headers (AKUI_CORE_PCH_HEADERS), test suites GoogleTest's, and the
# Qt libraries Qt's. Off with -DAKUI_PCH=OFF, the way to check that every header includes what it uses.
function(akui_precompile_headers target)
  if(AKUI_PCH)
    target_precompile_headers(${target} PRIVATE ${ARGN})
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      # g++ 12 reports inlined std::string copies as out of bounds once <string> is precompiled: false positives.
      target_compile_options(${target} PRIVATE -Wno-array-bounds -Wno-stringop-overflow)
    endif()
  endif()
endfunction()

# akui_library(<folder> [DEPS <targets>...])
# One static library akui_<folder> from every source file of the folder (subfolders included).
# Headers are included as "<folder>/<file>.h" from the project root.
function(akui_library folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/${folder}/*.cpp ${PROJECT_SOURCE_DIR}/${folder}/*.c ${PROJECT_SOURCE_DIR}/${folder}/*.h)
  add_library(akui_${folder} STATIC ${sources})
  target_include_directories(akui_${folder} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(akui_${folder} PUBLIC ${ARG_DEPS} Threads::Threads)
  if(NOT folder STREQUAL "platform") # below the core: it may not include it
    akui_precompile_headers(akui_${folder} ${AKUI_CORE_PCH_HEADERS})
  endif()
endfunction()

# akui_test_suite(<folder> [DEPS <targets>...])
# One GoogleTest executable test_<folder> from tests/<folder>/*.cpp; every test case becomes a CTest test (under
# the sanitizers, a shard of the suite does).
# The shared test main gives each test process a private HOME, XDG_CONFIG_HOME and TMPDIR.
function(akui_test_suite folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  add_executable(test_${folder} ${sources})
  target_link_libraries(test_${folder} PRIVATE ${ARG_DEPS} akui_test_support GTest::gtest GTest::gmock)
  set_target_properties(test_${folder} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
  akui_precompile_headers(test_${folder} <gtest/gtest.h> ${AKUI_CORE_PCH_HEADERS})
  # Test suites whose name ends in "OnDisplay" show real windows: they run together on a private Xvfb display
  # (tests/support/with_xvfb) as the one CTest test <folder>_on_display, and never on the offscreen platform.
  if(AKUI_SANITIZE AND NOT folder STREQUAL "client")
    # Under the sanitizers a process takes about a second to start and to be checked for leaks at its end: the
    # suite runs as four shards of many tests each instead of one process per test. (The client suite keeps one
    # process per test: some of its views' tests rely on a fresh process.)
    foreach(shard RANGE 3)
      add_test(NAME ${folder}_shard_${shard} COMMAND $<TARGET_FILE:test_${folder}> --gtest_filter=-*OnDisplay.*)
      set_tests_properties(${folder}_shard_${shard} PROPERTIES TIMEOUT 600 ENVIRONMENT
                           "QT_QPA_PLATFORM=offscreen;GTEST_TOTAL_SHARDS=4;GTEST_SHARD_INDEX=${shard}")
    endforeach()
  else()
    gtest_discover_tests(test_${folder}
      DISCOVERY_MODE PRE_TEST
      TEST_FILTER "-*OnDisplay.*"
      PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
  endif()
  add_test(NAME ${folder}_on_display
           COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with_xvfb $<TARGET_FILE:test_${folder}>
                   --gtest_filter=*OnDisplay.*)
  set_tests_properties(${folder}_on_display PROPERTIES TIMEOUT 600)
endfunction()

# akui_benchmark(<name> SOURCES <files>... [DEPS <targets>...])
# A Google Benchmark executable; built with the project, run by hand.
function(akui_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(bench_${name} ${ARG_SOURCES})
  target_link_libraries(bench_${name} PRIVATE ${ARG_DEPS} benchmark::benchmark)
  set_target_properties(bench_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
endfunction()
