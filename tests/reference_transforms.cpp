#include "reference_transforms.hpp"

#include <bit>
#include <cmath>
#include <utility>

namespace kelvane::test_support {

void four1_second_loop_nest(float* data, std::int32_t count, std::int32_t sign) {
    const auto n = static_cast<std::uint32_t>(count);
    const int address_bits = std::countr_zero(n);
    auto swap_samples = [data](std::uint32_t a, std::uint32_t b) {
        std::swap(data[2 * a], data[2 * b]);
        std::swap(data[2 * a + 1], data[2 * b + 1]);
    };
    for (std::uint32_t k = 0; k < n; ++k) {
        std::uint32_t reversed = 0;
        for (int bit = 0; bit < address_bits; ++bit)
            reversed |= ((k >> bit) & 1U) << (address_bits - 1 - bit);
        if (k < reversed) swap_samples(k, reversed);
    }
    for (std::uint32_t half = 1; half < n; half *= 2) {
        const double angle = 6.28318530717959 / static_cast<double>(sign * std::int32_t(2 * half));
        const double s = std::sin(angle / 2);
        const double cr = 0.0 - (2.0 * s) * s;
        const double ci = std::sin(angle);
        std::vector<std::pair<float, float>> twiddles(half);
        double wr = 1.0;
        double wi = 0.0;
        for (auto& twiddle : twiddles) {
            twiddle = {static_cast<float>(wr), static_cast<float>(wi)};
            const double previous_wr = wr;
            wr = (wr * cr + wr) - wi * ci;
            wi = (wi * cr + wi) + previous_wr * ci;
        }
        for (std::uint32_t block = 0; block < n; block += 2 * half) {
            for (std::uint32_t k = 0; k < half; ++k) {
                float* a = data + 2 * (block + k);
                float* b = data + 2 * (block + k + half);
                const auto [wr_single, wi_single] = twiddles[k];
                const float tr = wr_single * b[0] - wi_single * b[1];
                const float ti = wr_single * b[1] + wi_single * b[0];
                b[0] = a[0] - tr;
                b[1] = a[1] - ti;
                a[0] = a[0] + tr;
                a[1] = a[1] + ti;
            }
        }
    }
}

std::vector<std::complex<long double>> long_double_dft(const std::vector<float>& data, int sign) {
    using complex = std::complex<long double>;
    const std::size_t n = data.size() / 2;
    std::vector<complex> x(n);
    for (std::size_t k = 0; k < n; ++k)
        x[k] = {data[2 * k], data[2 * k + 1]};
    // Iterative radix-2 with every twiddle from its own angle: error ~1e-19 * log2(n).
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1)
            j ^= bit;
        j |= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    const long double two_pi = 6.283185307179586476925286766559L;
    for (std::size_t half = 1; half < n; half *= 2) {
        for (std::size_t k = 0; k < half; ++k) {
            const long double angle =
                sign * two_pi * static_cast<long double>(k) / static_cast<long double>(2 * half);
            const complex w{cosl(angle), sinl(angle)};
            for (std::size_t block = 0; block < n; block += 2 * half) {
                const complex t = w * x[block + k + half];
                x[block + k + half] = x[block + k] - t;
                x[block + k] += t;
            }
        }
    }
    return x;
}

std::vector<std::complex<long double>> long_double_dft_direct(const std::vector<float>& data,
                                                              int sign) {
    const std::size_t n = data.size() / 2;
    const long double two_pi = 6.283185307179586476925286766559L;
    std::vector<std::complex<long double>> x(n);
    for (std::size_t k = 0; k < n; ++k) {
        for (std::size_t j = 0; j < n; ++j) {
            // The product reduced modulo n keeps every angle below 2*pi.
            const long double angle =
                sign * two_pi * static_cast<long double>(j * k % n) / static_cast<long double>(n);
            x[k] += std::complex<long double>(data[2 * j], data[2 * j + 1]) *
                    std::complex<long double>(cosl(angle), sinl(angle));
        }
    }
    return x;
}

double rms_relative_error(const std::vector<float>& data,
                          const std::vector<std::complex<long double>>& reference) {
    long double error = 0;
    long double norm = 0;
    for (std::size_t k = 0; k < reference.size(); ++k) {
        error += std::norm(std::complex<long double>(data[2 * k], data[2 * k + 1]) - reference[k]);
        norm += std::norm(reference[k]);
    }
    return static_cast<double>(std::sqrt(error / norm));
}

std::vector<float> comparison_signal(std::int32_t count) {
    std::vector<float> signal(2 * static_cast<std::size_t>(count));
    const float scale = 1.0f / static_cast<float>(count);
    for (std::int32_t i = 0; i < count; ++i) {
        const auto x = static_cast<float>(i);
        signal[2 * static_cast<std::size_t>(i)] = std::sin((x + x) * scale);
        signal[2 * static_cast<std::size_t>(i) + 1] = std::cos(x * (7.0f * scale));
    }
    return signal;
}

} // namespace kelvane::test_support
