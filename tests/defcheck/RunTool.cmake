# Runs TOOL (a list: an emulator may come first) on FILES and compares its exit status with EXPECT; with OUTPUT, the output must
# contain that text.
execute_process(COMMAND ${TOOL} ${FILES} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL EXPECT)
  message(FATAL_ERROR "exit status ${rc}, expected ${EXPECT}\n${out}${err}")
endif()
if(DEFINED OUTPUT AND NOT out MATCHES "${OUTPUT}")
  message(FATAL_ERROR "output lacks '${OUTPUT}':\n${out}")
endif()
message(STATUS "${out}")
