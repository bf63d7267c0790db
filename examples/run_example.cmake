# Fixes a scratch copy of an example album and shows its cue sheet before
# and after. The source album is never modified.
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

file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}")
file(COPY "${SOURCE}/" DESTINATION "${SCRATCH}")

message(STATUS "album.cue before:")
execute_process(COMMAND "${CMAKE_COMMAND}" -E cat "${SCRATCH}/album.cue")

message(STATUS "Running: vorlin album.cue (in ${SCRATCH})")
execute_process(COMMAND "${VORLIN}" album.cue
                WORKING_DIRECTORY "${SCRATCH}"
                RESULT_VARIABLE status)
message(STATUS "vorlin exit status: ${status}")

message(STATUS "album.cue after:")
execute_process(COMMAND "${CMAKE_COMMAND}" -E cat "${SCRATCH}/album.cue")

if(NOT status EQUAL 0)
  message(FATAL_ERROR "vorlin failed on the example album (exit status ${status})")
endif()
