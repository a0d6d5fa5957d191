# SPDX-License-Identifier: GPL-3.0-or-later
# pugixml for the fuzz build: the source of the version Debian installed (fetched by
# scripts/fetch-pugixml, the same script the Windows cross-build uses) compiled into
# the fuzz tree with the fuzzers' coverage and sanitizer instrumentation, so that the
# XML fuzzers see pugixml's branches too. Other builds link the system library.
set(TRAMAZEL_PUGIXML_SOURCE_DIR "" CACHE PATH
    "pugixml's source folder for the fuzz build (empty: fetched with scripts/fetch-pugixml)")
if(NOT EXISTS "${TRAMAZEL_PUGIXML_SOURCE_DIR}/src/pugixml.cpp")
    execute_process(
        COMMAND ${PROJECT_SOURCE_DIR}/scripts/fetch-pugixml ${CMAKE_BINARY_DIR}/deps
        OUTPUT_VARIABLE fetched OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE fetch_result)
    if(NOT fetch_result EQUAL 0)
        message(FATAL_ERROR "scripts/fetch-pugixml failed (${fetch_result})")
    endif()
    string(REGEX REPLACE ".*\n" "" fetched "${fetched}")
    set(TRAMAZEL_PUGIXML_SOURCE_DIR "${fetched}" CACHE PATH
        "pugixml's source folder for the fuzz build (empty: fetched with scripts/fetch-pugixml)" FORCE)
endif()
message(STATUS "pugixml for the fuzzers: ${TRAMAZEL_PUGIXML_SOURCE_DIR}")

add_library(tramazel_fuzz_pugixml STATIC ${TRAMAZEL_PUGIXML_SOURCE_DIR}/src/pugixml.cpp)
target_include_directories(tramazel_fuzz_pugixml SYSTEM BEFORE PUBLIC ${TRAMAZEL_PUGIXML_SOURCE_DIR}/src)
target_compile_options(tramazel_fuzz_pugixml PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
add_library(pugixml::pugixml ALIAS tramazel_fuzz_pugixml)
