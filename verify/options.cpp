#include "options.hpp"

#include <charconv>
#include <cmath>
#include <string_view>

namespace kelvane::verify {

const char* const usage_text =
    "usage: kelvane-verify [--table FILE|-] [--json FILE] [--svg FILE] [--csv FILE]\n"
    "                      [--tol-l2 X] [--tol-linf X] [--warmups W] [--rounds R] [--sizes A:B]\n"
    "  Without --table: makes kelvane's signal, transforms it with four1, on the device and\n"
    "  exactly, and reports the errors, a verdict and the device leg's phases, timed.\n"
    "  --table FILE   check a table that kelvane wrote (- for standard input) instead\n"
    "  --json FILE    the same figures for scripts; --svg FILE a picture; --csv FILE the\n"
    "                 timings, one row per size and phase\n"
    "  --tol-l2 X, --tol-linf X   the device's largest accepted relative errors\n"
    "                 (default 8 and 4 times eps*sqrt(log2 N), eps = 2^-24)\n"
    "  --warmups W    untimed rounds first (default 1); --rounds R timed rounds (default 3)\n"
    "  --sizes A:B    every power of two from 2^A to 2^B samples (1 <= A <= B <= 26)\n"
    "exit status: 0 pass, 1 fail, 2 usage or input error, 3 no usable device,\n"
    "             255 a device call failed (its line names the call)\n";

namespace {

template <class T>
bool parse_whole(std::string_view text, T& value) {
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc{} && stop == text.data() + text.size();
}

} // namespace

std::variant<options, std::string> parse_options(std::span<const char* const> arguments) {
    options result;
    bool timing_asked = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view name = arguments[i];
        if (name == "--help" || name == "-h") {
            result.help = true;
            continue;
        }
        const bool takes_value = name == "--table" || name == "--json" || name == "--svg" ||
                                 name == "--csv" || name == "--tol-l2" || name == "--tol-linf" ||
                                 name == "--warmups" || name == "--rounds" || name == "--sizes";
        if (!takes_value) return "unknown option \"" + std::string(name) + "\"";
        if (i + 1 == arguments.size()) return std::string(name) + " needs a value";
        const std::string_view value = arguments[++i];
        if (name == "--table") {
            result.table_path = value;
        } else if (name == "--json") {
            result.json_path = value;
        } else if (name == "--svg") {
            result.svg_path = value;
        } else if (name == "--csv") {
            result.csv_path = value;
            timing_asked = true;
        } else if (name == "--tol-l2" || name == "--tol-linf") {
            double tolerance = 0.0;
            if (!parse_whole(value, tolerance) || !(tolerance > 0.0) || !std::isfinite(tolerance))
                return std::string(name) + " needs a positive number, not \"" + std::string(value) +
                       "\"";
            (name == "--tol-l2" ? result.tolerance_l2 : result.tolerance_linf) = tolerance;
        } else if (name == "--warmups" || name == "--rounds") {
            int count = 0;
            const int least = name == "--rounds" ? 1 : 0;
            if (!parse_whole(value, count) || count < least || count > 1000)
                return std::string(name) + " needs a whole number from " + std::to_string(least) +
                       " to 1000, not \"" + std::string(value) + "\"";
            (name == "--rounds" ? result.rounds : result.warmups) = count;
            timing_asked = true;
        } else {
            const std::size_t colon = value.find(':');
            int smallest = 0;
            int largest = 0;
            if (colon == std::string_view::npos || !parse_whole(value.substr(0, colon), smallest) ||
                !parse_whole(value.substr(colon + 1), largest) || smallest < smallest_sweep_log2 ||
                largest > largest_sweep_log2 || smallest > largest)
                return "--sizes needs A:B with " + std::to_string(smallest_sweep_log2) +
                       " <= A <= B <= " + std::to_string(largest_sweep_log2) + ", not \"" +
                       std::string(value) + "\"";
            result.smallest_log2 = smallest;
            result.largest_log2 = largest;
            timing_asked = true;
        }
    }
    if (result.table_path && timing_asked)
        return "--table checks printed values only: --sizes, --warmups, --rounds and --csv need a "
               "run";
    return result;
}

} // namespace kelvane::verify
