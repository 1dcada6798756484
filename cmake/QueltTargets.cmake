# Helpers every subsystem folder uses to declare its library, tests, fuzz targets and benchmarks.
include(CMakeParseArguments)

set(QUELT_TEST_WORK ${CMAKE_BINARY_DIR}/testwork)
set(QUELT_WINE_DIR ${CMAKE_BINARY_DIR}/wine)

function(quelt_target_defaults target)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${target} PRIVATE ${QUELT_WARNINGS} ${QUELT_CHARSET_FLAGS})
endfunction()

# quelt_library(<subsystem> SOURCES <platform-free sources> [WIN32_SOURCES <Win32 sources>]
#               [DEPS <libraries>] [WIN32_DEPS <libraries>])
# Makes the static library quelt_<subsystem>. The native builds take only SOURCES.
function(quelt_library name)
  cmake_parse_arguments(A "" "" "SOURCES;WIN32_SOURCES;DEPS;WIN32_DEPS" ${ARGN})
  set(sources ${A_SOURCES})
  if(NOT QUELT_NATIVE)
    list(APPEND sources ${A_WIN32_SOURCES})
  endif()
  add_library(quelt_${name} STATIC ${sources})
  quelt_target_defaults(quelt_${name})
  target_link_libraries(quelt_${name} PUBLIC ${A_DEPS})
  if(NOT QUELT_NATIVE)
    target_link_libraries(quelt_${name} PUBLIC ${A_WIN32_DEPS})
  endif()
endfunction()

# quelt_test(<name> SOURCES ... [LIBS ...] [WINE_ONLY] [NATIVE_ONLY] [NO_MAIN] [TIMEOUT s])
# A GoogleTest executable, one CTest entry. Under the Windows build CTest runs it
# through Wine (CMAKE_CROSSCOMPILING_EMULATOR) inside the shared Wine session.
# Each test runs in a working directory of its own, so `ctest -j` is safe.
function(quelt_test name)
  cmake_parse_arguments(A "WINE_ONLY;NATIVE_ONLY;NO_MAIN" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(QUELT_FUZZ)
    return()
  endif()
  if(A_WINE_ONLY AND QUELT_NATIVE)
    return()
  endif()
  if(A_NATIVE_ONLY AND NOT QUELT_NATIVE)
    return()
  endif()
  set(exe test_${name})
  add_executable(${exe} ${A_SOURCES})
  quelt_target_defaults(${exe})
  target_include_directories(${exe} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  if(A_NO_MAIN)
    target_link_libraries(${exe} PRIVATE ${A_LIBS} GTest::gtest GTest::gmock)
  else()
    target_link_libraries(${exe} PRIVATE ${A_LIBS} GTest::gtest_main GTest::gmock)
  endif()
  set(work ${QUELT_TEST_WORK}/${name})
  file(MAKE_DIRECTORY ${work})
  if(QUELT_NATIVE)
    add_test(NAME ${name} COMMAND ${exe} WORKING_DIRECTORY ${work})
  else()
    # Judged by its exit code and GoogleTest's summary: see tools/gtest-run.sh.
    add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/tools/gtest-run.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
             $<TARGET_FILE:${exe}> WORKING_DIRECTORY ${work})
  endif()
  set(timeout 300)
  if(A_TIMEOUT)
    set(timeout ${A_TIMEOUT})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout}
    ENVIRONMENT "QUELT_SOURCE_DIR=${PROJECT_SOURCE_DIR};QUELT_BINARY_DIR=${CMAKE_BINARY_DIR}")
  if(NOT QUELT_NATIVE)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_session)
  endif()
endfunction()

# quelt_fuzz(<name> SOURCES ... [LIBS ...]): a libFuzzer target, built only with QUELT_FUZZ.
# Its seed corpus and regression samples live in tests/fuzz/<name>/.
function(quelt_fuzz name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT QUELT_FUZZ)
    return()
  endif()
  set(exe fuzz_${name})
  add_executable(${exe} ${A_SOURCES})
  quelt_target_defaults(${exe})
  target_compile_options(${exe} PRIVATE -fsanitize=fuzzer)
  target_link_options(${exe} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${exe} PRIVATE ${A_LIBS})
  set_property(GLOBAL APPEND PROPERTY QUELT_FUZZ_TARGETS ${name})
endfunction()

# quelt_bench(<name> SOURCES ... [LIBS ...]): a benchmark program that prints figures;
# tools/bench runs every one. Never part of the tests.
function(quelt_bench name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  if(QUELT_FUZZ)
    return()
  endif()
  set(exe bench_${name})
  add_executable(${exe} ${A_SOURCES})
  quelt_target_defaults(${exe})
  target_include_directories(${exe} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${exe} PRIVATE ${A_LIBS})
  set_property(GLOBAL APPEND PROPERTY QUELT_BENCH_TARGETS ${exe})
endfunction()

# quelt_subsystem(<name> [DEPS ...] [WIN32_DEPS ...] [EXCLUDE <files>])
# The library of one subsystem folder from the files in it: every *.cpp is platform-free
# and built in every configuration, except *_win32.cpp, which only the Windows build takes.
function(quelt_subsystem name)
  cmake_parse_arguments(A "" "" "DEPS;WIN32_DEPS;EXCLUDE" ${ARGN})
  file(GLOB all_sources CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(pure "")
  set(win32 "")
  foreach(f ${all_sources})
    if(f IN_LIST A_EXCLUDE)
      continue()
    elseif(f MATCHES "_win32\\.cpp$")
      list(APPEND win32 ${f})
    else()
      list(APPEND pure ${f})
    endif()
  endforeach()
  quelt_library(${name} SOURCES ${pure} WIN32_SOURCES ${win32}
                DEPS ${A_DEPS} WIN32_DEPS ${A_WIN32_DEPS})
endfunction()
