# Writes what a program prints to a file, at build time:
#   cmake -DPROGRAM=<path> "-DARGUMENTS=completion;bash" -DOUTPUT=<file> -P CommandOutput.cmake
execute_process(COMMAND "${PROGRAM}" ${ARGUMENTS} OUTPUT_FILE "${OUTPUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} ${ARGUMENTS} exited ${status}")
endif()
