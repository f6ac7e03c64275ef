// Transforms and signals for checking the system's transforms from the outside.
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

namespace kelvane::test_support {

// A second loop nest of the reference order of operations, written apart from the library's:
// 0-based samples, the permutation by explicit bit reversal, and each pass's twiddle factors
// listed before its butterflies run block by block. Its results are bit-identical by design.
void four1_second_loop_nest(float* data, std::int32_t count, std::int32_t sign);

// The exact transform of interleaved single-precision samples, computed in long double with
// twiddle factors from sinl and cosl of each angle: the accuracy yardstick. The first is a
// radix-2 transform for power-of-two lengths, the second the direct sum for any length.
std::vector<std::complex<long double>> long_double_dft(const std::vector<float>& data, int sign);
std::vector<std::complex<long double>> long_double_dft_direct(const std::vector<float>& data,
                                                              int sign);

// sqrt(sum |x - reference|^2 / sum |reference|^2) over all samples.
double rms_relative_error(const std::vector<float>& data,
                          const std::vector<std::complex<long double>>& reference);

// The signal of the comparison run: sample i is (sin(2i/n), cos(7i/n)) in single precision.
std::vector<float> comparison_signal(std::int32_t count);

} // namespace kelvane::test_support
