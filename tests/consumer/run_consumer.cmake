# Installs the built MARLREND into a fresh prefix, then configures, builds and runs the
# consumer project against that prefix alone, as a driver project would use it.
#   cmake -DMARL_BUILD_DIR=... -DMARL_SOURCE_DIR=... -DMARL_WORK_DIR=... [-DMARL_TOOLCHAIN=...]
#         [-DMARL_EMULATOR=...] -P run_consumer.cmake
foreach(variable MARL_BUILD_DIR MARL_SOURCE_DIR MARL_WORK_DIR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "failed (${status}): ${command}")
  endif()
endfunction()

set(prefix ${MARL_WORK_DIR}/prefix)
set(build ${MARL_WORK_DIR}/build)
file(REMOVE_RECURSE ${MARL_WORK_DIR})

run(${CMAKE_COMMAND} --install ${MARL_BUILD_DIR} --prefix ${prefix})

set(configure ${CMAKE_COMMAND} -S ${MARL_SOURCE_DIR}/tests/consumer -B ${build}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=RelWithDebInfo)
if(MARL_TOOLCHAIN)
  list(APPEND configure -DCMAKE_TOOLCHAIN_FILE=${MARL_TOOLCHAIN})
endif()
run(${configure})
run(${CMAKE_COMMAND} --build ${build})

find_program(consumer consumer consumer.exe PATHS ${build} NO_DEFAULT_PATH REQUIRED)
run(${MARL_EMULATOR} ${consumer})
