// The command line of kelvane-verify.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <variant>

namespace kelvane::verify {

struct options {
    std::optional<std::string> table_path; // check a printed table instead of running
    std::optional<std::string> json_path;
    std::optional<std::string> svg_path;
    std::optional<std::string> csv_path;
    std::optional<double> tolerance_l2;   // the device's largest accepted rel L2 error
    std::optional<double> tolerance_linf; // and rel Linf error
    int warmups = 1;
    int rounds = 3;
    int smallest_log2 = 20;
    int largest_log2 = 20;
    bool help = false;
};

// Sizes a sweep may cover: 2^1 to 2^26 samples.
inline constexpr int smallest_sweep_log2 = 1;
inline constexpr int largest_sweep_log2 = 26;

// The options, or a one-line message saying what is wrong with them.
std::variant<options, std::string> parse_options(std::span<const char* const> arguments);

extern const char* const usage_text;

} // namespace kelvane::verify
