# The publisher's details, set once here (or with -D at configuration) and taken by the About box,
# the links, the version blocks, the setup program, the Debian package and the AppStream file.
set(homepage_help "The publisher's web site: the menu opens it, the About box opens morvala.htm on it")
set(SMORVALA_HOMEPAGE "https://www.example.com/" CACHE STRING "${homepage_help}")
set(SMORVALA_EMAIL "mail@example.com" CACHE STRING "The publisher's e-mail address")
set(SMORVALA_IM "QQ： 00000000" CACHE STRING
    "The About box's instant-messenger line, whole, as players read it")
set(SMORVALA_PUBLISHER "SMorvala 开发组" CACHE STRING
    "The publisher's name: company, copyright holder and package maintainer")

# Each value goes into C++ and resource string literals, CMake lists and the setup program's
# script as it is; a quote, a backslash, a semicolon or a line break would end or split it there.
foreach(detail SMORVALA_HOMEPAGE SMORVALA_EMAIL SMORVALA_IM SMORVALA_PUBLISHER)
  if("${${detail}}" STREQUAL "" OR "${${detail}}" MATCHES "[\"\\\\;\n\r\t]")
    message(FATAL_ERROR "${detail} must be a single line without quotes, backslashes or semicolons: "
                        "'${${detail}}'")
  endif()
endforeach()
# The game's page is a file on the site: its address is the site's with the file's name after it.
if(NOT SMORVALA_HOMEPAGE MATCHES "/$")
  set(SMORVALA_HOMEPAGE "${SMORVALA_HOMEPAGE}/" CACHE STRING "${homepage_help}" FORCE)
endif()

# The values for the packaging scripts, which run apart from this configuration; rewritten only
# when a value changes, so that the downloads are remade exactly then.
configure_file(${CMAKE_CURRENT_LIST_DIR}/publisher_values.cmake.in ${CMAKE_BINARY_DIR}/publisher_values.cmake
               @ONLY)
