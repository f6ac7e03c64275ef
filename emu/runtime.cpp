// The CUDA runtime operations of the emulation.
#include "cuda_runtime_api.h"
#include "emulator.hpp"
#include "kelvane_emu.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <sys/mman.h>

// An event is only a handle here: its recorded time lives in the emulator's registry.
struct CUevent_st {};

namespace {

// The runtime and driver versions the emulation reports: the API it mirrors.
constexpr int emulated_version = 13000;

using kelvane::emu::allocation_map;
using kelvane::emu::operation;

// Maps whole pages for an allocation: inaccessible ones for the device, usable ones for
// page-locked host memory. Null when the system has none to give.
void* map_pages(std::size_t bytes, int protection) {
    const int flags = MAP_PRIVATE | MAP_ANONYMOUS | (protection == PROT_NONE ? MAP_NORESERVE : 0);
    void* pages = mmap(nullptr, kelvane::emu::page_rounded(bytes), protection, flags, -1, 0);
    if (pages == MAP_FAILED) return nullptr;
    kelvane::emu::prefer_huge_pages(pages, kelvane::emu::page_rounded(bytes));
    return pages;
}

cudaError_t allocate(allocation_map& allocations, std::size_t& allocated, std::size_t capacity,
                     int protection, void** address, std::size_t bytes) {
    if (address == nullptr) return cudaErrorInvalidValue;
    if (bytes == 0) {
        *address = nullptr;
        return cudaSuccess;
    }
    if (bytes > capacity - allocated) return cudaErrorMemoryAllocation;
    void* pages = map_pages(bytes, protection);
    if (pages == nullptr) return cudaErrorMemoryAllocation;
    allocations.emplace(reinterpret_cast<std::uintptr_t>(pages), bytes);
    allocated += bytes;
    *address = pages;
    return cudaSuccess;
}

cudaError_t release(allocation_map& allocations, std::size_t& allocated, void* address) {
    if (address == nullptr) return cudaSuccess;
    const auto found = allocations.find(reinterpret_cast<std::uintptr_t>(address));
    if (found == allocations.end()) return cudaErrorInvalidValue;
    munmap(address, kelvane::emu::page_rounded(found->second));
    allocated -= found->second;
    allocations.erase(found);
    return cudaSuccess;
}

} // namespace

extern "C" {

cudaError_t cudaMalloc(void** devPtr, size_t size) {
    return kelvane::emu::emulate<cudaError_t>(
        operation::cudaMalloc, [&](kelvane::emu::emulator& device) {
            return allocate(device.device_buffers, device.device_bytes, KELVANE_EMU_DEVICE_CAPACITY,
                            PROT_NONE, devPtr, size);
        });
}

cudaError_t cudaFree(void* devPtr) {
    return kelvane::emu::emulate<cudaError_t>(
        operation::cudaFree, [&](kelvane::emu::emulator& device) {
            return release(device.device_buffers, device.device_bytes, devPtr);
        });
}

cudaError_t cudaMallocHost(void** ptr, size_t size) {
    return kelvane::emu::emulate<cudaError_t>(
        operation::cudaMallocHost, [&](kelvane::emu::emulator& device) {
            return allocate(device.pinned_buffers, device.pinned_bytes, KELVANE_EMU_PINNED_CAPACITY,
                            PROT_READ | PROT_WRITE, ptr, size);
        });
}

cudaError_t cudaFreeHost(void* ptr) {
    return kelvane::emu::emulate<cudaError_t>(
        operation::cudaFreeHost, [&](kelvane::emu::emulator& device) {
            return release(device.pinned_buffers, device.pinned_bytes, ptr);
        });
}

cudaError_t cudaMemcpy(void* dst, const void* src, size_t count, enum cudaMemcpyKind kind) {
    return kelvane::emu::emulate<cudaError_t>(
        operation::cudaMemcpy, [&](kelvane::emu::emulator& device) {
            // Only the two directions the system uses are emulated.
            if (kind != cudaMemcpyHostToDevice && kind != cudaMemcpyDeviceToHost)
                return cudaErrorInvalidMemcpyDirection;
            if (count == 0) return cudaSuccess;
            const void* device_side = kind == cudaMemcpyHostToDevice ? dst : src;
            const void* host_side = kind == cudaMemcpyHostToDevice ? src : dst;
            if (host_side == nullptr ||
                !kelvane::emu::within_one_allocation(device.device_buffers, device_side, count) ||
                kelvane::emu::overlaps_any(device.device_buffers, host_side, count))
                return cudaErrorInvalidValue;
            const kelvane::emu::device_access open(device_side, count);
            std::memcpy(dst, src, count);
            return cudaSuccess;
        });
}

cudaError_t cudaGetDeviceCount(int* count) {
    return kelvane::emu::emulate<cudaError_t>(operation::cudaGetDeviceCount, [&](auto&) {
        if (count == nullptr) return cudaErrorInvalidValue;
        *count = 1;
        return cudaSuccess;
    });
}

cudaError_t cudaGetDeviceProperties(struct cudaDeviceProp* prop, int device) {
    return kelvane::emu::emulate<cudaError_t>(operation::cudaGetDeviceProperties, [&](auto&) {
        if (prop == nullptr) return cudaErrorInvalidValue;
        if (device != 0) return cudaErrorInvalidDevice;
        *prop = {};
        std::strncpy(prop->name, "kelvane host emulation", sizeof prop->name - 1);
        prop->totalGlobalMem = KELVANE_EMU_DEVICE_CAPACITY;
        prop->multiProcessorCount = 1;
        return cudaSuccess;
    });
}

cudaError_t cudaRuntimeGetVersion(int* runtimeVersion) {
    return kelvane::emu::emulate<cudaError_t>(operation::cudaRuntimeGetVersion, [&](auto&) {
        if (runtimeVersion == nullptr) return cudaErrorInvalidValue;
        *runtimeVersion = emulated_version;
        return cudaSuccess;
    });
}

cudaError_t cudaDriverGetVersion(int* driverVersion) {
    return kelvane::emu::emulate<cudaError_t>(operation::cudaDriverGetVersion, [&](auto&) {
        if (driverVersion == nullptr) return cudaErrorInvalidValue;
        *driverVersion = emulated_version;
        return cudaSuccess;
    });
}

cudaError_t cudaDeviceSynchronize(void) {
    // Every emulated operation has finished when it returns.
    return kelvane::emu::emulate<cudaError_t>(operation::cudaDeviceSynchronize,
                                              [](auto&) { return cudaSuccess; });
}

cudaError_t cudaEventCreate(cudaEvent_t* event) {
    return kelvane::emu::emulate<cudaError_t>(
        operation::cudaEventCreate, [&](kelvane::emu::emulator& device) {
            if (event == nullptr) return cudaErrorInvalidValue;
            auto created = std::make_unique<CUevent_st>();
            device.events.emplace(created.get(), std::nullopt);
            *event = created.release();
            return cudaSuccess;
        });
}

cudaError_t cudaEventDestroy(cudaEvent_t event) {
    return kelvane::emu::emulate<cudaError_t>(operation::cudaEventDestroy,
                                              [&](kelvane::emu::emulator& device) {
                                                  if (device.events.erase(event) != 1)
                                                      return cudaErrorInvalidResourceHandle;
                                                  delete event;
                                                  return cudaSuccess;
                                              });
}

cudaError_t cudaEventRecord(cudaEvent_t event, cudaStream_t stream) {
    return kelvane::emu::emulate<cudaError_t>(operation::cudaEventRecord,
                                              [&](kelvane::emu::emulator& device) {
                                                  const auto found = device.events.find(event);
                                                  if (found == device.events.end())
                                                      return cudaErrorInvalidResourceHandle;
                                                  // Only the default stream exists here.
                                                  if (stream != nullptr)
                                                      return cudaErrorInvalidResourceHandle;
                                                  found->second = std::chrono::steady_clock::now();
                                                  return cudaSuccess;
                                              });
}

cudaError_t cudaEventSynchronize(cudaEvent_t event) {
    return kelvane::emu::emulate<cudaError_t>(
        operation::cudaEventSynchronize, [&](kelvane::emu::emulator& device) {
            return device.events.contains(event) ? cudaSuccess : cudaErrorInvalidResourceHandle;
        });
}

cudaError_t cudaEventElapsedTime(float* ms, cudaEvent_t start, cudaEvent_t end) {
    return kelvane::emu::emulate<cudaError_t>(
        operation::cudaEventElapsedTime, [&](kelvane::emu::emulator& device) {
            if (ms == nullptr) return cudaErrorInvalidValue;
            const auto first = device.events.find(start);
            const auto last = device.events.find(end);
            if (first == device.events.end() || last == device.events.end())
                return cudaErrorInvalidResourceHandle;
            // As on a GPU, an event never recorded has no time to give.
            if (!first->second || !last->second) return cudaErrorInvalidResourceHandle;
            *ms = std::chrono::duration<float, std::milli>(*last->second - *first->second).count();
            return cudaSuccess;
        });
}

const char* cudaGetErrorString(cudaError_t error) {
    // The runtime's own texts for every status the emulation produces.
    switch (static_cast<int>(error)) {
    case cudaSuccess:
        return "no error";
    case cudaErrorInvalidValue:
        return "invalid argument";
    case cudaErrorMemoryAllocation:
        return "out of memory";
    case cudaErrorInitializationError:
        return "initialization error";
    case cudaErrorInvalidDevicePointer:
        return "invalid device pointer";
    case cudaErrorInvalidMemcpyDirection:
        return "invalid copy direction for memcpy";
    case cudaErrorInsufficientDriver:
        return "CUDA driver version is insufficient for CUDA runtime version";
    case cudaErrorNoDevice:
        return "no CUDA-capable device is detected";
    case cudaErrorInvalidDevice:
        return "invalid device ordinal";
    case cudaErrorInvalidResourceHandle:
        return "invalid resource handle";
    case cudaErrorNotReady:
        return "device not ready";
    case cudaErrorIllegalAddress:
        return "an illegal memory access was encountered";
    case cudaErrorUnknown:
        return "unknown error";
    default:
        return "unrecognized error code";
    }
}

} // extern "C"
