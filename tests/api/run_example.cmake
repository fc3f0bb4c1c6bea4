# Runs the C example on the samples and compares its lines and status.
separate_arguments(program UNIX_COMMAND "${PROGRAM}")
execute_process(COMMAND ${program} ${SAMPLES}/climb.wlx ${SAMPLES}/example.wlx ${SAMPLES}/seed36.wlx ${SAMPLES}/missing.wlx
                OUTPUT_VARIABLE out RESULT_VARIABLE status)
set(expected "${SAMPLES}/climb.wlx\tvalid\n${SAMPLES}/example.wlx\tinvalid\n${SAMPLES}/seed36.wlx\tvalid\n${SAMPLES}/missing.wlx\terror\n")
if(NOT out STREQUAL expected OR NOT status EQUAL 1)
  message(FATAL_ERROR "check_file printed:\n${out}(status ${status}), expected:\n${expected}(status 1)")
endif()
