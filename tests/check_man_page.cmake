# Fails on any output of groff checking the manual page with every warning on.
#   cmake -DPAGE=<vorlin.1> -P check_man_page.cmake
find_program(GROFF groff)
if(NOT GROFF)
  message(FATAL_ERROR "groff not found: install groff-base to check the manual page")
endif()
execute_process(COMMAND ${GROFF} -man -ww -z ${PAGE}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0 OR NOT out STREQUAL "")
  message(FATAL_ERROR "groff -man -ww -z ${PAGE} (status ${status}):\n${out}")
endif()
