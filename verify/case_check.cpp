#include "case_check.hpp"

#include "accuracy.hpp"
#include "case_data.hpp"
#include "computed_sides.hpp"
#include "device_leg.hpp"
#include "exact_transform.hpp"
#include "timing_loop.hpp"

#include <chrono>
#include <cstring>

namespace kelvane::verify {
namespace {

constexpr std::size_t worst_element_count = 8;

// Twice the L2 limit: two transforms, each within it.
constexpr double round_trip_multiple = 2.0;

// four1 on every member of a single-precision C2C case of one power-of-two length: each
// member's errors, and each round's seconds for all members.
void check_four1(std::span<const exact_complex> input, std::span<const exact_complex> exact,
                 const case_settings& s, case_result& r) {
    const std::size_t n = r.transform.lengths[0];
    std::vector<member_errors> members;
    std::vector<std::vector<kelvane_complex>> inputs(r.transform.batch,
                                                     std::vector<kelvane_complex>(n));
    for (std::size_t b = 0; b < r.transform.batch; ++b) {
        for (std::size_t k = 0; k < n; ++k)
            inputs[b][k] = {static_cast<float>(input[b * n + k].real()),
                            static_cast<float>(input[b * n + k].imag())};
        const std::vector<kelvane_complex> spectrum =
            four1_spectrum(inputs[b], r.transform.inverse);
        const auto member_exact = exact.subspan(b * n, n);
        const error_norms norms = compare(spectrum, member_exact);
        members.push_back({norms.rel_l2, norms.rel_linf, norms.linf_bin,
                           largest_bin_error(spectrum, member_exact).units});
    }
    r.four1 = worst_member(members);
    const auto length = static_cast<std::int32_t>(n);
    const std::int32_t sign = r.transform.inverse ? -1 : 1;
    std::vector<kelvane_complex> work(n);
    for (int round = 0; round < s.warmups + s.rounds; ++round) {
        double seconds = 0.0;
        for (const auto& member : inputs) {
            std::memcpy(work.data(), member.data(), n * sizeof(kelvane_complex));
            const auto start = std::chrono::steady_clock::now();
            four1_(&work[0].re, &length, &sign);
            seconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        if (round >= s.warmups) r.four1_seconds.push_back(seconds);
    }
}

} // namespace

case_limits limits_of(const transform_case& c, const case_settings& s) {
    const double level = case_level(c);
    case_limits limits;
    limits.rel_l2 = s.tolerance_l2.value_or(default_l2_multiple * level);
    limits.rel_linf = s.tolerance_linf.value_or(default_linf_multiple * level);
    limits.bin_units = s.tolerance_bin.value_or(default_bin_multiple);
    limits.round_trip = round_trip_multiple * limits.rel_l2;
    return limits;
}

std::optional<case_result> check_case(const transform_case& c, const case_settings& s,
                                      std::string& error) {
    const case_geometry g = geometry_of(c);
    const std::optional<byte_buffer> input = make_input(c, g, error);
    if (!input) return std::nullopt;
    case_result r;
    r.transform = c;
    r.level = case_level(c);
    r.limits = limits_of(c, s);
    r.warmups = s.warmups;

    const std::vector<exact_complex> logical_input = gather(g, g.in, *input);
    const std::vector<exact_complex> exact = exact_output(c, logical_input);

    device_leg leg(c);
    const device_results device = leg.results(*input);
    r.gpu = worst_member(errors_per_member(g, g.out, device.output, exact, r.level));
    if (device.round_trip)
        r.round_trip =
            worst_member(errors_per_member(g, g.in, *device.round_trip, logical_input, r.level,
                                           static_cast<long double>(total_length(c))))
                .rel_l2;
    if (device.input_after)
        r.input_preserved =
            std::memcmp(device.input_after->data(), input->data(), g.input_bytes()) == 0;
    r.pass = case_passes(r);
    if (!r.pass) r.worst = worst_elements(g, g.out, device.output, exact, worst_element_count);

    const fftw_run fftw =
        run_fftw(c, *input, s.planning, s.warmups, s.rounds, least_sample_seconds);
    r.fftw = worst_member(errors_per_member(g, g.out, fftw.output, exact, r.level));
    r.fftw_timings = fftw.timings;
    if (s.keep_outputs)
        r.outputs =
            kept_outputs{gather(g, g.out, device.output), gather(g, g.out, fftw.output), exact};
    if (four1_applies(c)) check_four1(logical_input, exact, s, r);

    byte_buffer leg_output(c.in_place ? input->size() : g.output_bytes());
    for (int round = 0; round < s.warmups + s.rounds; ++round) {
        const round_times times = leg.run(input->data(), leg_output.data());
        if (round >= s.warmups) r.leg_rounds.push_back(times);
    }
    r.execution = leg.time_execution(*input, s.warmups, s.rounds, least_sample_seconds);
    return r;
}

} // namespace kelvane::verify
