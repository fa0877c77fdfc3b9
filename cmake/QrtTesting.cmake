# GoogleTest: Debian's package for the native build, built from Debian's
# sources for the cross build. Windows tests run under Wine through the
# toolchain's cross-compiling emulator.
if(CMAKE_CROSSCOMPILING)
  add_subdirectory(${CMAKE_SOURCE_DIR}/cmake/gtest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(QRT_GTEST gtest gmock gtest_main)
else()
  find_package(GTest REQUIRED)
  set(QRT_GTEST GTest::gtest GTest::gmock GTest::gtest_main)
endif()
include(GoogleTest)

# How a test script starts one of the built programs: directly, or under
# Wine for the Windows build.
if(CMAKE_CROSSCOMPILING)
  set(QRT_PROGRAM_RUNNER ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh)
else()
  set(QRT_PROGRAM_RUNNER "")
endif()

# qrt_add_gtest(NAME SOURCES ... [LIBS ...] [TIMEOUT S] [WINE_TIMEOUT S]): one test
# program. Natively each test case is its own ctest entry, bounded by TIMEOUT
# seconds; under Wine the program is one entry (a Wine process is not started
# per test case), bounded by WINE_TIMEOUT seconds for all its cases. Both are
# a few times the measured run time under the sanitizers (and under Wine),
# so that a test that hangs fails within seconds, yet a busy machine passes.
function(qrt_add_gtest name)
  cmake_parse_arguments(Q "" "TIMEOUT;WINE_TIMEOUT" "SOURCES;LIBS" ${ARGN})
  # Without bounds of its own a program gets one minute per case natively and
  # two minutes under Wine: long enough for any test here, short enough that
  # a hang shows soon.
  if(NOT Q_TIMEOUT)
    set(Q_TIMEOUT 60)
  endif()
  if(NOT Q_WINE_TIMEOUT)
    set(Q_WINE_TIMEOUT 120)
  endif()
  add_executable(${name} ${Q_SOURCES})
  target_link_libraries(${name} PRIVATE ${Q_LIBS} ${QRT_GTEST})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${Q_WINE_TIMEOUT})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${Q_TIMEOUT})
  endif()
endfunction()
