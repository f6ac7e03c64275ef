// Two runs' JSON reports side by side, on one machine or two: cases matched by what they
// transform, the change in accuracy and in time of each, and which regressed.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kelvane::verify {

// A timed figure of one case in one run.
struct timed_figure {
    double median = 0.0;
    double minimum = 0.0;
    double maximum = 0.0;
    bool present = false;
};

// What a report says of one case.
struct reported_case {
    std::string key; // "c2c 1000x3, batch 2, out of place, forward, single"
    double length = 0.0;
    bool pass = false;
    double rel_l2 = 0.0;
    double level = 0.0;
    timed_figure execution;
    timed_figure device_leg;
    timed_figure fftw_all_cores;
};

// A report's cases and the provenance lines to show.
struct reported_run {
    std::string path;
    std::vector<reported_case> cases;
    std::vector<std::pair<std::string, std::string>> provenance; // label, value
};

// Reads a report of kelvane-verify's --json: nothing, with `error` set (one line naming the
// path), where it cannot be read or is not such a report.
std::optional<reported_run> read_report(const std::string& path, std::string& error);

// Thresholds of a regression.
inline constexpr double slower_ratio = 1.10; // a median 10 % longer
inline constexpr double worse_levels = 1.0;  // an L2 error one level larger

struct compared_case {
    reported_case before;
    reported_case after;
    double l2_change_levels = 0.0;        // (after - before) / after's level
    std::vector<std::string> regressions; // why it regressed; empty when it did not
};

struct comparison {
    reported_run before;
    reported_run after;
    std::vector<compared_case> both;
    std::vector<std::string> only_before;
    std::vector<std::string> only_after;
    bool regressed() const;
};

// A case regressed where it passed before and fails now, its L2 error grew by more than one
// level, or its device execution's or whole leg's median grew by more than 10 % with the two
// runs' min-max ranges apart.
comparison compare_runs(reported_run before, reported_run after);

std::string comparison_text(const comparison& c);
std::string comparison_svg(const comparison& c);
// The page: both runs' provenance side by side, a row a matched case, the unmatched ones, the
// picture and the text.
std::string comparison_html(const comparison& c);

} // namespace kelvane::verify
