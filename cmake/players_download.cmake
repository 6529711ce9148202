# The players' downloads, made by `cmake --build --preset windows --target package` beside the
# program: SMorvala-VERSION-win32.zip, holding the program and README.txt; the setup program
# SMorvala-VERSION-setup.exe (cmake/make_setup.cmake); the Debian package smorvala_VERSION_all.deb
# (cmake/make_deb.cmake); SHA256SUMS with the sums of the three and of the program; and the site
# in site/, its pages with the downloads and the web edition in play/ (cmake/make_site.cmake).
# Included by the 32-bit builds, whose program every download ships.

# Signing, for a release (docs/signing.md): given the publisher's code-signing certificate, the
# package target signs the program that the zip and the setup program carry, the uninstaller and
# the setup program itself (cmake/sign.sh), and SHA256SUMS and the site give the sums of the
# signed files; the Debian package keeps the program as built. Without one nothing is signed.
set(SMORVALA_SIGNING_CERTIFICATE "" CACHE FILEPATH
    "The publisher's code-signing certificate with its key, a PKCS#12 file; empty: nothing is signed")
set(SMORVALA_SIGNING_PASSWORD_FILE "" CACHE FILEPATH "The file that holds the certificate's password")
set(SMORVALA_TIMESTAMP_URL "" CACHE STRING "An RFC 3161 time-stamping server for the signatures, if any")

# A signed build's README.txt says so, in both languages, its lines ended as the template's are;
# an unsigned one's is as it was.
set(SIGNATURE_ZH "")
set(SIGNATURE_EN "")
if(SMORVALA_SIGNING_CERTIFICATE)
  string(CONCAT SIGNATURE_ZH "\r\n\r\n"
    "数字签名：SMorvala.exe、安装程序和它安装的卸载程序都带有发布者“${SMORVALA_PUBLISHER}”的数字签名。\r\n"
    "在 Windows 中右键点击文件，选择“属性”，打开“数字签名”选项卡，可以看到签名者；\r\n"
    "选中签名后点击“详细信息”，应显示“此数字签名正常”。文件在签名后被改动过，签名就不再有效。")
  string(CONCAT SIGNATURE_EN "\r\n\r\n"
    "Signature: SMorvala.exe, the setup program and the uninstaller it installs carry the digital\r\n"
    "signature of the publisher, ${SMORVALA_PUBLISHER}. On Windows, right-click the file, choose\r\n"
    "Properties and open the Digital Signatures tab (数字签名): it names the signer, and its Details\r\n"
    "say whether the signature is OK. A file changed after it was signed has no valid signature.")
endif()
# Windows line ends, and a byte-order mark in the template: Notepad of any Windows version then
# shows the Chinese text.
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
# setup program's script writes beside it, where a certificate is given.
set(shipped ${program})
set(signed_program "")
set(signing "")
set(signing_files "")
# Each value stands in CMake lists and command lines as it is: a semicolon or a line break would
# split it there.
foreach(variable SMORVALA_SIGNING_CERTIFICATE SMORVALA_SIGNING_PASSWORD_FILE SMORVALA_TIMESTAMP_URL)
  if("${${variable}}" MATCHES "[;\n\r]")
    message(FATAL_ERROR "${variable} must be a single line without semicolons: '${${variable}}'")
  endif()
endforeach()
if(NOT SMORVALA_SIGNING_CERTIFICATE AND (SMORVALA_SIGNING_PASSWORD_FILE OR SMORVALA_TIMESTAMP_URL))
  message(WARNING "No SMORVALA_SIGNING_CERTIFICATE: the downloads are not signed")
endif()
if(SMORVALA_SIGNING_CERTIFICATE)
  set(signed_program ${CMAKE_BINARY_DIR}/signed/SMorvala.exe)
  set(shipped ${signed_program})
  set(signing_values ${CMAKE_BINARY_DIR}/signing_values.cmake)
  # Rewritten only when a value changes, as the publisher's values are.
  file(CONFIGURE OUTPUT ${signing_values} @ONLY CONTENT [==[
set(ENV{SMORVALA_SIGNING_CERTIFICATE} [=[@SMORVALA_SIGNING_CERTIFICATE@]=])
set(ENV{SMORVALA_SIGNING_PASSWORD_FILE} [=[@SMORVALA_SIGNING_PASSWORD_FILE@]=])
set(ENV{SMORVALA_TIMESTAMP_URL} [=[@SMORVALA_TIMESTAMP_URL@]=])
]==])
  set(signing -DSIGNING_VALUES=${signing_values} -DSIGNED_PROGRAM=${shipped})
  set(signing_files ${signing_values} ${SMORVALA_SIGNING_CERTIFICATE} ${SMORVALA_SIGNING_PASSWORD_FILE}
      ${PROJECT_SOURCE_DIR}/cmake/sign.sh)
  # Before any download is written, and in every build: a certificate expires, a server stops
  # answering.
  add_custom_target(signing-check
    COMMAND ${CMAKE_COMMAND} -E env SMORVALA_SIGNING_CERTIFICATE=${SMORVALA_SIGNING_CERTIFICATE}
            SMORVALA_SIGNING_PASSWORD_FILE=${SMORVALA_SIGNING_PASSWORD_FILE}
            SMORVALA_TIMESTAMP_URL=${SMORVALA_TIMESTAMP_URL} SMORVALA_HOMEPAGE=${SMORVALA_HOMEPAGE}
            SMORVALA_PUBLISHER=${SMORVALA_PUBLISHER}
            bash ${PROJECT_SOURCE_DIR}/cmake/sign.sh check ${program}
            ${zip} ${setup} ${deb} ${shipped} ${CMAKE_BINARY_DIR}/SHA256SUMS ${site} ${CMAKE_BINARY_DIR}/zip-files
            ${CMAKE_BINARY_DIR}/setup-files
    VERBATIM)
  add_dependencies(signing-check SMorvala)
  message(STATUS "The downloads are signed with ${SMORVALA_SIGNING_CERTIFICATE}")
endif()

add_custom_command(OUTPUT ${zip}
  COMMAND ${CMAKE_COMMAND} ${release} -DSTAGE=${CMAKE_BINARY_DIR}/zip-files -DZIP=${zip}
          "-DFILES=${CMAKE_BINARY_DIR}/README.txt\;${shipped}" -P ${PROJECT_SOURCE_DIR}/cmake/make_zip.cmake
  DEPENDS SMorvala ${shipped} ${CMAKE_BINARY_DIR}/README.txt ${PROJECT_SOURCE_DIR}/cmake/make_zip.cmake
          ${release_files}
  COMMENT "The players' zip")

set(pictures ${PROJECT_SOURCE_DIR}/res/setup-welcome.bmp ${PROJECT_SOURCE_DIR}/res/setup-header.bmp)
add_custom_command(OUTPUT ${setup} ${signed_program}
  COMMAND ${CMAKE_COMMAND} ${release} -DSTAGE=${CMAKE_BINARY_DIR}/setup-files -DSETUP=${setup}
          -DPROGRAM=${program} -DPUBLISHER_VALUES=${publisher_values} ${signing}
          -P ${PROJECT_SOURCE_DIR}/cmake/make_setup.cmake
  DEPENDS SMorvala ${program} ${PROJECT_SOURCE_DIR}/res/smorvala.ico ${pictures} ${PROJECT_SOURCE_DIR}/cmake/setup.nsi
          ${PROJECT_SOURCE_DIR}/cmake/make_setup.cmake ${publisher_values} ${signing_files} ${release_files}
  COMMENT "The setup program")

file(GLOB linux_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/linux/*)
add_custom_command(OUTPUT ${deb}
  COMMAND ${CMAKE_COMMAND} ${release} -DSTAGE=${CMAKE_BINARY_DIR}/deb-files -DDEB=${deb}
          -DPROGRAM32=${program} -DPROGRAM64=${CMAKE_BINARY_DIR}/win64/SMorvala.exe
          -DPUBLISHER_VALUES=${publisher_values} -P ${PROJECT_SOURCE_DIR}/cmake/make_deb.cmake
  DEPENDS SMorvala ${program} smorvala-win64 ${CMAKE_BINARY_DIR}/win64/SMorvala.exe ${linux_files}
          ${PROJECT_SOURCE_DIR}/res/smorvala.ico ${PROJECT_SOURCE_DIR}/cmake/make_deb.cmake ${release_files}
          ${publisher_values}
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
if(SMORVALA_SIGNING_CERTIFICATE)
  add_dependencies(package signing-check)
endif()
