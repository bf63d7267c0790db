# Fixes two scratch copies of an example album, one into the range layout and
# one with --per-file, and shows the cue sheet before and after each. The
# source album is never modified.
#
#   cmake -DVORLIN=<vorlin binary> -DSOURCE=<examples/album> -DSCRATCH=<scratch dir>
#         -P run_example.cmake
foreach(var IN ITEMS VORLIN SOURCE SCRATCH)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "run_example.cmake: -D${var}=... is required")
  endif()
endforeach()
if(NOT EXISTS "${SOURCE}/album.cue")
  message(FATAL_ERROR "run_example.cmake: no album.cue in '${SOURCE}'")
endif()

message(STATUS "album.cue before:")
execute_process(COMMAND "${CMAKE_COMMAND}" -E cat "${SOURCE}/album.cue")

foreach(layout IN ITEMS range per-file)
  set(copy "${SCRATCH}/${layout}")
  file(REMOVE_RECURSE "${copy}")
  file(MAKE_DIRECTORY "${copy}")
  file(COPY "${SOURCE}/" DESTINATION "${copy}")
  set(args album.cue)
  if(layout STREQUAL "per-file")
    list(PREPEND args --per-file)
  endif()
  list(JOIN args " " shown)
  message(STATUS "Running: vorlin ${shown} (in ${copy})")
  execute_process(COMMAND "${VORLIN}" ${args}
                  WORKING_DIRECTORY "${copy}"
                  RESULT_VARIABLE status)
  message(STATUS "vorlin exit status: ${status}")
  message(STATUS "album.cue after (${layout}):")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E cat "${copy}/album.cue")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "vorlin failed on the example album (exit status ${status})")
  endif()
endforeach()
