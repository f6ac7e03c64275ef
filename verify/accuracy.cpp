#include "accuracy.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>

namespace kelvane::verify {
namespace {

constexpr double single_epsilon = 0x1p-24;

exact_complex widened(const kelvane_complex& value) {
    return {value.re, value.im};
}

// The sums in long double: the x87 unit ignores the SSE flush-to-zero mode the run is in,
// and 2^20 terms lose nothing that the ratios show.
template <class Reference>
error_norms norms(std::span<const kelvane_complex> spectrum, Reference reference,
                  std::span<const exact_complex> exact) {
    long double difference_l1 = 0.0L;
    long double difference_l2 = 0.0L;
    long double difference_max = -1.0L;
    long double exact_l1 = 0.0L;
    long double exact_l2 = 0.0L;
    long double exact_max = 0.0L;
    error_norms result;
    for (std::size_t k = 0; k < exact.size(); ++k) {
        const long double difference_squared = std::norm(widened(spectrum[k]) - reference(k));
        const long double difference = std::sqrt(difference_squared);
        const long double magnitude_squared = std::norm(exact[k]);
        difference_l1 += difference;
        difference_l2 += difference_squared;
        // The first NaN is the worst bin of all and stays so.
        const bool worse =
            std::isnan(difference) ? !std::isnan(difference_max) : difference > difference_max;
        if (worse) {
            difference_max = difference;
            result.linf_bin = k;
        }
        const long double magnitude = std::sqrt(magnitude_squared);
        exact_l1 += magnitude;
        exact_l2 += magnitude_squared;
        exact_max = std::max(exact_max, magnitude);
    }
    result.rel_l1 = static_cast<double>(difference_l1 / exact_l1);
    result.rel_l2 = static_cast<double>(std::sqrt(difference_l2 / exact_l2));
    result.rel_linf = static_cast<double>(difference_max / exact_max);
    return result;
}

} // namespace

error_norms compare(std::span<const kelvane_complex> spectrum,
                    std::span<const exact_complex> exact) {
    return norms(
        spectrum, [exact](std::size_t k) { return exact[k]; }, exact);
}

error_norms compare(std::span<const kelvane_complex> spectrum,
                    std::span<const kelvane_complex> reference,
                    std::span<const exact_complex> exact) {
    return norms(
        spectrum, [reference](std::size_t k) { return widened(reference[k]); }, exact);
}

double expected_level(std::size_t n) {
    const auto stages = static_cast<double>(std::max<std::size_t>(std::bit_width(n) - 1, 1));
    return single_epsilon * std::sqrt(stages);
}

tolerances default_tolerances(std::size_t n) {
    const double level = expected_level(n);
    return {default_l2_multiple * level, default_linf_multiple * level};
}

bin_error largest_bin_error(std::span<const kelvane_complex> spectrum,
                            std::span<const exact_complex> exact) {
    // Squares throughout: the root of the largest is the largest root.
    long double exact_l2 = 0.0L;
    long double largest_squared = -1.0L;
    bin_error result;
    for (std::size_t k = 0; k < exact.size(); ++k) {
        exact_l2 += std::norm(exact[k]);
        const long double squared = std::norm(widened(spectrum[k]) - exact[k]);
        const bool worse =
            std::isnan(squared) ? !std::isnan(largest_squared) : squared > largest_squared;
        if (worse) {
            largest_squared = squared;
            result.bin = k;
        }
    }
    const long double rms = std::sqrt(exact_l2 / static_cast<long double>(exact.size()));
    result.units =
        static_cast<double>(std::sqrt(largest_squared) / (rms * expected_level(exact.size())));
    return result;
}

std::vector<std::size_t> worst_bins(std::span<const kelvane_complex> spectrum,
                                    std::span<const exact_complex> exact, std::size_t count) {
    std::vector<long double> difference(exact.size());
    for (std::size_t k = 0; k < exact.size(); ++k) {
        const long double d = std::norm(widened(spectrum[k]) - exact[k]);
        // NaN sorts first: it is the worst of all.
        difference[k] = std::isnan(d) ? HUGE_VALL : d;
    }
    std::vector<std::size_t> bins(exact.size());
    std::iota(bins.begin(), bins.end(), std::size_t{0});
    count = std::min(count, bins.size());
    std::partial_sort(bins.begin(), bins.begin() + static_cast<std::ptrdiff_t>(count), bins.end(),
                      [&difference](std::size_t a, std::size_t b) {
                          return difference[a] > difference[b] ||
                                 (difference[a] == difference[b] && a < b);
                      });
    bins.resize(count);
    return bins;
}

} // namespace kelvane::verify
