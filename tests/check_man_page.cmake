# Fails on any output of groff checking the manual page with every warning on,
# and unless the build filled in the project's version where the page's
# source says @PROJECT_VERSION@ (its title line and the -V option).
#   cmake -DPAGE=<the build's vorlin.1> -DVERSION=<version> -P check_man_page.cmake
file(READ ${PAGE} page)
if(page MATCHES "@[A-Za-z_0-9]+@" OR NOT page MATCHES "^\\.TH VORLIN 1 [^\n]* \"vorlin ${VERSION}\" "
   OR NOT page MATCHES "\n\\.B Vorlin v${VERSION}\n")
  message(FATAL_ERROR "${PAGE} does not carry version ${VERSION} where its source asks for it")
endif()
find_program(GROFF groff)
if(NOT GROFF)
  message(FATAL_ERROR "groff not found: install groff-base to check the manual page")
endif()
execute_process(COMMAND ${GROFF} -man -ww -z ${PAGE}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0 OR NOT out STREQUAL "")
  message(FATAL_ERROR "groff -man -ww -z ${PAGE} (status ${status}):\n${out}")
endif()
