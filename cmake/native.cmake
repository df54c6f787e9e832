# Native Linux build: the portable core with sanitizers, its tests, the
# POPFile stand-in, fuzz targets and benchmarks.
option(SORTELLA_SANITIZE "Build the core and its tests with ASan and UBSan" ON)

if(SORTELLA_SANITIZE)
    set(SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
endif()

add_library(sortella_core STATIC ${SORTELLA_CORE_SOURCES} ${SORTELLA_CORE_POSIX_SOURCES})
target_include_directories(sortella_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(sortella_core PUBLIC SORTELLA_FAULT_INJECTION=1)
target_compile_options(sortella_core PUBLIC -Wall -Wextra ${SANITIZE_FLAGS})
target_link_options(sortella_core PUBLIC ${SANITIZE_FLAGS})

find_package(GTest REQUIRED)
include(GoogleTest)

# The native tests of the portable core, one program.
add_executable(core_tests
    tests/core/bucket_list_test.cpp
    tests/core/editor_command_test.cpp
    tests/core/encoded_words_test.cpp
    tests/core/header_reader_test.cpp
    tests/core/header_rewrite_test.cpp
    tests/core/http_client_test.cpp
    tests/core/http_wire_test.cpp
    tests/core/links_test.cpp
    tests/core/log_file_test.cpp
    tests/core/log_line_test.cpp
    tests/core/menu_choices_test.cpp
    tests/core/message_paths_test.cpp
    tests/core/reclassify_form_test.cpp
    tests/core/summary_text_test.cpp
    tests/core/text_test.cpp
)
target_link_libraries(core_tests sortella_core GTest::gtest_main)
add_test(NAME core_tests COMMAND core_tests)

add_subdirectory(standins/popfile)
add_subdirectory(fuzz)
add_subdirectory(bench)

# The user's documents (readme, guide, sample settings) against the code.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
add_test(NAME docs_check
         COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/scripts/check_docs.py ${CMAKE_SOURCE_DIR})
