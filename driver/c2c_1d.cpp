#include "c2c_1d.h"

#include "cuda_alloc.h"
#include "safe_call.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// Staging state, reused by every call.
void* CPTR_CD1 = nullptr; // page-locked buffer of the input side
void* CPTR_CD2 = nullptr; // page-locked buffer of the output side
std::int32_t nsave = 0;   // the count at entry; bounds the copy out

// A page-locked allocation that fails leaves no buffer to copy into: it is checked like the
// device operations, with this unit's name and these lines.
constexpr const char* unit_name = "c2c_1d";
enum check_line : std::int32_t {
    allocate_input_buffer = 11,
    allocate_output_buffer = 12,
};

} // namespace

extern "C" void c2c_1d_(const std::int32_t* n, const kelvane_complex* in, kelvane_complex* out) {
    // The count at entry bounds the copy out; the byte size comes from its sign extension.
    nsave = *n;
    const auto bytes = static_cast<std::uint64_t>(static_cast<std::int64_t>(nsave)) *
                       static_cast<std::uint64_t>(sizeof(kelvane_complex));
    // The two page-locked buffers, checked: a failed one leaves nothing to copy into.
    __cudaSafeCall(cudaMallocHost(&CPTR_CD1, bytes), unit_name, allocate_input_buffer);
    __cudaSafeCall(cudaMallocHost(&CPTR_CD2, bytes), unit_name, allocate_output_buffer);
    auto* const CD1 = static_cast<kelvane_complex*>(CPTR_CD1);
    auto* const CD2 = static_cast<kelvane_complex*>(CPTR_CD2);
    // Stage the input; a count below 1 moves nothing.
    const auto samples = static_cast<std::size_t>(std::max(nsave, 0));
    if (samples > 0) std::memcpy(CD1, in, samples * sizeof(kelvane_complex));
    // Transform from the page-locked buffers themselves.
    fft_1d_c2c_(n, CD1, CD2);
    // Copy out the nsave samples.
    if (samples > 0) std::memcpy(out, CD2, samples * sizeof(kelvane_complex));
    // Release both buffers; their addresses stay behind until the next call.
    cudaFreeHost(CPTR_CD1);
    cudaFreeHost(CPTR_CD2);
}
