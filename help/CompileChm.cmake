# SPDX-License-Identifier: GPL-3.0-or-later
# Compiles a help project into a .chm: cmake -DCHMCMD=... -DPROJECT=x.hhp
#   -DWORK_DIR=dir -DNAME=x.chm -DOUTPUT=path/x.chm -P CompileChm.cmake
# chmcmd writes into the current directory and may print "Error:" lines for things
# that do not stop it (anchors, links outside the project), exiting with 0; so the
# outcome is judged by the exit code and the file it leaves.
foreach(var CHMCMD PROJECT WORK_DIR NAME OUTPUT)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "CompileChm.cmake: ${var} not set")
    endif()
endforeach()
file(MAKE_DIRECTORY "${WORK_DIR}")
file(REMOVE "${WORK_DIR}/${NAME}")
execute_process(COMMAND "${CHMCMD}" "${PROJECT}"
    WORKING_DIRECTORY "${WORK_DIR}"
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT EXISTS "${WORK_DIR}/${NAME}")
    message(FATAL_ERROR "chmcmd failed on ${PROJECT} (exit ${result}):\n${output}")
endif()
file(SIZE "${WORK_DIR}/${NAME}" size)
if(size EQUAL 0)
    message(FATAL_ERROR "chmcmd left an empty ${NAME}:\n${output}")
endif()
get_filename_component(out_dir "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${out_dir}")
file(COPY_FILE "${WORK_DIR}/${NAME}" "${OUTPUT}")
