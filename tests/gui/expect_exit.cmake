# Runs one test of a test program and checks that the program ends by itself, with the given
# exit code and a line matching OUTPUT on standard output or error (a crash, a missing display).
# Variables: EMULATOR (Wine), PROGRAM, FILTER (the gtest filter), EXIT, OUTPUT (a regex),
# NO_DISPLAY (run without an X display).
if(NO_DISPLAY)
  unset(ENV{DISPLAY})
endif()
execute_process(COMMAND ${EMULATOR} ${PROGRAM} --gtest_filter=${FILTER}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 120)
if(NOT "${rc}" STREQUAL "${EXIT}")
  message(FATAL_ERROR "exit ${rc}, expected ${EXIT}\nstdout:\n${out}\nstderr:\n${err}")
endif()
if(NOT "${out}${err}" MATCHES "${OUTPUT}")
  message(FATAL_ERROR "no output matches '${OUTPUT}'\nstdout:\n${out}\nstderr:\n${err}")
endif()
