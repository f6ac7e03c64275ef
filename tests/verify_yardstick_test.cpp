// The yardstick of transform cases, FFTW in long double, against a direct long-double sum of
// the transform's definition: every type, ranks 1 to 3, batches and odd lengths.
#include "case_data.hpp"
#include "exact_transform.hpp"
#include "transform_case.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

namespace {

using kelvane::verify::exact_complex;
using kelvane::verify::fft_type;
using kelvane::verify::transform_case;

// The full input of one member: a C2R or Z2D half spectrum extended by Hermitian symmetry.
std::vector<exact_complex> full_input(const transform_case& c, std::span<const exact_complex> in,
                                      const std::array<std::size_t, 3>& n) {
    if (!kelvane::verify::real_output(c.type)) return {in.begin(), in.end()};
    const std::size_t half = n[2] / 2 + 1;
    std::vector<exact_complex> full(n[0] * n[1] * n[2]);
    for (std::size_t a = 0; a < n[0]; ++a)
        for (std::size_t b = 0; b < n[1]; ++b)
            for (std::size_t k = 0; k < n[2]; ++k) {
                const bool stored = k < half;
                const std::size_t sa = stored ? a : (n[0] - a) % n[0];
                const std::size_t sb = stored ? b : (n[1] - b) % n[1];
                const std::size_t sk = stored ? k : n[2] - k;
                const exact_complex value = in[(sa * n[1] + sb) * half + sk];
                full[(a * n[1] + b) * n[2] + k] = stored ? value : std::conj(value);
            }
    return full;
}

// out[k] = sum over x of in[x] exp(sign 2 pi i sum_t k_t x_t / n_t), directly.
std::vector<exact_complex> direct_sum(const std::vector<exact_complex>& in,
                                      const std::array<std::size_t, 3>& n, int sign) {
    const std::size_t total = n[0] * n[1] * n[2];
    std::vector<exact_complex> out(total);
    for (std::size_t k = 0; k < total; ++k) {
        const std::size_t k0 = k / (n[1] * n[2]), k1 = k / n[2] % n[1], k2 = k % n[2];
        exact_complex sum = 0;
        for (std::size_t x = 0; x < total; ++x) {
            const std::size_t x0 = x / (n[1] * n[2]), x1 = x / n[2] % n[1], x2 = x % n[2];
            // Each phase reduced to whole turns exactly before the angle is formed.
            const long double turns =
                static_cast<long double>((k0 * x0) % n[0]) / static_cast<long double>(n[0]) +
                static_cast<long double>((k1 * x1) % n[1]) / static_cast<long double>(n[1]) +
                static_cast<long double>((k2 * x2) % n[2]) / static_cast<long double>(n[2]);
            const long double angle = sign * 2 * std::numbers::pi_v<long double> * turns;
            sum += in[x] * exact_complex(std::cos(angle), std::sin(angle));
        }
        out[k] = sum;
    }
    return out;
}

TEST(CaseYardstick, MatchesADirectLongDoubleSumForEveryType) {
    struct row {
        fft_type type;
        std::vector<std::size_t> lengths;
        std::size_t batch;
        bool inverse;
    };
    const std::vector<row> rows = {
        {fft_type::c2c, {17}, 2, false},      {fft_type::c2c, {6, 5}, 1, true},
        {fft_type::z2z, {3, 4, 5}, 2, false}, {fft_type::r2c, {15}, 3, false},
        {fft_type::r2c, {7, 6}, 1, false},    {fft_type::d2z, {4, 3, 6}, 1, false},
        {fft_type::c2r, {16}, 2, false},      {fft_type::c2r, {5, 9}, 1, false},
        {fft_type::z2d, {3, 5, 8}, 2, false},
    };
    for (const row& r : rows) {
        transform_case c;
        c.type = r.type;
        c.lengths = r.lengths;
        c.batch = r.batch;
        c.inverse = r.inverse;
        c.input = kelvane::verify::input_source::random;
        c.seed = 7;
        const auto g = kelvane::verify::geometry_of(c);
        std::string error;
        const auto buffer = kelvane::verify::make_input(c, g, error);
        ASSERT_TRUE(buffer) << error;
        const auto input = kelvane::verify::gather(g, g.in, *buffer);
        const auto exact = kelvane::verify::exact_output(c, input);
        const std::array<std::size_t, 3> n = {
            c.lengths.size() == 3 ? c.lengths[0] : 1,
            c.lengths.size() >= 2 ? c.lengths[c.lengths.size() - 2] : 1, c.lengths.back()};
        const std::string name = std::string(kelvane::verify::type_name(c.type)) + " " +
                                 kelvane::verify::shape_text(c.lengths);
        for (std::size_t b = 0; b < c.batch; ++b) {
            const auto member = std::span(input).subspan(b * g.in.elements(), g.in.elements());
            const auto direct =
                direct_sum(full_input(c, member, n), n, kelvane::verify::forward(c) ? -1 : 1);
            long double largest = 0;
            long double worst = 0;
            for (std::size_t k = 0; k < g.out.elements(); ++k) {
                // The complex side of R2C keeps n/2 + 1 along the last length.
                const std::size_t last = g.out.lengths[2];
                const std::size_t full_index = k / last * n[2] + k % last;
                exact_complex expected = direct[full_index];
                if (kelvane::verify::real_output(c.type)) {
                    EXPECT_LT(std::abs(expected.imag()), 1e-15L * n[0] * n[1] * n[2]) << name;
                    expected = expected.real();
                }
                largest = std::max(largest, std::abs(expected));
                worst = std::max(worst, std::abs(exact[b * g.out.elements() + k] - expected));
            }
            // Long double carries 64 bits: the sum and FFTW agree far below any float's error.
            EXPECT_LT(worst / largest, 1e-16L) << name << ", member " << b;
        }
    }
}

} // namespace
