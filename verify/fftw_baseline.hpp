// The CPU library a GPU's user would otherwise call: FFTW in the case's precision, with the
// case's type, lengths, batch and layout, on one thread and on every core.
#pragma once

#include "case_data.hpp"
#include "transform_case.hpp"

#include <array>
#include <string_view>
#include <vector>

namespace kelvane::verify {

// FFTW's planner flags, the least planning first.
enum class fftw_planning { estimate, measure, patient };
inline constexpr std::array<std::string_view, 3> fftw_planning_names = {"estimate", "measure",
                                                                        "patient"};
inline std::string_view planning_name(fftw_planning planning) {
    return fftw_planning_names[static_cast<std::size_t>(planning)];
}

// One thread count's plan and its timed rounds, each round's seconds per execution.
struct fftw_timing {
    int threads = 1;
    double planning_seconds = 0.0;
    std::size_t executions = 1; // back to back, a round
    std::vector<double> seconds;
};

struct fftw_run {
    byte_buffer output; // the output buffer of one execution; in place, the whole buffer
    std::array<fftw_timing, 2> timings; // one thread, then every core
};

// Plans and runs the case on `input` (its buffer, as the device gets it): one execution for the
// output, then for each thread count `warmups` untimed executions and `rounds` rounds of as many
// back-to-back executions as last `least_seconds`. Throws std::bad_alloc where FFTW cannot plan.
fftw_run run_fftw(const transform_case& c, const byte_buffer& input, fftw_planning planning,
                  int warmups, int rounds, double least_seconds);

// "fftw-3.3.10, single precision" and so on, for the provenance.
std::string baseline_version(bool double_precision);

} // namespace kelvane::verify
