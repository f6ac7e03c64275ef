#include "emulator.hpp"

#include "kelvane_emu.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace kelvane::emu {
namespace {

constexpr std::array<std::string_view, operation_count> operation_names = {
    "cudaMalloc", "cudaFree",    "cudaMallocHost", "cudaFreeHost",
    "cudaMemcpy", "cufftPlan1d", "cufftExecC2C",   "cufftDestroy",
};

// The largest status each family declares, so that an injected one is a value of its type.
constexpr long largest_runtime_status = 999;
constexpr long largest_cufft_status = 20;

bool is_cufft_operation(std::size_t op) {
    return operation_names[op].substr(0, 5) == "cufft";
}

struct injected_fault {
    operation op;
    std::size_t call;
    int status;
};

[[noreturn]] void reject_fault_setting(std::string_view entry) {
    std::fprintf(stderr,
                 "KELVANE_EMU_FAIL: cannot read \"%.*s\"; expected operation:call:status, "
                 "call from 1, status from 1 to 999 (to 20 for cuFFT)\n",
                 static_cast<int>(entry.size()), entry.data());
    std::exit(2);
}

// Parses KELVANE_EMU_FAIL once: "operation:call:status" entries separated by commas.
std::vector<injected_fault> read_fault_settings() {
    std::vector<injected_fault> faults;
    const char* setting = std::getenv("KELVANE_EMU_FAIL");
    if (setting == nullptr) return faults;
    std::string_view rest = setting;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        const std::string_view entry = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
        const std::size_t first_colon = entry.find(':');
        const std::size_t second_colon = entry.find(':', first_colon + 1);
        if (second_colon == std::string_view::npos) reject_fault_setting(entry);
        const std::string_view name = entry.substr(0, first_colon);
        std::size_t op = 0;
        while (op < operation_count && operation_names[op] != name)
            ++op;
        const std::string call_text(entry.substr(first_colon + 1, second_colon - first_colon - 1));
        const std::string status_text(entry.substr(second_colon + 1));
        char* call_end = nullptr;
        char* status_end = nullptr;
        const unsigned long call = std::strtoul(call_text.c_str(), &call_end, 10);
        const long status = std::strtol(status_text.c_str(), &status_end, 10);
        if (op == operation_count || call_text.empty() || *call_end != '\0' || call == 0 ||
            status_text.empty() || *status_end != '\0' || status < 1 ||
            status > (is_cufft_operation(op) ? largest_cufft_status : largest_runtime_status))
            reject_fault_setting(entry);
        faults.push_back({static_cast<operation>(op), call, static_cast<int>(status)});
    }
    return faults;
}

} // namespace

emulator& the_emulator() {
    // Never destroyed: exit handlers of the program may still call the runtime.
    static emulator* const instance = new emulator;
    return *instance;
}

std::optional<int> count_call(emulator& device, operation op) {
    static const std::vector<injected_fault> faults = read_fault_settings();
    const std::size_t call = ++device.calls[static_cast<std::size_t>(op)];
    for (const auto& fault : faults)
        if (fault.op == op && fault.call == call) return fault.status;
    return std::nullopt;
}

bool within_one_allocation(const allocation_map& allocations, const void* address,
                           std::size_t bytes) {
    const auto begin = reinterpret_cast<std::uintptr_t>(address);
    const auto after = allocations.upper_bound(begin);
    if (after == allocations.begin()) return false;
    const auto& [holder_begin, holder_bytes] = *std::prev(after);
    const std::uintptr_t offset = begin - holder_begin;
    return offset <= holder_bytes && bytes <= holder_bytes - offset;
}

bool overlaps_any(const allocation_map& allocations, const void* address, std::size_t bytes) {
    const auto begin = reinterpret_cast<std::uintptr_t>(address);
    const std::uintptr_t end = bytes > UINTPTR_MAX - begin ? UINTPTR_MAX : begin + bytes;
    auto after = allocations.lower_bound(end);
    if (after == allocations.begin()) return false;
    const auto last = std::prev(after);
    return last->first + last->second > begin;
}

std::size_t page_rounded(std::size_t bytes) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

device_access::device_access(const void* address, std::size_t bytes) : pages_(nullptr), length_(0) {
    if (bytes == 0) return;
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<std::uintptr_t>(address) / page * page;
    const auto end = reinterpret_cast<std::uintptr_t>(address) + bytes;
    pages_ = reinterpret_cast<void*>(begin);
    length_ = page_rounded(end - begin);
    if (mprotect(pages_, length_, PROT_READ | PROT_WRITE) != 0) std::abort();
}

device_access::~device_access() {
    if (length_ != 0) mprotect(pages_, length_, PROT_NONE);
}

} // namespace kelvane::emu

extern "C" kelvane_emu_census kelvane_emu_take_census(void) {
    using kelvane::emu::operation;
    auto& device = kelvane::emu::the_emulator();
    const std::lock_guard guard(device.lock);
    auto calls = [&device](operation op) { return device.calls[static_cast<std::size_t>(op)]; };
    return {device.device.size(),          device.device_bytes,
            device.pinned.size(),          device.plans.size(),
            calls(operation::cudaMalloc),  calls(operation::cudaMallocHost),
            calls(operation::cufftPlan1d), calls(operation::cufftExecC2C)};
}
