# The Windows build against the real Firebird server, under Wine: the
# x86_64 build only (wine64 runs no 32-bit program here), and only where
# winegcc is installed (wine64-tools; scripts/setup installs it).
#
# Two test fixtures are built with winegcc, as Winelib modules that speak to
# Windows programs and to Linux alike:
# - fbclient.dll, the classic client API forwarded to the native client
#   (fbclient_bridge.c), beside the Windows test programs that reach the
#   server, with the script engine IBEScript.dll of the same build;
# - the service host fbsrvmrlx.exe (fbserver_service_host.c), which Wine's
#   service manager starts and stops as the Firebird service.
#
# updater_add_server_test(TARGET SOURCE...) (tests/CMakeLists.txt) adds such
# a program as one ctest entry, run by with_wine_server.

set(UPDATER_WINE_FIREBIRD OFF)
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  find_program(UPDATER_WINEGCC winegcc PATHS /usr/lib/wine NO_DEFAULT_PATH
               NO_CMAKE_FIND_ROOT_PATH)
  if(UPDATER_WINEGCC)
    set(UPDATER_WINE_FIREBIRD ON)
  else()
    message(STATUS "winegcc not found (wine64-tools): the Windows tests against the Firebird "
                   "server are left out")
  endif()
endif()

if(UPDATER_WINE_FIREBIRD)
  set(UPDATER_WINE_SOURCE ${CMAKE_CURRENT_LIST_DIR})
  set(UPDATER_WINE_TESTS ${CMAKE_BINARY_DIR}/tests/wine)
  set(UPDATER_WINE_HOST ${UPDATER_WINE_TESTS}/service-host/fbsrvmrlx.exe.so)
  set(winelib_flags -O2 -Wall -Wextra -Werror)

  add_custom_command(
    OUTPUT ${UPDATER_WINE_TESTS}/fbclient.dll
    # winegcc takes the export list by its file name's ending, ".spec".
    COMMAND ${CMAKE_COMMAND} -E copy ${UPDATER_WINE_SOURCE}/fbclient_bridge.exports
            ${UPDATER_WINE_TESTS}/fbclient_bridge.spec
    COMMAND ${UPDATER_WINEGCC} -shared ${winelib_flags} -o ${UPDATER_WINE_TESTS}/fbclient_bridge.dll
            ${UPDATER_WINE_TESTS}/fbclient_bridge.spec ${UPDATER_WINE_SOURCE}/fbclient_bridge.c
            -ldl -lpthread
    # winegcc writes the module as fbclient_bridge.dll.so; under the name
    # fbclient.dll, Wine's loader finds it first in the program's folder.
    COMMAND ${CMAKE_COMMAND} -E copy ${UPDATER_WINE_TESTS}/fbclient_bridge.dll.so
            ${UPDATER_WINE_TESTS}/fbclient.dll
    DEPENDS ${UPDATER_WINE_SOURCE}/fbclient_bridge.exports ${UPDATER_WINE_SOURCE}/fbclient_bridge.c
    VERBATIM)
  add_custom_command(
    OUTPUT ${UPDATER_WINE_HOST}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${UPDATER_WINE_TESTS}/service-host
    COMMAND ${UPDATER_WINEGCC} ${winelib_flags} -o ${UPDATER_WINE_TESTS}/service-host/fbsrvmrlx.exe
            ${UPDATER_WINE_SOURCE}/fbserver_service_host.c
    DEPENDS ${UPDATER_WINE_SOURCE}/fbserver_service_host.c
    VERBATIM)
  # The real engine beside the programs, copied again whenever it is built.
  add_custom_command(
    OUTPUT ${UPDATER_WINE_TESTS}/IBEScript.dll
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:IBEScript> ${UPDATER_WINE_TESTS}/IBEScript.dll
    DEPENDS IBEScript $<TARGET_FILE:IBEScript>)
  add_custom_target(wine_firebird_fixtures ALL
    DEPENDS ${UPDATER_WINE_TESTS}/fbclient.dll ${UPDATER_WINE_HOST}
            ${UPDATER_WINE_TESTS}/IBEScript.dll)
endif()
