# Shared build settings: warnings, sanitizers, dependency look-up and the helpers
# that every folder uses to declare its library, its tests and its fuzz targets.

find_package(PkgConfig REQUIRED)

# ccache, where installed, makes rebuilds of several trees (normal, sanitizers) cheap.
find_program(VELQUIN_CCACHE ccache)
if(VELQUIN_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
    set(CMAKE_C_COMPILER_LAUNCHER ${VELQUIN_CCACHE})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${VELQUIN_CCACHE})
endif()
set(THREADS_PREFER_PTHREAD_FLAG ON)
find_package(Threads REQUIRED)

set(VELQUIN_WARNINGS -Wall -Wextra)
if(VELQUIN_WERROR)
    list(APPEND VELQUIN_WARNINGS -Werror)
endif()

if(VELQUIN_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
elseif(VELQUIN_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT VELQUIN_SANITIZE STREQUAL "")
    message(FATAL_ERROR "VELQUIN_SANITIZE must be empty, 'address' or 'thread'")
endif()

if(VELQUIN_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "VELQUIN_FUZZ needs clang (CC=clang CXX=clang++)")
    endif()
    # Libraries are instrumented for coverage; only the fuzz executables link the driver.
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# The normal build is the one the Debian package is made from, and the player listens on the
# network: it gets Debian's hardening flags as dpkg-buildflags gives them (stack protector,
# fortified libc calls, format checks, relocations read-only and bound at start; PIE is the
# compiler's default, and CMAKE_POSITION_INDEPENDENT_CODE asks for it too). Only those flags are
# taken: optimisation and debugging information stay the build type's. Fortified calls need an
# optimising build.
option(VELQUIN_HARDENING "Build with Debian's hardening flags (dpkg-buildflags)" ON)
find_program(VELQUIN_DPKG_BUILDFLAGS dpkg-buildflags)
if(VELQUIN_HARDENING AND VELQUIN_DPKG_BUILDFLAGS AND VELQUIN_SANITIZE STREQUAL "" AND NOT VELQUIN_FUZZ)
    set(hardening "^(-D_FORTIFY_SOURCE=|-fstack-protector|-fstack-clash-protection|-fcf-protection|-Wformat|-Werror=format-|-Wl,-z,)")
    if(CMAKE_BUILD_TYPE STREQUAL "Debug")
        set(hardening "^(-fstack-protector|-fstack-clash-protection|-fcf-protection|-Wformat|-Werror=format-|-Wl,-z,)")
    endif()
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
        execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                                ${VELQUIN_DPKG_BUILDFLAGS} --get ${kind}
                        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
        separate_arguments(flags UNIX_COMMAND "${flags}")
        list(FILTER flags INCLUDE REGEX "${hardening}")
        set(VELQUIN_HARDENING_${kind} ${flags})
    endforeach()
    add_compile_options(${VELQUIN_HARDENING_CPPFLAGS} ${VELQUIN_HARDENING_CXXFLAGS})
    add_link_options(${VELQUIN_HARDENING_LDFLAGS})
    string(REPLACE ";" " " shown "${VELQUIN_HARDENING_CPPFLAGS};${VELQUIN_HARDENING_CXXFLAGS};${VELQUIN_HARDENING_LDFLAGS}")
    message(STATUS "Hardening: ${shown}")
endif()

pkg_check_modules(ZLIB REQUIRED IMPORTED_TARGET zlib)
if(VELQUIN_ENGINE)
    pkg_check_modules(OGRE REQUIRED IMPORTED_TARGET OGRE)
    pkg_check_modules(OGRE_OVERLAY REQUIRED IMPORTED_TARGET OGRE-Overlay)
    pkg_check_modules(OGRE_BITES REQUIRED IMPORTED_TARGET OGRE-Bites)
    pkg_check_modules(OIS REQUIRED IMPORTED_TARGET OIS)
    pkg_check_modules(TINYXML REQUIRED IMPORTED_TARGET tinyxml)
    pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11 xrandr)
    execute_process(COMMAND ${PKG_CONFIG_EXECUTABLE} --variable=plugindir OGRE
                    OUTPUT_VARIABLE VELQUIN_OGRE_PLUGIN_DIR OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
# Camera frames in Motion JPEG are decoded by libjpeg-turbo.
pkg_check_modules(JPEG REQUIRED IMPORTED_TARGET libjpeg)
if(VELQUIN_TESTS)
    pkg_check_modules(GTEST REQUIRED IMPORTED_TARGET gtest_main gmock)
endif()

# velquin_library(NAME SOURCES... [LINKS ...]): one static library per subsystem folder.
function(velquin_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_compile_options(${name} PRIVATE ${VELQUIN_WARNINGS})
    target_link_libraries(${name} PUBLIC ${ARG_LINKS})
endfunction()

# velquin_test(NAME SOURCES... LINKS ... [LABELS ...] [DISPLAY]): a GoogleTest executable
# registered with CTest. DISPLAY tests need an X server and run under xvfb-run.
function(velquin_test name)
    cmake_parse_arguments(ARG "DISPLAY" "" "SOURCES;LINKS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE ${VELQUIN_WARNINGS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(${name} PRIVATE ${ARG_LINKS} PkgConfig::GTEST)
    set(labels ${ARG_LABELS})
    if(ARG_DISPLAY)
        list(APPEND labels display)
        add_test(NAME ${name} COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:${name}>)
    else()
        add_test(NAME ${name} COMMAND ${name})
    endif()
    set_tests_properties(${name} PROPERTIES LABELS "${labels}" TIMEOUT 600
                         ENVIRONMENT "VELQUIN_SOURCE_DIR=${PROJECT_SOURCE_DIR};VELQUIN_PLAYER_DIR=${VELQUIN_PLAYER_DIR}")
endfunction()

# velquin_fuzzer(NAME SOURCE LINKS ...): a libFuzzer target, built and run only in the fuzz build.
# CTest runs each for VELQUIN_FUZZ_SECONDS on a scratch corpus seeded from tests/fuzz/<NAME> if present.
set(VELQUIN_FUZZ_SECONDS 60 CACHE STRING "Seconds each fuzz target runs under CTest")
function(velquin_fuzzer name source)
    cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
    if(NOT VELQUIN_FUZZ)
        return()
    endif()
    add_executable(${name} ${source})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(${name} PRIVATE ${ARG_LINKS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set(corpus ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
    set(seeds ${PROJECT_SOURCE_DIR}/tests/fuzz/${name})
    add_test(NAME ${name}
             COMMAND ${CMAKE_COMMAND} -E env sh -c
                     "mkdir -p '${corpus}' && if [ -d '${seeds}' ]; then cp -r '${seeds}'/. '${corpus}'/; fi; exec \"$0\" -max_total_time=${VELQUIN_FUZZ_SECONDS} -rss_limit_mb=4096 -print_final_stats=1 '${corpus}'"
                     $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 900)
endfunction()
