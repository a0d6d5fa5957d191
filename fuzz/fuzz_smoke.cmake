# SPDX-License-Identifier: GPL-3.0-or-later
# Short libFuzzer run of FUZZER from its seed folders SEEDS (a ;-list); new inputs go
# to the fresh folder CORPUS, never to the seeds. OPTIONS are extra libFuzzer flags,
# SECONDS the run's length. Any finding (crash, leak, timeout, sanitizer report)
# fails the run; libFuzzer writes the input to ARTIFACTS.
# Usage: cmake -DFUZZER=... -DCORPUS=... -DSEEDS=... -DARTIFACTS=... [-DOPTIONS=...]
#        [-DSECONDS=30] -P fuzz_smoke.cmake
if(NOT SECONDS)
    set(SECONDS 30)
endif()
file(REMOVE_RECURSE "${CORPUS}")
file(MAKE_DIRECTORY "${CORPUS}" "${ARTIFACTS}")
execute_process(
    COMMAND "${FUZZER}" -max_total_time=${SECONDS} -print_final_stats=1 ${OPTIONS}
        -artifact_prefix=${ARTIFACTS}/ "${CORPUS}" ${SEEDS}
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "fuzz smoke run of ${FUZZER} failed (${result}); inputs in ${ARTIFACTS}")
endif()
