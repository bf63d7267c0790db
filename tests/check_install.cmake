# MODE=install: `cmake --install` into a scratch prefix gives bin/vorlin,
# which runs, prints the project's version and measures WavPack files, and
# share/man/man1/vorlin.1 as the build made it, and nothing else.
# MODE=package: `cpack -G DEB` makes a package holding the two under /usr,
# with its runtime dependencies filled in: the C library alone.
#   cmake -DMODE=... -DBUILD=<build dir> -DPAGE=<the build's vorlin.1> -DVERSION=<version>
#         -DFORMATS=<tests/data/formats> -DSCRATCH=<dir> -P check_install.cmake
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH})

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGV} (status ${status}):\n${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

if(MODE STREQUAL "install")
  run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${SCRATCH})
  run(${SCRATCH}/bin/vorlin --version)
  if(NOT out STREQUAL "Vorlin v${VERSION}\n")
    message(FATAL_ERROR "installed vorlin --version printed '${out}'")
  endif()
  # An album of two WavPack tracks, fixed by the installed tool.
  file(MAKE_DIRECTORY ${SCRATCH}/album)
  file(COPY_FILE ${FORMATS}/lossless.wv ${SCRATCH}/album/01.wv)
  file(COPY_FILE ${FORMATS}/hybrid.wv ${SCRATCH}/album/02.wv)
  file(WRITE ${SCRATCH}/album/a.cue "FILE \"01.wv\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
       "FILE \"02.wv\" WAVE\n  TRACK 02 AUDIO\n    INDEX 00 00:00:00\n    INDEX 01 00:00:10\n")
  execute_process(COMMAND ${SCRATCH}/bin/vorlin a.cue WORKING_DIRECTORY ${SCRATCH}/album
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  file(READ ${SCRATCH}/album/a.cue fixed)
  if(NOT status EQUAL 0 OR NOT out STREQUAL "Fixing cue 'a.cue'...\ndone.\n"
     OR NOT fixed MATCHES "INDEX 00 00:00:20\n    INDEX 01 00:00:30\n$")
    message(FATAL_ERROR "installed vorlin on WavPack files (status ${status}):\n${out}${fixed}")
  endif()
  file(GLOB_RECURSE installed RELATIVE ${SCRATCH} ${SCRATCH}/bin/* ${SCRATCH}/lib*/* ${SCRATCH}/share/*)
  if(NOT installed STREQUAL "bin/vorlin;share/man/man1/vorlin.1")
    message(FATAL_ERROR "installed files: ${installed}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${PAGE}
                  ${SCRATCH}/share/man/man1/vorlin.1 RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "share/man/man1/vorlin.1 is missing or differs from ${PAGE}")
  endif()
elseif(MODE STREQUAL "package")
  find_program(DPKG_DEB dpkg-deb)
  if(NOT DPKG_DEB)
    message("skipped: no dpkg-deb")
    return()
  endif()
  get_filename_component(cmake_dir ${CMAKE_COMMAND} DIRECTORY)
  run(${cmake_dir}/cpack -G DEB -B ${SCRATCH} --config ${BUILD}/CPackConfig.cmake)
  file(GLOB packages ${SCRATCH}/*.deb)
  list(LENGTH packages count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one package in ${SCRATCH}, found: ${packages}")
  endif()
  run(${DPKG_DEB} -c ${packages})
  foreach(path IN ITEMS ./usr/bin/vorlin ./usr/share/man/man1/vorlin.1)
    if(NOT out MATCHES " ${path}\n")
      message(FATAL_ERROR "${path} missing from the package:\n${out}")
    endif()
  endforeach()
  run(${DPKG_DEB} -f ${packages} Package Depends Maintainer)
  # TagLib never; the C++ runtime only where it is linked in (not under the
  # sanitizers, whose runtimes need the shared one).
  if(NOT out MATCHES "Package: vorlin\nDepends: [^\n]*libc6" OR out MATCHES "libtag"
     OR (STATIC_RUNTIME AND out MATCHES "libstdc"))
    message(FATAL_ERROR "package fields:\n${out}")
  endif()
else()
  message(FATAL_ERROR "MODE must be install or package")
endif()
