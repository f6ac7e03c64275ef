#include "options.hpp"

#include "accuracy.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>
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

// The options that describe transform cases, as given.
struct case_options {
    std::string type;
    std::string shapes;
    std::size_t batch = 1;
    bool in_place = false;
    bool inverse = false;
    std::optional<std::size_t> stride;
    std::optional<std::size_t> distance;
    std::optional<std::size_t> output_stride;
    std::optional<std::size_t> output_distance;
    std::string input;
    std::string suite;
    std::string planning;
};

const char* const case_option_names[] = {"--type",    "--shape",  "--batch", "--in-place",
                                         "--inverse", "--stride", "--dist",  "--ostride",
                                         "--odist",   "--input"};

template <std::size_t N>
std::string joined(const std::array<std::string_view, N>& names) {
    std::string text;
    for (const std::string_view name : names)
        text += (text.empty() ? "" : "|") + std::string(name);
    return text;
}

// Where `text` stands among `names`, or nothing.
template <std::size_t N>
std::optional<std::size_t> index_of(const std::array<std::string_view, N>& names,
                                    const std::string& text) {
    const auto found = std::find(names.begin(), names.end(), text);
    if (found == names.end()) return std::nullopt;
    return static_cast<std::size_t>(found - names.begin());
}

// "--type takes c2c|r2c|..., not "c2d"".
template <std::size_t N>
usage_error not_among(const char* option, const std::array<std::string_view, N>& names,
                      const std::string& text) {
    return usage_error{std::string(option) + " takes " + joined(names) + ", not \"" + text + "\""};
}

// Builds the parser over `chosen`; `sizes` receives --sizes as given, `cases` the case options.
std::unique_ptr<CLI::App> make_parser(options& chosen, std::string& sizes, case_options& cases) {
    auto app = std::make_unique<CLI::App>("", "kelvane-verify");
    app->footer(
        "Makes kelvane's signal and a seeded random input, transforms both with four1, on the\n"
        "device, with FFTW and exactly, and reports the errors, a verdict and the device leg's\n"
        "phases. With --type, --shape and the options after them, or with --suite, it checks\n"
        "those transforms instead, each against the exact one, with a round trip where it has\n"
        "one, its input read back and FFTW timed beside it.\n"
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
    app->add_option("--svg", chosen.svg_path,
                    "a picture of the run: spectra and errors, or its cases")
        ->type_name("FILE");
    app->add_option("--csv", chosen.csv_path, "the timings, a row per size or case and phase")
        ->type_name("FILE");
    app->add_option("--html", chosen.html_path,
                    "one self-contained page: verdict, provenance, cases and pictures")
        ->type_name("FILE");
    app->add_option("--compare", chosen.compare_paths,
                    "compare two runs' --json reports instead of running; exit 1 where a case "
                    "regressed")
        ->type_name("OLD NEW")
        ->expected(2);
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
    app->add_option("--type", cases.type,
                    "check cuFFT's " + joined(fft_type_names) + " transform (default c2c)")
        ->type_name("T");
    app->add_option("--shape", cases.shapes,
                    "lengths N[xM[xK]], outermost first; several separated by commas")
        ->type_name("SHAPES");
    app->add_option("--batch", cases.batch, "transforms a plan makes at once (default 1)")
        ->type_name("B");
    app->add_flag("--in-place", cases.in_place, "the output overwrites the input");
    app->add_flag("--inverse", cases.inverse, "the inverse transform, for c2c and z2z");
    app->add_option("--stride", cases.stride,
                    "the advanced layout: elements between a transform's elements")
        ->type_name("S");
    app->add_option("--dist", cases.distance, "and elements between batch members")->type_name("D");
    app->add_option("--ostride", cases.output_stride, "the output's, where it differs")
        ->type_name("S");
    app->add_option("--odist", cases.output_distance, "the output's, where it differs")
        ->type_name("D");
    app->add_option("--input", cases.input,
                    "random (the default for these cases), signal, or a file holding the "
                    "device's input buffer, raw and little-endian")
        ->type_name("SOURCE");
    app->add_option("--suite", cases.suite, "check the built-in cases: " + joined(suite_names))
        ->type_name("NAME");
    app->add_option("--fftw-plan", cases.planning,
                    "FFTW's planning: " + joined(fftw_planning_names) +
                        " (default estimate: planning costs nothing, so a run's time goes "
                        "to the checks; measure and patient give a tuned FFTW's speed)")
        ->type_name("P");
    return app;
}

// A parser's message on one line.
std::string one_line(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

// The cases the case options describe, or why they describe none.
std::variant<std::vector<transform_case>, usage_error> cases_from(const CLI::App& app,
                                                                  const case_options& given,
                                                                  const options& chosen,
                                                                  bool sizes_given) {
    transform_case c;
    if (app.count("--type") > 0) {
        const std::optional<std::size_t> type = index_of(fft_type_names, given.type);
        if (!type) return not_among("--type", fft_type_names, given.type);
        c.type = static_cast<fft_type>(*type);
    }
    c.batch = given.batch;
    c.in_place = given.in_place;
    c.inverse = given.inverse;
    c.stride = given.stride;
    c.distance = given.distance;
    c.output_stride = given.output_stride;
    c.output_distance = given.output_distance;
    c.seed = chosen.seed;
    c.input = input_source::random;
    if (given.input == "signal")
        c.input = input_source::signal;
    else if (!given.input.empty() && given.input != "random") {
        c.input = input_source::file;
        c.input_file = given.input;
    }
    std::vector<std::vector<std::size_t>> shapes;
    if (sizes_given && app.count("--shape") > 0)
        return usage_error{"--sizes and --shape both give lengths: give one of them"};
    if (app.count("--shape") > 0) {
        std::string_view rest = given.shapes;
        while (true) {
            const std::size_t comma = rest.find(',');
            const std::optional<std::vector<std::size_t>> shape =
                parse_shape(rest.substr(0, comma));
            if (!shape)
                return usage_error{"--shape needs N[xM[xK]] lengths separated by commas, not \"" +
                                   given.shapes + "\""};
            shapes.push_back(*shape);
            if (comma == std::string_view::npos) break;
            rest.remove_prefix(comma + 1);
        }
    } else {
        for (int log2 = chosen.smallest_log2; log2 <= chosen.largest_log2; ++log2)
            shapes.push_back({std::size_t{1} << log2});
    }
    std::vector<transform_case> cases;
    for (auto& shape : shapes) {
        c.lengths = std::move(shape);
        if (const std::optional<std::string> problem = case_problem(c))
            return usage_error{"case " + rerun_options(c) + ": " + *problem};
        cases.push_back(c);
    }
    return cases;
}

} // namespace

command_line parse_options(std::span<const char* const> arguments, const std::string& version) {
    options chosen;
    std::string sizes;
    case_options given;
    const auto app = make_parser(chosen, sizes, given);
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
    // A comparison reads two reports and writes text, a picture and a page.
    if (!chosen.compare_paths.empty())
        for (const CLI::Option* option : app->get_options())
            if (option->count() > 0 &&
                !std::set<std::string>{"--compare", "--svg", "--html"}.contains(option->get_name()))
                return usage_error{"--compare reads two reports: " + option->get_name() +
                                   " needs a run"};
    // What only a run has.
    if (chosen.table_path)
        for (const char* run_only :
             {"--csv", "--warmups", "--rounds", "--sizes", "--seed", "--tol-bin", "--type",
              "--shape", "--batch", "--in-place", "--inverse", "--stride", "--dist", "--ostride",
              "--odist", "--input", "--suite", "--fftw-plan"})
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
    if (!given.planning.empty()) {
        const std::optional<std::size_t> planning = index_of(fftw_planning_names, given.planning);
        if (!planning) return not_among("--fftw-plan", fftw_planning_names, given.planning);
        chosen.planning = static_cast<fftw_planning>(*planning);
    }
    const bool case_options_given =
        std::any_of(std::begin(case_option_names), std::end(case_option_names),
                    [&app](const char* name) { return app->count(name) > 0; });
    if (app->count("--suite") > 0) {
        for (const char* name : case_option_names)
            if (app->count(name) > 0)
                return usage_error{"--suite checks its own cases: " + std::string(name) +
                                   " describes one of yours"};
        if (!sizes.empty()) return usage_error{"--suite checks its own cases: leave out --sizes"};
        std::optional<std::vector<transform_case>> suite = suite_cases(given.suite, chosen.seed);
        if (!suite) return not_among("--suite", suite_names, given.suite);
        chosen.cases = std::move(*suite);
        chosen.cases_mode = "suite " + given.suite;
    } else if (case_options_given) {
        auto cases = cases_from(*app, given, chosen, !sizes.empty());
        if (auto* error = std::get_if<usage_error>(&cases)) return *error;
        chosen.cases = std::move(std::get<std::vector<transform_case>>(cases));
        chosen.cases_mode = "cases";
    }
    return chosen;
}

} // namespace kelvane::verify
