// What checking one transform case found, its verdict, and the reports of a run of cases:
// a row a case for people, JSON `cases` for scripts, CSV rows a case and phase.
#pragma once

#include "case_data.hpp"
#include "device_leg.hpp"
#include "fftw_baseline.hpp"
#include "provenance.hpp"
#include "transform_case.hpp"

#include <optional>
#include <string>
#include <vector>

namespace kelvane::verify {

// The level a case's errors are measured in: eps * sqrt(log2 N) (log2 N at least 1), eps the
// precision's (2^-24 or 2^-53), N the product of the lengths; twice that where a length has a
// prime factor above 7, which cuFFT transforms by other algorithms.
double case_level(const transform_case& c);
bool has_prime_factor_above_7(const transform_case& c);

// The limits of a case's verdict, in the level's units unless said otherwise.
struct case_limits {
    double rel_l2 = 0.0;     // relative L2 error, absolute
    double rel_linf = 0.0;   // relative L-infinity error on a signal or a file, absolute
    double bin_units = 0.0;  // largest element error of a random input, in units
    double round_trip = 0.0; // relative L2 error of forward and back against N x, absolute
};

// One computed output's errors against the exact one: the worst member's of each figure.
struct case_errors {
    double rel_l2 = 0.0;
    double rel_linf = 0.0;
    double bin_units = 0.0;
    std::size_t member = 0; // the member and element of the largest error
    std::size_t index = 0;
};
case_errors worst_member(const std::vector<member_errors>& members);

// The logical values of a case's outputs, member after member, kept for its picture.
struct kept_outputs {
    std::vector<exact_complex> device;
    std::vector<exact_complex> fftw;
    std::vector<exact_complex> exact;
};

struct case_result {
    transform_case transform; // the transform checked
    double level = 0.0;
    case_limits limits;
    case_errors gpu;
    case_errors fftw;
    std::optional<case_errors> four1;
    std::optional<double> round_trip;    // C2C and Z2Z
    std::optional<bool> input_preserved; // out of place
    bool pass = false;
    std::vector<element_values> worst; // the device's, filled when it fails

    int warmups = 0;
    std::vector<round_times> leg_rounds; // the whole leg, a round each
    execution_times execution;           // the execution alone, back to back
    std::array<fftw_timing, 2> fftw_timings;
    std::vector<double> four1_seconds; // where four1 applies: every member, a round each
    std::optional<double> context_seconds;
    std::optional<kept_outputs> outputs; // where the picture of this case alone is drawn

    // 5 N log2 N a complex transform, half that a real one, times the batch.
    double flops() const;
};

// The verdict on the device's figures: every member within the limits (the bin criterion for
// a random input, the L-infinity one otherwise), the round trip where there is one, and the
// input unchanged out of place, except for C2R and Z2D, which may overwrite it.
bool case_passes(const case_result& r);
// Whether a changed input is only a note: C2R and Z2D.
bool input_may_change(fft_type type);

struct case_run {
    std::string mode; // "cases", "suite quick" or "suite full"
    std::vector<case_result> cases;
    provenance origin;
    fftw_planning planning = fftw_planning::estimate;
    bool pass() const;
};

std::string case_summary_text(const case_run& run);
std::string case_json_text(const case_run& run);
std::string case_csv_text(const case_run& run);

// The picture of several cases: accuracy over its level and the worst element over its
// tolerance, each with the tolerance, then time per execution and GFLOP/s, against the length.
std::string case_svg_text(const std::vector<case_result>& cases, const provenance& origin,
                          const std::string& title);

// The picture of one case, from its kept outputs: for one length, the spectra of the device
// and FFTW and their errors over every element, members one after another; for 2D and 3D, a
// map of the device's errors over the last two axes.
std::string single_case_svg(const case_result& r, const provenance& origin);

// The page of a run of cases: provenance, a row a case, the worst elements of failing ones,
// `pictures` and the text report.
struct html_report;
html_report case_html(const case_run& run, std::vector<std::string> pictures, std::string text);

// The series' colours, which tests read back from the rendered picture.
namespace case_colours {
inline constexpr const char* device = "#1f77b4";
inline constexpr const char* device_leg = "#9ecae1";
inline constexpr const char* fftw_one = "#2ca02c";
inline constexpr const char* fftw_all = "#9467bd";
inline constexpr const char* four1 = "#ff7f0e";
} // namespace case_colours

} // namespace kelvane::verify
