# Cross-compiles the Windows programs with Debian's MinGW-w64 toolchain for the processor that
# the including toolchain file names in CMAKE_SYSTEM_PROCESSOR (i686 or x86_64).
set(CMAKE_SYSTEM_NAME Windows)

set(SMORVALA_MINGW_PREFIX ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${SMORVALA_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${SMORVALA_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${SMORVALA_MINGW_PREFIX}-windres)

# Headers and libraries come from the cross sysroot only; programs such as windres from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${SMORVALA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
