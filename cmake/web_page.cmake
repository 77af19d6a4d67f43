# The web page: one chisei.html that holds everything it needs (the program,
# the page's script and its style), put together by web/build.mjs with
# esbuild as package-lock.json pins it, in CHISEI_WEB_DIR with a copy named
# index.html for hosts that want one; and chisei.html with the license as a
# zip. chisei.js, the program as the page and node load it, stays in the
# build directory.
set(CHISEI_WEB_DIR ${CMAKE_BINARY_DIR}/page CACHE PATH "Where the web page is put")

# esbuild, installed once per build directory.
set(npm_dir ${CMAKE_BINARY_DIR}/npm)
if(NOT EXISTS ${npm_dir}/node_modules/esbuild/package.json OR
   ${PROJECT_SOURCE_DIR}/package-lock.json IS_NEWER_THAN ${npm_dir}/node_modules/esbuild/package.json)
    find_program(NPM npm REQUIRED)
    file(COPY package.json package-lock.json DESTINATION ${npm_dir})
    execute_process(COMMAND ${NPM} ci --omit=dev --ignore-scripts --no-audit --no-fund
                    WORKING_DIRECTORY ${npm_dir} RESULT_VARIABLE npm_failed)
    if(npm_failed)
        message(FATAL_ERROR "npm ci could not install esbuild")
    endif()
endif()

find_program(NODE node REQUIRED)
set(page ${CHISEI_WEB_DIR}/chisei.html)
add_custom_command(OUTPUT ${page} ${CHISEI_WEB_DIR}/index.html
    COMMAND ${NODE} ${PROJECT_SOURCE_DIR}/web/build.mjs ${npm_dir} $<TARGET_FILE:chisei>
            ${page} ${CHISEI_WEB_DIR}/index.html
    DEPENDS chisei web/build.mjs web/index.html web/page.mjs web/page.css web/line_discipline.mjs
            web/transcript.mjs web/keyboard.mjs web/run.mjs web/program.mjs web/result.mjs
            web/picture.mjs
    COMMENT "Putting the web page together"
    VERBATIM)
add_custom_target(page ALL DEPENDS ${page})

install(FILES ${page} DESTINATION .)
install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
set(CPACK_PACKAGE_FILE_NAME chisei-${PROJECT_VERSION}-web)
