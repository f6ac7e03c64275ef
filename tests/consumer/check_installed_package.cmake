# Installs the build tree BUILD_DIR into a fresh prefix under WORK_DIR, builds the consumer
# project against it with the same compiler and flags, runs it and checks its output. A package
# built for the real device (DEVICE cuda) may find no usable GPU here: the consumer must then
# stop at the first page-locked allocation with the runtime's line.
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")

function(run_step what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${what} failed (${status}):\n${out}\n${err}")
    endif()
    set(step_output "${out}" PARENT_SCOPE)
endfunction()

run_step("install" "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}")
run_step("configure" "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${WORK_DIR}/build" -G Ninja
    "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}")
run_step("build" "${CMAKE_COMMAND}" --build "${WORK_DIR}/build")
execute_process(COMMAND "${WORK_DIR}/build/consumer"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(expected " four1   4.000000      -2.000000    \n c2c_1d   1.000000      0.0000000E+00\n")
set(no_gpu_line "c2c_1d(11) : cudaSafeCall() Runtime API error : ")
string(FIND "${err}" "${no_gpu_line}" no_gpu_at)
if(DEVICE STREQUAL "cuda" AND status EQUAL 255 AND no_gpu_at EQUAL 0)
    message(STATUS "no usable GPU: ${err}")
elseif(NOT status EQUAL 0 OR NOT out STREQUAL expected)
    message(FATAL_ERROR "the consumer ended with ${status} and printed [${out}] [${err}], "
                        "expected [${expected}]")
endif()
foreach(installed IN ITEMS bin/kelvane include/kelvane/four1.h include/kelvane/report.hpp
                           include/kelvane/ostrel.h include/kelvane/c2c_1d.h
                           include/kelvane/quimbel.h)
    if(NOT EXISTS "${prefix}/${installed}")
        message(FATAL_ERROR "not installed: ${installed}")
    endif()
endforeach()
