// What one verification found, and its three written forms: the summary for people, JSON for
// scripts and dashboards, CSV rows of timings.
#pragma once

#include "accuracy.hpp"
#include "device_leg.hpp"
#include "fftw_baseline.hpp"
#include "provenance.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::verify {

// Median, minimum and maximum of some seconds.
struct statistics {
    double median = 0.0;
    double minimum = 0.0;
    double maximum = 0.0;
};
statistics summarise(std::vector<double> seconds); // precondition: not empty

struct bin_values {
    std::size_t bin;
    kelvane_complex gpu;
    kelvane_complex four1;
    exact_complex exact;
};

// The figures of the seeded random input at one size: its spectrum is white, so the largest
// error of one bin tells a single wrong bin anywhere.
struct random_input_result {
    std::uint64_t seed = 0;
    error_norms gpu_vs_exact;
    error_norms four1_vs_exact;
    bin_error gpu_bin;
    bin_error four1_bin;
    double bin_limit = 0.0; // in the units of bin_error
    bool pass = false;
    std::vector<bin_values> worst; // filled when it fails
};

// The timed rounds of one size.
struct timing_result {
    int warmups = 0;
    std::vector<round_times> rounds;
    std::vector<double> four1_seconds;
    std::array<fftw_timing, 2> fftw;       // one thread, then every core
    std::optional<double> context_seconds; // the first runtime call, at the first size only
};

// The accuracy of one size, and its timings when the device ran.
struct size_result {
    std::size_t samples = 0;
    error_norms gpu_vs_exact;
    error_norms four1_vs_exact;
    error_norms gpu_vs_four1;
    std::optional<error_norms> fftw_vs_exact; // in a run, not from a table
    double level = 0.0;
    tolerances limits{};
    bool signal_pass = false;
    std::vector<bin_values> worst;             // the signal's, filled when it fails
    std::optional<random_input_result> random; // in a run, not from a table
    bool pass = false;                         // the signal's and the random input's verdicts
    std::optional<timing_result> timing;
};

struct verification {
    std::vector<size_result> sizes; // the report's main figures are the last size's
    provenance origin;
    // Table mode: the table's path, its printed times and the printing floor (the errors that
    // rounding the exact spectrum to the printed digits alone gives).
    std::optional<std::string> table_path;
    float printed_four1_seconds = 0.0f;
    float printed_gpu_seconds = 0.0f;
    std::optional<error_norms> printing_floor;
    bool pass() const;
};

std::string summary_text(const verification& v);
std::string json_text(const verification& v);
std::string csv_text(const verification& v);

// Each size of a run or a table as one of the cases a run of cases checks: kelvane's transform
// on its signal, with the random input's bin figure where it ran.
struct case_result;
std::vector<case_result> cases_of(const verification& v);

// The device leg as kelvane's second line measures it: one round's whole wall time.
inline constexpr const char* whole_leg_name = "device_leg";

} // namespace kelvane::verify
