# 32-bit Windows build: sortella.dll, the host stand-in and the Windows test
# programs, which ctest runs under Wine (see scripts/wine-run.sh).
set(SORTELLA_WIN_SOURCES
    plugin/entry.cpp
    plugin/host_services.cpp
    settings/settings.cpp
    settings/dialogs.cpp
    mailstore/mailbox.cpp
    filing/receive_filter.cpp
    filing/filing_command.cpp
    filing/filing_log.cpp
    classifier/web_state.cpp
    classifier/reclassify.cpp
    classifier/menus.cpp
    classifier/startup_wait.cpp
)

# Source files are UTF-8; every narrow literal becomes Shift_JIS in the binary.
set(SJIS_FLAGS -finput-charset=UTF-8 -fexec-charset=CP932)

# Everything of the plug-in but DllMain's resources and exports, so that the
# Windows unit tests can link the same code.
add_library(sortella_impl STATIC ${SORTELLA_CORE_SOURCES} ${SORTELLA_CORE_WIN_SOURCES} ${SORTELLA_WIN_SOURCES})
target_include_directories(sortella_impl PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_options(sortella_impl PUBLIC ${SJIS_FLAGS} -Wall -Wextra)
target_compile_definitions(sortella_impl PUBLIC WINVER=0x0501 _WIN32_WINNT=0x0501)
target_link_libraries(sortella_impl PUBLIC ws2_32 shell32 user32 kernel32)

# The version texts come from the project's version; the version resource
# writes version M.NN as M, 0, N, N (0.10 is 0, 0, 1, 0).
math(EXPR version_tens "${PROJECT_VERSION_MINOR} / 10")
math(EXPR version_ones "${PROJECT_VERSION_MINOR} % 10")
set(SORTELLA_FILE_VERSION "${PROJECT_VERSION_MAJOR},0,${version_tens},${version_ones}")
set(SORTELLA_FILE_VERSION_TEXT "${PROJECT_VERSION_MAJOR}, 0, ${version_tens}, ${version_ones}")
configure_file(plugin/version.h.in ${CMAKE_BINARY_DIR}/generated/plugin/version.h @ONLY)
target_include_directories(sortella_impl PUBLIC ${CMAKE_BINARY_DIR}/generated)

add_library(sortella SHARED plugin/sortella.rc plugin/sortella.def)
target_include_directories(sortella PRIVATE ${CMAKE_BINARY_DIR}/generated ${PROJECT_SOURCE_DIR}/plugin)
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
# One change to Debian's sources (cmake/gtest-no-watcher-thread.patch): on
# Windows, GoogleTest starts a watcher thread for every thread that first
# records a trace or a failure. Where 32-bit Wine runs under qemu's
# emulation, a thread started beside a running one can leave both on one
# thread block (one wait pipe, one stack), which stops the process for good.
# The Windows tests record from one thread only, so the watcher is not
# started (per-thread values of ended threads are simply kept).
set(gtest_source ${CMAKE_BINARY_DIR}/googletest-source)
file(REMOVE_RECURSE ${gtest_source})
file(COPY /usr/src/googletest/ DESTINATION ${gtest_source})
execute_process(COMMAND patch -p1 --forward --silent -d ${gtest_source}
                        -i ${PROJECT_SOURCE_DIR}/cmake/gtest-no-watcher-thread.patch
                RESULT_VARIABLE gtest_patched OUTPUT_VARIABLE gtest_patch_output ERROR_VARIABLE gtest_patch_output)
if(NOT gtest_patched EQUAL 0)
    message(FATAL_ERROR "cmake/gtest-no-watcher-thread.patch no longer applies to Debian's GoogleTest "
                        "sources (/usr/src/googletest): ${gtest_patch_output}")
endif()
add_subdirectory(${gtest_source} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Writes a .def that exports the host's 34 services from an executable
# under their stdcall-decorated names ("_APAMoveMail@8"), as the mail client
# does, from the one list of them (plugin/host_service_list.h). OMIT names
# one service to leave out.
function(sortella_host_def output)
    cmake_parse_arguments(ARG "" "OMIT" "" ${ARGN})
    file(READ ${PROJECT_SOURCE_DIR}/plugin/host_service_list.h list_text)
    string(REGEX MATCHALL "(CALLED|OTHER)\\(APA[A-Za-z]+, [0-9]+," services "${list_text}")
    set(text "EXPORTS\n")
    foreach(service ${services})
        string(REGEX MATCH "(APA[A-Za-z]+), ([0-9]+)," found "${service}")
        set(name ${CMAKE_MATCH_1})
        set(bytes ${CMAKE_MATCH_2})
        if(NOT name STREQUAL "${ARG_OMIT}")
            string(APPEND text "    _${name}@${bytes} = ${name}@${bytes}\n")
        endif()
    endforeach()
    list(LENGTH services count)
    if(NOT count EQUAL 34)
        message(FATAL_ERROR "plugin/host_service_list.h lists ${count} services, not 34")
    endif()
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

add_subdirectory(standins/host)
add_subdirectory(tests/win)
add_subdirectory(bench/win)
