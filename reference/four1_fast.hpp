// The reference transform, fast: the same arithmetic as four1_plain for every value, bit for
// bit, in an order that keeps the data in cache and the butterflies in vector registers.
#pragma once

#include <cstdint>

namespace kelvane::reference {

// Code paths for the butterflies: portable scalar, AVX or AVX-512 (no fused multiply-add), chosen
// at run time from what the processor offers.
enum class four1_path { scalar, avx, avx512 };

bool four1_path_available(four1_path path);
four1_path four1_best_path();
const char* four1_path_name(four1_path path);

// Precondition: count a power of two in [1, four1_max_count], sign +1 or -1, and `path`
// available on this processor.
void four1_fast(float* data, std::int32_t count, std::int32_t sign, four1_path path);

} // namespace kelvane::reference
