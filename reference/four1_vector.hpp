// The vector kernels of the fast transform, one set per instruction set, each built for its own
// processor. A caller picks a set only where the processor offers it.
//
// first_passes: the passes of half-size 1 to lanes / 2 on x[0, n), whose partners share a
//   register; `pass[i]` holds the twiddles of half-size 2^i. Precondition: n a multiple of lanes.
// reverse_with_first_passes: the bit-reversal permutation of x[0, 2^log2n) fused with the first
//   passes. Precondition: log2n >= reverse_min_log2.
// group: `passes` consecutive passes from half-size h on x[0, n), for k in [k_begin, k_end).
//   Preconditions: h >= lanes, k_begin and k_end multiples of lanes, n a multiple of 2^passes h.
#pragma once

#include "four1_layout.hpp"

#include <cstddef>

namespace kelvane::reference {

namespace avx {
inline constexpr std::size_t lanes = 4; // samples in a register
inline constexpr int first_pass_count = 2;
void first_passes(sample* x, std::size_t n, const twiddle* const* pass);
void group(int passes, sample* x, std::size_t n, std::size_t h, std::size_t k_begin,
           std::size_t k_end, const group_twiddles& twiddles);
} // namespace avx

namespace avx512 {
inline constexpr std::size_t lanes = 8;
inline constexpr int first_pass_count = 3;
inline constexpr unsigned reverse_min_log2 = 6;
void reverse_with_first_passes(sample* x, unsigned log2n, const twiddle* const* pass);
// fill_chains: the next `count` twiddles of the first `used` chains, chain c's from
//   out[c * row_stride] on. Precondition: count <= row_stride.
void fill_chains(chain_set& chains, std::size_t used, twiddle* out, std::size_t row_stride,
                 std::size_t count);
void group(int passes, sample* x, std::size_t n, std::size_t h, std::size_t k_begin,
           std::size_t k_end, const group_twiddles& twiddles);
} // namespace avx512

} // namespace kelvane::reference
