# Installation and the Debian package. The runnable folder (the player, its own files, the
# tools) goes to <prefix>/lib/velquin; <prefix>/bin gets a launcher that runs the player from a
# per-user folder (the player writes log.txt and display.cfg into its current directory) and
# links to the tools. `cmake --install` and `cpack` (a .deb whose dependencies dpkg-shlibdeps
# derives from the binaries) both use these rules.

# Both the player and the client report the project's version.
if(TARGET velquin)
    target_compile_definitions(velquin PRIVATE VELQUIN_VERSION="${PROJECT_VERSION}")
endif()
if(NOT TARGET velquin OR NOT TARGET velquin-ctl OR VELQUIN_FUZZ)
    return()
endif()

set(VELQUIN_INSTALL_DIR lib/velquin)
# Installing (and packaging, which installs) takes what the build made; it never builds.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(links ${CMAKE_BINARY_DIR}/packaging/bin)

install(TARGETS velquin velquin-ctl RUNTIME DESTINATION ${VELQUIN_INSTALL_DIR})
set(tools velquin-ctl)
foreach(tool velquin-marker velquin-pack velquin-calibrate velquin-console)
    if(TARGET ${tool})
        install(TARGETS ${tool} RUNTIME DESTINATION ${VELQUIN_INSTALL_DIR})
        list(APPEND tools ${tool})
    endif()
endforeach()

# The player's own files as the build made them. plugins.cfg names the engine's plug-in folder
# found through pkg-config, where the engine's runtime package keeps the plug-ins, so it stays
# right on every machine that has that package.
install(FILES ${VELQUIN_PLAYER_DIR}/plugins.cfg ${VELQUIN_PLAYER_DIR}/display.cfg
              ${VELQUIN_PLAYER_DIR}/VelquinCore.zip ${VELQUIN_PLAYER_DIR}/void.zip
              ${packaging}/remote-control.cmd
        DESTINATION ${VELQUIN_INSTALL_DIR})
install(FILES ${VELQUIN_PLAYER_DIR}/camera_para.dat DESTINATION ${VELQUIN_INSTALL_DIR} OPTIONAL)
# The console's page, beside the console (it looks for console/ beside itself).
if(TARGET velquin-console)
    install(DIRECTORY ${VELQUIN_PLAYER_DIR}/console DESTINATION ${VELQUIN_INSTALL_DIR})
endif()
# The demo (velquin --demo): its recorded camera frames, its show and the sample package.
foreach(folder markers samples frames demo)
    install(DIRECTORY ${VELQUIN_PLAYER_DIR}/${folder} DESTINATION ${VELQUIN_INSTALL_DIR} OPTIONAL)
endforeach()

# The player needs its launcher; the tools run from anywhere and are only linked.
install(PROGRAMS ${packaging}/velquin-launcher.sh DESTINATION bin RENAME velquin)
file(MAKE_DIRECTORY ${links})
foreach(tool ${tools})
    file(CREATE_LINK ../${VELQUIN_INSTALL_DIR}/${tool} ${links}/${tool} SYMBOLIC)
    install(FILES ${links}/${tool} DESTINATION bin)
endforeach()

# The menu entry starts the player with the remote control open; its command file is named by
# its installed path, known only at install time.
install(FILES ${packaging}/velquin.svg DESTINATION share/icons/hicolor/scalable/apps)
# Documentation: the README, the three references, the copyright notice and the changelog
# (compressed as Debian wants it), and a manual page per program made from its --help. The
# documents keep the folders they have in the source tree (docs/, clients/python/), so that the
# links between them, and the README's picture, work in the installed copy as in a clone.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${packaging}/copyright DESTINATION share/doc/velquin)
install(FILES ${PROJECT_SOURCE_DIR}/docs/protocol.md ${PROJECT_SOURCE_DIR}/docs/markers.md
              ${PROJECT_SOURCE_DIR}/docs/content.md ${PROJECT_SOURCE_DIR}/docs/demo.png
              ${PROJECT_SOURCE_DIR}/docs/console.png
        DESTINATION share/doc/velquin/docs)
install(FILES ${PROJECT_SOURCE_DIR}/clients/python/README.md DESTINATION share/doc/velquin/clients/python)
find_program(VELQUIN_GZIP gzip)
find_program(VELQUIN_HELP2MAN help2man)
set(documents "")
if(VELQUIN_GZIP)
    set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
    add_custom_command(OUTPUT ${changelog}
                       COMMAND ${VELQUIN_GZIP} -9nc ${packaging}/changelog > ${changelog}
                       DEPENDS ${packaging}/changelog)
    list(APPEND documents ${changelog})
    install(FILES ${changelog} DESTINATION share/doc/velquin)
endif()
# Sanitizer builds make no pages: their programs may report at exit what help2man would print.
if(VELQUIN_GZIP AND VELQUIN_HELP2MAN AND VELQUIN_SANITIZE STREQUAL "")
    set(man ${CMAKE_BINARY_DIR}/packaging/man)
    file(MAKE_DIRECTORY ${man})
    set(summary_velquin "augmented-reality presentation player")
    set(summary_velquin-ctl "drive a running Velquin player from the shell")
    set(summary_velquin-marker "make marker pattern files and printable markers for Velquin")
    set(summary_velquin-pack "make Velquin resource packages from glTF, OBJ and FBX models")
    set(summary_velquin-calibrate "make a camera file from views of a chessboard")
    set(summary_velquin-console "author a Velquin show in a web browser")
    # The pages carry the date of the release in the changelog, as YYYY-MM-DD.
    file(STRINGS ${packaging}/changelog signature REGEX "^ -- " LIMIT_COUNT 1)
    string(REGEX MATCH "([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9])" found "${signature}")
    set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    list(FIND months "${CMAKE_MATCH_2}" month)
    math(EXPR month "${month} + 101")
    string(SUBSTRING ${month} 1 2 month)
    set(man_date "${CMAKE_MATCH_3}-${month}-${CMAKE_MATCH_1}")
    foreach(program velquin ${tools})
        add_custom_command(
            OUTPUT ${man}/${program}.1.gz
            COMMAND ${VELQUIN_HELP2MAN} --no-info --no-discard-stderr --version-string=${PROJECT_VERSION}
                    "--name=${summary_${program}}" --include=${packaging}/man/${program}.h2m
                    --output=${man}/${program}.1 $<TARGET_FILE:${program}>
            COMMAND ${CMAKE_COMMAND} -DPAGE=${man}/${program}.1 -DDATE=${man_date}
                    -P ${PROJECT_SOURCE_DIR}/cmake/ManPageDate.cmake
            COMMAND ${VELQUIN_GZIP} -9nf ${man}/${program}.1
            DEPENDS ${program} ${packaging}/man/${program}.h2m ${packaging}/changelog
                    ${PROJECT_SOURCE_DIR}/cmake/ManPageDate.cmake
            COMMENT "Manual page of ${program}")
        list(APPEND documents ${man}/${program}.1.gz)
        install(FILES ${man}/${program}.1.gz DESTINATION share/man/man1)
    endforeach()
elseif(VELQUIN_SANITIZE STREQUAL "")
    message(STATUS "help2man or gzip not found: no manual pages (scripts/install-deps.sh installs help2man)")
endif()
add_custom_target(velquin_documents ALL DEPENDS ${documents})
install(CODE "
    set(VELQUIN_REMOTE_COMMANDS \"\${CMAKE_INSTALL_PREFIX}/${VELQUIN_INSTALL_DIR}/remote-control.cmd\")
    configure_file(\"${packaging}/velquin.desktop.in\" \"${CMAKE_BINARY_DIR}/packaging/velquin.desktop\" @ONLY)
    file(INSTALL \"${CMAKE_BINARY_DIR}/packaging/velquin.desktop\"
         DESTINATION \"\${CMAKE_INSTALL_PREFIX}/share/applications\")
")

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velquin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Velquin")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "augmented-reality presentation player")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Shows the camera picture in its window, finds square markers in it and\ndraws 3D content on them, driven by an authoring tool over TCP. Includes\nvelquin-ctl, a command-line client, velquin-marker, which makes marker\npattern files and printable markers, velquin-pack, which makes resource\npackages from glTF, OBJ and FBX models, velquin-console, which serves\nan authoring page to web browsers, and a demo (velquin --demo).")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velquin maintainers <velquin@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
# Install rules see the final prefix (/usr), not the staging folder: the menu entry names it.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The engine loads its render system and image codec plug-ins at run time, out of sight of
# dpkg-shlibdeps: the package that holds them is added unless it is the engine's own library
# package, which dpkg-shlibdeps lists anyway. File actors open files with xdg-open.
set(depends xdg-utils)
find_program(VELQUIN_DPKG_QUERY dpkg-query)
function(velquin_package_of pattern result)
    set(${result} "" PARENT_SCOPE)
    file(GLOB found ${pattern})
    if(found AND VELQUIN_DPKG_QUERY)
        list(GET found 0 found)
        execute_process(COMMAND ${VELQUIN_DPKG_QUERY} -S ${found} OUTPUT_VARIABLE owner ERROR_QUIET
                        OUTPUT_STRIP_TRAILING_WHITESPACE)
        string(REGEX REPLACE ":.*" "" owner "${owner}")
        set(${result} "${owner}" PARENT_SCOPE)
    endif()
endfunction()
velquin_package_of("${VELQUIN_OGRE_PLUGIN_DIR}/RenderSystem_GL.so.*" plugin_package)
velquin_package_of("${OGRE_LIBDIR}/libOgreMain.so.*" engine_package)
if(plugin_package AND NOT plugin_package STREQUAL engine_package)
    list(APPEND depends ${plugin_package})
endif()
string(REPLACE ";" ", " CPACK_DEBIAN_PACKAGE_DEPENDS "${depends}")
include(CPack)
