# The device behind ostrel and c2c_1d.
#
# KELVANE_DEVICE = auto | cuda | host. `cuda` links the CUDA runtime and cuFFT, `host` the
# emulation in emu/, `auto` takes cuda where the toolkit and an NVIDIA driver (libcuda.so.1,
# not the toolkit's stub) are present, else host.
#
# The units that call the device are built once per available variant: `<unit>_host` always,
# `<unit>_cuda` where the toolkit is found. The chosen variant is the deliverable: it takes the
# unit's plain name and is installed; the other builds only for the tests, which run every
# device test on the emulation and check the real runtime where it is present.

set(KELVANE_DEVICE auto CACHE STRING "Device behind the GPU bridge: auto, cuda or host")
set_property(CACHE KELVANE_DEVICE PROPERTY STRINGS auto cuda host)

find_package(CUDAToolkit QUIET)
set(KELVANE_DEVICE_VARIANTS host)
set(KELVANE_DEVICE_LIBRARIES_host kelvane::emu)
if(CUDAToolkit_FOUND)
    list(APPEND KELVANE_DEVICE_VARIANTS cuda)
    set(KELVANE_DEVICE_LIBRARIES_cuda CUDA::cudart CUDA::cufft)
endif()

if(KELVANE_DEVICE STREQUAL "auto")
    find_library(KELVANE_CUDA_DRIVER NAMES libcuda.so.1
        HINTS /usr/local/nvidia/lib64 /usr/lib/wsl/lib
        DOC "The NVIDIA driver library; the toolkit's stub does not count")
    if(CUDAToolkit_FOUND AND KELVANE_CUDA_DRIVER)
        set(KELVANE_DEVICE_RESOLVED cuda)
        set(reason "CUDA toolkit ${CUDAToolkit_VERSION} and driver ${KELVANE_CUDA_DRIVER}")
    else()
        set(KELVANE_DEVICE_RESOLVED host)
        if(CUDAToolkit_FOUND)
            set(reason "no NVIDIA driver (libcuda.so.1) found")
        else()
            set(reason "no CUDA toolkit found")
        endif()
    endif()
elseif(KELVANE_DEVICE STREQUAL "cuda")
    if(NOT CUDAToolkit_FOUND)
        message(FATAL_ERROR "KELVANE_DEVICE=cuda, but no CUDA toolkit was found")
    endif()
    set(KELVANE_DEVICE_RESOLVED cuda)
    set(reason "chosen")
elseif(KELVANE_DEVICE STREQUAL "host")
    set(KELVANE_DEVICE_RESOLVED host)
    set(reason "chosen")
else()
    message(FATAL_ERROR "KELVANE_DEVICE must be auto, cuda or host, not '${KELVANE_DEVICE}'")
endif()
message(STATUS "kelvane device: ${KELVANE_DEVICE_RESOLVED} (${reason})")

# Gives the chosen variant of a per-device target the deliverable's name; leaves the others
# out of the default build unless the tests need them.
function(kelvane_device_variant target name variant)
    if(variant STREQUAL KELVANE_DEVICE_RESOLVED)
        set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name} EXPORT_NAME ${name})
    elseif(NOT BUILD_TESTING)
        set_target_properties(${target} PROPERTIES EXCLUDE_FROM_ALL ON)
    endif()
endfunction()
