# 32-bit Windows build: sortella.dll, the host stand-in and the Windows test
# programs, which ctest runs under Wine (see scripts/wine-run.sh).
set(SORTELLA_WIN_SOURCES
    plugin/entry.cpp
    plugin/host_services.cpp
    settings/settings.cpp
    settings/dialogs.cpp
    mailstore/mailbox.cpp
    mailstore/classification_rewrite.cpp
    filing/receive_filter.cpp
    filing/filing_command.cpp
    classifier/http.cpp
    classifier/web_state.cpp
    classifier/reclassify.cpp
    classifier/menus.cpp
    classifier/startup_wait.cpp
)

# Source files are UTF-8; every narrow literal becomes Shift_JIS in the binary.
set(SJIS_FLAGS -finput-charset=UTF-8 -fexec-charset=CP932)

existing_sources(core_sources ${SORTELLA_CORE_SOURCES} ${SORTELLA_CORE_WIN_SOURCES})
existing_sources(win_sources ${SORTELLA_WIN_SOURCES})

# Everything of the plug-in but DllMain's resources and exports, so that the
# Windows unit tests can link the same code.
add_library(sortella_impl STATIC ${core_sources} ${win_sources})
target_include_directories(sortella_impl PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_options(sortella_impl PUBLIC ${SJIS_FLAGS} -Wall -Wextra)
target_compile_definitions(sortella_impl PUBLIC WINVER=0x0501 _WIN32_WINNT=0x0501)
target_link_libraries(sortella_impl PUBLIC wininet ws2_32 shell32 user32 kernel32)

add_library(sortella SHARED plugin/sortella.rc plugin/sortella.def)
target_link_libraries(sortella PRIVATE -Wl,--whole-archive sortella_impl -Wl,--no-whole-archive)
set_target_properties(sortella PROPERTIES PREFIX "" OUTPUT_NAME sortella)
target_link_options(sortella PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--kill-at)
# The DLL that users get carries no symbols and no debug information (the
# static C++ runtime brings its own); a Debug build keeps them for gdb.
target_link_options(sortella PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")

# GoogleTest from the sources Debian installs, built with mingw.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# One change to Debian's sources: on Windows, GoogleTest starts a watcher
# thread for every thread that first records a trace or a failure. Under
# qemu's emulation of 32-bit Wine, a thread started beside a running one
# can leave both on one thread block (one wait pipe, one stack), which stops
# the process for good. The Windows tests record from one thread only, so
# the watcher is not started (per-thread values of ended threads are simply
# kept).
set(gtest_source ${CMAKE_BINARY_DIR}/googletest-source)
file(COPY /usr/src/googletest/ DESTINATION ${gtest_source})
file(READ ${gtest_source}/googletest/src/gtest-port.cc gtest_port)
set(watcher_start "  static void StartWatcherThreadFor(DWORD thread_id) {\n")
string(FIND "${gtest_port}" "${watcher_start}" watcher_at)
if(watcher_at EQUAL -1)
    message(FATAL_ERROR "GoogleTest's watcher thread start not found in gtest-port.cc")
endif()
string(REPLACE "${watcher_start}" "${watcher_start}    if (thread_id != 0) return;  // no watcher thread\n"
       gtest_port "${gtest_port}")
file(WRITE ${gtest_source}/googletest/src/gtest-port.cc "${gtest_port}")
add_subdirectory(${gtest_source} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Writes a .def that exports the host's 34 services from an executable
# under their stdcall-decorated names ("_APAMoveMail@8"), as the mail client
# does. OMIT names one service to leave out (to test a host that lacks it).
function(sortella_host_def output)
    cmake_parse_arguments(ARG "" "OMIT" "" ${ARGN})
    file(STRINGS ${PROJECT_SOURCE_DIR}/standins/host_exports.txt services)
    set(text "EXPORTS\n")
    foreach(service ${services})
        separate_arguments(parts UNIX_COMMAND "${service}")
        list(GET parts 0 name)
        list(GET parts 1 bytes)
        if(NOT name STREQUAL "${ARG_OMIT}")
            string(APPEND text "    _${name}@${bytes} = ${name}@${bytes}\n")
        endif()
    endforeach()
    file(WRITE ${output} "${text}")
endfunction()

# An executable's .def (the host services above) reaches the linker only
# when the executable has exports enabled.
set(CMAKE_ENABLE_EXPORTS ON)

# Keeps Wine's desktop and service processes up for a whole test session
# (scripts/xvfb-session.sh starts it).
add_executable(wine-keepalive WIN32 scripts/wine-keepalive.c)
set_target_properties(wine-keepalive PROPERTIES ENABLE_EXPORTS OFF)
target_link_options(wine-keepalive PRIVATE -static)

# The release: dist/sortella-<version>.zip and its SHA-256 beside it (see
# scripts/make-release.sh for what goes in). The version is the project's.
# Only an optimised, stripped Release build is packed.
set(RELEASE_ZIP ${PROJECT_SOURCE_DIR}/dist/sortella-${PROJECT_VERSION}.zip)
if(CMAKE_BUILD_TYPE STREQUAL "Release")
    add_custom_target(release
        COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/make-release.sh $<TARGET_FILE:sortella>
                ${PROJECT_VERSION} ${CMAKE_BINARY_DIR}/release ${PROJECT_SOURCE_DIR}/dist
        DEPENDS sortella
        COMMENT "Packing ${RELEASE_ZIP}"
        VERBATIM)
else()
    add_custom_target(release
        COMMAND ${CMAKE_COMMAND} -E echo
                "The release is packed from a Release build: configure with -DCMAKE_BUILD_TYPE=Release."
        COMMAND ${CMAKE_COMMAND} -E false
        VERBATIM)
endif()

foreach(dir standins/host tests/win bench/win)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
        add_subdirectory(${dir})
    endif()
endforeach()
