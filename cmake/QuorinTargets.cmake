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

# Every test runs on a machine of its own (tests/support/TestEnvironment.cpp, linked into each test
# program): its own home, per-user and machine-wide folders, a fixed language, none of the machine's
# CUPS scheduler, session bus, scanners or installed copy of the suite. ctest gives the wrappers
# (xvfb-run) the same fixed values; the per-process folders are made by the program itself.
set(QUORIN_TEST_ENVIRONMENT
  "QT_QPA_PLATFORM=offscreen;QUORIN_DISCOVERY_HOSTS=127.0.0.1;QT_LOGGING_RULES=qt.qpa.*=false;LANG=C.UTF-8;TZ=UTC;XDG_DATA_DIRS=/usr/share")
set(QUORIN_TEST_ENVIRONMENT_MODIFICATION "LC_ALL=unset:;LANGUAGE=unset:;XDG_CONFIG_DIRS=unset:;QUORIN_TEST_HOME=unset:")

# quorin_hermetic(<target>): links the test environment into a test or fuzz program.
function(quorin_hermetic target)
  if(NOT TARGET quorin_test_environment)
    add_library(quorin_test_environment OBJECT ${PROJECT_SOURCE_DIR}/tests/support/TestEnvironment.cpp)
    target_compile_definitions(quorin_test_environment PRIVATE
      QUORIN_TEST_PPD="${CMAKE_BINARY_DIR}/share/quorin/QuorinFax.ppd")
    target_compile_options(quorin_test_environment PRIVATE -Wall -Wextra)
  endif()
  target_link_libraries(${target} PRIVATE quorin_test_environment)
endfunction()

# quorin_test_waits(<target>): every source of a test program or test helper library sees
# tests/support/TestWait.h, the one way a test waits (docs/testing.md).
function(quorin_test_waits target)
  target_compile_options(${target} PRIVATE "SHELL:-include ${PROJECT_SOURCE_DIR}/tests/support/TestWait.h")
  target_link_libraries(${target} PRIVATE Qt6::Test)
endfunction()

# quorin_test_properties(<test> [other properties]): the environment above, the time-out, and more.
function(quorin_test_properties test)
  set_tests_properties(${test} PROPERTIES
    TIMEOUT ${QUORIN_TEST_TIMEOUT}
    ENVIRONMENT "${QUORIN_TEST_ENVIRONMENT}"
    ENVIRONMENT_MODIFICATION "${QUORIN_TEST_ENVIRONMENT_MODIFICATION}"
    ${ARGN})
endfunction()

# quorin_add_test(<name> SOURCES a.cpp b.cpp LIBS lib1 lib2)
# One QtTest executable, run by ctest offscreen, hermetic, with loopback-only server discovery.
function(quorin_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE quorin_flags Qt6::Test ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  quorin_hermetic(${name})
  quorin_test_waits(${name})
  add_test(NAME ${name} COMMAND ${name})
  quorin_test_properties(${name})
endfunction()

# quorin_sane_test(<name>): a test program that scans through SANE's test backend gets that backend's
# reader threads cancelled only where they wait (tests/support/DeferredCancel.cpp); the backend, loaded
# later, finds the program's pthread_setcanceltype first.
function(quorin_sane_test name)
  target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/DeferredCancel.cpp)
  target_link_options(${name} PRIVATE "LINKER:--export-dynamic-symbol=pthread_setcanceltype")
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
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/bench)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()
