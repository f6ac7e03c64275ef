#include "dft.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <utility>
#include <vector>

namespace kelvane::emu {
namespace {

using complex = std::complex<double>;

constexpr long double two_pi = 6.283185307179586476925286766559L;

// cos(2*pi*k/n) for k in [0, n/4], each from its own angle in long double: a quarter wave
// gives every twiddle of a power-of-two transform.
std::vector<double> quarter_wave(std::size_t n) {
    std::vector<double> cosines(n / 4 + 1);
    for (std::size_t k = 0; k < cosines.size(); ++k)
        cosines[k] = static_cast<double>(
            std::cos(two_pi * static_cast<long double>(k) / static_cast<long double>(n)));
    return cosines;
}

// exp(sign * 2*pi*i * k / n) for k in [0, n/2), n a power of two of at least 4.
complex twiddle(const std::vector<double>& cosines, std::size_t n, std::size_t k, int sign) {
    const std::size_t quarter = n / 4;
    const double cosine = k <= quarter ? cosines[k] : -cosines[n / 2 - k];
    const double sine = k <= quarter ? cosines[quarter - k] : cosines[k - quarter];
    return {cosine, sign * sine};
}

// In-place radix-2 transform of a power-of-two length.
void power_of_two_transform(std::vector<complex>& x, int sign) {
    const std::size_t n = x.size();
    if (n < 2) return;
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1)
            j ^= bit;
        j |= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    // A length of 2 uses only the twiddle exp(0), which the table for 4 holds too.
    const std::size_t table_length = std::max<std::size_t>(n, 4);
    const std::vector<double> cosines = quarter_wave(table_length);
    for (std::size_t half = 1; half < n; half *= 2) {
        const std::size_t step = n / (2 * half);
        for (std::size_t block = 0; block < n; block += 2 * half) {
            for (std::size_t k = 0; k < half; ++k) {
                const complex t =
                    twiddle(cosines, table_length, k * step, sign) * x[block + k + half];
                x[block + k + half] = x[block + k] - t;
                x[block + k] += t;
            }
        }
    }
}

// Any length through Bluestein's chirp: the transform becomes a convolution, computed with
// power-of-two transforms of at least 2n - 1 points.
void chirp_transform(std::vector<complex>& x, int sign) {
    const std::size_t n = x.size();
    // chirp[m] = exp(sign * pi*i * m^2 / n), the square reduced modulo 2n to keep the angle exact.
    std::vector<complex> chirp(n);
    for (std::size_t m = 0; m < n; ++m) {
        const std::uint64_t square = static_cast<std::uint64_t>(m) * m % (2 * n);
        const long double angle =
            sign * two_pi * static_cast<long double>(square) / static_cast<long double>(2 * n);
        chirp[m] = {static_cast<double>(std::cos(angle)), static_cast<double>(std::sin(angle))};
    }
    const std::size_t padded = std::bit_ceil(2 * n - 1);
    std::vector<complex> a(padded);
    std::vector<complex> b(padded);
    for (std::size_t j = 0; j < n; ++j)
        a[j] = x[j] * chirp[j];
    b[0] = std::conj(chirp[0]);
    for (std::size_t m = 1; m < n; ++m)
        b[m] = b[padded - m] = std::conj(chirp[m]);
    power_of_two_transform(a, -1);
    power_of_two_transform(b, -1);
    for (std::size_t k = 0; k < padded; ++k)
        a[k] *= b[k];
    power_of_two_transform(a, 1);
    for (std::size_t k = 0; k < n; ++k)
        x[k] = chirp[k] * a[k] / static_cast<double>(padded);
}

} // namespace

void discrete_fourier_transform(const cufftComplex* in, cufftComplex* out, int length, int sign) {
    const auto n = static_cast<std::size_t>(length);
    std::vector<complex> x(n);
    for (std::size_t k = 0; k < n; ++k)
        x[k] = {in[k].x, in[k].y};
    if (std::has_single_bit(n))
        power_of_two_transform(x, sign);
    else
        chirp_transform(x, sign);
    for (std::size_t k = 0; k < n; ++k)
        out[k] = {static_cast<float>(x[k].real()), static_cast<float>(x[k].imag())};
}

} // namespace kelvane::emu
