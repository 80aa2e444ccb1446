# Runs PROGRAM --version and requires exit status 0 and exactly the line EXPECTED.
execute_process(COMMAND ${PROGRAM} --version RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "${EXPECTED}\n")
  message(FATAL_ERROR "${PROGRAM} --version: status ${rc}, output '${out}', errors '${err}'")
endif()
