# Installs the build tree BUILD_DIR into a fresh prefix under WORK_DIR and builds docs/libraries.md's
# examples against it, as their users would: the C++ project, and where FORTRAN_COMPILER is
# given the Fortran project and the plain gfortran link line. Each program runs and its output
# is checked. A package built for the real device (DEVICE cuda) may find no usable GPU here:
# a program must then stop at the first page-locked allocation with the runtime's line.
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")

function(run_step what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${what} failed (${status}):\n${out}\n${err}")
    endif()
endfunction()

function(expect_run program expected)
    execute_process(COMMAND "${program}" RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    string(FIND "${err}" "c2c_1d(11) : cudaSafeCall() Runtime API error : " no_gpu_at)
    if(DEVICE STREQUAL "cuda" AND status EQUAL 255 AND no_gpu_at EQUAL 0)
        message(STATUS "no usable GPU: ${err}")
    elseif(NOT status EQUAL 0 OR NOT out STREQUAL expected)
        message(FATAL_ERROR "${program} ended with ${status} and printed [${out}] [${err}], "
                            "expected [${expected}]")
    endif()
endfunction()

run_step("install" "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}")
foreach(installed IN ITEMS bin/kelvane include/kelvane/four1.h include/kelvane/report.hpp
                           include/kelvane/ostrel.h include/kelvane/c2c_1d.h
                           include/kelvane/quimbel.h)
    if(NOT EXISTS "${prefix}/${installed}")
        message(FATAL_ERROR "not installed: ${installed}")
    endif()
endforeach()
foreach(internal IN ITEMS include/kelvane/four1_plain.hpp include/kelvane/cufft.h
                          include/kelvane/cuda_runtime_api.h)
    if(EXISTS "${prefix}/${internal}")
        message(FATAL_ERROR "installed where every caller sees it: ${internal}")
    endif()
endforeach()

# C++, with the compiler's own default standard: the package must ask for what it needs.
run_step("configure (C++)" "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${WORK_DIR}/cxx" -G Ninja
    "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
    "-DCMAKE_CXX_FLAGS=${SANITIZER_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${SANITIZER_FLAGS}")
run_step("build (C++)" "${CMAKE_COMMAND}" --build "${WORK_DIR}/cxx")
expect_run("${WORK_DIR}/cxx/app"
    " four1   4.000000      -2.000000    \n c2c_1d   1.000000      0.0000000E+00\n")

if(FORTRAN_COMPILER)
    set(fortran_expected "fortran app ok\n")
    run_step("configure (Fortran)" "${CMAKE_COMMAND}" -S "${SOURCE_DIR}/fortran"
        -B "${WORK_DIR}/fortran" -G Ninja "-DCMAKE_PREFIX_PATH=${prefix}"
        "-DCMAKE_Fortran_COMPILER=${FORTRAN_COMPILER}"
        "-DCMAKE_Fortran_FLAGS=${SANITIZER_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${SANITIZER_FLAGS}")
    run_step("build (Fortran)" "${CMAKE_COMMAND}" --build "${WORK_DIR}/fortran")
    expect_run("${WORK_DIR}/fortran/app" "${fortran_expected}")

    if(DEVICE STREQUAL "host")
        set(by_hand "${WORK_DIR}/by_hand")
        file(COPY "${SOURCE_DIR}/fortran/app.f90" DESTINATION "${by_hand}")
        execute_process(COMMAND sh "${SOURCE_DIR}/fortran/link_by_hand.sh" "${prefix}"
                                "${SANITIZER_FLAGS}"
            WORKING_DIRECTORY "${by_hand}" RESULT_VARIABLE status ERROR_VARIABLE err)
        if(NOT status EQUAL 0)
            message(FATAL_ERROR "the gfortran line of docs/libraries.md failed (${status}):\n${err}")
        endif()
        expect_run("${by_hand}/app" "${fortran_expected}")
    endif()
endif()
