# Shared part of the two MinGW-w64 toolchains. UPDATER_MINGW_TRIPLET is set by
# the file that includes this one. The posix thread model compilers are used:
# the win32 ones lack std::mutex, which GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${UPDATER_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${UPDATER_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${UPDATER_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${UPDATER_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# One self-contained executable: no MinGW runtime DLLs to carry along.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
