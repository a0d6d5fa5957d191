# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a file under src/core includes a Qt header.
file(GLOB_RECURSE sources "${CORE_DIR}/*.h" "${CORE_DIR}/*.cpp" "${CORE_DIR}/*.in")
set(offenders "")
foreach(f IN LISTS sources)
    file(STRINGS "${f}" hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](Q[A-Za-z0-9_]*|Qt[A-Za-z0-9_]*/)")
    if(hits)
        list(APPEND offenders "${f}: ${hits}")
    endif()
endforeach()
if(offenders)
    message(FATAL_ERROR "Qt headers included in the core:\n${offenders}")
endif()
message(STATUS "src/core includes no Qt header (${CMAKE_MATCH_COUNT} checked)")
