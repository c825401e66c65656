# The chooser widget over 1,000,000 rows (opening, sorting by each column and a quick filter, from a cold row
# cache) beside a QTableView over a QSortFilterProxyModel. It runs inside the UI suite's test application, so it
# is built with the tests.
if(TARGET akui_ui_test_app)
  akui_benchmark(chooser SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/chooser.cpp DEPS akui_views akui_ui_test_app)
endif()
