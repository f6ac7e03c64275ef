#include "dft.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <new>
#include <sys/mman.h>
#include <utility>

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

// The table length for a power-of-two transform of n points: a length of 2 uses only the
// twiddle exp(0), which the table for 4 holds too.
std::size_t table_length(std::size_t n) {
    return std::max<std::size_t>(n, 4);
}

// Scratch pages for `count` samples, counted against the process's memory when mapped.
std::span<complex> map_scratch(std::size_t count) {
    void* pages = mmap(nullptr, count * sizeof(complex), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) throw std::bad_alloc();
    return {static_cast<complex*>(pages), count};
}

// In-place radix-2 transform of a power-of-two length, with the quarter wave of its table
// length.
void power_of_two_transform(std::span<complex> x, const std::vector<double>& cosines, int sign) {
    const std::size_t n = x.size();
    if (n < 2) return;
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1)
            j ^= bit;
        j |= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    const std::size_t table = table_length(n);
    for (std::size_t half = 1; half < n; half *= 2) {
        const std::size_t step = n / (2 * half);
        for (std::size_t block = 0; block < n; block += 2 * half) {
            for (std::size_t k = 0; k < half; ++k) {
                const complex t = twiddle(cosines, table, k * step, sign) * x[block + k + half];
                x[block + k + half] = x[block + k] - t;
                x[block + k] += t;
            }
        }
    }
}

} // namespace

transform_plan::transform_plan(std::size_t length) : length_(length) {
    if (std::has_single_bit(length)) {
        cosines_ = quarter_wave(table_length(length));
        scratch_ = samples_ = map_scratch(length);
        return;
    }
    // chirp[m] = exp(pi*i * m^2 / n), the square reduced modulo 2n to keep the angle exact.
    chirp_.resize(length);
    for (std::size_t m = 0; m < length; ++m) {
        const std::uint64_t square = static_cast<std::uint64_t>(m) * m % (2 * length);
        const long double angle =
            two_pi * static_cast<long double>(square) / static_cast<long double>(2 * length);
        chirp_[m] = {static_cast<double>(std::cos(angle)), static_cast<double>(std::sin(angle))};
    }
    const std::size_t padded = std::bit_ceil(2 * length - 1);
    cosines_ = quarter_wave(table_length(padded));
    scratch_ = map_scratch(length + 2 * padded);
    samples_ = scratch_.first(length);
    padded_a_ = scratch_.subspan(length, padded);
    padded_b_ = scratch_.subspan(length + padded, padded);
}

transform_plan::~transform_plan() {
    munmap(scratch_.data(), scratch_.size_bytes());
}

std::size_t transform_plan::work_bytes(std::size_t length) {
    const bool chirped = !std::has_single_bit(length);
    const std::size_t padded = chirped ? std::bit_ceil(2 * length - 1) : 0;
    const std::size_t transformed = chirped ? padded : length;
    return (2 * padded + (chirped ? 2 : 1) * length) * sizeof(complex) +
           (table_length(transformed) / 4 + 1) * sizeof(double);
}

void transform_plan::execute(const cufftComplex* in, cufftComplex* out, int sign) {
    const std::span<complex> x = samples_;
    for (std::size_t k = 0; k < length_; ++k)
        x[k] = {in[k].x, in[k].y};
    if (chirp_.empty()) {
        power_of_two_transform(x, cosines_, sign);
    } else {
        // Bluestein: the transform becomes a convolution with the chirp of this sign,
        // computed with power-of-two transforms of at least 2n - 1 points.
        auto chirp = [&](std::size_t m) { return sign > 0 ? chirp_[m] : std::conj(chirp_[m]); };
        const std::span<complex> a = padded_a_;
        const std::span<complex> b = padded_b_;
        const std::size_t padded = a.size();
        std::fill(a.begin(), a.end(), complex{});
        std::fill(b.begin(), b.end(), complex{});
        for (std::size_t j = 0; j < length_; ++j)
            a[j] = x[j] * chirp(j);
        b[0] = std::conj(chirp(0));
        for (std::size_t m = 1; m < length_; ++m)
            b[m] = b[padded - m] = std::conj(chirp(m));
        power_of_two_transform(a, cosines_, -1);
        power_of_two_transform(b, cosines_, -1);
        for (std::size_t k = 0; k < padded; ++k)
            a[k] *= b[k];
        power_of_two_transform(a, cosines_, 1);
        for (std::size_t k = 0; k < length_; ++k)
            x[k] = chirp(k) * a[k] / static_cast<double>(padded);
    }
    for (std::size_t k = 0; k < length_; ++k)
        out[k] = {static_cast<float>(x[k].real()), static_cast<float>(x[k].imag())};
    madvise(scratch_.data(), scratch_.size_bytes(), MADV_DONTNEED);
}

} // namespace kelvane::emu
