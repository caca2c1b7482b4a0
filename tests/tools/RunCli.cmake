# Runs TOOL (a list: an emulator may come first) with ARGS (comma-separated) and checks the
# exit status (EXPECT) and the standard output and error, stripped, against the regexes OUT and
# ERR.
string(REPLACE "," ";" args "${ARGS}")
execute_process(COMMAND ${TOOL} ${args} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc STREQUAL EXPECT)
  message(FATAL_ERROR "exit status ${rc}, expected ${EXPECT}\nstdout: ${out}\nstderr: ${err}")
endif()
string(STRIP "${out}" out)
string(STRIP "${err}" err)
if(NOT out MATCHES "${OUT}")
  message(FATAL_ERROR "stdout does not match '${OUT}':\n${out}")
endif()
if(NOT err MATCHES "${ERR}")
  message(FATAL_ERROR "stderr does not match '${ERR}':\n${err}")
endif()
