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

# qrt_add_gtest(NAME SOURCES ... [LIBS ...]): one test program. Natively each
# test case is its own ctest entry; under Wine the program is one entry, so
# that a Wine process is not started per test case.
function(qrt_add_gtest name)
  cmake_parse_arguments(Q "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT Q_TIMEOUT)
    set(Q_TIMEOUT 600)
  endif()
  add_executable(${name} ${Q_SOURCES})
  target_link_libraries(${name} PRIVATE ${Q_LIBS} ${QRT_GTEST})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${Q_TIMEOUT})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${Q_TIMEOUT})
  endif()
endfunction()
