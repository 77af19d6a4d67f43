# Installs the build into a fresh prefix and checks what a user gets there:
# the program, which runs a complete quiz (with or without arguments), and
# its manual page, which groff reads without a warning; and nothing else.
# cmake -DBUILD_DIR=... -DPREFIX=... -DPROGRAM=bin/chisei [-DMANUAL=...]
#       -P install_check.cmake    (PROGRAM and MANUAL within PREFIX)
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install failed")
endif()

file(GLOB_RECURSE installed RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT installed)
set(expected ${PROGRAM} ${MANUAL})
list(SORT expected)
if(NOT installed STREQUAL expected)
    message(FATAL_ERROR "installed: ${installed}; expected: ${expected}")
endif()
set(program "${PREFIX}/${PROGRAM}")
set(manual "${PREFIX}/${MANUAL}")

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
if(GROFF AND MANUAL)
    execute_process(COMMAND "${GROFF}" -man -ww -z "${manual}" ERROR_VARIABLE warnings
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
        message(FATAL_ERROR "groff on the manual page: ${warnings}")
    endif()
endif()
message(STATUS "installed and checked in ${PREFIX}")
