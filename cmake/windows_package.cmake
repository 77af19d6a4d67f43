# The download for Windows: a zip with chisei.exe, stripped, beside the
# license and a short read-me, both with CR LF line ends for Notepad.
install(TARGETS chisei RUNTIME DESTINATION .)
foreach(pair "LICENSE;LICENSE.txt" "packaging/windows/LEGGIMI.txt;LEGGIMI.txt")
    list(GET pair 0 source)
    list(GET pair 1 target)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${source})
    file(READ ${PROJECT_SOURCE_DIR}/${source} text)
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/${target} "${text}")
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${target} DESTINATION .)
endforeach()
set(CPACK_PACKAGE_FILE_NAME chisei-${PROJECT_VERSION}-win64)
