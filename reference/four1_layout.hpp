// The data the fast transform's kernels share: samples and twiddle factors as stored, and where
// a group of passes finds its twiddles.
#pragma once

#include <cstddef>

namespace kelvane::reference {

struct sample {
    float re;
    float im;
};

struct twiddle {
    float re;
    float im;
};

// A group runs up to this many consecutive passes while its samples stay in registers.
inline constexpr int max_group_passes = 3;

// Twiddles of a group of passes h, 2h, ..., 2^(r-1) h: stage s uses those of pass 2^s h at
// k + e * h for e in [0, 2^s), from arrays indexed by k - k_begin, conjugated where
// `conjugate[s]` (the other sign's twiddles).
struct group_twiddles {
    const twiddle* stage[max_group_passes][std::size_t{1} << (max_group_passes - 1)];
    bool conjugate[max_group_passes];
};

// Recurrences of twiddle factors stepped side by side, one per lane, each as the plain transform
// steps its own: ur' = (ur*cr + ur) - ui*ci, ui' = (ui*cr + ui) + ur*ci, rounded to single for
// use before each step.
inline constexpr std::size_t max_chains = 32;
struct chain_set {
    double cr[max_chains];
    double ci[max_chains];
    double ur[max_chains];
    double ui[max_chains];
};

} // namespace kelvane::reference
