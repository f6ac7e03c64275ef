// The emulated cuFFT plans every type, rank, batch and layout that users plan, against a direct
// long-double DFT worked out here, with cuFFT's documented data semantics and statuses.
#include "child_process.hpp"
#include "cuda_runtime_api.h"
#include "cufft.h"
#include "device_array.hpp"

#include <cmath>
#include <complex>
#include <cstring>
#include <gtest/gtest.h>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

using exact = std::complex<long double>;

bool is_double(cufftType type) {
    return type == CUFFT_Z2Z || type == CUFFT_D2Z || type == CUFFT_Z2D;
}
bool real_input(cufftType type) {
    return type == CUFFT_R2C || type == CUFFT_D2Z;
}
bool real_output(cufftType type) {
    return type == CUFFT_C2R || type == CUFFT_Z2D;
}

// One side's layout, as cufftPlanMany takes it.
struct side_layout {
    std::vector<int> embed;
    int stride;
    int distance;
};

struct plan_case {
    const char* name;
    cufftType type;
    std::vector<int> n;
    int batch = 1;
    bool in_place = false;
    int direction = CUFFT_FORWARD; // for C2C and Z2Z
    std::optional<std::pair<side_layout, side_layout>> advanced = std::nullopt;
};

std::vector<int> halved(std::vector<int> n) {
    n.back() = n.back() / 2 + 1;
    return n;
}

int product(const std::vector<int>& n) {
    int total = 1;
    for (const int length : n)
        total *= length;
    return total;
}

// The layout an execution uses, worked out from the documented rules.
std::pair<side_layout, side_layout> layouts_of(const plan_case& c) {
    if (c.advanced) return *c.advanced;
    const std::vector<int> half = halved(c.n);
    const std::vector<int> in = real_output(c.type) ? half : c.n;
    const std::vector<int> out = real_input(c.type) ? half : c.n;
    side_layout in_layout{in, 1, product(in)};
    side_layout out_layout{out, 1, product(out)};
    if (c.in_place && (real_input(c.type) || real_output(c.type))) {
        side_layout& real_side = real_input(c.type) ? in_layout : out_layout;
        real_side.embed = half;
        real_side.embed.back() *= 2;
        real_side.distance = 2 * product(half);
    }
    return {in_layout, out_layout};
}

std::size_t index_of(const side_layout& l, const std::vector<int>& x, int b) {
    std::size_t offset = static_cast<std::size_t>(x[0]);
    for (std::size_t t = 1; t < x.size(); ++t)
        offset = offset * static_cast<std::size_t>(l.embed[t]) + static_cast<std::size_t>(x[t]);
    return static_cast<std::size_t>(b) * static_cast<std::size_t>(l.distance) +
           offset * static_cast<std::size_t>(l.stride);
}

// Calls `visit(x, flat)` for every index x of `lengths`, in row-major order.
template <class Visit>
void for_each_index(const std::vector<int>& lengths, Visit visit) {
    std::vector<int> x(lengths.size(), 0);
    for (int flat = 0; flat < product(lengths); ++flat) {
        visit(x, flat);
        for (std::size_t t = lengths.size(); t-- > 0;) {
            if (++x[t] < lengths[t]) break;
            x[t] = 0;
        }
    }
}

// The direct DFT of a packed array: every term's root is a product of one root per axis, each
// from its own angle in long double.
std::vector<exact> direct_dft(const std::vector<exact>& in, const std::vector<int>& n, int sign) {
    std::vector<std::vector<exact>> roots;
    for (const int length : n) {
        std::vector<exact> axis;
        for (int m = 0; m < length; ++m) {
            const long double angle = 2 * std::numbers::pi_v<long double> * m / length;
            axis.emplace_back(std::cos(angle), sign * std::sin(angle));
        }
        roots.push_back(axis);
    }
    std::vector<exact> out(in.size());
    for_each_index(n, [&](const std::vector<int>& k, int flat_k) {
        exact sum = 0;
        for_each_index(n, [&](const std::vector<int>& j, int flat_j) {
            exact w = 1;
            for (std::size_t t = 0; t < n.size(); ++t)
                w *= roots[t][static_cast<std::size_t>(k[t] * j[t] % n[t])];
            sum += in[static_cast<std::size_t>(flat_j)] * w;
        });
        out[static_cast<std::size_t>(flat_k)] = sum;
    });
    return out;
}

// Units in the last place of the plan's precision at the exact value's magnitude.
long double ulp(long double value, bool wide) {
    if (wide) {
        const double rounded = std::fabs(static_cast<double>(value));
        return std::nextafter(rounded, INFINITY) - rounded;
    }
    const float rounded = std::fabs(static_cast<float>(value));
    return std::nextafter(rounded, INFINITY) - rounded;
}

cufftResult make_plan(const plan_case& c, cufftHandle& plan) {
    std::vector<int> n = c.n;
    const int rank = static_cast<int>(n.size());
    if (!c.advanced && c.batch == 1 && rank == 2) return cufftPlan2d(&plan, n[0], n[1], c.type);
    if (!c.advanced && c.batch == 1 && rank == 3)
        return cufftPlan3d(&plan, n[0], n[1], n[2], c.type);
    if (!c.advanced && rank == 1) return cufftPlan1d(&plan, n[0], c.type, c.batch);
    if (!c.advanced)
        return cufftPlanMany(&plan, rank, n.data(), nullptr, 1, 0, nullptr, 1, 0, c.type, c.batch);
    auto [in, out] = *c.advanced;
    return cufftPlanMany(&plan, rank, n.data(), in.embed.data(), in.stride, in.distance,
                         out.embed.data(), out.stride, out.distance, c.type, c.batch);
}

cufftResult execute(const plan_case& c, cufftHandle plan, void* in, void* out) {
    switch (c.type) {
    case CUFFT_C2C:
        return cufftExecC2C(plan, static_cast<cufftComplex*>(in), static_cast<cufftComplex*>(out),
                            c.direction);
    case CUFFT_R2C:
        return cufftExecR2C(plan, static_cast<cufftReal*>(in), static_cast<cufftComplex*>(out));
    case CUFFT_C2R:
        return cufftExecC2R(plan, static_cast<cufftComplex*>(in), static_cast<cufftReal*>(out));
    case CUFFT_Z2Z:
        return cufftExecZ2Z(plan, static_cast<cufftDoubleComplex*>(in),
                            static_cast<cufftDoubleComplex*>(out), c.direction);
    case CUFFT_D2Z:
        return cufftExecD2Z(plan, static_cast<cufftDoubleReal*>(in),
                            static_cast<cufftDoubleComplex*>(out));
    default:
        return cufftExecZ2D(plan, static_cast<cufftDoubleComplex*>(in),
                            static_cast<cufftDoubleReal*>(out));
    }
}

// Values of one side as doubles, two a complex element: what the device buffer holds.
struct host_side {
    std::vector<double> values;
    bool complex;
    bool wide;
    std::size_t bytes() const { return values.size() * (wide ? 8 : 4); }
    std::vector<char> raw() const {
        std::vector<char> bytes_out(bytes());
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (wide) {
                std::memcpy(bytes_out.data() + 8 * i, &values[i], 8);
            } else {
                const auto narrow = static_cast<float>(values[i]);
                std::memcpy(bytes_out.data() + 4 * i, &narrow, 4);
            }
        }
        return bytes_out;
    }
    void read(const std::vector<char>& bytes_in) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (wide) {
                std::memcpy(&values[i], bytes_in.data() + 8 * i, 8);
            } else {
                float narrow = 0;
                std::memcpy(&narrow, bytes_in.data() + 4 * i, 4);
                values[i] = narrow;
            }
        }
    }
};

constexpr double gap = 7777.0; // in every element no transform addresses

void check_case(const plan_case& c) {
    SCOPED_TRACE(c.name);
    const bool wide = is_double(c.type);
    const auto [in_layout, out_layout] = layouts_of(c);
    const std::vector<int> half = halved(c.n);
    const std::vector<int> in_lengths = real_output(c.type) ? half : c.n;
    const std::vector<int> out_lengths = real_input(c.type) ? half : c.n;
    auto extent = [&](const side_layout& l, const std::vector<int>& lengths) {
        std::vector<int> last;
        for (const int length : lengths)
            last.push_back(length - 1);
        return index_of(l, last, c.batch - 1) + 1;
    };
    const int in_scalars = real_input(c.type) ? 1 : 2;
    const int out_scalars = real_output(c.type) ? 1 : 2;
    host_side in{std::vector<double>(
                     extent(in_layout, in_lengths) * static_cast<std::size_t>(in_scalars), gap),
                 in_scalars == 2, wide};
    host_side out{std::vector<double>(
                      extent(out_layout, out_lengths) * static_cast<std::size_t>(out_scalars), gap),
                  out_scalars == 2, wide};

    // Random addressed input; C2R's exact result is the real part of the inverse transform of
    // the Hermitian extension of what it is given, however consistent that is.
    std::mt19937_64 generator(20260101);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int b = 0; b < c.batch; ++b)
        for_each_index(in_lengths, [&](const std::vector<int>& x, int) {
            const std::size_t at = index_of(in_layout, x, b) * static_cast<std::size_t>(in_scalars);
            for (int part = 0; part < in_scalars; ++part)
                in.values[at + static_cast<std::size_t>(part)] =
                    wide ? uniform(generator) : static_cast<float>(uniform(generator));
        });

    const std::size_t room = std::max(in.bytes(), out.bytes());
    void* device_in = nullptr;
    void* device_out = nullptr;
    ASSERT_EQ(cudaMalloc(&device_in, c.in_place ? room : in.bytes()), cudaSuccess);
    device_out = device_in;
    if (!c.in_place) {
        ASSERT_EQ(cudaMalloc(&device_out, out.bytes()), cudaSuccess);
        const std::vector<char> gaps = out.raw();
        ASSERT_EQ(cudaMemcpy(device_out, gaps.data(), gaps.size(), cudaMemcpyHostToDevice),
                  cudaSuccess);
    }
    const std::vector<char> input_bytes = in.raw();
    ASSERT_EQ(cudaMemcpy(device_in, input_bytes.data(), input_bytes.size(), cudaMemcpyHostToDevice),
              cudaSuccess);
    cufftHandle plan = 0;
    ASSERT_EQ(make_plan(c, plan), CUFFT_SUCCESS);
    ASSERT_EQ(execute(c, plan, device_in, device_out), CUFFT_SUCCESS);
    EXPECT_EQ(cufftDestroy(plan), CUFFT_SUCCESS);
    std::vector<char> result(out.bytes());
    ASSERT_EQ(cudaMemcpy(result.data(), device_out, result.size(), cudaMemcpyDeviceToHost),
              cudaSuccess);
    const std::vector<double> before = out.values;
    out.read(result);
    cudaFree(device_in);
    if (!c.in_place) cudaFree(device_out);

    const int sign = real_input(c.type) ? -1 : real_output(c.type) ? 1 : c.direction;
    long double error_l2 = 0;
    long double exact_l2 = 0;
    std::vector<bool> addressed(out.values.size(), false);
    struct element {
        exact got;
        exact expected;
    };
    std::vector<element> compared;
    for (int b = 0; b < c.batch; ++b) {
        std::vector<exact> logical(static_cast<std::size_t>(product(c.n)));
        for_each_index(c.n, [&](const std::vector<int>& x, int flat) {
            std::vector<int> source = x;
            bool conjugate = false;
            if (real_output(c.type) && x.back() >= half.back()) {
                for (std::size_t t = 0; t < x.size(); ++t)
                    source[t] = x[t] == 0 ? 0 : c.n[t] - x[t];
                conjugate = true;
            }
            const std::size_t at =
                index_of(in_layout, source, b) * static_cast<std::size_t>(in_scalars);
            const exact value(in.values[at], in_scalars == 2 ? in.values[at + 1] : 0.0);
            logical[static_cast<std::size_t>(flat)] = conjugate ? std::conj(value) : value;
        });
        const std::vector<exact> spectrum = direct_dft(logical, c.n, sign);
        for_each_index(c.n, [&](const std::vector<int>& x, int flat) {
            if (real_input(c.type) && x.back() >= half.back()) return;
            const std::size_t at =
                index_of(out_layout, x, b) * static_cast<std::size_t>(out_scalars);
            exact e = spectrum[static_cast<std::size_t>(flat)];
            exact got(out.values[at], 0);
            addressed[at] = true;
            if (out_scalars == 2) {
                got.imag(out.values[at + 1]);
                addressed[at + 1] = true;
            } else {
                e.imag(0);
            }
            compared.push_back({got, e});
            error_l2 += std::norm(got - e);
            exact_l2 += std::norm(e);
        });
    }
    // The L2 limit is a mean: it holds once there are enough elements to average.
    if (compared.size() >= 512) {
        const double relative_l2 = static_cast<double>(std::sqrt(error_l2 / exact_l2));
        EXPECT_LE(relative_l2, wide ? 1e-16 : 3e-8);
    }
    // Elements not far below the rms are rounded once from a far more precise value: each
    // part within a unit in the last place at the element's magnitude.
    const long double rms = std::sqrt(exact_l2 / static_cast<long double>(compared.size()));
    const long double floor = (wide ? 1e-2L : 1e-4L) * rms;
    for (const auto& [got, expected] : compared)
        if (std::abs(expected) > floor) {
            const long double unit = ulp(std::abs(expected), wide);
            ASSERT_LE(std::fabs(got.real() - expected.real()), unit)
                << "got " << static_cast<double>(got.real()) << ", exact "
                << static_cast<double>(expected.real());
            ASSERT_LE(std::fabs(got.imag() - expected.imag()), unit)
                << "got " << static_cast<double>(got.imag()) << ", exact "
                << static_cast<double>(expected.imag());
        }
    if (!c.in_place)
        for (std::size_t i = 0; i < out.values.size(); ++i)
            if (!addressed[i]) {
                ASSERT_EQ(out.values[i], before[i]) << "a gap at " << i << " was written";
            }
}

TEST(EmulatedPlans, EveryShapeMatchesADirectLongDoubleDft) {
    const side_layout gapped_in{{0}, 2, 21};
    const side_layout gapped_out{{0}, 3, 26};
    const std::vector<plan_case> cases = {
        // Radices and primes, one dimension.
        {"c2c 1", CUFFT_C2C, {1}},
        {"c2c 2", CUFFT_C2C, {2}},
        {"c2c 3", CUFFT_C2C, {3}},
        {"c2c 5 inverse", CUFFT_C2C, {5}, 1, false, CUFFT_INVERSE},
        {"c2c 7", CUFFT_C2C, {7}},
        {"c2c 11", CUFFT_C2C, {11}},
        {"c2c 13", CUFFT_C2C, {13}},
        {"c2c 64", CUFFT_C2C, {64}},
        {"c2c 128 inverse", CUFFT_C2C, {128}, 1, false, CUFFT_INVERSE},
        {"c2c 210 = 2*3*5*7", CUFFT_C2C, {210}},
        {"c2c 143 = 11*13", CUFFT_C2C, {143}},
        {"c2c 97, a prime past the radices", CUFFT_C2C, {97}},
        {"c2c 1000", CUFFT_C2C, {1000}},
        {"z2z 3146 = 2*11*11*13", CUFFT_Z2Z, {3146}},
        {"z2z 4394 = 2*13*13*13 inverse", CUFFT_Z2Z, {4394}, 1, false, CUFFT_INVERSE},
        {"z2z 127", CUFFT_Z2Z, {127}},
        // Real transforms, odd and even, in and out of place.
        {"r2c 12", CUFFT_R2C, {12}},
        {"r2c 15", CUFFT_R2C, {15}},
        {"r2c 1", CUFFT_R2C, {1}},
        {"r2c 512", CUFFT_R2C, {512}},
        {"c2r 12", CUFFT_C2R, {12}},
        {"c2r 15", CUFFT_C2R, {15}},
        {"d2z 64", CUFFT_D2Z, {64}},
        {"z2d 63", CUFFT_Z2D, {63}},
        {"r2c 16 in place", CUFFT_R2C, {16}, 1, true},
        {"c2r 10 in place", CUFFT_C2R, {10}, 1, true},
        {"c2c 24 in place", CUFFT_C2C, {24}, 1, true},
        // Two and three dimensions.
        {"c2c 5x7", CUFFT_C2C, {5, 7}},
        {"r2c 6x9", CUFFT_R2C, {6, 9}},
        {"c2r 4x7", CUFFT_C2R, {4, 7}},
        {"z2z 3x4x5", CUFFT_Z2Z, {3, 4, 5}},
        {"c2c 19x17x13", CUFFT_C2C, {19, 17, 13}},
        {"r2c 4x6x8 in place", CUFFT_R2C, {4, 6, 8}, 1, true},
        {"z2d 3x5x6", CUFFT_Z2D, {3, 5, 6}},
        // Batches.
        {"c2c 9, batch 5", CUFFT_C2C, {9}, 5},
        {"c2c 3x5, batch 3", CUFFT_C2C, {3, 5}, 3},
        {"d2z 11x13, batch 3", CUFFT_D2Z, {11, 13}, 3},
        // Strides and distances with gaps.
        {"c2c 8, strided, batch 3",
         CUFFT_C2C,
         {8},
         3,
         false,
         CUFFT_FORWARD,
         std::pair{gapped_in, gapped_out}},
        {"c2c 128, strided",
         CUFFT_C2C,
         {128},
         1,
         false,
         CUFFT_INVERSE,
         std::pair{side_layout{{0}, 3, 400}, side_layout{{0}, 2, 300}}},
        {"c2c 4x5 in embeds, batch 2",
         CUFFT_C2C,
         {4, 5},
         2,
         false,
         CUFFT_INVERSE,
         std::pair{side_layout{{4, 7}, 1, 30}, side_layout{{4, 6}, 2, 50}}},
        {"r2c 10 spread, batch 2",
         CUFFT_R2C,
         {10},
         2,
         false,
         CUFFT_FORWARD,
         std::pair{side_layout{{0}, 1, 12}, side_layout{{0}, 2, 13}}},
        {"c2r 3x8 in embeds",
         CUFFT_C2R,
         {3, 8},
         2,
         false,
         CUFFT_INVERSE,
         std::pair{side_layout{{3, 6}, 1, 20}, side_layout{{3, 9}, 1, 29}}},
    };
    for (const plan_case& c : cases)
        check_case(c);
}

using kelvane::test_support::device_array;

TEST(EmulatedPlans, DocumentedDataSemantics) {
    {
        // R2C of 8 writes 5 complex values; the sixth stays as it was.
        device_array<float> in(8);
        device_array<float> out(12);
        in.put({1, 2, 3, 4, 5, 6, 7, 8});
        out.put(std::vector<float>(12, 99.0f));
        cufftHandle plan = 0;
        ASSERT_EQ(cufftPlan1d(&plan, 8, CUFFT_R2C, 1), CUFFT_SUCCESS);
        ASSERT_EQ(cufftExecR2C(plan, in.as<cufftReal>(), out.as<cufftComplex>()), CUFFT_SUCCESS);
        const std::vector<float> spectrum = out.read();
        EXPECT_EQ(spectrum[0], 36.0f) << "unnormalised: the sum";
        EXPECT_EQ(spectrum[8], -4.0f) << "bin n/2";
        EXPECT_EQ(spectrum[10], 99.0f);
        EXPECT_EQ(spectrum[11], 99.0f);
        EXPECT_EQ(cufftDestroy(plan), CUFFT_SUCCESS);
    }
    {
        // In place, the real input is padded to 2 * (n/2 + 1) reals a row: 2 rows of 4 reals
        // in rows of 6, the padding never read.
        device_array<float> data(12);
        data.put({1, 1, 1, 1, -50, -50, 2, 0, 0, 0, -50, -50});
        cufftHandle plan = 0;
        ASSERT_EQ(cufftPlan2d(&plan, 2, 4, CUFFT_R2C), CUFFT_SUCCESS);
        ASSERT_EQ(cufftExecR2C(plan, data.as<cufftReal>(), data.as<cufftComplex>()), CUFFT_SUCCESS);
        const std::vector<float> spectrum = data.read();
        EXPECT_EQ(spectrum[0], 6.0f) << "the sum of the 8 reals, none of the padding";
        EXPECT_EQ(spectrum[6], 2.0f) << "row 1, bin 0: 4 - 2";
        EXPECT_EQ(cufftDestroy(plan), CUFFT_SUCCESS);
    }
    {
        // An out-of-place C2R overwrites its input (NaN everywhere it read); forward then
        // inverse gives n times the input: no normalisation.
        device_array<float> real(6);
        device_array<float> half(8);
        real.put({1, 2, 3, 4, 5, 6});
        cufftHandle forward = 0;
        cufftHandle inverse = 0;
        ASSERT_EQ(cufftPlan1d(&forward, 6, CUFFT_R2C, 1), CUFFT_SUCCESS);
        ASSERT_EQ(cufftPlan1d(&inverse, 6, CUFFT_C2R, 1), CUFFT_SUCCESS);
        ASSERT_EQ(cufftExecR2C(forward, real.as<cufftReal>(), half.as<cufftComplex>()),
                  CUFFT_SUCCESS);
        ASSERT_EQ(cufftExecC2R(inverse, half.as<cufftComplex>(), real.as<cufftReal>()),
                  CUFFT_SUCCESS);
        const std::vector<float> round_trip = real.read();
        for (std::size_t i = 0; i < 6; ++i)
            EXPECT_NEAR(round_trip[i], 6.0f * static_cast<float>(i + 1), 1e-4f) << i;
        for (const float overwritten : half.read())
            EXPECT_TRUE(std::isnan(overwritten));
        EXPECT_EQ(cufftDestroy(forward), CUFFT_SUCCESS);
        EXPECT_EQ(cufftDestroy(inverse), CUFFT_SUCCESS);
    }
    {
        // C2C keeps its input; the inverse of the forward is n times the input.
        device_array<double> data(8);
        device_array<double> spectrum(8);
        const std::vector<double> values = {1, -2, 0.5, 4, 3, 0, -1, 2};
        data.put(values);
        cufftHandle plan = 0;
        ASSERT_EQ(cufftPlan1d(&plan, 4, CUFFT_Z2Z, 1), CUFFT_SUCCESS);
        ASSERT_EQ(cufftExecZ2Z(plan, data.as<cufftDoubleComplex>(),
                               spectrum.as<cufftDoubleComplex>(), CUFFT_FORWARD),
                  CUFFT_SUCCESS);
        EXPECT_EQ(data.read(), values);
        ASSERT_EQ(cufftExecZ2Z(plan, spectrum.as<cufftDoubleComplex>(),
                               data.as<cufftDoubleComplex>(), CUFFT_INVERSE),
                  CUFFT_SUCCESS);
        const std::vector<double> round_trip = data.read();
        for (std::size_t i = 0; i < 8; ++i)
            EXPECT_NEAR(round_trip[i], 4 * values[i], 1e-14) << i;
        EXPECT_EQ(cufftDestroy(plan), CUFFT_SUCCESS);
    }
}

TEST(EmulatedPlans, EveryCallTakesAnInjectedFault) {
    const char* const calls[] = {
        "cufftPlan1d",     "cufftPlan2d",     "cufftPlan3d",     "cufftPlanMany",
        "cufftEstimate1d", "cufftEstimate2d", "cufftEstimate3d", "cufftEstimateMany",
        "cufftGetSize",    "cufftExecC2C",    "cufftExecR2C",    "cufftExecC2R",
        "cufftExecZ2Z",    "cufftExecD2Z",    "cufftExecZ2D",    "cufftDestroy"};
    for (const char* failing : calls) {
        const auto result = kelvane::test_support::run_program(
            {KELVANE_PLAN_CALLER}, {std::string("KELVANE_EMU_FAIL=") + failing + ":1:7"});
        ASSERT_EQ(result.exit_status, 0) << failing << ": " << result.err;
        // The failing call returns the injected status; those before it run as ever (those
        // after it may use a plan that was never made).
        for (const char* call : calls) {
            const bool is_failing = std::string_view(call) == failing;
            const std::string line = std::string(call) + (is_failing ? " 7\n" : " 0\n");
            EXPECT_NE(result.out.find(line), std::string::npos) << failing << " failing:\n"
                                                                << result.out;
            if (is_failing) break;
        }
    }
}

TEST(EmulatedPlans, InvalidArgumentsGetCufftsStatuses) {
    cufftHandle plan = 0;
    int n[3] = {8, 8, 8};
    int embed[3] = {8, 8, 8};
    int short_embed[3] = {8, 4, 8};
    size_t work = 0;
    struct row {
        const char* what;
        cufftResult got;
        cufftResult expected;
    };
    const row rows[] = {
        {"length 0", cufftPlan1d(&plan, 0, CUFFT_C2C, 1), CUFFT_INVALID_SIZE},
        {"negative length", cufftPlan1d(&plan, -1, CUFFT_C2C, 1), CUFFT_INVALID_SIZE},
        {"batch 0", cufftPlan1d(&plan, 8, CUFFT_C2C, 0), CUFFT_INVALID_SIZE},
        {"2d with a 0", cufftPlan2d(&plan, 4, 0, CUFFT_C2C), CUFFT_INVALID_SIZE},
        {"3d with a negative", cufftPlan3d(&plan, 4, 4, -2, CUFFT_R2C), CUFFT_INVALID_SIZE},
        {"rank 0", cufftPlanMany(&plan, 0, n, nullptr, 1, 0, nullptr, 1, 0, CUFFT_C2C, 1),
         CUFFT_INVALID_SIZE},
        {"rank 4", cufftPlanMany(&plan, 4, n, nullptr, 1, 0, nullptr, 1, 0, CUFFT_C2C, 1),
         CUFFT_INVALID_SIZE},
        {"no type", cufftPlan1d(&plan, 8, static_cast<cufftType>(0x28), 1), CUFFT_INVALID_VALUE},
        {"no handle", cufftPlan1d(nullptr, 8, CUFFT_C2C, 1), CUFFT_INVALID_VALUE},
        {"stride 0", cufftPlanMany(&plan, 1, n, embed, 0, 8, embed, 1, 8, CUFFT_C2C, 1),
         CUFFT_INVALID_VALUE},
        {"distance 0", cufftPlanMany(&plan, 1, n, embed, 1, 8, embed, 1, 0, CUFFT_C2C, 2),
         CUFFT_INVALID_VALUE},
        {"embed below the length",
         cufftPlanMany(&plan, 3, n, short_embed, 1, 512, embed, 1, 512, CUFFT_C2C, 1),
         CUFFT_INVALID_VALUE},
        {"work area past the device", cufftPlan3d(&plan, 2048, 2048, 2048, CUFFT_C2C),
         CUFFT_ALLOC_FAILED},
        {"lengths whose product wraps around",
         cufftPlan3d(&plan, 1 << 21, 1 << 21, 1 << 22, CUFFT_C2C), CUFFT_INVALID_SIZE},
        {"a distance that overflows",
         cufftPlanMany(&plan, 1, n, embed, 1, 2147483647, embed, 1, 8, CUFFT_C2C, 2147483647),
         CUFFT_INVALID_SIZE},
        {"estimate with no size", cufftEstimate1d(8, CUFFT_C2C, 1, nullptr), CUFFT_INVALID_VALUE},
        {"estimate of length 0", cufftEstimate2d(0, 8, CUFFT_C2C, &work), CUFFT_INVALID_SIZE},
        {"size of no plan", cufftGetSize(12345, &work), CUFFT_INVALID_PLAN},
        {"destroy the null plan", cufftDestroy(CUFFT_PLAN_NULL), CUFFT_SUCCESS},
        {"destroy no plan", cufftDestroy(12345), CUFFT_INVALID_PLAN},
    };
    for (const auto& [what, got, expected] : rows)
        EXPECT_EQ(got, expected) << what;

    // A plan's work area is what the estimate said, and its executions check their type.
    size_t estimated = 0;
    size_t held = 0;
    ASSERT_EQ(cufftEstimate3d(19, 17, 13, CUFFT_Z2D, &estimated), CUFFT_SUCCESS);
    ASSERT_EQ(cufftPlan3d(&plan, 19, 17, 13, CUFFT_Z2D), CUFFT_SUCCESS);
    ASSERT_EQ(cufftGetSize(plan, &held), CUFFT_SUCCESS);
    EXPECT_EQ(held, estimated);
    EXPECT_GT(held, 0U);
    device_array<double> buffer(2 * 19 * 17 * 13);
    EXPECT_EQ(cufftExecD2Z(plan, buffer.as<cufftDoubleReal>(), buffer.as<cufftDoubleComplex>()),
              CUFFT_INVALID_VALUE)
        << "a Z2D plan runs no D2Z";
    EXPECT_EQ(cufftExecZ2D(plan, buffer.as<cufftDoubleComplex>(), buffer.as<cufftDoubleReal>()),
              CUFFT_SUCCESS);
    EXPECT_EQ(cufftDestroy(plan), CUFFT_SUCCESS);
}

} // namespace
