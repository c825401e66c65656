# Fuzzy filtering with its ranking beside `fzf --filter`, column sorting beside QSortFilterProxyModel, and the
# bytes per row of the row cache and buckets, over 1,000,000 path-like rows.
akui_benchmark(filter_rank_sort SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/filter_rank_sort.cpp DEPS akui_views)
