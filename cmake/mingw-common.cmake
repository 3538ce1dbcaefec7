# What both Windows toolchain files share: Debian's mingw-w64 cross compiler
# for CMAKE_SYSTEM_PROCESSOR, its sysroot, and a static link, so that the
# .exe needs no MinGW runtime DLL beside it.
set(CMAKE_SYSTEM_NAME Windows)

set(DICTORN_MINGW_PREFIX ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_CXX_COMPILER ${DICTORN_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${DICTORN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${DICTORN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
