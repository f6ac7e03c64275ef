#include "exact_transform.hpp"

#include <fftw3.h>
#include <new>

namespace kelvane::verify {

static_assert(sizeof(exact_complex) == sizeof(fftwl_complex),
              "std::complex<long double> is laid out as FFTW's long-double complex");

std::vector<exact_complex> exact_spectrum(std::span<const kelvane_complex> signal) {
    const std::size_t n = signal.size();
    std::vector<exact_complex> spectrum(n);
    // In place in the result: one array, where two of FFTW's own would be touched first.
    auto* const data = reinterpret_cast<fftwl_complex*>(spectrum.data());
    // An estimated plan: measuring would cost more than the transform, and the accuracy of
    // every FFTW plan is the same order. Estimating leaves the array alone.
    const fftwl_plan plan =
        fftwl_plan_dft_1d(static_cast<int>(n), data, data, FFTW_FORWARD, FFTW_ESTIMATE);
    if (plan == nullptr) throw std::bad_alloc();
    for (std::size_t k = 0; k < n; ++k)
        spectrum[k] = {signal[k].re, signal[k].im};
    fftwl_execute(plan);
    fftwl_destroy_plan(plan);
    return spectrum;
}

std::string yardstick_version() {
    return std::string(fftwl_version) + ", long double (fftwl)";
}

} // namespace kelvane::verify
