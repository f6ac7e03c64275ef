// Checks one transform case: the device's output against the exact one, member by member, its
// round trip and its input, FFTW's and four1's output beside it, and every leg timed. Built
// once per device variant, like device_leg.
#pragma once

#include "case_result.hpp"
#include "fftw_baseline.hpp"
#include "transform_case.hpp"

#include <optional>
#include <string>

namespace kelvane::verify {

struct case_settings {
    int warmups = 1;
    int rounds = 3;
    fftw_planning planning = fftw_planning::estimate;
    std::optional<double> tolerance_l2; // absolute, in place of the level's multiple
    std::optional<double> tolerance_linf;
    std::optional<double> tolerance_bin; // in the level's units
    bool keep_outputs = false;           // for a picture of the case alone
};

// The limits of a case: 8, 4 and 16 times its level, and twice the L2 limit for a round trip,
// where the settings give no other.
case_limits limits_of(const transform_case& c, const case_settings& s);

// Precondition: case_problem(c) is empty. Nothing, with `error` set, where the case's input
// cannot be made (a file's).
std::optional<case_result> check_case(const transform_case& c, const case_settings& s,
                                      std::string& error);

} // namespace kelvane::verify
