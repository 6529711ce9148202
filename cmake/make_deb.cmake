# Writes the Debian package: cmake -DSOURCE_DIR= -DVERSION= -DSTAGE= -DDEB= -DPROGRAM32=
# -DPROGRAM64= -DPUBLISHER_VALUES= -P make_deb.cmake. Its files are laid out in STAGE from linux/
# and the two programs, with the publisher's details of PUBLISHER_VALUES, and packed by dpkg-deb. The same bytes in every build: every time the release's,
# modes set here whatever the umask, owner root, compressed files without names or times
# (gzip -n), pictures without time chunks, and one compression thread.
include(${CMAKE_CURRENT_LIST_DIR}/release_date.cmake)
include(${PUBLISHER_VALUES})
set(linux ${SOURCE_DIR}/linux)
set(share ${STAGE}/usr/share)
set(doc ${share}/doc/smorvala)

file(REMOVE_RECURSE ${STAGE})
foreach(folder usr/games usr/share/games/smorvala/win32 usr/share/games/smorvala/win64
               usr/share/applications usr/share/metainfo usr/share/man/man6 usr/share/doc/smorvala
               DEBIAN)
  file(MAKE_DIRECTORY ${STAGE}/${folder})
endforeach()

file(COPY_FILE ${linux}/smorvala ${STAGE}/usr/games/smorvala)
# The Windows programs need no execute bit under Wine; Debian's rules want none on data.
file(COPY_FILE ${PROGRAM32} ${share}/games/smorvala/win32/SMorvala.exe)
file(COPY_FILE ${PROGRAM64} ${share}/games/smorvala/win64/SMorvala.exe)
file(COPY_FILE ${linux}/wine-route.sh ${share}/games/smorvala/wine-route.sh)
file(COPY_FILE ${linux}/smorvala.desktop ${share}/applications/smorvala.desktop)
configure_file(${linux}/copyright.in ${doc}/copyright @ONLY)
set(PROJECT_VERSION ${VERSION})
configure_file(${linux}/com.example.smorvala.metainfo.xml.in ${share}/metainfo/com.example.smorvala.metainfo.xml
               @ONLY)
configure_file(${linux}/smorvala.6.in ${STAGE}/smorvala.6 @ONLY)
# The changelog's entries are signed by the publisher.
configure_file(${linux}/changelog ${STAGE}/changelog @ONLY)

function(gzip_to source destination)
  execute_process(COMMAND gzip -9 --no-name --stdout ${source} OUTPUT_FILE ${destination}
                  COMMAND_ERROR_IS_FATAL ANY)
endfunction()
gzip_to(${STAGE}/smorvala.6 ${share}/man/man6/smorvala.6.gz)
file(REMOVE ${STAGE}/smorvala.6)
gzip_to(${STAGE}/changelog ${doc}/changelog.gz)
file(REMOVE ${STAGE}/changelog)

# The program's own 32 x 32 icon, and the same picture at twice and four times the size, each
# pixel made a square of pixels: software centres list only games with an icon of 64 x 64 or more.
foreach(size 32 64 128)
  set(apps ${share}/icons/hicolor/${size}x${size}/apps)
  file(MAKE_DIRECTORY ${apps})
  execute_process(COMMAND /usr/bin/convert ${SOURCE_DIR}/res/smorvala.ico -sample ${size}x${size}
                          -strip -define png:exclude-chunks=date,time ${apps}/smorvala.png
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()

file(CHMOD_RECURSE ${STAGE} FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
     DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                           WORLD_READ WORLD_EXECUTE)
file(CHMOD ${STAGE}/usr/games/smorvala PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
     GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The sums that debsums and dpkg --verify check, and the size as dpkg-gencontrol counts it:
# every file in whole KiB, every folder one.
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${STAGE} ${STAGE}/usr/*)
file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE ${STAGE} ${STAGE}/usr/*)
list(SORT files)
list(LENGTH entries entry_count)
list(LENGTH files file_count)
math(EXPR SMORVALA_INSTALLED_SIZE "${entry_count} - ${file_count}")
set(md5sums "")
foreach(file IN LISTS files)
  file(MD5 ${STAGE}/${file} sum)
  string(APPEND md5sums "${sum}  ${file}\n")
  file(SIZE ${STAGE}/${file} size)
  math(EXPR SMORVALA_INSTALLED_SIZE "${SMORVALA_INSTALLED_SIZE} + (${size} + 1023) / 1024")
endforeach()
file(WRITE ${STAGE}/DEBIAN/md5sums "${md5sums}")
configure_file(${linux}/control.in ${STAGE}/DEBIAN/control @ONLY)
file(CHMOD ${STAGE}/DEBIAN/md5sums ${STAGE}/DEBIAN/control
     PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

file(GLOB_RECURSE everything LIST_DIRECTORIES true ${STAGE}/*)
execute_process(COMMAND touch --no-dereference --date=@${SMORVALA_EPOCH} ${STAGE} ${everything}
                COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE ${DEB})
execute_process(COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${SMORVALA_EPOCH}
                        dpkg-deb --root-owner-group -Zxz --threads-max=1 --build ${STAGE} ${DEB}
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
