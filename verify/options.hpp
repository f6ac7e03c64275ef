// The command line of kelvane-verify.
#pragma once

#include "fftw_baseline.hpp"
#include "transform_case.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace kelvane::verify {

// The random input's seed when none is given.
inline constexpr std::uint64_t default_seed = 20250101;

struct options {
    std::optional<std::string> table_path; // check a printed table instead of running
    std::optional<std::string> json_path;
    std::optional<std::string> svg_path;
    std::optional<std::string> csv_path;
    std::optional<std::string> html_path;
    // Compare two runs' JSON reports, OLD then NEW, instead of running.
    std::vector<std::string> compare_paths;
    std::optional<double> tolerance_l2;   // the device's largest accepted rel L2 error
    std::optional<double> tolerance_linf; // and rel Linf error on the signal
    std::optional<double> tolerance_bin;  // and largest bin error on the random input
    int warmups = 1;
    int rounds = 3;
    int smallest_log2 = 20;
    int largest_log2 = 20;
    std::uint64_t seed = default_seed; // of the random input a run also transforms
    fftw_planning planning = fftw_planning::estimate;
    // The transforms to check, each checked on its own; none for kelvane's own transform at
    // each size, on its signal and the random input.
    std::vector<transform_case> cases;
    std::string cases_mode;   // "cases" or "suite NAME"
    std::string command_line; // the program's whole command line, for the provenance
};

// Sizes a sweep may cover: 2^1 to 2^26 samples.
inline constexpr int smallest_sweep_log2 = 1;
inline constexpr int largest_sweep_log2 = 26;
// Warm-ups and rounds stop here.
inline constexpr int most_rounds = 1000;

// What a command line asks for: the usage or the version (its text to print), or a run.
struct text_request {
    std::string text;
};
struct usage_error {
    std::string message; // one line
};
using command_line = std::variant<options, text_request, usage_error>;

// `version` is the line --version prints.
command_line parse_options(std::span<const char* const> arguments, const std::string& version);

} // namespace kelvane::verify
