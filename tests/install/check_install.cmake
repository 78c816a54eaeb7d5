# Installs the build into an empty prefix and checks that the tree holds the
# program and its manual page, that the program runs from there, and that the
# page renders without warnings where groff is at hand.
#   cmake -DBUILD_DIR=... -DPREFIX=... -P check_install.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()

foreach(path bin/trk2inst share/man/man1/trk2inst.1)
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "missing from the install tree: ${path}")
  endif()
endforeach()

execute_process(COMMAND "${PREFIX}/bin/trk2inst" "=Q" "${PREFIX}/share/man/man1/trk2inst.1"
                RESULT_VARIABLE status ERROR_VARIABLE message)
if(NOT status EQUAL 1 OR NOT message STREQUAL "Improper file type: Q\n")
  message(FATAL_ERROR "the installed program did not run as expected: ${status} ${message}")
endif()

find_program(GROFF groff)
if(GROFF)
  execute_process(COMMAND "${GROFF}" -t -man -ww -z "${PREFIX}/share/man/man1/trk2inst.1"
                  RESULT_VARIABLE status ERROR_VARIABLE warnings)
  if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
    message(FATAL_ERROR "the manual page does not render cleanly:\n${warnings}")
  endif()
endif()
