# Writes the players' zip: cmake -DSOURCE_DIR= -DVERSION= -DSTAGE= -DZIP= -DFILES="a;b" -P
# make_zip.cmake. The same bytes in every build: the entries in the order given, each with the
# release's time and a fixed mode, and no owner or other times (zip -X), which an archive of
# CPack's would take from whoever builds it.
include(${CMAKE_CURRENT_LIST_DIR}/release_date.cmake)

file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
set(names "")
foreach(file IN LISTS FILES)
  get_filename_component(name ${file} NAME)
  file(COPY_FILE ${file} ${STAGE}/${name})
  list(APPEND names ${name})
endforeach()
file(CHMOD_RECURSE ${STAGE} FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
# Touched after the modes are set, which would otherwise give the folder the time of now.
execute_process(COMMAND touch --date=@${SMORVALA_EPOCH} ${names} WORKING_DIRECTORY ${STAGE}
                COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE ${ZIP})
# A zip entry's time is local time: the same in every time zone only when written in UTC.
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -X -9 -q ${ZIP} ${names}
                WORKING_DIRECTORY ${STAGE} COMMAND_ERROR_IS_FATAL ANY)
