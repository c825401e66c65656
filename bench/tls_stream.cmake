# TLS stream bulk throughput and handshakes over loopback, beside a plain OpenSSL client with the same cipher.
find_package(OpenSSL 3 REQUIRED)
akui_benchmark(tls_stream
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tls_stream.cpp ${PROJECT_SOURCE_DIR}/tests/support/test_certificates.cpp
  DEPS akui_repo OpenSSL::SSL OpenSSL::Crypto)
