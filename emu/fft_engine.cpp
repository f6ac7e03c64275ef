#include "fft_engine.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <optional>

namespace kelvane::emu {
namespace {

// exp(2*pi*i * k / n) for k in [0, n): the angle is brought into [0, pi/4] by the circle's
// exact symmetries, so quarter turns are exact and every value errs by half a unit of `Real`
// beyond long double's own rounding.
template <class Real>
std::complex<Real> root(std::size_t k, std::size_t n) {
    const std::size_t quarter_turns = 4 * k / n;
    std::size_t rest = 4 * k % n; // the angle within its quadrant is (pi/2) * rest / n
    const bool upper_half = 2 * rest > n;
    if (upper_half) rest = n - rest;
    const long double angle = std::numbers::pi_v<long double> / 2 * static_cast<long double>(rest) /
                              static_cast<long double>(n);
    long double c = std::cos(angle);
    long double s = std::sin(angle);
    if (upper_half) std::swap(c, s);
    switch (quarter_turns) {
    case 1:
        return {static_cast<Real>(-s), static_cast<Real>(c)};
    case 2:
        return {static_cast<Real>(-c), static_cast<Real>(-s)};
    case 3:
        return {static_cast<Real>(s), static_cast<Real>(-c)};
    default:
        return {static_cast<Real>(c), static_cast<Real>(s)};
    }
}

// A product written out: std::complex's operator* checks for infinities through a library call.
template <class Real>
std::complex<Real> times(std::complex<Real> a, std::complex<Real> b) {
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

// The butterflies combine r inputs x[0], x[stride], ..., x[(r - 1) * stride]: each input
// q >= 1 times twiddles[q - 1], then the DFT of length r. Twiddles and roots are those of sign
// +1; `Positive` false takes their conjugates.
template <bool Positive, class Real>
std::complex<Real> signed_root(std::complex<Real> w) {
    return Positive ? w : std::conj(w);
}

template <bool Positive, class Real>
void radix_2(std::complex<Real>* x, std::size_t stride, const std::complex<Real>* twiddles) {
    const std::complex<Real> a = x[0];
    const std::complex<Real> b = times(x[stride], signed_root<Positive>(twiddles[0]));
    x[0] = a + b;
    x[stride] = a - b;
}

template <bool Positive, class Real>
void radix_4(std::complex<Real>* x, std::size_t stride, const std::complex<Real>* twiddles) {
    using complex = std::complex<Real>;
    const complex a0 = x[0];
    const complex a1 = times(x[stride], signed_root<Positive>(twiddles[0]));
    const complex a2 = times(x[2 * stride], signed_root<Positive>(twiddles[1]));
    const complex a3 = times(x[3 * stride], signed_root<Positive>(twiddles[2]));
    const complex even_sum = a0 + a2;
    const complex even_difference = a0 - a2;
    const complex odd_sum = a1 + a3;
    const complex odd = a1 - a3;
    // i * (a1 - a3) for sign +1, -i * (a1 - a3) for sign -1.
    const complex odd_difference =
        Positive ? complex(-odd.imag(), odd.real()) : complex(odd.imag(), -odd.real());
    x[0] = even_sum + odd_sum;
    x[stride] = even_difference + odd_difference;
    x[2 * stride] = even_sum - odd_sum;
    x[3 * stride] = even_difference - odd_difference;
}

// Any radix r <= largest_radix, with units[m] = w_r^m: the DFT of length r written out.
template <bool Positive, class Real>
void radix_any(std::complex<Real>* x, std::size_t stride, const std::complex<Real>* twiddles,
               std::size_t r, const std::complex<Real>* units) {
    using complex = std::complex<Real>;
    Real re[largest_radix];
    Real im[largest_radix];
    re[0] = x[0].real();
    im[0] = x[0].imag();
    for (std::size_t q = 1; q < r; ++q) {
        const complex a = times(x[q * stride], signed_root<Positive>(twiddles[q - 1]));
        re[q] = a.real();
        im[q] = a.imag();
    }
    for (std::size_t s = 0; s < r; ++s) {
        complex sum(re[0], im[0]);
        for (std::size_t q = 1; q < r; ++q)
            sum += times(complex(re[q], im[q]), signed_root<Positive>(units[s * q % r]));
        x[s * stride] = sum;
    }
}

// Whether a length goes through the vectorised power-of-two passes: in double, from 2 on.
template <class Real>
bool takes_the_passes(std::size_t n) {
    return std::is_same_v<Real, double> && n >= 2 && std::has_single_bit(n);
}

// The radices of the stages of a length, in the order they run: one radix 2 first where the
// power of two is odd, then fours, then the odd primes. None where a prime factor exceeds
// largest_radix: that length takes Bluestein's chirp.
std::optional<std::vector<std::size_t>> radices_of(std::size_t n) {
    std::vector<std::size_t> radices;
    std::size_t rest = n;
    std::size_t twos = 0;
    for (; rest % 2 == 0; rest /= 2)
        ++twos;
    if (twos % 2 == 1) radices.push_back(2);
    radices.insert(radices.end(), twos / 2, 4);
    for (std::size_t p = 3; p <= largest_radix && rest > 1; p += 2)
        for (; rest % p == 0; rest /= p)
            radices.push_back(p);
    if (rest > 1) return std::nullopt;
    return radices;
}

// A stage whose twiddles number at most this many is given a table of them, so that it can
// sweep the array block by block; a larger one goes twiddle by twiddle across the blocks.
constexpr std::size_t most_tabled_twiddles = 8192;

} // namespace

template <class Real>
roots_of_unity<Real>::roots_of_unity(std::size_t n)
    : low_bits_(static_cast<unsigned>(std::bit_width(n - 1) + 1) / 2),
      low_mask_((std::size_t{1} << low_bits_) - 1) {
    const std::size_t low_count = std::min(n, std::size_t{1} << low_bits_);
    low_.reserve(low_count);
    for (std::size_t k = 0; k < low_count; ++k)
        low_.push_back(root<Real>(k, n));
    for (std::size_t k = 0; k < n; k += std::size_t{1} << low_bits_)
        high_.push_back(root<Real>(k, n));
}

template <class Real>
fft_engine<Real>::chirp::chirp(std::size_t n)
    : padded(std::bit_ceil(2 * n - 1)), spare(std::is_same_v<Real, double> ? 0 : padded.size()),
      kernel(padded.size()), inner(padded.size()) {
    const std::size_t m = padded.size();
    factors.reserve(n);
    for (std::size_t j = 0; j < n; ++j)
        factors.push_back(root<Real>(j * j % (2 * n), 2 * n));
    // The conjugate factors at -(n - 1) ... n - 1, wrapped around m, transformed, and divided
    // by m (exactly: a power of two) for the inverse transform to come.
    std::vector<complex> wrapped(m, complex{});
    for (std::size_t t = 0; t < n; ++t) {
        wrapped[t] = std::conj(factors[t]);
        if (t > 0) wrapped[m - t] = std::conj(factors[t]);
    }
    inner.transform([&wrapped](std::size_t t) { return wrapped[t]; }, kernel.data(), -1);
    const Real scale = Real{1} / static_cast<Real>(m);
    for (complex& value : kernel)
        value *= scale;
}

template <class Real>
fft_engine<Real>::fft_engine(std::size_t n) : n_(n) {
    if (takes_the_passes<Real>(n)) {
        passes_ = std::make_unique<power_of_two_passes>(n);
        return;
    }
    const std::optional<std::vector<std::size_t>> radices = radices_of(n);
    if (!radices) {
        chirp_ = std::make_unique<chirp>(n);
        return;
    }
    roots_.emplace(n);
    std::size_t done = 1;
    for (const std::size_t r : *radices) {
        stage next{r, {}, {}};
        for (std::size_t m = 0; m < r; ++m)
            next.units.push_back(root<Real>(m, r));
        const std::size_t step = n / (done * r);
        if (done * (r - 1) <= most_tabled_twiddles)
            for (std::size_t j = 0; j < done; ++j)
                for (std::size_t q = 1; q < r; ++q)
                    next.twiddles.push_back((*roots_)(j * q * step));
        stages_.push_back(std::move(next));
        done *= r;
    }
}

template <class Real>
fft_engine<Real>::~fft_engine() = default;

template <class Real>
std::size_t fft_engine<Real>::work_bytes(std::size_t n) {
    if (takes_the_passes<Real>(n)) return power_of_two_passes::table_bytes(n);
    if (radices_of(n)) {
        // The roots' two tables and the stage tables.
        const std::size_t tables =
            2 * (std::size_t{2} << (std::bit_width(n) / 2)) + most_tabled_twiddles;
        return tables * sizeof(complex);
    }
    // The chirp's factors, its sequences (with the spare one in long double) and the inner
    // engine.
    const std::size_t m = std::bit_ceil(2 * n - 1);
    const std::size_t sequences = std::is_same_v<Real, double> ? 2 : 3;
    return (n + sequences * m) * sizeof(complex) + work_bytes(m);
}

// Stages whose sub-transforms fit in this many elements run one cache-sized block at a time,
// all of them on a block before the next; the others sweep the whole array each.
constexpr std::size_t cached_block_bytes = std::size_t{256} << 10;

template <class Real>
template <bool Positive>
void fft_engine<Real>::run_stage(complex* x, std::size_t length, const stage& s,
                                 std::size_t done) const {
    const std::size_t r = s.radix;
    const std::size_t made = done * r;
    auto butterfly = [&](complex* at, const complex* twiddles) {
        if (r == 4) {
            radix_4<Positive>(at, done, twiddles);
        } else if (r == 2) {
            radix_2<Positive>(at, done, twiddles);
        } else {
            radix_any<Positive>(at, done, twiddles, r, s.units.data());
        }
    };
    if (!s.twiddles.empty()) {
        // Block by block, each with the stage's table.
        for (complex* block = x; block != x + length; block += made)
            for (std::size_t j = 0; j < done; ++j)
                butterfly(block + j, s.twiddles.data() + j * (r - 1));
        return;
    }
    // Twiddle by twiddle, across the few blocks there are.
    const std::size_t step = n_ / made;
    complex twiddles[largest_radix - 1];
    for (std::size_t j = 0; j < done; ++j) {
        for (std::size_t q = 1; q < r; ++q)
            twiddles[q - 1] = (*roots_)(j * q * step);
        for (complex* block = x; block != x + length; block += made)
            butterfly(block + j, twiddles);
    }
}

template <class Real>
template <bool Positive>
void fft_engine<Real>::run_stages(complex* x) const {
    // The first stages whose sub-transforms fit a cached block, block by block.
    std::size_t cached = 0;
    std::size_t block = 1;
    while (cached < stages_.size() &&
           block * stages_[cached].radix * sizeof(complex) <= cached_block_bytes)
        block *= stages_[cached++].radix;
    for (complex* start = x; start != x + n_; start += block)
        for (std::size_t t = 0, done = 1; t < cached; done *= stages_[t++].radix)
            run_stage<Positive>(start, block, stages_[t], done);
    std::size_t done = block;
    for (std::size_t t = cached; t < stages_.size(); done *= stages_[t++].radix)
        run_stage<Positive>(x, n_, stages_[t], done);
}

template <class Real>
typename fft_engine<Real>::complex* fft_engine<Real>::chirp_input() {
    return chirp_->padded.data();
}

template <class Real>
void fft_engine<Real>::run_chirp(complex* out) {
    chirp& c = *chirp_;
    for (std::size_t j = 0; j < n_; ++j)
        c.padded[j] = times(c.padded[j], c.factors[j]);
    std::fill(c.padded.begin() + static_cast<std::ptrdiff_t>(n_), c.padded.end(), complex{});
    // The padded sequence's transform times the kernel's, transformed back: in place through
    // the vectorised passes in double, through the spare sequence in long double.
    if constexpr (std::is_same_v<Real, double>) {
        c.inner.passes_->transform(c.padded, -1);
        for (std::size_t k = 0; k < c.padded.size(); ++k)
            c.padded[k] = times(c.padded[k], c.kernel[k]);
        c.inner.passes_->transform(c.padded, 1);
    } else {
        c.inner.transform([&c](std::size_t j) { return c.padded[j]; }, c.spare.data(), -1);
        for (std::size_t k = 0; k < c.spare.size(); ++k)
            c.spare[k] = times(c.spare[k], c.kernel[k]);
        c.inner.transform([&c](std::size_t j) { return c.spare[j]; }, c.padded.data(), 1);
    }
    for (std::size_t k = 0; k < n_; ++k)
        out[k] = times(c.padded[k], c.factors[k]);
}

template void fft_engine<double>::run_stages<true>(complex*) const;
template void fft_engine<double>::run_stages<false>(complex*) const;
template void fft_engine<long double>::run_stages<true>(complex*) const;
template void fft_engine<long double>::run_stages<false>(complex*) const;
template class roots_of_unity<double>;
template class roots_of_unity<long double>;
template class fft_engine<double>;
template class fft_engine<long double>;

} // namespace kelvane::emu
