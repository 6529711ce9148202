# Writes the setup program: cmake -DSOURCE_DIR= -DVERSION= -DSTAGE= -DSETUP= -DPROGRAM=
# -DPUBLISHER_VALUES= -P make_setup.cmake. makensis builds cmake/setup.nsi in STAGE, where the
# program, the icon, the pictures and the values the script takes lie under plain names: the
# script then names no folder of the builder's, whatever its characters.
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
file(WRITE ${STAGE}/values.nsh "${values}")

# Warnings fail the build. makensis reads the script as UTF-8 whatever the locale.
execute_process(COMMAND makensis -V2 -WX -INPUTCHARSET UTF8 setup.nsi
                WORKING_DIRECTORY ${STAGE} COMMAND_ERROR_IS_FATAL ANY)
file(COPY_FILE ${STAGE}/SMorvala-${VERSION}-setup.exe ${SETUP})
