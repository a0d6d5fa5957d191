# SPDX-License-Identifier: GPL-3.0-or-later
# Warning flags for the project's own targets (not for third-party code).
function(tramazel_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /utf-8)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
            -Wsign-conversion -Wnon-virtual-dtor -Woverloaded-virtual)
        # GCC 12 reports -Wrestrict false positives inside libstdc++'s std::string at -O3.
        if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
            target_compile_options(${target} PRIVATE -Wno-restrict)
        endif()
    endif()
    if(TRAMAZEL_WERROR)
        target_compile_options(${target} PRIVATE $<IF:$<CXX_COMPILER_ID:MSVC>,/WX,-Werror>)
    endif()
endfunction()
