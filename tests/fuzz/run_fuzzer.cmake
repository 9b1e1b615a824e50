# Runs the fuzzer for SECONDS on a copy of the seeds in SEEDS: the inputs it adds
# and any input that fails stay under WORK_DIR, and the committed seeds stay as
# they are.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/corpus ${WORK_DIR}/artifacts)
file(GLOB seeds ${SEEDS}/*)
file(COPY ${seeds} DESTINATION ${WORK_DIR}/corpus)

execute_process(
  COMMAND ${FUZZER} ${WORK_DIR}/corpus -max_total_time=${SECONDS} -max_len=64 -timeout=30
          -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix=${WORK_DIR}/artifacts/
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(GLOB found ${WORK_DIR}/artifacts/*)
  message(FATAL_ERROR "the fuzzer stopped with ${result}; failing input: ${found}")
endif()
