# Runs PROGRAM and compares its exit status and its standard output and error, each either
# empty or one line, with EXPECTED_STATUS, EXPECTED_OUT and EXPECTED_ERR.
execute_process(COMMAND "${PROGRAM}"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
foreach(stream IN ITEMS OUT ERR)
    if(EXPECTED_${stream} STREQUAL "")
        set(expected_${stream} "")
    else()
        set(expected_${stream} "${EXPECTED_${stream}}\n")
    endif()
endforeach()
if(NOT status STREQUAL EXPECTED_STATUS OR NOT out STREQUAL expected_OUT
   OR NOT err STREQUAL expected_ERR)
    message(FATAL_ERROR "${PROGRAM}\n"
        "exit status ${status}, expected ${EXPECTED_STATUS}\n"
        "standard output [${out}], expected [${expected_OUT}]\n"
        "standard error [${err}], expected [${expected_ERR}]")
endif()
