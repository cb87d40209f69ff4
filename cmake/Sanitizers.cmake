# Reliability builds.
#   QUORIN_SANITIZE: AddressSanitizer + UndefinedBehaviorSanitizer over every target (clang or gcc);
#                    any report aborts the program, so a finding fails its test.
#   QUORIN_FUZZ:     the libFuzzer harnesses of fuzz/ (clang only); the project's code is built with
#                    coverage hooks so the same tree serves the sanitizer suite and the fuzzers.
# Benchmarks are not built in either mode.
option(QUORIN_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(QUORIN_FUZZ "Build the libFuzzer harnesses (needs clang; implies QUORIN_SANITIZE)" OFF)

if(QUORIN_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "QUORIN_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  set(QUORIN_SANITIZE ON CACHE BOOL "" FORCE)
endif()

# Seconds a test program may take: only the net for a hang, above any one wait of a test (a minute,
# two for a whole install: tests/support/TestWait.h) times QUORIN_TEST_WAIT_SCALE (3 under the sanitizers,
# which make programs two to three times slower).
set(QUORIN_TEST_TIMEOUT 300)

if(QUORIN_SANITIZE)
  set(QUORIN_TEST_TIMEOUT 600)
  # -O1 and line tables only: the usual sanitizer trade, quick to build and still readable stacks.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
                      -O1 -gline-tables-only)
  add_link_options(-fsanitize=address,undefined)
  if(QUORIN_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()
  set(benchmark_FOUND FALSE)
endif()
