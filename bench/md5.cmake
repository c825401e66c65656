# MD5 throughput of the core beside the system crypto library's.
find_package(OpenSSL REQUIRED)
akui_benchmark(md5 SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/md5.cpp DEPS akui_core OpenSSL::Crypto)
