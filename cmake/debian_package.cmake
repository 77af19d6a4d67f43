# The layout of the Debian package: the game in /usr/games, its manual page
# gzipped, the copyright and changelog in /usr/share/doc/chisei, and nothing
# left in the binary that Debian strips (.comment).
find_program(GZIP gzip REQUIRED)
set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/chisei)
foreach(pair "doc/chisei.6;chisei.6.gz" "packaging/debian/changelog;changelog.gz")
    list(GET pair 0 source)
    list(GET pair 1 gzipped)
    add_custom_command(OUTPUT ${gzipped}
        COMMAND ${GZIP} -9n -c ${PROJECT_SOURCE_DIR}/${source} > ${gzipped}
        DEPENDS ${PROJECT_SOURCE_DIR}/${source} VERBATIM)
    list(APPEND gzipped_files ${CMAKE_CURRENT_BINARY_DIR}/${gzipped})
endforeach()
add_custom_target(gzipped_docs ALL DEPENDS ${gzipped_files})

install(TARGETS chisei RUNTIME DESTINATION games)
install(CODE "execute_process(COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment
                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/games/chisei\")")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/chisei.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz packaging/debian/copyright
        DESTINATION ${doc_dir})
