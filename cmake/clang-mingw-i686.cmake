# The same 32-bit Windows program built by clang: its compiler, with the headers, the C++ library,
# the resource compiler and the linker of Debian's i686 MinGW-w64 cross toolchain.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${SMORVALA_MINGW_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${SMORVALA_MINGW_PREFIX})
# The cross toolchain's archiver, which clang's driver does not look for by itself.
set(CMAKE_AR ${SMORVALA_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${SMORVALA_MINGW_PREFIX}-ranlib CACHE FILEPATH "")

# clang does not read Debian's name for the cross GCC's folder (12-win32) as a version, so it
# finds neither that GCC's C++ headers nor its libraries: they are given here, from where the
# cross GCC says its own library lies.
execute_process(COMMAND ${SMORVALA_MINGW_PREFIX}-g++ -print-libgcc-file-name
                OUTPUT_VARIABLE smorvala_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
get_filename_component(smorvala_gcc_dir ${smorvala_libgcc} DIRECTORY)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${smorvala_gcc_dir}/include/c++
    ${smorvala_gcc_dir}/include/c++/${SMORVALA_MINGW_PREFIX} ${smorvala_gcc_dir}/include/c++/backward)
set(CMAKE_EXE_LINKER_FLAGS_INIT -L${smorvala_gcc_dir})
