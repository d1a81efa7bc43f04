# Included by cpack before it makes each package: every time in the package (file times, the
# times of the archive members) becomes SOURCE_DATE_EPOCH, so that two builds of one commit give
# the same bytes wherever and whenever they are made. SOURCE_DATE_EPOCH is taken, in this order:
#  - from the environment, when the one who builds sets it;
#  - from the time of the last commit, when the sources are a git checkout of their own;
#  - else from the release date of this version, at noon UTC (the changelog's time).
# packaging.cmake passes CPACK_VREKO_SOURCE_DIR and CPACK_VREKO_RELEASE_EPOCH.
if(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(vreko_epoch_from "the environment")
else()
  set(vreko_epoch "${CPACK_VREKO_RELEASE_EPOCH}")
  set(vreko_epoch_from "the release date")
  # The checkout must be the sources' own, not one of a folder they were unpacked in.
  execute_process(COMMAND git -C "${CPACK_VREKO_SOURCE_DIR}" rev-parse --show-toplevel
                  OUTPUT_VARIABLE vreko_top OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE vreko_git_failed ERROR_QUIET)
  if(NOT vreko_git_failed)
    file(REAL_PATH "${vreko_top}" vreko_top)
    file(REAL_PATH "${CPACK_VREKO_SOURCE_DIR}" vreko_source)
    if(vreko_top STREQUAL vreko_source)
      execute_process(COMMAND git -C "${CPACK_VREKO_SOURCE_DIR}" log -1 --format=%ct
                      OUTPUT_VARIABLE vreko_commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                      RESULT_VARIABLE vreko_git_failed ERROR_QUIET)
      if(NOT vreko_git_failed AND vreko_commit_time MATCHES "^[0-9]+$")
        set(vreko_epoch "${vreko_commit_time}")
        set(vreko_epoch_from "the last commit")
      endif()
    endif()
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${vreko_epoch}")
endif()
message(STATUS "CPack: every time in the package is SOURCE_DATE_EPOCH=$ENV{SOURCE_DATE_EPOCH}, from ${vreko_epoch_from}")
