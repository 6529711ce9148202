# The release this build makes, as the latest entry of linux/changelog tells it: included by the
# packaging scripts, which take SOURCE_DIR. Sets SMORVALA_RELEASE_DATE (YYYY-MM-DD) and
# SMORVALA_EPOCH, the time of every file in the downloads: SOURCE_DATE_EPOCH where the builder
# sets it, else the release's own time, as Debian's builders take it, so that every build of one
# commit gives the same bytes. Fails when that entry names a version other than VERSION.
file(STRINGS ${SOURCE_DIR}/linux/changelog heading LIMIT_COUNT 1)
if(NOT heading MATCHES "^smorvala \\(${VERSION}\\) ")
  message(FATAL_ERROR "linux/changelog: its latest entry is not version ${VERSION}: ${heading}")
endif()
file(STRINGS ${SOURCE_DIR}/linux/changelog signature ENCODING UTF-8 REGEX "^ -- " LIMIT_COUNT 1)
string(REGEX REPLACE "^ -- .*>  " "" released "${signature}")
execute_process(COMMAND date --utc --date=${released} +%s\ %F
                OUTPUT_VARIABLE release_time OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
separate_arguments(release_time)
list(GET release_time 1 SMORVALA_RELEASE_DATE)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(SMORVALA_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  list(GET release_time 0 SMORVALA_EPOCH)
endif()
