#include "emulator.hpp"

#include "kelvane_emu.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace kelvane::emu {
namespace {

// Exit status of a process whose KELVANE_EMU_FAIL cannot be read.
constexpr int bad_fault_setting_status = 2;

// The largest status each library declares, so that an injected one is a value of its type.
constexpr int largest_status(library family) {
    return family == library::cufft ? 20 : 999;
}

struct injected_fault {
    operation op;
    std::size_t call;
    int status;
};

[[noreturn]] void reject_setting(const char* variable, std::string_view entry,
                                 const char* grammar) {
    std::fprintf(stderr, "%s: cannot read \"%.*s\"; expected %s\n", variable,
                 static_cast<int>(entry.size()), entry.data(), grammar);
    std::exit(bad_fault_setting_status);
}

[[noreturn]] void reject_fault_setting(std::string_view entry) {
    reject_setting("KELVANE_EMU_FAIL", entry,
                   "operation:call:status, call from 1, status from 1 to 999 (to 20 for cuFFT)");
}

// The entries of a comma-separated setting, or none when it is absent or empty. An empty
// entry (a stray comma) is kept, so that the caller refuses it.
std::vector<std::string_view> setting_entries(const char* variable) {
    std::vector<std::string_view> entries;
    const char* setting = std::getenv(variable);
    if (setting == nullptr || *setting == '\0') return entries;
    std::string_view rest = setting;
    for (bool more = true; more;) {
        const std::size_t comma = rest.find(',');
        entries.push_back(rest.substr(0, comma));
        more = comma != std::string_view::npos;
        rest = more ? rest.substr(comma + 1) : std::string_view{};
    }
    return entries;
}

// A whole field of decimal digits as a T; nothing else (no sign, blank or other text).
template <class T>
std::optional<T> parse_number(std::string_view field) {
    T value{};
    const char* const end = field.data() + field.size();
    if (field.empty() || field.front() < '0' || field.front() > '9') return std::nullopt;
    const auto [stop, error] = std::from_chars(field.data(), end, value);
    if (error != std::errc{} || stop != end) return std::nullopt;
    return value;
}

// One entry, "operation:call:status", or nothing when it does not follow that grammar.
std::optional<injected_fault> parse_entry(std::string_view entry) {
    const std::size_t first_colon = entry.find(':');
    if (first_colon == std::string_view::npos) return std::nullopt;
    const std::size_t second_colon = entry.find(':', first_colon + 1);
    if (second_colon == std::string_view::npos) return std::nullopt;
    const std::string_view name = entry.substr(0, first_colon);
    const auto found =
        std::find_if(operations.begin(), operations.end(),
                     [name](const operation_info& info) { return info.name == name; });
    const auto call =
        parse_number<std::size_t>(entry.substr(first_colon + 1, second_colon - first_colon - 1));
    const auto status = parse_number<int>(entry.substr(second_colon + 1));
    if (found == operations.end() || !call || *call == 0 || !status || *status < 1 ||
        *status > largest_status(found->family))
        return std::nullopt;
    return injected_fault{found->op, *call, *status};
}

// Parses KELVANE_EMU_FAIL: each call at most once.
std::vector<injected_fault> read_fault_settings() {
    std::vector<injected_fault> faults;
    for (const std::string_view entry : setting_entries("KELVANE_EMU_FAIL")) {
        const auto fault = parse_entry(entry);
        if (!fault) reject_fault_setting(entry);
        const bool repeated =
            std::any_of(faults.begin(), faults.end(), [&](const injected_fault& f) {
                return f.op == fault->op && f.call == fault->call;
            });
        if (repeated) reject_fault_setting(entry);
        faults.push_back(*fault);
    }
    return faults;
}

// Parses a setting of "bin:offset" entries, the offset a finite decimal number.
std::vector<perturbation> read_perturbations(const char* setting) {
    std::vector<perturbation> result;
    for (const std::string_view entry : setting_entries(setting)) {
        const std::size_t colon = entry.find(':');
        const auto bin = parse_number<std::size_t>(entry.substr(0, colon));
        float offset = 0.0f;
        const std::string_view text =
            colon == std::string_view::npos ? std::string_view{} : entry.substr(colon + 1);
        const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), offset);
        if (!bin || text.empty() || error != std::errc{} || stop != text.data() + text.size() ||
            !std::isfinite(offset))
            reject_setting(setting, entry, "bin:offset, bin from 0, offset a number");
        result.push_back({*bin, offset});
    }
    return result;
}

} // namespace

emulator& the_emulator() {
    // Never destroyed: exit handlers of the program may still call the runtime.
    static emulator* const instance = new emulator;
    return *instance;
}

const std::vector<perturbation>& perturbations() {
    static const std::vector<perturbation> read = read_perturbations("KELVANE_EMU_PERTURB");
    return read;
}

const std::vector<perturbation>& input_perturbations() {
    static const std::vector<perturbation> read = read_perturbations("KELVANE_EMU_PERTURB_INPUT");
    return read;
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

void prefer_huge_pages(void* pages, std::size_t bytes) {
    constexpr std::size_t huge_page = std::size_t{2} << 20;
    if (bytes >= huge_page) madvise(pages, bytes, MADV_HUGEPAGE);
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
    return {device.device_buffers.size(),  device.device_bytes,
            device.pinned_buffers.size(),  device.plans.size(),
            calls(operation::cudaMalloc),  calls(operation::cudaMallocHost),
            calls(operation::cufftPlan1d), calls(operation::cufftExecC2C)};
}
