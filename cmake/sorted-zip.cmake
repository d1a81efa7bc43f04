# Run by cpack once it has made the zip: makes it again from the same staged files, in the
# order of their names. cpack's own zip takes the files in the order the file system lists
# them, which differs from one file system to another. The times are SOURCE_DATE_EPOCH (set by
# cmake/source-date-epoch.cmake), written in UTC, so the builder's time zone does not show.
set(vreko_stage_parent "${CPACK_TOPLEVEL_DIRECTORY}")
foreach(vreko_zip IN LISTS CPACK_PACKAGE_FILES)
  if(NOT vreko_zip MATCHES "\\.zip$")
    continue()
  endif()
  file(GLOB_RECURSE vreko_files LIST_DIRECTORIES false RELATIVE "${vreko_stage_parent}"
       "${CPACK_TEMPORARY_DIRECTORY}/*")
  list(SORT vreko_files)
  list(JOIN vreko_files "\n" vreko_list)
  file(WRITE "${vreko_stage_parent}/zip-files.txt" "${vreko_list}\n")
  file(REMOVE "${vreko_zip}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E env TZ=UTC0
                          "${CMAKE_COMMAND}" -E tar cf "${vreko_zip}" --format=zip --files-from=zip-files.txt
                  WORKING_DIRECTORY "${vreko_stage_parent}"
                  RESULT_VARIABLE vreko_failed)
  if(vreko_failed)
    message(FATAL_ERROR "could not make ${vreko_zip} again in name order")
  endif()
endforeach()
