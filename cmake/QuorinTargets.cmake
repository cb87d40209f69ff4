# Shared compiler flags and the one-line helpers for tests and benchmarks.

add_library(quorin_flags INTERFACE)
target_compile_options(quorin_flags INTERFACE -Wall -Wextra)
target_compile_definitions(quorin_flags INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_FOREACH
  QT_NO_KEYWORDS
  QT_USE_QSTRINGBUILDER
  QT_DISABLE_DEPRECATED_UP_TO=0x060000)

# quorin_add_test(<name> SOURCES a.cpp b.cpp LIBS lib1 lib2)
# One QtTest executable, run by ctest offscreen and with loopback-only server discovery.
function(quorin_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE quorin_flags Qt6::Test ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${QUORIN_TEST_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUORIN_DISCOVERY_HOSTS=127.0.0.1;QT_LOGGING_RULES=qt.qpa.*=false")
endfunction()

# quorin_add_bench(<name> SOURCES a.cpp LIBS lib1)
# Google Benchmark executables: built by setup, never run by CI.
function(quorin_add_bench name)
  if(NOT benchmark_FOUND)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE quorin_flags benchmark::benchmark ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()
