# Writes the setup program: cmake -DSOURCE_DIR= -DVERSION= -DSTAGE= -DSETUP= -DPROGRAM=
# -DPUBLISHER_VALUES= [-DSIGNING_VALUES= -DSIGNED_PROGRAM=] -P make_setup.cmake. makensis builds
# cmake/setup.nsi in STAGE, where the program, the icon, the pictures and the values the script
# takes lie under plain names: the script then names no folder of the builder's, whatever its
# characters. With SIGNING_VALUES (cmake/players_download.cmake), cmake/sign.sh signs the program
# first, which is then written to SIGNED_PROGRAM too for the zip, the uninstaller as makensis
# writes it, and the setup program last.
include(${PUBLISHER_VALUES})

file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
file(COPY_FILE ${SOURCE_DIR}/cmake/setup.nsi ${STAGE}/setup.nsi)
file(COPY_FILE ${PROGRAM} ${STAGE}/SMorvala.exe)
file(COPY_FILE ${SOURCE_DIR}/res/smorvala.ico ${STAGE}/smorvala.ico)
foreach(picture setup-welcome.bmp setup-header.bmp)
  file(COPY_FILE ${SOURCE_DIR}/res/${picture} ${STAGE}/${picture})
endforeach()
# A dollar sign starts a variable in the script's strings; two stand for one.
set(values "!define VERSION \"${VERSION}\"\n")
foreach(detail PUBLISHER HOMEPAGE)
  string(REPLACE "$" "$$" value "${SMORVALA_${detail}}")
  string(APPEND values "!define ${detail} \"${value}\"\n")
endforeach()

if(SIGNING_VALUES)
  include(${CMAKE_CURRENT_LIST_DIR}/release_date.cmake)
  include(${SIGNING_VALUES})
  set(ENV{SMORVALA_HOMEPAGE} "${SMORVALA_HOMEPAGE}")
  set(ENV{SOURCE_DATE_EPOCH} ${SMORVALA_EPOCH})
  file(COPY_FILE ${SOURCE_DIR}/cmake/sign.sh ${STAGE}/sign.sh)
  execute_process(COMMAND bash sign.sh SMorvala.exe WORKING_DIRECTORY ${STAGE} COMMAND_ERROR_IS_FATAL ANY)
  get_filename_component(signed_folder ${SIGNED_PROGRAM} DIRECTORY)
  file(MAKE_DIRECTORY ${signed_folder})
  file(COPY_FILE ${STAGE}/SMorvala.exe ${SIGNED_PROGRAM})
  string(APPEND values "!define SIGN \"bash sign.sh\"\n")
endif()
file(WRITE ${STAGE}/values.nsh "${values}")

# Warnings fail the build. makensis reads the script as UTF-8 whatever the locale.
execute_process(COMMAND makensis -V2 -WX -INPUTCHARSET UTF8 setup.nsi
                WORKING_DIRECTORY ${STAGE} COMMAND_ERROR_IS_FATAL ANY)
file(COPY_FILE ${STAGE}/SMorvala-${VERSION}-setup.exe ${SETUP})
