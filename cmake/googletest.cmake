# GoogleTest built from Debian's sources (/usr/src/googletest), so that the
# same version serves the Linux, sanitizer and MinGW builds.

set(UPDATER_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${UPDATER_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found: install googletest (scripts/setup)")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${UPDATER_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

include(GoogleTest)

# Adds a GoogleTest executable whose cases ctest lists one by one. Under MinGW
# the cases run through the emulator the toolchain names (wine64).
function(updater_add_test target)
  add_executable(${target} ${ARGN})
  updater_target_defaults(${target})
  target_link_libraries(${target} PRIVATE GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST
                       DISCOVERY_TIMEOUT 120
                       PROPERTIES TIMEOUT 600)
endfunction()
