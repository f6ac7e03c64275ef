// The emulated device's one transform engine: the unnormalised DFT of any length n >= 1,
//     out[k] = sum over j of in[j] * exp(sign * 2*pi*i * j*k / n),
// computed in the precision `Real` (double for single-precision plans, long double for double).
//
// In double precision, powers of two go through the vectorised passes of power_of_two_passes,
// which Bluestein's convolutions use too. Other lengths whose prime factors are all at most
// largest_radix go through an in-place mixed-radix
// Cooley-Tukey transform: the input is read in digit-reversed order, then each stage combines
// r sub-transforms of the length the stages before it made. Every twiddle factor is the
// product of two table entries, each from its own angle in long double, so the twiddles err by
// a few units in the last place of `Real` whatever the length. Other lengths go through
// Bluestein's chirp, a convolution of power-of-two length at least 2n - 1.
//
// O(n log n) time; the memory an engine holds is work_bytes(n). An engine is not reentrant:
// one transform at a time.
#pragma once

#include "dft.hpp"

#include <complex>
#include <cstddef>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

namespace kelvane::emu {

// Prime factors up to this one have a stage of their own; a length with a larger one goes
// through Bluestein's chirp.
inline constexpr std::size_t largest_radix = 61;
// Stages at most: every length the emulation plans is below 2^64.
inline constexpr std::size_t max_stages = 64;

// exp(2*pi*i * k / n) for any k in [0, n), as the product of two short tables.
template <class Real>
class roots_of_unity {
  public:
    explicit roots_of_unity(std::size_t n);
    std::complex<Real> operator()(std::size_t k) const {
        return low_[k & low_mask_] * high_[k >> low_bits_];
    }

  private:
    unsigned low_bits_;
    std::size_t low_mask_;
    std::vector<std::complex<Real>> low_;  // k in [0, 2^low_bits)
    std::vector<std::complex<Real>> high_; // multiples of 2^low_bits
};

template <class Real>
class fft_engine {
  public:
    using complex = std::complex<Real>;

    explicit fft_engine(std::size_t n); // precondition: n >= 1
    ~fft_engine();
    fft_engine(const fft_engine&) = delete;
    fft_engine& operator=(const fft_engine&) = delete;

    std::size_t length() const { return n_; }
    // Bytes an engine of length n holds, beyond the caller's arrays.
    static std::size_t work_bytes(std::size_t n);

    // out[k] for k in [0, n) from in(j) for j in [0, n): `in` is called once for each j, in no
    // set order, and must not read `out`'s storage.
    template <class Input>
    void transform(Input in, complex* out, int sign);

  private:
    // One stage: radix r sub-transforms combined, its roots w_r^m for sign +1, and where they
    // are few enough its twiddles w^(j q) for sign +1, j below the length made so far.
    struct stage {
        std::size_t radix;
        std::vector<complex> units;
        std::vector<complex> twiddles;
    };
    struct chirp;
    std::size_t n_;
    std::vector<stage> stages_;
    std::optional<roots_of_unity<Real>> roots_; // where there are stages
    std::unique_ptr<chirp> chirp_;
    std::unique_ptr<power_of_two_passes> passes_; // double precision, powers of two from 2

    // The stages, in place on digit-reversed data, for sign +1 (`Positive`) or -1; one stage
    // on `length` elements from x, whose sub-transforms so far have `done` elements.
    template <bool Positive>
    void run_stages(complex* x) const;
    template <bool Positive>
    void run_stage(complex* x, std::size_t length, const stage& s, std::size_t done) const;
    // Bluestein's chirp with sign +1, on the input in chirp_input().
    void run_chirp(complex* out);
    complex* chirp_input();
};

// Bluestein's sequences for one length.
template <class Real>
struct fft_engine<Real>::chirp {
    explicit chirp(std::size_t n);
    std::vector<complex> factors; // exp(pi*i * j^2 / n), j in [0, n)
    std::vector<complex> padded;  // the input times the factors, its transform, the convolution
    std::vector<complex> spare;   // where a long-double inner transform puts its result
    std::vector<complex> kernel;  // the transform of the conjugate factors, wrapped around
    fft_engine inner;             // of the padded, power-of-two length
};

template <class Real>
template <class Input>
void fft_engine<Real>::transform(Input in, complex* out, int sign) {
    if constexpr (std::is_same_v<Real, double>) {
        if (passes_) {
            for (std::size_t j = 0; j < n_; ++j)
                out[j] = in(j);
            passes_->transform({out, n_}, sign);
            return;
        }
    }
    if (chirp_) {
        // The chirp runs with sign +1: sign -1 is the conjugate of that on the conjugate input.
        const bool conjugate = sign < 0;
        complex* a = chirp_input();
        for (std::size_t j = 0; j < n_; ++j) {
            const complex x = in(j);
            a[j] = conjugate ? std::conj(x) : x;
        }
        run_chirp(out);
        if (conjugate)
            for (std::size_t k = 0; k < n_; ++k)
                out[k] = std::conj(out[k]);
        return;
    }
    // Position p takes input j whose digits are p's in reverse. p's digit for stage t (the
    // first stage's the lowest) weighs, in j, the product of the radices after stage t.
    const std::size_t stages = stages_.size();
    std::size_t digit[max_stages] = {};
    std::size_t weight[max_stages];
    for (std::size_t t = stages, w = 1; t-- > 0; w *= stages_[t].radix)
        weight[t] = w;
    std::size_t j = 0;
    for (std::size_t position = 0; position < n_; ++position) {
        out[position] = in(j);
        for (std::size_t t = 0; t < stages; ++t) {
            j += weight[t];
            if (++digit[t] < stages_[t].radix) break;
            digit[t] = 0;
            j -= stages_[t].radix * weight[t];
        }
    }
    if (sign > 0) {
        run_stages<true>(out);
    } else {
        run_stages<false>(out);
    }
}

extern template class roots_of_unity<double>;
extern template class roots_of_unity<long double>;
extern template class fft_engine<double>;
extern template class fft_engine<long double>;

} // namespace kelvane::emu
