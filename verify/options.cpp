#include "options.hpp"

#include "accuracy.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

namespace kelvane::verify {
namespace {

template <class T>
bool parse_whole(std::string_view text, T& value) {
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc{} && stop == text.data() + text.size();
}

// "usage: kelvane-verify [OPTIONS]", in the lower case of the other lines.
class usage_formatter : public CLI::Formatter {
  public:
    std::string make_usage(const CLI::App* app, std::string name) const override {
        std::string usage = CLI::Formatter::make_usage(app, std::move(name));
        if (usage.starts_with("Usage:")) usage[0] = 'u';
        return usage;
    }
};

const CLI::Validator positive_finite(
    [](const std::string& text) -> std::string {
        double value = 0.0;
        if (parse_whole(std::string_view(text), value) && value > 0.0 && std::isfinite(value))
            return {};
        return "needs a positive number, not \"" + text + "\"";
    },
    "");

const std::string sizes_range =
    std::to_string(smallest_sweep_log2) + " <= A <= B <= " + std::to_string(largest_sweep_log2);

// Builds the parser over `chosen`; `sizes` receives --sizes as given.
std::unique_ptr<CLI::App> make_parser(options& chosen, std::string& sizes) {
    auto app = std::make_unique<CLI::App>("", "kelvane-verify");
    app->footer(
        "Makes kelvane's signal and a seeded random input, transforms both with four1, on the\n"
        "device and exactly, and reports the errors, a verdict and the device leg's phases.\n"
        "Exit status: 0 pass, 1 fail, 2 usage, input or output error, 3 no usable device,\n"
        "4 out of memory or another resource, 255 a device call failed (its line names\n"
        "the call).\n");
    app->formatter(std::make_shared<usage_formatter>());
    app->get_formatter()->column_width(26);
    app->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    app->set_version_flag("--version", std::string{});

    app->add_option("--table", chosen.table_path,
                    "check a table that kelvane wrote (- for standard input) "
                    "instead of running")
        ->type_name("FILE");
    app->add_option("--json", chosen.json_path, "the figures for scripts")->type_name("FILE");
    app->add_option("--svg", chosen.svg_path, "a picture of the spectra and errors")
        ->type_name("FILE");
    app->add_option("--csv", chosen.csv_path, "the timings, a row per size and phase")
        ->type_name("FILE");
    app->add_option("--tol-l2", chosen.tolerance_l2,
                    "the device's largest accepted relative L2 error (default 8 eps "
                    "sqrt(log2 N), eps = 2^-24)")
        ->type_name("X")
        ->check(positive_finite);
    app->add_option("--tol-linf", chosen.tolerance_linf,
                    "the device's largest accepted relative L-infinity error on the signal "
                    "(default 4 eps sqrt(log2 N))")
        ->type_name("X")
        ->check(positive_finite);
    const std::string rounds_range = " to " + std::to_string(most_rounds);
    app->add_option("--tol-bin", chosen.tolerance_bin,
                    "the device's largest accepted bin error on the random input, in units of "
                    "eps sqrt(log2 N) rms|X| (default " +
                        std::to_string(static_cast<int>(default_bin_multiple)) + ")")
        ->type_name("X")
        ->check(positive_finite);
    app->add_option("--warmups", chosen.warmups, "untimed rounds first, 0" + rounds_range)
        ->type_name("W")
        ->capture_default_str()
        ->check(CLI::Range(0, most_rounds).description(""));
    app->add_option("--rounds", chosen.rounds, "timed rounds, 1" + rounds_range)
        ->type_name("R")
        ->capture_default_str()
        ->check(CLI::Range(1, most_rounds).description(""));
    app->add_option("--sizes", sizes,
                    "every power of two from 2^A to 2^B samples, " + sizes_range +
                        " (default 20:20)")
        ->type_name("A:B");
    app->add_option("--seed", chosen.seed,
                    "seed of the random input, 0 to 2^64 - 1 (default " +
                        std::to_string(default_seed) + ")")
        ->type_name("S");
    return app;
}

// A parser's message on one line.
std::string one_line(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

} // namespace

command_line parse_options(std::span<const char* const> arguments, const std::string& version) {
    options chosen;
    std::string sizes;
    const auto app = make_parser(chosen, sizes);
    // CLI11 reads the arguments from the back.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app->parse(reversed);
    } catch (const CLI::CallForHelp&) {
        return text_request{app->help()};
    } catch (const CLI::CallForVersion&) {
        return text_request{version + "\n"};
    } catch (const CLI::ArgumentMismatch& error) {
        for (const CLI::Option* option : app->get_options())
            if (option->count() > 1)
                return usage_error{option->get_name() + " is given " +
                                   std::to_string(option->count()) + " times; it takes one value"};
        return usage_error{one_line(error.what())};
    } catch (const CLI::ParseError& error) {
        return usage_error{one_line(error.what())};
    }
    // What only a run has.
    if (chosen.table_path)
        for (const char* run_only :
             {"--csv", "--warmups", "--rounds", "--sizes", "--seed", "--tol-bin"})
            if (app->count(run_only) > 0)
                return usage_error{"--table checks printed values only: " + std::string(run_only) +
                                   " needs a run"};
    if (!sizes.empty()) {
        const std::size_t colon = sizes.find(':');
        const std::string_view text = sizes;
        int smallest = 0;
        int largest = 0;
        if (colon == std::string::npos || !parse_whole(text.substr(0, colon), smallest) ||
            !parse_whole(text.substr(colon + 1), largest) || smallest < smallest_sweep_log2 ||
            largest > largest_sweep_log2 || smallest > largest)
            return usage_error{"--sizes needs A:B with " + sizes_range + ", not \"" + sizes + "\""};
        chosen.smallest_log2 = smallest;
        chosen.largest_log2 = largest;
    }
    return chosen;
}

} // namespace kelvane::verify
