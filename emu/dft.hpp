// The emulated device's fast path: the single-precision complex transform of a power-of-two
// length, the one kelvane runs, in hand-vectorised passes. Every other plan, and this one where
// its layout has gaps, goes through fft_engine.
#pragma once

#include "cufft.h"
#include "dft_kernels.hpp"

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

namespace kelvane::emu {

// The butterfly passes of one power-of-two length in double precision, every twiddle factor
// from its own angle: the tables they need and the passes, in place.
class power_of_two_passes {
  public:
    using complex = std::complex<double>;
    // Preconditions: length a power of two, `path` available on this processor.
    explicit power_of_two_passes(std::size_t length, dft_path path = best_dft_path());
    // Bytes of the tables a length needs.
    static std::size_t table_bytes(std::size_t length);
    // The unnormalised DFT of x in place, exponent sign `sign`, natural order in and out.
    void transform(std::span<complex> x, int sign) const;
    // The passes on x in bit-reversed order. Where `out` is not null and the last passes sweep
    // the array, they leave their results there, rounded to single precision, and this
    // returns true; otherwise the results are in x.
    bool run(std::span<complex> x, int sign, cufftComplex* out) const;

  private:
    dft_path path_;
    // cos(2*pi*k/m) for k in [0, m/4], m the length, and the twiddles of its small passes,
    // those of half-size h at [h, 2h).
    std::vector<double> cosines_;
    std::vector<double> small_real_;
    std::vector<double> small_imaginary_;

    void grouped_passes(double* x, std::size_t length, std::size_t first, double sign,
                        float* narrowed) const;
};

// The single-precision DFT of one power-of-two length with exponent sign `sign`, unnormalised:
//     out[k] = sum over j of in[j] * exp(sign * 2*pi*i * j*k / length),
// computed in double precision and each output rounded once to single precision. All work
// memory is reserved by the constructor, as the real library reserves its work area when a
// plan is made: a constructor that cannot have it throws std::bad_alloc, and execute()
// allocates nothing. The scratch pages go back to the system after a plan's first execution: a
// plan made, executed once and destroyed, as the bridge uses them, holds no idle scratch while
// its caller goes on. A plan executed again keeps them from then on, as a device keeps a plan's
// work area, rather than meet fresh pages, which the system must clear, at every execution.
class transform_plan {
  public:
    // Preconditions: length a power of two, `path` available on this processor.
    explicit transform_plan(std::size_t length, dft_path path = best_dft_path());
    ~transform_plan();
    transform_plan(const transform_plan&) = delete;
    transform_plan& operator=(const transform_plan&) = delete;
    // Bytes of work memory a plan of `length` holds for its life.
    static std::size_t work_bytes(std::size_t length);
    // `in` and `out` may be the same buffer.
    void execute(const cufftComplex* in, cufftComplex* out, int sign);

  private:
    using complex = std::complex<double>;
    std::size_t length_;
    power_of_two_passes passes_;
    bool executed_ = false;
    // Mapped pages: the samples.
    std::span<complex> samples_;
};

} // namespace kelvane::emu
