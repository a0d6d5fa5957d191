# SPDX-License-Identifier: GPL-3.0-or-later
# Short libFuzzer run of FUZZER seeded from SEEDS (and EXTRA_SEEDS, a second folder,
# when given); new inputs go to the fresh folder CORPUS.
# Usage: cmake -DFUZZER=... -DCORPUS=... -DSEEDS=... [-DEXTRA_SEEDS=...] -P fuzz_xml_smoke.cmake
file(REMOVE_RECURSE "${CORPUS}")
file(MAKE_DIRECTORY "${CORPUS}")
execute_process(
    COMMAND "${FUZZER}" -max_total_time=30 -max_len=8192 "${CORPUS}" "${SEEDS}" ${EXTRA_SEEDS}
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "fuzz smoke run failed: ${result}")
endif()
