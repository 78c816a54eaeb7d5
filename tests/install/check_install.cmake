# Installs the build into an empty prefix and checks that the tree holds the
# program, its manual page, the copyright file and the changelog, that the
# program runs from there, and that the page renders without warnings where
# groff is at hand. Then builds the Debian package and checks its files and
# fields where dpkg-deb is at hand, and asks lintian where it is installed.
#   cmake -DBUILD_DIR=... -DPREFIX=... -DSOURCE_DIR=... -DCPACK=... -P check_install.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()

set(installed bin/trk2inst share/man/man1/trk2inst.1.gz share/doc/trk2inst/copyright
              share/doc/trk2inst/changelog.gz)
foreach(path ${installed})
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "missing from the install tree: ${path}")
  endif()
endforeach()

function(check_program_runs program)
  execute_process(COMMAND "${program}" "=Q" "${SOURCE_DIR}/doc/trk2inst.1"
                  RESULT_VARIABLE status ERROR_VARIABLE message)
  if(NOT status EQUAL 1 OR NOT message STREQUAL "Improper file type: Q\n")
    message(FATAL_ERROR "${program} did not run as expected: ${status} ${message}")
  endif()
endfunction()
check_program_runs("${PREFIX}/bin/trk2inst")

# The manual page renders without a warning of groff or man, down to the line
# that man gives an 80-column terminal less its margins (tables wider than it
# are cut).
find_program(GROFF groff)
if(GROFF)
  foreach(line_length 72 80)
    execute_process(COMMAND "${GROFF}" -t -man -Tutf8 -ww -z -rLL=${line_length}n "${SOURCE_DIR}/doc/trk2inst.1"
                    RESULT_VARIABLE status ERROR_VARIABLE warnings)
    if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
      message(FATAL_ERROR "the manual page does not render cleanly at ${line_length} columns:\n${warnings}")
    endif()
  endforeach()
endif()
find_program(MAN man)
if(MAN)
  foreach(width 78 80)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env MANWIDTH=${width} MAN_KEEP_FORMATTING=1
                            "${MAN}" --warnings=w -l "${SOURCE_DIR}/doc/trk2inst.1"
                    RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE warnings)
    if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
      message(FATAL_ERROR "man warns on the manual page at ${width} columns:\n${warnings}")
    endif()
  endforeach()
endif()

find_program(DPKG_DEB dpkg-deb)
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(NOT DPKG_DEB OR NOT DPKG_SHLIBDEPS)
  message(STATUS "dpkg-deb or dpkg-shlibdeps is missing: the package is not checked")
  return()
endif()
set(package_dir "${PREFIX}-package")
file(REMOVE_RECURSE "${package_dir}")
execute_process(COMMAND "${CPACK}" -G DEB -B "${package_dir}" --config "${BUILD_DIR}/CPackConfig.cmake"
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(GLOB package "${package_dir}/trk2inst_*.deb")
if(NOT status EQUAL 0 OR NOT package)
  message(FATAL_ERROR "cpack -G DEB failed: ${status}\n${output}")
endif()

execute_process(COMMAND "${DPKG_DEB}" -c "${package}" OUTPUT_VARIABLE contents)
foreach(path ${installed})
  string(FIND "${contents}" " ./usr/${path}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "missing from the package: ${path}\n${contents}")
  endif()
endforeach()

execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE architecture
                OUTPUT_STRIP_TRAILING_WHITESPACE)
foreach(field Package Architecture Maintainer Description Depends)
  execute_process(COMMAND "${DPKG_DEB}" -f "${package}" ${field} OUTPUT_VARIABLE value
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(${field} "${value}")
endforeach()
if(NOT Package STREQUAL "trk2inst" OR NOT Architecture STREQUAL architecture OR
   Maintainer STREQUAL "" OR Description STREQUAL "" OR NOT Depends MATCHES "libc6")
  message(FATAL_ERROR "unexpected package fields: ${Package} ${Architecture} [${Maintainer}] "
                      "[${Description}] [${Depends}]")
endif()

# The packaged program runs from the unpacked tree.
execute_process(COMMAND "${DPKG_DEB}" -x "${package}" "${package_dir}/root" RESULT_VARIABLE status)
check_program_runs("${package_dir}/root/usr/bin/trk2inst")

# lintian: no error and no warning (informational tags are allowed).
find_program(LINTIAN lintian)
if(NOT LINTIAN)
  message(STATUS "lintian is missing: the package is not checked by it")
  return()
endif()
execute_process(COMMAND "${LINTIAN}" --fail-on error,warning "${package}"
                RESULT_VARIABLE status OUTPUT_VARIABLE report ERROR_VARIABLE report)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lintian finds fault with the package:\n${report}")
endif()
