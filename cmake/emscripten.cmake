# The web edition's toolchain: Debian's emscripten. Its linker runs JavaScript tools on this
# machine's node, which finds Debian's modules for them (acorn) only through NODE_PATH.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
