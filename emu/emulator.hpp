// The emulated device's state: its memory, page-locked host memory, plans, call counts and
// injected faults. One instance per process, guarded by one lock.
#pragma once

#include "cuda_runtime_api.h"
#include "cufft.h"
#include "plan.hpp"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

namespace kelvane::emu {

enum class operation {
    cudaMalloc,
    cudaFree,
    cudaMallocHost,
    cudaFreeHost,
    cudaMemcpy,
    cudaGetDeviceCount,
    cudaGetDeviceProperties,
    cudaRuntimeGetVersion,
    cudaDriverGetVersion,
    cudaDeviceSynchronize,
    cudaEventCreate,
    cudaEventDestroy,
    cudaEventRecord,
    cudaEventSynchronize,
    cudaEventElapsedTime,
    cufftPlan1d,
    cufftPlan2d,
    cufftPlan3d,
    cufftPlanMany,
    cufftEstimate1d,
    cufftEstimate2d,
    cufftEstimate3d,
    cufftEstimateMany,
    cufftGetSize,
    cufftExecC2C,
    cufftExecR2C,
    cufftExecC2R,
    cufftExecZ2Z,
    cufftExecD2Z,
    cufftExecZ2D,
    cufftDestroy,
    cufftGetVersion,
};

// Which library an operation belongs to: it decides the statuses the operation can return.
enum class library { runtime, cufft };

struct operation_info {
    operation op;
    std::string_view name;
    library family;
};

// Every emulated operation, in the order of the enumeration.
inline constexpr std::array operations = {
    operation_info{operation::cudaMalloc, "cudaMalloc", library::runtime},
    operation_info{operation::cudaFree, "cudaFree", library::runtime},
    operation_info{operation::cudaMallocHost, "cudaMallocHost", library::runtime},
    operation_info{operation::cudaFreeHost, "cudaFreeHost", library::runtime},
    operation_info{operation::cudaMemcpy, "cudaMemcpy", library::runtime},
    operation_info{operation::cudaGetDeviceCount, "cudaGetDeviceCount", library::runtime},
    operation_info{operation::cudaGetDeviceProperties, "cudaGetDeviceProperties", library::runtime},
    operation_info{operation::cudaRuntimeGetVersion, "cudaRuntimeGetVersion", library::runtime},
    operation_info{operation::cudaDriverGetVersion, "cudaDriverGetVersion", library::runtime},
    operation_info{operation::cudaDeviceSynchronize, "cudaDeviceSynchronize", library::runtime},
    operation_info{operation::cudaEventCreate, "cudaEventCreate", library::runtime},
    operation_info{operation::cudaEventDestroy, "cudaEventDestroy", library::runtime},
    operation_info{operation::cudaEventRecord, "cudaEventRecord", library::runtime},
    operation_info{operation::cudaEventSynchronize, "cudaEventSynchronize", library::runtime},
    operation_info{operation::cudaEventElapsedTime, "cudaEventElapsedTime", library::runtime},
    operation_info{operation::cufftPlan1d, "cufftPlan1d", library::cufft},
    operation_info{operation::cufftPlan2d, "cufftPlan2d", library::cufft},
    operation_info{operation::cufftPlan3d, "cufftPlan3d", library::cufft},
    operation_info{operation::cufftPlanMany, "cufftPlanMany", library::cufft},
    operation_info{operation::cufftEstimate1d, "cufftEstimate1d", library::cufft},
    operation_info{operation::cufftEstimate2d, "cufftEstimate2d", library::cufft},
    operation_info{operation::cufftEstimate3d, "cufftEstimate3d", library::cufft},
    operation_info{operation::cufftEstimateMany, "cufftEstimateMany", library::cufft},
    operation_info{operation::cufftGetSize, "cufftGetSize", library::cufft},
    operation_info{operation::cufftExecC2C, "cufftExecC2C", library::cufft},
    operation_info{operation::cufftExecR2C, "cufftExecR2C", library::cufft},
    operation_info{operation::cufftExecC2R, "cufftExecC2R", library::cufft},
    operation_info{operation::cufftExecZ2Z, "cufftExecZ2Z", library::cufft},
    operation_info{operation::cufftExecD2Z, "cufftExecD2Z", library::cufft},
    operation_info{operation::cufftExecZ2D, "cufftExecZ2D", library::cufft},
    operation_info{operation::cufftDestroy, "cufftDestroy", library::cufft},
    operation_info{operation::cufftGetVersion, "cufftGetVersion", library::cufft},
};
static_assert([] {
    for (std::size_t i = 0; i < operations.size(); ++i)
        if (static_cast<std::size_t>(operations[i].op) != i) return false;
    return true;
}());

// Allocations by address: where each begins and how many bytes were asked for.
using allocation_map = std::map<std::uintptr_t, std::size_t>;

struct emulator {
    std::mutex lock;
    allocation_map device_buffers;
    std::size_t device_bytes = 0; // device buffers and the plans' work areas
    allocation_map pinned_buffers;
    std::size_t pinned_bytes = 0;
    std::map<int, std::unique_ptr<fft_plan>> plans;
    int next_plan = 1;
    // Events by handle: when each was last recorded, if it was.
    std::map<const CUevent_st*, std::optional<std::chrono::steady_clock::time_point>> events;
    std::array<std::size_t, operations.size()> calls{};
};

// The process's emulator, alive until the process ends (exit handlers included).
emulator& the_emulator();

// Counts one call of `op` (the caller holds the lock) and returns the status injected for it
// through KELVANE_EMU_FAIL, if any.
std::optional<int> count_call(emulator& device, operation op);

// A deliberate error in the emulated transform's output, from KELVANE_EMU_PERTURB.
struct perturbation {
    std::size_t bin;
    float offset; // added to the real part
};

// The perturbations of every transform's output (the caller holds the lock), and those of
// every out-of-place transform's input, from KELVANE_EMU_PERTURB_INPUT, as a library that wrote
// into its input would leave it.
const std::vector<perturbation>& perturbations();
const std::vector<perturbation>& input_perturbations();

// What each library returns when host memory runs out: no exception leaves an operation.
inline cudaError_t out_of_memory(cudaError_t) {
    return cudaErrorMemoryAllocation;
}
inline cufftResult out_of_memory(cufftResult) {
    return CUFFT_ALLOC_FAILED;
}

// One emulated operation: counts the call under the device's lock, and returns the fault
// injected for it if there is one, else what `body(device)` returns.
template <class Status, class Body>
Status emulate(operation op, Body body) {
    emulator& device = the_emulator();
    const std::lock_guard guard(device.lock);
    try {
        if (const auto fault = count_call(device, op)) return static_cast<Status>(*fault);
        return body(device);
    } catch (const std::bad_alloc&) {
        return out_of_memory(Status{});
    }
}

// Whether [address, address + bytes) lies within one allocation.
bool within_one_allocation(const allocation_map& allocations, const void* address,
                           std::size_t bytes);

// Whether [address, address + bytes) overlaps any allocation.
bool overlaps_any(const allocation_map& allocations, const void* address, std::size_t bytes);

// Device memory is kept inaccessible; an operation opens the buffers it works on while it
// runs.
class device_access {
  public:
    device_access(const void* address, std::size_t bytes);
    ~device_access();
    device_access(const device_access&) = delete;
    device_access& operator=(const device_access&) = delete;

  private:
    void* pages_;
    std::size_t length_;
};

// Whole pages covering `bytes`.
std::size_t page_rounded(std::size_t bytes);

// Asks for transparent huge pages over a large mapping, where the kernel offers them on
// request: fewer page faults and TLB misses. Elsewhere nothing changes.
void prefer_huge_pages(void* pages, std::size_t bytes);

} // namespace kelvane::emu
