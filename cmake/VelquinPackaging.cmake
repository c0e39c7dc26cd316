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
if(TARGET velquin-marker)
    install(TARGETS velquin-marker RUNTIME DESTINATION ${VELQUIN_INSTALL_DIR})
    list(APPEND tools velquin-marker)
endif()

# The player's own files as the build made them. plugins.cfg names the engine's plug-in folder
# found through pkg-config, where the engine's runtime package keeps the plug-ins, so it stays
# right on every machine that has that package.
install(FILES ${VELQUIN_PLAYER_DIR}/plugins.cfg ${VELQUIN_PLAYER_DIR}/display.cfg
              ${VELQUIN_PLAYER_DIR}/VelquinCore.zip ${VELQUIN_PLAYER_DIR}/void.zip
              ${packaging}/remote-control.cmd
        DESTINATION ${VELQUIN_INSTALL_DIR})
install(FILES ${VELQUIN_PLAYER_DIR}/camera_para.dat DESTINATION ${VELQUIN_INSTALL_DIR} OPTIONAL)
foreach(folder markers samples)
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
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION share/doc/velquin)
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
    "Shows the camera picture in its window, finds square markers in it and\ndraws 3D content on them, driven by an authoring tool over TCP. Includes\nvelquin-ctl, a command-line client, and velquin-marker, which makes marker\npattern files and printable markers.")
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
