# Installs the build into a fresh prefix and checks what a user gets there:
# the program, which runs a complete quiz (with or without arguments), and
# its manual page, which groff reads without a warning.
# cmake -DBUILD_DIR=... -DPREFIX=... -DSOURCE_DIR=... -P install_check.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install failed")
endif()

set(program "${PREFIX}/bin/chisei")
set(manual "${PREFIX}/share/man/man6/chisei.6")
foreach(file "${program}" "${manual}")
    if(NOT EXISTS "${file}")
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()

file(WRITE "${PREFIX}/answers" "abcdeabc\n")
foreach(args "" "--help" "-x;extra")
    execute_process(COMMAND setsid -w "${program}" ${args}
                    INPUT_FILE "${PREFIX}/answers" OUTPUT_VARIABLE out ERROR_VARIABLE err
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0 OR NOT err STREQUAL "" OR NOT out MATCHES "a= 2 b= 2 c= 2 d= 1 e= 1\n")
        message(FATAL_ERROR "installed chisei ${args}: status ${status}, output:\n${out}${err}")
    endif()
endforeach()

find_program(GROFF groff)
if(GROFF)
    execute_process(COMMAND "${GROFF}" -man -ww -z "${manual}" ERROR_VARIABLE warnings
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
        message(FATAL_ERROR "groff on the manual page: ${warnings}")
    endif()
endif()
message(STATUS "installed and checked in ${PREFIX}")
