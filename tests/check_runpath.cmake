# No binary may carry an empty runpath entry: the dynamic loader reads one as the current
# directory, where anyone could plant a library. Checks every executable under SCAN_DIR and,
# where CUDA_BUILD_DIR is given, the program of a release build for the real device, whose
# installed deliverable links the toolkit's libraries.
function(check_binary binary)
    execute_process(COMMAND readelf -d "${binary}" OUTPUT_VARIABLE dynamic RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        return() # not an ELF file
    endif()
    string(REGEX MATCHALL "(RUNPATH|RPATH)\\)[^\n]*\\[[^]\n]*\\]" entries "${dynamic}")
    foreach(entry IN LISTS entries)
        string(REGEX REPLACE ".*\\[(.*)\\]" "\\1" path "${entry}")
        if(path STREQUAL "" OR path MATCHES "^:|::|:$")
            message(FATAL_ERROR "${binary}: empty entry in its runpath \"${path}\"")
        endif()
    endforeach()
endfunction()

if(CUDA_BUILD_DIR)
    file(REMOVE_RECURSE "${CUDA_BUILD_DIR}")
    execute_process(
        COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${CUDA_BUILD_DIR}" -G Ninja
                -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DKELVANE_DEVICE=cuda
        COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
    execute_process(COMMAND "${CMAKE_COMMAND}" --build "${CUDA_BUILD_DIR}" --target kelvane
        COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
    check_binary("${CUDA_BUILD_DIR}/kelvane")
endif()

execute_process(COMMAND find "${SCAN_DIR}" -type f -perm -u+x -not -path "*/CMakeFiles/*"
    OUTPUT_VARIABLE found COMMAND_ERROR_IS_FATAL ANY)
string(REPLACE "\n" ";" candidates "${found}")
foreach(candidate IN LISTS candidates)
    if(candidate AND NOT candidate MATCHES "\\.(sh|cmake)$")
        check_binary("${candidate}")
    endif()
endforeach()
