# Cross-compiles the 32-bit Windows program with Debian's i686 MinGW-w64 toolchain.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(SMORVALA_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${SMORVALA_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${SMORVALA_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${SMORVALA_MINGW_PREFIX}-windres)

# Headers and libraries come from the cross sysroot only; programs such as windres from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${SMORVALA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
