# Installs the build into a prefix of its own, then configures, builds and
# runs the consumer project against it with find_package(kelvorat), and
# runs the installed program.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DSOURCE_DIR=... -DDECK=... -DCXX=... [-DLINK_FLAGS=...] -P this
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(f bin/kelvorat include/kelvorat/engine.h include/kelvorat/version.h)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=Release
    "-DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/consumer ${DECK})
set(consumer_output "${last_output}")
if(NOT consumer_output MATCHES "^kelvorat 1\\.1\\.0: [1-9][0-9]* output times\n")
  message(FATAL_ERROR "unexpected consumer output:\n${consumer_output}")
endif()

# The installed program runs the same deck.
file(MAKE_DIRECTORY ${WORK_DIR}/run)
file(READ ${DECK} deck_text)
file(WRITE ${WORK_DIR}/run/kelvorat.dat "${deck_text}")
execute_process(COMMAND ${prefix}/bin/kelvorat WORKING_DIRECTORY ${WORK_DIR}/run
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0 OR NOT EXISTS ${WORK_DIR}/run/kelvorat.res)
  message(FATAL_ERROR "the installed kelvorat failed (${rc})")
endif()
