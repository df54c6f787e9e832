# Native Linux build: the portable core with sanitizers, its tests, the
# POPFile stand-in, fuzz targets and benchmarks.
option(SORTELLA_SANITIZE "Build the core and its tests with ASan and UBSan" ON)
set(SORTELLA_TEST_DATA ${CMAKE_CURRENT_SOURCE_DIR}/tests/data)

if(SORTELLA_SANITIZE)
    set(SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
endif()

existing_sources(core_sources ${SORTELLA_CORE_SOURCES} ${SORTELLA_CORE_POSIX_SOURCES})
add_library(sortella_core STATIC ${core_sources})
target_include_directories(sortella_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(sortella_core PUBLIC SORTELLA_FAULT_INJECTION=1)
target_compile_options(sortella_core PUBLIC -Wall -Wextra ${SANITIZE_FLAGS})
target_link_options(sortella_core PUBLIC ${SANITIZE_FLAGS})

find_package(GTest REQUIRED)
include(GoogleTest)

file(GLOB native_tests ${CMAKE_CURRENT_SOURCE_DIR}/tests/core/*_test.cpp)
if(native_tests)
    add_executable(core_tests ${native_tests})
    target_link_libraries(core_tests sortella_core GTest::gtest_main)
    target_compile_definitions(core_tests PRIVATE SORTELLA_TEST_DATA="${SORTELLA_TEST_DATA}")
    add_test(NAME core_tests COMMAND core_tests)
endif()

foreach(dir standins/popfile fuzz bench)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
        add_subdirectory(${dir})
    endif()
endforeach()
