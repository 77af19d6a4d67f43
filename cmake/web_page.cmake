# The web page: index.html, its script and the terminal's line discipline
# from web/, chisei.js, and xterm.js, gathered in one folder (CHISEI_WEB_DIR)
# that any static server can serve as it is; and the same files as a zip.
set(CHISEI_WEB_DIR ${CMAKE_BINARY_DIR}/page CACHE PATH "Where the web page is put together")
set_target_properties(chisei PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CHISEI_WEB_DIR})

# xterm.js as package-lock.json pins it, installed once per build directory.
set(npm_dir ${CMAKE_BINARY_DIR}/npm)
set(xterm_dir ${npm_dir}/node_modules/@xterm/xterm)
if(NOT EXISTS ${xterm_dir}/package.json OR
   ${PROJECT_SOURCE_DIR}/package-lock.json IS_NEWER_THAN ${xterm_dir}/package.json)
    find_program(NPM npm REQUIRED)
    file(COPY package.json package-lock.json DESTINATION ${npm_dir})
    execute_process(COMMAND ${NPM} ci --omit=dev --ignore-scripts --no-audit --no-fund
                    WORKING_DIRECTORY ${npm_dir} RESULT_VARIABLE npm_failed)
    if(npm_failed)
        message(FATAL_ERROR "npm ci could not install xterm.js")
    endif()
endif()

set(page_files)
foreach(pair "web/index.html;index.html" "web/page.mjs;page.mjs"
        "web/line_discipline.mjs;line_discipline.mjs" "${xterm_dir}/lib/xterm.mjs;xterm.mjs"
        "${xterm_dir}/css/xterm.css;xterm.css" "LICENSE;LICENSE.txt"
        "${xterm_dir}/LICENSE;LICENSE-xterm.txt")
    list(GET pair 0 source)
    list(GET pair 1 target)
    configure_file(${source} ${CHISEI_WEB_DIR}/${target} COPYONLY)
    list(APPEND page_files ${CHISEI_WEB_DIR}/${target})
endforeach()

install(TARGETS chisei RUNTIME DESTINATION .)
install(FILES ${page_files} DESTINATION .)
set(CPACK_PACKAGE_FILE_NAME chisei-${PROJECT_VERSION}-web)
