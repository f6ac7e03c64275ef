// How far a computed spectrum lies from the exact one, and whether that is as close as a
// single-precision FFT of its length should come.
#pragma once

#include "exact_transform.hpp"

#include <cstddef>
#include <span>
#include <vector>

namespace kelvane::verify {

// Relative errors of a spectrum x against a reference r, every norm taken relative to the
// exact spectrum e's own:
//     rel_l1   = sum |x_k - r_k|   / sum |e_k|
//     rel_l2   = sqrt(sum |x_k - r_k|^2 / sum |e_k|^2)
//     rel_linf = max |x_k - r_k|   / max |e_k|,  reached first at bin linf_bin.
// NaN or infinite values make the errors NaN or infinite, which no tolerance accepts.
struct error_norms {
    double rel_l1 = 0.0;
    double rel_l2 = 0.0;
    double rel_linf = 0.0;
    std::size_t linf_bin = 0;
};

// Precondition for both: all spans have the same length, at least 1.
error_norms compare(std::span<const kelvane_complex> spectrum,
                    std::span<const exact_complex> exact);
error_norms compare(std::span<const kelvane_complex> spectrum,
                    std::span<const kelvane_complex> reference,
                    std::span<const exact_complex> exact);

// The error a single-precision FFT of n points is expected to reach: eps * sqrt(log2 n) with
// eps = 2^-24 (n = 1 counts as log2 n = 1).
double expected_level(std::size_t n);

// The verdict's limits on the device's errors against the exact spectrum.
struct tolerances {
    double rel_l2;
    double rel_linf;
};

// A radix-2 or mixed-radix FFT rounds each of its log2 n stages once: its relative L2 error
// grows like the expected level with a constant near 1, its largest bin error (relative to
// the largest magnitude) stays below that. Eight and four times the level leave room for
// every sound single-precision FFT, while one wrong bin or one wrong stage lies far above.
inline constexpr double default_l2_multiple = 8.0;
inline constexpr double default_linf_multiple = 4.0;
tolerances default_tolerances(std::size_t n);

// The largest error of one bin, |x_k - e_k|, in units of eps * sqrt(log2 n) * rms|e| (the
// expected level times the exact spectrum's rms magnitude), and the first bin that reaches it.
// On a white spectrum, a random input's, a sound FFT spreads its rounding errors evenly over the
// bins at about one unit each, so a single wrong bin stands out. On a concentrated spectrum,
// the signal's, quiet bins carry errors from large values cancelling, and this measure is not
// meaningful there.
struct bin_error {
    double units = 0.0;
    std::size_t bin = 0;
};
bin_error largest_bin_error(std::span<const kelvane_complex> spectrum,
                            std::span<const exact_complex> exact);

// The verdict's limit on the largest bin error of a random input's spectrum, in those units.
// Sound transforms stay below a quarter of it at every size (docs/verify.md gives the calibration);
// a bin off by 100 units fails at every size.
inline constexpr double default_bin_multiple = 16.0;

// The `count` bins where |x_k - e_k| is largest, the largest first.
std::vector<std::size_t> worst_bins(std::span<const kelvane_complex> spectrum,
                                    std::span<const exact_complex> exact, std::size_t count);

} // namespace kelvane::verify
