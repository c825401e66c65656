# ZXL next to Lua 5.4: the same programs run by both, and compiling a generated 3 MB script.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LUA54 REQUIRED IMPORTED_TARGET lua5.4)
akui_benchmark(zxl_vs_lua SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/zxl_vs_lua.cpp DEPS akui_script PkgConfig::LUA54)
