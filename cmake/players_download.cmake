# The players' downloads, made by `cmake --build --preset windows --target package` beside the
# program: SMorvala-VERSION-win32.zip, holding the program and README.txt; the setup program
# SMorvala-VERSION-setup.exe (cmake/make_setup.cmake); the Debian package smorvala_VERSION_all.deb
# (cmake/make_deb.cmake); SHA256SUMS with the sums of the three and of the program; and the site
# in site/, its pages with the downloads and the web edition in play/ (cmake/make_site.cmake).
# Included by the 32-bit builds, whose program every download ships.

# Signing, for a release (docs/signing.md): given the publisher's code-signing certificate, the
# package target signs the program that the zip and the setup program carry, the setup program's
# plug-ins, the uninstaller and the setup program itself (cmake/sign.sh), and SHA256SUMS and the
# site give the sums of the signed files; the Debian package keeps the program as built. Without
# one nothing is signed.
set(SMORVALA_SIGNING_CERTIFICATE "" CACHE FILEPATH
    "The publisher's code-signing certificate: a PKCS#12 file with its key, or with a key on a token the certificate and its chain as PEM; empty: nothing is signed")
set(SMORVALA_SIGNING_PKCS11_MODULE "" CACHE FILEPATH "The PKCS#11 library of the token that holds the key, if one does")
set(SMORVALA_SIGNING_KEY "" CACHE STRING "The key's pkcs11: address on that token")
set(SMORVALA_SIGNING_PASSWORD_FILE "" CACHE FILEPATH "The file that holds the certificate's password, or the token's PIN")
set(SMORVALA_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamping servers for the signatures, separated by spaces, if any")
# No file here tells which roots Windows trusts for code signing: the publisher, who knows the
# authority, names its root, and only then do the players read that Windows calls the signature OK.
set(SMORVALA_SIGNING_TRUSTED_ROOT "" CACHE STRING
    "The name of the certificate chain's root, where Windows trusts it for code signing (such as Sectigo Public Code Signing Root R46); empty: the players are promised nothing")

# Windows line ends, and a byte-order mark in the template: Notepad of any Windows version then
# shows the Chinese text. A signed build's says what its signatures are (below).
configure_file(${PROJECT_SOURCE_DIR}/docs/players-readme.txt.in README.txt @ONLY NEWLINE_STYLE CRLF)

# The Debian package carries the 64-bit build too, for the hosts that run no 32-bit code: the
# same sources built here by the 64-bit toolchain.
include(ExternalProject)
ExternalProject_Add(smorvala-win64
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/win64
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-x86_64.cmake
             -DCMAKE_BUILD_TYPE=Release
             -DSMORVALA_HOMEPAGE=${SMORVALA_HOMEPAGE} -DSMORVALA_EMAIL=${SMORVALA_EMAIL}
             -DSMORVALA_IM=${SMORVALA_IM} -DSMORVALA_PUBLISHER=${SMORVALA_PUBLISHER}
  # Without the calling make's job server, which it could not share.
  BUILD_COMMAND ${CMAKE_COMMAND} -E env --unset=MAKEFLAGS ${CMAKE_COMMAND} --build <BINARY_DIR> --target SMorvala
  BUILD_ALWAYS ON
  EXCLUDE_FROM_ALL ON
  BUILD_BYPRODUCTS ${CMAKE_BINARY_DIR}/win64/SMorvala.exe
  INSTALL_COMMAND "")

# The site carries the web edition: the same sources built here by emscripten, with this build's
# publisher's details, as the web preset builds them.
set(web_edition ${CMAKE_BINARY_DIR}/web-edition)
ExternalProject_Add(smorvala-web
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/web-build
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/emscripten.cmake
             -DCMAKE_BUILD_TYPE=MinSizeRel -DSMORVALA_WEB_DIR=${web_edition}
             -DSMORVALA_HOMEPAGE=${SMORVALA_HOMEPAGE} -DSMORVALA_EMAIL=${SMORVALA_EMAIL}
             -DSMORVALA_IM=${SMORVALA_IM} -DSMORVALA_PUBLISHER=${SMORVALA_PUBLISHER}
  BUILD_COMMAND ${CMAKE_COMMAND} -E env --unset=MAKEFLAGS ${CMAKE_COMMAND} --build <BINARY_DIR>
  BUILD_ALWAYS ON
  EXCLUDE_FROM_ALL ON
  BUILD_BYPRODUCTS ${web_edition}/service-worker.js
  INSTALL_COMMAND "")

set(program $<TARGET_FILE:SMorvala>)
set(zip ${CMAKE_BINARY_DIR}/${PROJECT_NAME}-${PROJECT_VERSION}-win32.zip)
set(setup ${CMAKE_BINARY_DIR}/${PROJECT_NAME}-${PROJECT_VERSION}-setup.exe)
set(deb ${CMAKE_BINARY_DIR}/smorvala_${PROJECT_VERSION}_all.deb)
set(release -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DVERSION=${PROJECT_VERSION})
set(release_files ${PROJECT_SOURCE_DIR}/linux/changelog ${PROJECT_SOURCE_DIR}/cmake/release_date.cmake)
set(publisher_values ${CMAKE_BINARY_DIR}/publisher_values.cmake)
set(site ${CMAKE_BINARY_DIR}/site)

# The program that the zip, the setup program and SHA256SUMS carry: the signed copy that the
# setup program's script writes beside it, where a certificate is given; and the zip's README.
set(shipped ${program})
set(readme ${CMAKE_BINARY_DIR}/README.txt)
set(signed_program "")
set(signing "")
set(signing_files "")
set(setup_stale "")
set(deb_after "")
# Each value stands in CMake lists and command lines as it is: a semicolon or a line break would
# split it there. The key's pkcs11: address holds semicolons, which $<SEMICOLON> carries whole.
foreach(variable SMORVALA_SIGNING_CERTIFICATE SMORVALA_SIGNING_PKCS11_MODULE SMORVALA_SIGNING_KEY
                 SMORVALA_SIGNING_PASSWORD_FILE SMORVALA_TIMESTAMP_URL SMORVALA_SIGNING_TRUSTED_ROOT)
  if("${${variable}}" MATCHES "[\n\r]" OR (NOT variable STREQUAL "SMORVALA_SIGNING_KEY" AND "${${variable}}" MATCHES ";"))
    message(FATAL_ERROR "${variable} must be a single line without semicolons: '${${variable}}'")
  endif()
endforeach()
if(NOT SMORVALA_SIGNING_CERTIFICATE AND (SMORVALA_SIGNING_PASSWORD_FILE OR SMORVALA_TIMESTAMP_URL OR SMORVALA_SIGNING_KEY))
  message(WARNING "No SMORVALA_SIGNING_CERTIFICATE: the downloads are not signed")
endif()
# The downloads, with their staging folders. The package target removes those of an earlier build
# before it makes any: a failure at any step, or an interrupt, then leaves none beside this build's
# that could pass for it.
set(downloads ${zip} ${setup} ${deb} ${CMAKE_BINARY_DIR}/signed/SMorvala.exe ${CMAKE_BINARY_DIR}/SHA256SUMS ${site}
    ${CMAKE_BINARY_DIR}/zip-files ${CMAKE_BINARY_DIR}/setup-files)
add_custom_target(remove-downloads COMMAND ${CMAKE_COMMAND} -E rm -rf ${downloads} VERBATIM)
if(SMORVALA_SIGNING_CERTIFICATE)
  set(signed_program ${CMAKE_BINARY_DIR}/signed/SMorvala.exe)
  set(shipped ${signed_program})
  set(readme ${CMAKE_BINARY_DIR}/signed/README.txt)
  set(signing_values ${CMAKE_BINARY_DIR}/signing_values.cmake)
  set(signer_values ${CMAKE_BINARY_DIR}/signer_values.cmake)
  # Rewritten only when a value changes, as the publisher's values are.
  file(CONFIGURE OUTPUT ${signing_values} @ONLY CONTENT [==[
set(ENV{SMORVALA_SIGNING_CERTIFICATE} [=[@SMORVALA_SIGNING_CERTIFICATE@]=])
set(ENV{SMORVALA_SIGNING_PKCS11_MODULE} [=[@SMORVALA_SIGNING_PKCS11_MODULE@]=])
set(ENV{SMORVALA_SIGNING_KEY} [=[@SMORVALA_SIGNING_KEY@]=])
set(ENV{SMORVALA_SIGNING_PASSWORD_FILE} [=[@SMORVALA_SIGNING_PASSWORD_FILE@]=])
set(ENV{SMORVALA_TIMESTAMP_URL} [=[@SMORVALA_TIMESTAMP_URL@]=])
set(ENV{SMORVALA_SIGNING_TRUSTED_ROOT} [=[@SMORVALA_SIGNING_TRUSTED_ROOT@]=])
]==])
  # A failure to sign removes this build's downloads too.
  list(JOIN downloads "$<SEMICOLON>" stale)
  set(signing -DSIGNING_VALUES=${signing_values} -DSIGNER_VALUES=${signer_values} -DSIGNED_PROGRAM=${shipped})
  set(setup_stale "-DSTALE=${stale}")
  set(signing_files ${signing_values} ${SMORVALA_SIGNING_CERTIFICATE} ${SMORVALA_SIGNING_PASSWORD_FILE}
      ${PROJECT_SOURCE_DIR}/cmake/sign.sh)
  # The package is made once every file is signed, so that no failure races it.
  set(deb_after ${setup})
  # Before any download is written, and in every build: a certificate expires, a server stops
  # answering.
  string(REPLACE ";" "$<SEMICOLON>" signing_key "${SMORVALA_SIGNING_KEY}")
  add_custom_target(signing-check
    COMMAND ${CMAKE_COMMAND} -E env SMORVALA_SIGNING_CERTIFICATE=${SMORVALA_SIGNING_CERTIFICATE}
            SMORVALA_SIGNING_PKCS11_MODULE=${SMORVALA_SIGNING_PKCS11_MODULE} "SMORVALA_SIGNING_KEY=${signing_key}"
            SMORVALA_SIGNING_PASSWORD_FILE=${SMORVALA_SIGNING_PASSWORD_FILE}
            "SMORVALA_TIMESTAMP_URL=${SMORVALA_TIMESTAMP_URL}" "SMORVALA_SIGNING_TRUSTED_ROOT=${SMORVALA_SIGNING_TRUSTED_ROOT}"
            SMORVALA_HOMEPAGE=${SMORVALA_HOMEPAGE}
            SMORVALA_PUBLISHER=${SMORVALA_PUBLISHER}
            bash ${PROJECT_SOURCE_DIR}/cmake/sign.sh check ${program} ${signer_values} ${downloads}
    BYPRODUCTS ${signer_values}
    VERBATIM)
  add_dependencies(signing-check SMorvala remove-downloads)
  add_custom_command(OUTPUT ${readme}
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DPROJECT_VERSION=${PROJECT_VERSION}
            -DPUBLISHER_VALUES=${publisher_values} -DSIGNER_VALUES=${signer_values} -DREADME=${readme}
            -P ${PROJECT_SOURCE_DIR}/cmake/signature_words.cmake
    DEPENDS ${signer_values} ${publisher_values} ${PROJECT_SOURCE_DIR}/docs/players-readme.txt.in
            ${PROJECT_SOURCE_DIR}/cmake/signature_words.cmake
    COMMENT "The players' README.txt, which says what the signatures are")
  message(STATUS "The downloads are signed with ${SMORVALA_SIGNING_CERTIFICATE}")
endif()

add_custom_command(OUTPUT ${zip}
  COMMAND ${CMAKE_COMMAND} ${release} -DSTAGE=${CMAKE_BINARY_DIR}/zip-files -DZIP=${zip}
          "-DFILES=${readme}\;${shipped}" -P ${PROJECT_SOURCE_DIR}/cmake/make_zip.cmake
  DEPENDS SMorvala ${shipped} ${readme} ${PROJECT_SOURCE_DIR}/cmake/make_zip.cmake
          ${release_files}
  COMMENT "The players' zip")

set(pictures ${PROJECT_SOURCE_DIR}/res/setup-welcome.bmp ${PROJECT_SOURCE_DIR}/res/setup-header.bmp)
add_custom_command(OUTPUT ${setup} ${signed_program}
  COMMAND ${CMAKE_COMMAND} ${release} -DSTAGE=${CMAKE_BINARY_DIR}/setup-files -DSETUP=${setup}
          -DPROGRAM=${program} -DPUBLISHER_VALUES=${publisher_values} ${signing} ${setup_stale}
          -P ${PROJECT_SOURCE_DIR}/cmake/make_setup.cmake
  DEPENDS SMorvala ${program} ${PROJECT_SOURCE_DIR}/res/smorvala.ico ${pictures} ${PROJECT_SOURCE_DIR}/cmake/setup.nsi
          ${PROJECT_SOURCE_DIR}/cmake/make_setup.cmake ${publisher_values} ${signing_files} ${release_files}
  COMMENT "The setup program"
  VERBATIM)

file(GLOB linux_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/linux/*)
add_custom_command(OUTPUT ${deb}
  COMMAND ${CMAKE_COMMAND} ${release} -DSTAGE=${CMAKE_BINARY_DIR}/deb-files -DDEB=${deb}
          -DPROGRAM32=${program} -DPROGRAM64=${CMAKE_BINARY_DIR}/win64/SMorvala.exe
          -DPUBLISHER_VALUES=${publisher_values} -P ${PROJECT_SOURCE_DIR}/cmake/make_deb.cmake
  DEPENDS SMorvala ${program} smorvala-win64 ${CMAKE_BINARY_DIR}/win64/SMorvala.exe ${linux_files}
          ${PROJECT_SOURCE_DIR}/res/smorvala.ico ${PROJECT_SOURCE_DIR}/cmake/make_deb.cmake ${release_files}
          ${publisher_values} ${deb_after}
  COMMENT "The Debian package")

add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/SHA256SUMS
  COMMAND ${CMAKE_COMMAND} -DSUMS=${CMAKE_BINARY_DIR}/SHA256SUMS "-DFILES=${setup}\;${zip}\;${shipped}\;${deb}"
          -P ${PROJECT_SOURCE_DIR}/cmake/write_sha256sums.cmake
  DEPENDS ${setup} ${zip} ${shipped} ${deb} ${PROJECT_SOURCE_DIR}/cmake/write_sha256sums.cmake)

file(GLOB site_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/site/*)
add_custom_command(OUTPUT ${site}/morvala.htm ${site}/index.html
  COMMAND ${CMAKE_COMMAND} ${release} -DSITE=${site} -DSUMS=${CMAKE_BINARY_DIR}/SHA256SUMS
          "-DFILES=${setup}\;${zip}\;${deb}" -DPUBLISHER_VALUES=${publisher_values} -DWEB_EDITION=${web_edition}
          ${signing} -P ${PROJECT_SOURCE_DIR}/cmake/make_site.cmake
  DEPENDS ${CMAKE_BINARY_DIR}/SHA256SUMS ${setup} ${zip} ${deb} ${site_files} ${publisher_values}
          smorvala-web ${web_edition}/service-worker.js
          ${PROJECT_SOURCE_DIR}/docs/screenshot.png ${PROJECT_SOURCE_DIR}/res/smorvala.ico
          ${PROJECT_SOURCE_DIR}/cmake/make_site.cmake ${release_files}
  COMMENT "The site's pages")

# A build folder set up when CPack made the zip still holds CPack's configuration, which reserves
# this target's name.
file(REMOVE ${CMAKE_BINARY_DIR}/CPackConfig.cmake ${CMAKE_BINARY_DIR}/CPackSourceConfig.cmake)
add_custom_target(package DEPENDS ${CMAKE_BINARY_DIR}/SHA256SUMS ${site}/morvala.htm ${site}/index.html)
add_dependencies(package remove-downloads)
if(SMORVALA_SIGNING_CERTIFICATE)
  add_dependencies(package signing-check)
endif()
