# Costs of the ZXL value layer that every interpreted instruction pays: operators, string building, copies.
akui_benchmark(zxl_values SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/zxl_values.cpp DEPS akui_script)
