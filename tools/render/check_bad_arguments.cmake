# Runs lumivane-render with bad arguments and unreadable input; each call must end
# with exit code 2 and a single line on stderr, and write no output file.
# Called by ctest: cmake -DRENDER=<program> -DWORK_DIR=<scratch dir> -P check_bad_arguments.cmake
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(good "${WORK_DIR}/desktop.ppm")
# A 60 x 50 grey desktop: P6 header and 9000 bytes of value 64 ('@').
string(REPEAT "@" 9000 pixels)
file(WRITE "${good}" "P6\n60 50\n255\n${pixels}")
file(WRITE "${WORK_DIR}/truncated.ppm" "P6\n60 50\n255\nabc")
set(out "${WORK_DIR}/out.ppm")

set(failures 0)
function(expect_usage_error label)
  execute_process(COMMAND "${RENDER}" ${ARGN}
                  RESULT_VARIABLE code OUTPUT_VARIABLE stdout ERROR_VARIABLE stderr)
  string(REGEX MATCHALL "\n" newlines "${stderr}")
  list(LENGTH newlines lines)
  if(NOT code EQUAL 2 OR NOT lines EQUAL 1 OR NOT stderr MATCHES "^lumivane-render: "
     OR EXISTS "${out}")
    message(SEND_ERROR "${label}: exit ${code}, stderr '${stderr}'")
  else()
    string(STRIP "${stderr}" stderr)
    message(STATUS "${label}: ${stderr}")
  endif()
  file(REMOVE "${out}")
endfunction()

expect_usage_error("no arguments")
expect_usage_error("unknown option" --background "${good}" --time 10:10:30 --output "${out}" --colour red)
expect_usage_error("missing value" --background "${good}" --output "${out}" --time)
expect_usage_error("missing --time" --background "${good}" --output "${out}")
expect_usage_error("hour 25" --background "${good}" --time 25:00:00 --output "${out}")
expect_usage_error("minute 60" --background "${good}" --time 10:60:00 --output "${out}")
expect_usage_error("bad number" --background "${good}" --time 10:10:30 --output "${out}" --size 1x)
expect_usage_error("number beyond 32 bits" --background "${good}" --time 10:10:30 --output "${out}" --left 99999999999)
expect_usage_error("bad screen" --background "${good}" --time 10:10:30 --output "${out}" --screen 0x768)
expect_usage_error("no frames" --background "${good}" --time 10:10:30 --output "${out}" --frames 0)
expect_usage_error("no picture" --background "${good}" --time 10:10:30 --output "${out}" --size 0)
expect_usage_error("missing input" --background "${WORK_DIR}/absent.ppm" --time 10:10:30 --output "${out}")
expect_usage_error("truncated input" --background "${WORK_DIR}/truncated.ppm" --time 10:10:30 --output "${out}")
expect_usage_error("unknown output type" --background "${good}" --time 10:10:30 --output "${WORK_DIR}/out.bmp")

# The same desktop with good arguments draws: the scratch files above are sound.
execute_process(COMMAND "${RENDER}" --background "${good}" --time 10:10:30 --output "${out}"
                --screen 1366x768 RESULT_VARIABLE code ERROR_VARIABLE stderr)
if(NOT code EQUAL 0 OR NOT EXISTS "${out}")
  message(SEND_ERROR "good arguments: exit ${code}, stderr '${stderr}'")
endif()
