# Runs kelvorat on one deck in a scratch directory and compares every
# result file, the console and the error stream with the stored ones.
#   cmake -DEXE=<kelvorat> -DCASE_DIR=<case> -DWORK_DIR=<scratch> -P run_case.cmake
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
file(COPY ${CASE_DIR}/kelvorat.dat DESTINATION ${WORK_DIR})
execute_process(COMMAND ${EXE} WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE status
                OUTPUT_FILE ${WORK_DIR}/console.txt ERROR_FILE ${WORK_DIR}/stderr.txt)

set(expected_status 0)
if(EXISTS ${CASE_DIR}/expected/status)
  file(STRINGS ${CASE_DIR}/expected/status expected_status LIMIT_COUNT 1)
endif()
if(NOT status EQUAL expected_status)
  file(READ ${WORK_DIR}/stderr.txt err)
  message(FATAL_ERROR "exit status ${status}, expected ${expected_status}\n${err}")
endif()

set(failed "")
foreach(f adet.res kelvorat.res kelvdim.res dim2.res tromb.res console.txt stderr.txt)
  if(EXISTS ${CASE_DIR}/expected/${f})
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/${f}
                            ${CASE_DIR}/expected/${f} RESULT_VARIABLE differs)
    if(differs)
      list(APPEND failed ${f})
    endif()
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "differ from the stored results: ${failed} (see ${WORK_DIR})")
endif()
