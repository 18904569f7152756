# Firebird client headers (ibase.h) come from Debian's firebird-dev. The Linux
# build uses them where they are installed; the MinGW build must not see
# /usr/include, so it gets a copy of ibase.h in the build tree.

find_file(UPDATER_IBASE_H ibase.h PATHS /usr/include /usr/include/firebird
          NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
if(NOT UPDATER_IBASE_H)
  message(FATAL_ERROR "ibase.h not found: install firebird-dev (scripts/setup)")
endif()

set(UPDATER_FIREBIRD_INCLUDE ${CMAKE_BINARY_DIR}/firebird-include)
configure_file(${UPDATER_IBASE_H} ${UPDATER_FIREBIRD_INCLUDE}/ibase.h COPYONLY)

add_library(firebird_headers INTERFACE)
target_include_directories(firebird_headers SYSTEM INTERFACE ${UPDATER_FIREBIRD_INCLUDE})
