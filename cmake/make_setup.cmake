# Writes the setup program: cmake -DSOURCE_DIR= -DVERSION= -DSTAGE= -DSETUP= -DPROGRAM=
# -DPUBLISHER_VALUES= [-DSIGNING_VALUES= -DSIGNED_PROGRAM= -DSTALE=] -P make_setup.cmake. makensis builds
# cmake/setup.nsi in STAGE, where the program, the icon, the pictures and the values the script
# takes lie under plain names: the script then names no folder of the builder's, whatever its
# characters. With SIGNING_VALUES (cmake/players_download.cmake), cmake/sign.sh signs the program
# first, which is then written to SIGNED_PROGRAM too for the zip, NSIS's plug-ins that the script
# uses, the uninstaller as makensis writes it, and the setup program last; a failure removes
# STALE, the downloads.
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

# In a signed build, a failure leaves no download, of this build or of an earlier one.
function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE failed)
  if(failed)
    file(REMOVE_RECURSE ${STALE})
    message(FATAL_ERROR "${ARGV0} failed")
  endif()
endfunction()

if(SIGNING_VALUES)
  include(${CMAKE_CURRENT_LIST_DIR}/release_date.cmake)
  include(${SIGNING_VALUES})
  set(ENV{SMORVALA_HOMEPAGE} "${SMORVALA_HOMEPAGE}")
  set(ENV{SOURCE_DATE_EPOCH} ${SMORVALA_EPOCH})
  file(COPY_FILE ${SOURCE_DIR}/cmake/sign.sh ${STAGE}/sign.sh)
  run(bash sign.sh SMorvala.exe)
  get_filename_component(signed_folder ${SIGNED_PROGRAM} DIRECTORY)
  file(MAKE_DIRECTORY ${signed_folder})
  file(COPY_FILE ${STAGE}/SMorvala.exe ${SIGNED_PROGRAM})
  # The plug-ins that the setup program and the uninstaller unpack and run, signed too.
  execute_process(COMMAND makensis -HDRINFO OUTPUT_VARIABLE header_info COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCH "NSISDIR=([^,\n]*)" nsis_folder "${header_info}")
  set(plugins ${CMAKE_MATCH_1}/Plugins/x86-unicode)
  file(MAKE_DIRECTORY ${STAGE}/plugins)
  foreach(plugin System.dll nsDialogs.dll)
    file(COPY_FILE ${plugins}/${plugin} ${STAGE}/plugins/${plugin})
    run(bash sign.sh plugins/${plugin} ${plugin})
  endforeach()
  string(APPEND values "!define SIGN \"bash sign.sh\"\n")
endif()
file(WRITE ${STAGE}/values.nsh "${values}")

# Warnings fail the build. makensis reads the script as UTF-8 whatever the locale.
run(makensis -V2 -WX -INPUTCHARSET UTF8 setup.nsi)
file(COPY_FILE ${STAGE}/SMorvala-${VERSION}-setup.exe ${SETUP})
