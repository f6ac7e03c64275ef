#include "exact_transform.hpp"

#include "usable_cores.hpp"

#include <fftw3.h>
#include <new>

namespace kelvane::verify {
namespace {

static_assert(sizeof(exact_complex) == sizeof(fftwl_complex),
              "std::complex<long double> is laid out as FFTW's long-double complex");

// Every later long-double plan runs on every usable core: the yardstick is the costliest part
// of a run.
void plan_on_every_core() {
    static const bool threads = usable_cores() > 1 && fftwl_init_threads() != 0;
    if (threads) fftwl_plan_with_nthreads(usable_cores());
}

// Runs and destroys a plan; a plan FFTW could not make is out of memory.
void execute_once(fftwl_plan plan) {
    if (plan == nullptr) throw std::bad_alloc();
    fftwl_execute(plan);
    fftwl_destroy_plan(plan);
}

} // namespace

std::vector<exact_complex> exact_spectrum(std::span<const kelvane_complex> signal) {
    const std::size_t n = signal.size();
    std::vector<exact_complex> spectrum(n);
    // In place in the result: one array, where two of FFTW's own would be touched first.
    auto* const data = reinterpret_cast<fftwl_complex*>(spectrum.data());
    // An estimated plan: measuring would cost more than the transform, and the accuracy of
    // every FFTW plan is the same order. Estimating leaves the array alone.
    plan_on_every_core();
    const fftwl_plan plan =
        fftwl_plan_dft_1d(static_cast<int>(n), data, data, FFTW_FORWARD, FFTW_ESTIMATE);
    for (std::size_t k = 0; k < n; ++k)
        spectrum[k] = {signal[k].re, signal[k].im};
    execute_once(plan);
    return spectrum;
}

std::vector<exact_complex> exact_output(const transform_case& c,
                                        std::span<const exact_complex> input) {
    const case_geometry g = geometry_of(c);
    const int rank = g.rank;
    int n[3] = {g.n[0], g.n[1], g.n[2]};
    const auto batch = static_cast<int>(c.batch);
    const auto in_elements = static_cast<int>(g.in.elements());
    const auto out_elements = static_cast<int>(g.out.elements());
    std::vector<exact_complex> output(g.out.elements() * c.batch);
    plan_on_every_core();
    if (complex_only(c.type)) {
        std::vector<exact_complex> copy(input.begin(), input.end());
        execute_once(fftwl_plan_many_dft(
            rank, n, batch, reinterpret_cast<fftwl_complex*>(copy.data()), nullptr, 1, in_elements,
            reinterpret_cast<fftwl_complex*>(output.data()), nullptr, 1, out_elements,
            forward(c) ? FFTW_FORWARD : FFTW_BACKWARD, FFTW_ESTIMATE));
    } else if (real_input(c.type)) {
        std::vector<long double> reals(input.size());
        for (std::size_t k = 0; k < input.size(); ++k)
            reals[k] = input[k].real();
        execute_once(fftwl_plan_many_dft_r2c(rank, n, batch, reals.data(), nullptr, 1, in_elements,
                                             reinterpret_cast<fftwl_complex*>(output.data()),
                                             nullptr, 1, out_elements, FFTW_ESTIMATE));
    } else {
        // FFTW's C2R overwrites its input: it gets a copy.
        std::vector<exact_complex> copy(input.begin(), input.end());
        std::vector<long double> reals(output.size());
        execute_once(fftwl_plan_many_dft_c2r(
            rank, n, batch, reinterpret_cast<fftwl_complex*>(copy.data()), nullptr, 1, in_elements,
            reals.data(), nullptr, 1, out_elements, FFTW_ESTIMATE));
        for (std::size_t k = 0; k < reals.size(); ++k)
            output[k] = reals[k];
    }
    return output;
}

std::string yardstick_version() {
    return std::string(fftwl_version) + ", long double (fftwl)";
}

} // namespace kelvane::verify
