#include "exact_transform.hpp"

#include <fftw3.h>
#include <memory>
#include <new>

namespace kelvane::verify {
namespace {

struct fftwl_free_deleter {
    void operator()(fftwl_complex* data) const { fftwl_free(data); }
};
using fftwl_buffer = std::unique_ptr<fftwl_complex[], fftwl_free_deleter>;

fftwl_buffer allocate(std::size_t count) {
    auto* data = static_cast<fftwl_complex*>(fftwl_malloc(count * sizeof(fftwl_complex)));
    if (data == nullptr) throw std::bad_alloc();
    return fftwl_buffer(data);
}

} // namespace

std::vector<exact_complex> exact_spectrum(std::span<const kelvane_complex> signal) {
    const std::size_t n = signal.size();
    const fftwl_buffer in = allocate(n);
    const fftwl_buffer out = allocate(n);
    // An estimated plan: measuring would cost more than the transform, and the accuracy of
    // every FFTW plan is the same order.
    const fftwl_plan plan =
        fftwl_plan_dft_1d(static_cast<int>(n), in.get(), out.get(), FFTW_FORWARD, FFTW_ESTIMATE);
    if (plan == nullptr) throw std::bad_alloc();
    for (std::size_t k = 0; k < n; ++k) {
        in[k][0] = signal[k].re;
        in[k][1] = signal[k].im;
    }
    fftwl_execute(plan);
    fftwl_destroy_plan(plan);
    std::vector<exact_complex> spectrum(n);
    for (std::size_t k = 0; k < n; ++k)
        spectrum[k] = {out[k][0], out[k][1]};
    return spectrum;
}

std::string yardstick_version() {
    return std::string(fftwl_version) + ", long double (fftwl)";
}

} // namespace kelvane::verify
