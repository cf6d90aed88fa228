# Runs the orvpw tool once and checks its exit status and output.
# Usage: cmake -DCLI=<orvpw> -DARGS=<a;b;c> -DEXPECT_EXIT=<n> [-DSTDOUT_MATCH=<regex;...>]
#              [-DSTDERR_MATCH=<regex;...>] [-DWORK_DIR=<dir>] -P run_cli.cmake
if(NOT WORK_DIR)
  set(WORK_DIR ${CMAKE_CURRENT_BINARY_DIR})
endif()
execute_process(COMMAND ${CLI} ${ARGS}
  WORKING_DIRECTORY ${WORK_DIR}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 120)
set(report "orvpw ${ARGS}\n--- exit: ${rc}\n--- stdout:\n${out}\n--- stderr:\n${err}")
if(NOT "${rc}" STREQUAL "${EXPECT_EXIT}")
  message(FATAL_ERROR "expected exit ${EXPECT_EXIT}\n${report}")
endif()
foreach(pattern IN LISTS STDOUT_MATCH)
  if(NOT out MATCHES "${pattern}")
    message(FATAL_ERROR "stdout does not match '${pattern}'\n${report}")
  endif()
endforeach()
foreach(pattern IN LISTS STDERR_MATCH)
  if(NOT err MATCHES "${pattern}")
    message(FATAL_ERROR "stderr does not match '${pattern}'\n${report}")
  endif()
endforeach()
