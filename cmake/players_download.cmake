# The players' download, made by `cmake --build --preset windows --target package`:
# SMorvala-VERSION-win32.zip beside the program, holding the program and README.txt, and beside
# it SHA256SUMS with the sums of the zip and of the program (cmake/write_sha256sums.cmake).
install(TARGETS SMorvala RUNTIME DESTINATION .)
# Windows line ends, and a byte-order mark in the template: Notepad of any Windows version then
# shows the Chinese text.
configure_file(${PROJECT_SOURCE_DIR}/docs/players-readme.txt.in README.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win32)
# The two files at the top of the zip: unpacking it makes the folder of the game.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/write_sha256sums.cmake)
include(CPack)
