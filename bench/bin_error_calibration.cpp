// The calibration of kelvane-verify's per-bin limit: the largest bin error, in units of
// eps * sqrt(log2 N) * rms|X|, that sound single-precision transforms make on seeded random
// inputs, at every power of two from 2^A to 2^B. The transforms are four1 (in the run's
// floating-point mode, as kelvane-verify runs it), the emulated device through c2c_1d, and
// FFTW's single precision; the yardstick is FFTW's long double. Prints one row a size and
// fails when any transform reaches the limit.
//     bin_error_calibration [A B [SEEDS]]     (default 1 20 3)
#include "accuracy.hpp"
#include "exact_transform.hpp"
#include "random_input.hpp"
#include "signal.hpp"
#include "computed_sides.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fftw3.h>
#include <vector>

namespace {

using kelvane::verify::exact_complex;

std::vector<kelvane_complex> fftw_single_spectrum(const std::vector<kelvane_complex>& input) {
    std::vector<kelvane_complex> data = input;
    auto* raw = reinterpret_cast<fftwf_complex*>(data.data());
    const fftwf_plan plan =
        fftwf_plan_dft_1d(static_cast<int>(data.size()), raw, raw, FFTW_FORWARD, FFTW_ESTIMATE);
    fftwf_execute(plan);
    fftwf_destroy_plan(plan);
    return data;
}

} // namespace

int main(int argc, char** argv) {
    const int smallest = argc > 2 ? std::atoi(argv[1]) : 1;
    const int largest = argc > 2 ? std::atoi(argv[2]) : 20;
    const int seeds = argc > 3 ? std::atoi(argv[3]) : 3;
    kelvane::driver::enter_flush_to_zero_mode();
    const double limit = kelvane::verify::default_bin_multiple;
    std::printf("largest bin error on random inputs, units of eps*sqrt(log2 N)*rms|X|; limit %g\n"
                "log2 N    four1   device   fftwf   (worst of %d seeds from 1)\n",
                limit, seeds);
    bool within = true;
    for (int log2 = smallest; log2 <= largest; ++log2) {
        double worst[3] = {0.0, 0.0, 0.0};
        for (int seed = 1; seed <= seeds; ++seed) {
            std::vector<kelvane_complex> input(std::size_t{1} << log2);
            kelvane::verify::fill_random(input, static_cast<std::uint64_t>(seed));
            const std::vector<exact_complex> exact = kelvane::verify::exact_spectrum(input);
            const std::vector<kelvane_complex> spectra[3] = {
                kelvane::verify::four1_spectrum(input), kelvane::verify::device_spectrum(input),
                fftw_single_spectrum(input)};
            for (int which = 0; which < 3; ++which)
                worst[which] = std::max(
                    worst[which], kelvane::verify::largest_bin_error(spectra[which], exact).units);
        }
        std::printf("%6d  %7.2f  %7.2f  %7.2f\n", log2, worst[0], worst[1], worst[2]);
        within = within && std::max({worst[0], worst[1], worst[2]}) < limit;
    }
    std::printf("%s\n", within ? "every transform within the limit" : "LIMIT REACHED");
    return within ? 0 : 1;
}
