# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a source file includes a header from a floor it must not reach, judged by
# its `#include "folder/..."` lines (a bare name is the includer's own folder when the
# file is there, else a file directly in src/core). Offenders are listed with file and
# line.
#
#   -DSRC_DIR=<src> -DPART=core        the core's floors, lowest first:
#       text/, platform/ and the files directly in src/core (Error.h, Warnings.h, ...)
#       dbf/ and xml/ (never each other)
#       centre_import/, solution_export/ and ZelvanoTables.h, the use cases (never
#       each other, but for the import's transaction, which the export uses to
#       finish an interrupted import before it reads the tables)
#       shell/
#   -DSRC_DIR=<src> -DPART=front_ends  ui/, win/, cli/, app/ and help/ reach the engine
#       only through the use cases: no dbf/ header and no ZelvanoTables.h, except the
#       command line's table printer (cli/TablePrinter.*), which shows a table as the
#       engine reads it.
cmake_minimum_required(VERSION 3.20)

if(NOT SRC_DIR OR NOT PART)
    message(FATAL_ERROR "usage: cmake -DSRC_DIR=<src> -DPART=core|front_ends -P CheckLayers.cmake")
endif()
set(core_dir "${SRC_DIR}/core")
set(include_regex "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")

# What each floor must not include. "lowest" is text/, platform/ and the files directly
# in src/core; "ZelvanoTables" is ZelvanoTables.h alone.
set(above_lowest dbf xml centre_import solution_export shell ZelvanoTables)
set(forbidden_lowest ${above_lowest})
set(forbidden_text ${above_lowest})
set(forbidden_platform ${above_lowest})
set(forbidden_dbf xml centre_import solution_export shell ZelvanoTables)
set(forbidden_xml dbf centre_import solution_export shell ZelvanoTables)
set(forbidden_centre_import solution_export shell)
set(forbidden_solution_export centre_import shell)
set(forbidden_ZelvanoTables centre_import solution_export shell)
set(forbidden_shell "")
set(forbidden_front_end dbf ZelvanoTables)
# The transaction is the import's, but every use case that reads the tables finishes
# or rolls back an interrupted import first: the export may include it.
set(exempt_solution_export "centre_import/TableTransaction.h")

# The floor of a core file.
function(floor_of_file file out)
    file(RELATIVE_PATH rel "${core_dir}" "${file}")
    if(rel MATCHES "^([^/]+)/")
        set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
    elseif(rel STREQUAL "ZelvanoTables.h")
        set(${out} "ZelvanoTables" PARENT_SCOPE)
    else()
        set(${out} "lowest" PARENT_SCOPE)
    endif()
endfunction()

# The floor an include line of `file` reaches, or "" for a header outside the core.
function(floor_of_include file included out)
    get_filename_component(name "${included}" NAME)
    if(name STREQUAL "ZelvanoTables.h")
        set(${out} "ZelvanoTables" PARENT_SCOPE)
    elseif(included MATCHES "^([^/]+)/")
        set(floor "${CMAKE_MATCH_1}")
        if(IS_DIRECTORY "${core_dir}/${floor}")
            set(${out} "${floor}" PARENT_SCOPE)
        else()
            set(${out} "" PARENT_SCOPE)
        endif()
    else()
        get_filename_component(dir "${file}" DIRECTORY)
        string(FIND "${dir}/" "${core_dir}/" in_core)
        if(EXISTS "${dir}/${included}" AND in_core EQUAL 0)
            floor_of_file("${dir}/${included}" floor)
            set(${out} "${floor}" PARENT_SCOPE)
        elseif(EXISTS "${core_dir}/${included}" OR EXISTS "${core_dir}/${included}.in")
            set(${out} "lowest" PARENT_SCOPE)
        else()
            set(${out} "" PARENT_SCOPE)
        endif()
    endif()
endfunction()

# Appends to `offenders` each include line of `file` whose floor is in `forbidden`,
# except the headers named in `exempt`.
function(check_file file forbidden exempt)
    file(STRINGS "${file}" lines REGEX "${include_regex}" ENCODING UTF-8)
    if(NOT lines)
        return()
    endif()
    file(READ "${file}" content)
    file(RELATIVE_PATH rel "${SRC_DIR}" "${file}")
    set(found ${offenders})
    set(searched_to 0)
    foreach(line IN LISTS lines)
        string(REGEX MATCH "${include_regex}" ignored "${line}")
        floor_of_include("${file}" "${CMAKE_MATCH_1}" floor)
        # The line's place: its first after the include line before it.
        string(SUBSTRING "${content}" ${searched_to} -1 rest)
        string(FIND "${rest}" "${line}" at)
        if(at GREATER_EQUAL 0)
            math(EXPR at "${at} + ${searched_to}")
            math(EXPR searched_to "${at} + 1")
        endif()
        if(floor STREQUAL "" OR NOT floor IN_LIST forbidden OR CMAKE_MATCH_1 IN_LIST exempt)
            continue()
        endif()
        set(number "?")
        if(at GREATER_EQUAL 0)
            # Its number: the newlines before it, plus one.
            string(SUBSTRING "${content}" 0 ${at} before)
            string(REGEX MATCHALL "\n" newlines "${before}")
            list(LENGTH newlines number)
            math(EXPR number "${number} + 1")
        endif()
        string(STRIP "${line}" line)
        list(APPEND found "src/${rel}:${number}: ${line}")
    endforeach()
    set(offenders ${found} PARENT_SCOPE)
endfunction()

set(offenders "")
set(checked 0)
if(PART STREQUAL "core")
    file(GLOB_RECURSE sources "${core_dir}/*.h" "${core_dir}/*.cpp" "${core_dir}/*.in")
    foreach(f IN LISTS sources)
        floor_of_file("${f}" floor)
        if(NOT DEFINED forbidden_${floor})
            list(APPEND offenders "src/core/${floor}: a folder of the core with no place among the floors")
            continue()
        endif()
        check_file("${f}" "${forbidden_${floor}}" "${exempt_${floor}}")
        math(EXPR checked "${checked} + 1")
    endforeach()
    set(what "the core's floors include only their own and lower floors")
elseif(PART STREQUAL "front_ends")
    set(sources "")
    foreach(dir ui win cli app help)
        file(GLOB_RECURSE found "${SRC_DIR}/${dir}/*.h" "${SRC_DIR}/${dir}/*.cpp")
        list(APPEND sources ${found})
    endforeach()
    foreach(f IN LISTS sources)
        if(f MATCHES "/cli/TablePrinter\\.[^/]*$")
            continue()
        endif()
        check_file("${f}" "${forbidden_front_end}" "")
        math(EXPR checked "${checked} + 1")
    endforeach()
    set(what "the front ends include no dbf/ header and no ZelvanoTables.h")
else()
    message(FATAL_ERROR "PART must be core or front_ends, not ${PART}")
endif()

if(checked EQUAL 0)
    message(FATAL_ERROR "no source file found under ${SRC_DIR}")
endif()
if(offenders)
    list(REMOVE_DUPLICATES offenders)
    list(JOIN offenders "\n  " listed)
    message(FATAL_ERROR "Not so: ${what}. Includes across the floors:\n  ${listed}")
endif()
message(STATUS "${what} (${checked} files checked)")
