// The butterfly kernels of the emulated transform, shared by its portable and AVX-512 builds.
// Every kernel rounds each butterfly as the scalar code does, tr = wr*br - wi*bi,
// ti = wr*bi + wi*br, then a +- t, with wi = sign * imaginary: any kernel gives the same bits.
#pragma once

#include <cstddef>

namespace kelvane::emu {

inline constexpr int most_group_passes = 3;

// Twiddles of a group of passes half, 2 half, ..., 2^(r-1) half: stage s uses those of pass
// 2^s half at e * half + k + j for e < 2^s, at real[s][e][j] and imaginary[s][e][j].
struct group_twiddles {
    const double* real[most_group_passes][1U << (most_group_passes - 1)];
    const double* imaginary[most_group_passes][1U << (most_group_passes - 1)];
};

// Which kernels run: portable (the compiler's vectors, AVX2 where the processor has it) or
// AVX-512, chosen at run time because the build sets no -march.
enum class dft_path { portable, avx512 };

bool dft_path_available(dft_path path);
dft_path best_dft_path();

// Groups of this many passes at most keep their samples in the path's registers.
int group_passes_of(dft_path path);

namespace avx512 {
// `passes` (1 to 3) consecutive passes from half-size `half` over x[0, length), samples
// interleaved, for k + j, j in [0, count). Where `narrowed` is not null, the results go there
// instead, rounded to single precision, at the same places. Preconditions: half and count
// multiples of 4.
void pass_group(int passes, double* x, std::size_t length, std::size_t half, std::size_t k,
                std::size_t count, const group_twiddles& twiddles, double sign, float* narrowed);
} // namespace avx512

} // namespace kelvane::emu
