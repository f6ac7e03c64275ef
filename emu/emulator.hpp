// The emulated device's state: its memory, page-locked host memory, plans, call counts and
// injected faults. One instance per process, guarded by one lock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>

namespace kelvane::emu {

enum class operation {
    cudaMalloc,
    cudaFree,
    cudaMallocHost,
    cudaFreeHost,
    cudaMemcpy,
    cufftPlan1d,
    cufftExecC2C,
    cufftDestroy,
};
inline constexpr std::size_t operation_count = 8;

struct plan {
    int length;
    int batch;
};

// Allocations by address: where each begins and how many bytes were asked for.
using allocation_map = std::map<std::uintptr_t, std::size_t>;

struct emulator {
    std::mutex lock;
    allocation_map device;
    std::size_t device_bytes = 0;
    allocation_map pinned;
    std::size_t pinned_bytes = 0;
    std::map<int, plan> plans;
    int next_plan = 1;
    std::array<std::size_t, operation_count> calls{};
};

// The process's emulator, alive until the process ends (exit handlers included).
emulator& the_emulator();

// Counts one call of `op` (the caller holds the lock) and returns the status injected for it
// through KELVANE_EMU_FAIL, if any: from 1 to 999 for the runtime's operations, from 1 to 20
// for cuFFT's.
std::optional<int> count_call(emulator& device, operation op);

// One emulated operation: counts the call under the device's lock, and returns the fault
// injected for it if there is one, else what `body(device)` returns.
template <class Status, class Body>
Status emulate(operation op, Body body) {
    emulator& device = the_emulator();
    const std::lock_guard guard(device.lock);
    if (const auto fault = count_call(device, op)) return static_cast<Status>(*fault);
    return body(device);
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

} // namespace kelvane::emu
