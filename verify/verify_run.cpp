#include "verify_run.hpp"

#include "accuracy.hpp"
#include "case_check.hpp"
#include "case_result.hpp"
#include "compare.hpp"
#include "computed_sides.hpp"
#include "device_leg.hpp"
#include "exact_transform.hpp"
#include "fftw_baseline.hpp"
#include "fields.hpp"
#include "four1.h"
#include "html_report.hpp"
#include "options.hpp"
#include "output_files.hpp"
#include "random_input.hpp"
#include "results.hpp"
#include "signal.hpp"
#include "svg_plot.hpp"
#include "table_reader.hpp"
#include "timing_loop.hpp"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <system_error>
#include <unistd.h>
#include <variant>
#include <vector>

namespace kelvane::verify {
namespace {

constexpr std::size_t worst_bin_count = 8;
constexpr std::int32_t table_samples = driver::sample_count;

// Progress on standard error, only where a person watches it and only for a long sweep. The
// line ends in a carriage return, so that any line after it, the bridge's own included, starts
// over it; it is shorter than every such line, and this program clears it before its own.
class progress {
  public:
    explicit progress(std::size_t sizes) : sizes_(sizes) {}
    void at(std::size_t index, int log2) {
        const bool long_run = std::chrono::steady_clock::now() - start_ > std::chrono::seconds(1);
        if (sizes_ < 2 || !long_run || isatty(STDERR_FILENO) == 0) return;
        std::fprintf(stderr, "\r\033[Kkelvane-verify: 2^%d, %zu of %zu\r", log2, index + 1, sizes_);
        shown = true;
    }
    // A line for each case of a run of cases that has lasted a second.
    static void show_case(std::size_t index, std::size_t count, const std::string& shape) {
        static const auto start = std::chrono::steady_clock::now();
        const bool long_run = std::chrono::steady_clock::now() - start > std::chrono::seconds(1);
        if (count < 2 || !long_run || isatty(STDERR_FILENO) == 0) return;
        std::fprintf(stderr, "\r\033[Kkelvane-verify: case %zu of %zu, %s\r", index + 1, count,
                     shape.c_str());
        shown = true;
    }
    static void clear() {
        if (shown) std::fputs("\r\033[K", stderr);
        shown = false;
    }
    ~progress() { clear(); }

  private:
    static inline bool shown = false;
    std::size_t sizes_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

[[noreturn]] void stop(int status, const std::string& message) {
    progress::clear();
    std::fprintf(stderr, "kelvane-verify: %s\n", message.c_str());
    std::exit(status);
}

// The worst_bin_count bins where the device lies farthest from the exact spectrum, with every
// side's value there.
std::vector<bin_values> worst_values(std::span<const kelvane_complex> gpu,
                                     std::span<const kelvane_complex> four1,
                                     std::span<const exact_complex> exact) {
    std::vector<bin_values> worst;
    for (const std::size_t bin : worst_bins(gpu, exact, worst_bin_count))
        worst.push_back({bin, gpu[bin], four1[bin], exact[bin]});
    return worst;
}

tolerances limits_for(std::size_t samples, const options& chosen) {
    tolerances limits = default_tolerances(samples);
    if (chosen.tolerance_l2) limits.rel_l2 = *chosen.tolerance_l2;
    if (chosen.tolerance_linf) limits.rel_linf = *chosen.tolerance_linf;
    return limits;
}

size_result judge(std::span<const kelvane_complex> gpu, std::span<const kelvane_complex> four1,
                  std::span<const exact_complex> exact, const options& chosen) {
    size_result s;
    s.samples = exact.size();
    s.gpu_vs_exact = compare(gpu, exact);
    s.four1_vs_exact = compare(four1, exact);
    s.gpu_vs_four1 = compare(gpu, four1, exact);
    s.level = expected_level(s.samples);
    s.limits = limits_for(s.samples, chosen);
    s.signal_pass =
        s.gpu_vs_exact.rel_l2 <= s.limits.rel_l2 && s.gpu_vs_exact.rel_linf <= s.limits.rel_linf;
    s.pass = s.signal_pass;
    if (!s.signal_pass) s.worst = worst_values(gpu, four1, exact);
    return s;
}

// The seeded random input at one size, through four1 and the device, judged bin by bin.
random_input_result judge_random_input(std::size_t samples, const options& chosen) {
    random_input_result r;
    r.seed = chosen.seed;
    std::vector<kelvane_complex> input(samples);
    fill_random(input, chosen.seed);
    const std::vector<kelvane_complex> gpu = device_spectrum(input);
    const std::vector<kelvane_complex> four1 = four1_spectrum(input);
    const std::vector<exact_complex> exact = exact_spectrum(input);
    r.gpu_vs_exact = compare(gpu, exact);
    r.four1_vs_exact = compare(four1, exact);
    r.gpu_bin = largest_bin_error(gpu, exact);
    r.four1_bin = largest_bin_error(four1, exact);
    r.bin_limit = chosen.tolerance_bin.value_or(default_bin_multiple);
    r.pass = r.gpu_vs_exact.rel_l2 <= limits_for(samples, chosen).rel_l2 &&
             r.gpu_bin.units <= r.bin_limit;
    if (!r.pass) r.worst = worst_values(gpu, four1, exact);
    return r;
}

// The spectra of the size the picture shows, kept until it is drawn.
struct plotted_spectra {
    std::vector<kelvane_complex> gpu;
    std::vector<kelvane_complex> four1;
    std::vector<exact_complex> exact;
};

// Accuracy and timings at one size: four1, the device through c2c_1d and the exact spectrum,
// then the warm-ups and timed rounds of the device leg and of four1.
size_result measure_size(int log2, const options& chosen, std::optional<double> context_seconds,
                         std::optional<plotted_spectra>& plotted) {
    const std::int32_t n = std::int32_t{1} << log2;
    const auto samples = static_cast<std::size_t>(n);
    // The random input first: its spectra are gone before the signal's are made.
    random_input_result random = judge_random_input(samples, chosen);
    std::vector<kelvane_complex> signal(samples);
    driver::fill_signal(signal.data(), n);
    std::vector<kelvane_complex> gpu = device_spectrum(signal);
    std::vector<kelvane_complex> four1 = four1_spectrum(signal);
    std::vector<exact_complex> exact = exact_spectrum(signal);
    size_result s = judge(gpu, four1, exact, chosen);
    s.random = std::move(random);
    s.pass = s.signal_pass && s.random->pass;
    const std::int32_t plus = 1;

    // FFTW on the signal, as a run of cases times it.
    transform_case as_case;
    as_case.lengths = {samples};
    const auto* signal_bytes = reinterpret_cast<const std::byte*>(signal.data());
    const fftw_run fftw = run_fftw(
        as_case, byte_buffer(signal_bytes, signal_bytes + samples * sizeof(kelvane_complex)),
        chosen.planning, chosen.warmups, chosen.rounds, least_sample_seconds);
    std::vector<kelvane_complex> fftw_output(samples);
    std::memcpy(fftw_output.data(), fftw.output.data(), samples * sizeof(kelvane_complex));
    s.fftw_vs_exact = compare(fftw_output, exact);

    // Every buffer a round uses exists before the first one: a round allocates only what the
    // leg itself does.
    timing_result timing;
    timing.warmups = chosen.warmups;
    timing.context_seconds = context_seconds;
    timing.rounds.reserve(static_cast<std::size_t>(chosen.rounds));
    timing.four1_seconds.reserve(static_cast<std::size_t>(chosen.rounds));
    std::vector<kelvane_complex> leg_output(samples);
    std::vector<kelvane_complex> four1_work(samples);
    device_leg leg(n);
    for (int round = 0; round < chosen.warmups + chosen.rounds; ++round) {
        const round_times times = leg.run(signal.data(), leg_output.data());
        std::memcpy(four1_work.data(), signal.data(), samples * sizeof(kelvane_complex));
        const auto start = std::chrono::steady_clock::now();
        four1_(&four1_work[0].re, &n, &plus);
        const auto end = std::chrono::steady_clock::now();
        if (round < chosen.warmups) continue;
        timing.rounds.push_back(times);
        timing.four1_seconds.push_back(std::chrono::duration<double>(end - start).count());
    }
    timing.fftw = fftw.timings;
    s.timing = std::move(timing);

    if (chosen.svg_path || chosen.html_path)
        plotted = plotted_spectra{std::move(gpu), std::move(four1), std::move(exact)};
    return s;
}

// The errors that rounding the exact spectrum to single precision and to the table's printed
// digits alone would give.
error_norms printing_floor(std::span<const exact_complex> exact) {
    std::vector<kelvane_complex> printed(exact.size());
    char field[report::real_field_width];
    auto as_printed = [&field](long double value) {
        report::put_real_field(field, static_cast<float>(value));
        const char* begin = field;
        while (*begin == ' ')
            ++begin;
        float parsed = 0.0f;
        std::from_chars(begin, field + sizeof field, parsed);
        return parsed;
    };
    for (std::size_t k = 0; k < exact.size(); ++k)
        printed[k] = {as_printed(exact[k].real()), as_printed(exact[k].imag())};
    return compare(printed, exact);
}

// The spectra picture of a run or a table: the device's and four1's spectra against the exact
// one, with the signal's L-infinity tolerance.
plot_input spectrum_picture(const plotted_spectra& p, const verification& v, std::string title) {
    auto widened = [](std::span<const kelvane_complex> side) {
        return [side](std::size_t k) { return exact_complex{side[k].re, side[k].im}; };
    };
    plot_input input;
    input.bins = p.exact.size();
    input.device = {device_label(v.origin), widened(p.gpu)};
    input.second = {"four1 (reference)", widened(p.four1)};
    input.exact = [&p](std::size_t k) { return p.exact[k]; };
    input.tolerance = v.sizes.back().limits.rel_linf;
    input.title = std::move(title);
    input.x_label = "bin (the device's numbering; four1's bin N - k is drawn at k)";
    return input;
}

void check_table(const options& chosen, verification& v, std::optional<plotted_spectra>& plotted) {
    std::string error;
    const std::string text = read_table_text(*chosen.table_path, table_samples, error);
    if (!error.empty())
        stop(exit_usage_or_input, "cannot read " + *chosen.table_path + ": " + error);
    auto parsed = parse_table(text, table_samples);
    if (const auto* bad = std::get_if<table_error>(&parsed))
        stop(exit_usage_or_input,
             *chosen.table_path + ":" + std::to_string(bad->line) + ": " + bad->what);
    comparison_table& table = std::get<comparison_table>(parsed);

    std::vector<kelvane_complex> signal(table_samples);
    driver::fill_signal(signal.data(), table_samples);
    std::vector<exact_complex> exact = exact_spectrum(signal);
    v.sizes.push_back(judge(table.gpu, table.four1_mirrored, exact, chosen));
    v.table_path = chosen.table_path;
    v.printed_four1_seconds = table.four1_seconds;
    v.printed_gpu_seconds = table.gpu_seconds;
    v.printing_floor = printing_floor(exact);
    if (chosen.svg_path || chosen.html_path)
        plotted = plotted_spectra{std::move(table.gpu), std::move(table.four1_mirrored),
                                  std::move(exact)};
}

case_settings settings_of(const options& chosen) {
    return {chosen.warmups,      chosen.rounds,         chosen.planning,
            chosen.tolerance_l2, chosen.tolerance_linf, chosen.tolerance_bin};
}

// Writes the summary to standard output, then commits the outputs: a run that cannot write its
// standard output leaves them as they were.
void publish(const std::string& summary, const std::vector<std::string>& contents) {
    std::fwrite(summary.data(), 1, summary.size(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        stop(exit_usage_or_input,
             std::string("cannot write standard output: ") + std::strerror(errno));
    if (std::string failed = commit_outputs(contents); !failed.empty())
        stop(exit_usage_or_input, failed);
}

// Two runs' reports, compared; no device is needed.
int compare_reports(const options& chosen) {
    std::string error;
    std::optional<reported_run> before = read_report(chosen.compare_paths[0], error);
    if (!before) stop(exit_usage_or_input, error);
    std::optional<reported_run> after = read_report(chosen.compare_paths[1], error);
    if (!after) stop(exit_usage_or_input, error);
    const comparison compared = compare_runs(std::move(*before), std::move(*after));
    std::vector<std::string> contents;
    if (chosen.svg_path) contents.push_back(comparison_svg(compared));
    if (chosen.html_path) contents.push_back(comparison_html(compared));
    publish(comparison_text(compared), contents);
    return compared.regressed() ? exit_fail : exit_pass;
}

// The transform cases of the command line, one after another.
int verify_cases(const options& chosen) {
    case_run run;
    run.mode = chosen.cases_mode;
    run.planning = chosen.planning;
    run.origin = host_provenance(chosen.command_line);
    double context_seconds = 0.0;
    std::string error;
    run.origin.device = describe_device(context_seconds, error);
    if (!run.origin.device) stop(exit_no_device, "no usable device: " + error);
    case_settings settings = settings_of(chosen);
    settings.keep_outputs = chosen.cases.size() == 1 && (chosen.svg_path || chosen.html_path);
    for (std::size_t i = 0; i < chosen.cases.size(); ++i) {
        const transform_case& c = chosen.cases[i];
        progress::show_case(i, chosen.cases.size(), shape_text(c.lengths));
        std::optional<case_result> checked = check_case(c, settings, error);
        if (!checked) stop(exit_usage_or_input, error);
        if (i == 0) checked->context_seconds = context_seconds;
        run.cases.push_back(std::move(*checked));
    }
    progress::clear();
    std::vector<std::string> contents;
    if (chosen.json_path) contents.push_back(case_json_text(run));
    if (chosen.csv_path) contents.push_back(case_csv_text(run));
    std::string picture;
    if (chosen.svg_path || chosen.html_path)
        picture = run.cases.size() == 1
                      ? single_case_svg(run.cases[0], run.origin)
                      : case_svg_text(run.cases, run.origin,
                                      "kelvane-verify: " + run.mode + ", " +
                                          std::to_string(run.cases.size()) + " cases, verdict " +
                                          (run.pass() ? "PASS" : "FAIL"));
    if (chosen.svg_path) contents.push_back(picture);
    const std::string summary = case_summary_text(run);
    if (chosen.html_path) contents.push_back(render_html(case_html(run, {picture}, summary)));
    publish(summary, contents);
    return run.pass() ? exit_pass : exit_fail;
}

int verify(const options& chosen) {
    // Every output is checked before any work.
    std::vector<std::string> targets;
    for (const auto* path :
         {&chosen.json_path, &chosen.csv_path, &chosen.svg_path, &chosen.html_path})
        if (*path) targets.push_back(**path);
    std::vector<std::string> inputs = chosen.compare_paths;
    if (chosen.table_path) inputs.push_back(*chosen.table_path);
    for (const transform_case& c : chosen.cases)
        if (c.input == input_source::file) inputs.push_back(c.input_file);
    if (std::string refused = claim_outputs(targets, inputs); !refused.empty())
        stop(exit_usage_or_input, refused);

    if (!chosen.compare_paths.empty()) return compare_reports(chosen);
    // The numeric environment of the comparison run, before any arithmetic.
    driver::enter_flush_to_zero_mode();
    if (!chosen.cases.empty()) return verify_cases(chosen);
    verification v;
    v.origin = host_provenance(chosen.command_line);
    std::optional<plotted_spectra> plotted;
    if (chosen.table_path) {
        check_table(chosen, v, plotted);
    } else {
        double context_seconds = 0.0;
        std::string error;
        v.origin.device = describe_device(context_seconds, error);
        if (!v.origin.device) stop(exit_no_device, "no usable device: " + error);
        progress shown(static_cast<std::size_t>(chosen.largest_log2 - chosen.smallest_log2 + 1));
        for (int log2 = chosen.smallest_log2; log2 <= chosen.largest_log2; ++log2) {
            shown.at(static_cast<std::size_t>(log2 - chosen.smallest_log2), log2);
            const bool first = log2 == chosen.smallest_log2;
            v.sizes.push_back(measure_size(
                log2, chosen, first ? std::optional<double>(context_seconds) : std::nullopt,
                plotted));
        }
    }

    std::vector<std::string> contents;
    if (chosen.json_path) contents.push_back(json_text(v));
    if (chosen.csv_path) contents.push_back(csv_text(v));
    std::string picture;
    const std::vector<case_result> cases =
        chosen.svg_path || chosen.html_path ? cases_of(v) : std::vector<case_result>{};
    if (chosen.svg_path || chosen.html_path) {
        if (v.sizes.size() > 1) {
            picture = case_svg_text(cases, v.origin,
                                    "kelvane-verify: 2^" + std::to_string(chosen.smallest_log2) +
                                        " to 2^" + std::to_string(chosen.largest_log2) +
                                        ", verdict " + (v.pass() ? "PASS" : "FAIL"));
        } else {
            const std::string title = "kelvane-verify: " + std::to_string(v.sizes.back().samples) +
                                      " bins, verdict " + (v.pass() ? "PASS" : "FAIL");
            picture = render_svg(spectrum_picture(*plotted, v, title));
        }
    }
    if (chosen.svg_path) contents.push_back(picture);
    const std::string summary = summary_text(v);
    if (chosen.html_path) {
        case_run as_run;
        as_run.mode = v.table_path ? "the table " + *v.table_path : "kelvane's transform";
        as_run.origin = v.origin;
        as_run.planning = chosen.planning;
        as_run.cases = cases;
        contents.push_back(render_html(case_html(as_run, {picture}, summary)));
    }
    publish(summary, contents);
    return v.pass() ? exit_pass : exit_fail;
}

// A standard stream that is closed gets a descriptor that cannot be written, so that no file
// this program opens takes its number and receives what the stream's writes carry, and a
// write to it fails as it should.
void hold_closed_standard_streams() {
    for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        if (fcntl(stream, F_GETFD) < 0 && errno == EBADF) {
            const int placeholder = open("/dev/null", O_RDONLY);
            if (placeholder >= 0 && placeholder != stream) {
                dup2(placeholder, stream);
                close(placeholder);
            }
        }
}

} // namespace

int run_verify(int argc, const char* const* argv) {
    hold_closed_standard_streams();
    try {
        const command_line parsed = parse_options(
            {argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0)}, version_line());
        if (const auto* error = std::get_if<usage_error>(&parsed))
            stop(exit_usage_or_input, error->message + " (--help shows the usage)");
        if (const auto* text = std::get_if<text_request>(&parsed)) {
            std::fputs(text->text.c_str(), stdout);
            return std::fflush(stdout) == 0 ? exit_pass : exit_usage_or_input;
        }
        options chosen = std::get<options>(parsed);
        chosen.command_line = shell_line({argv, static_cast<std::size_t>(argc > 0 ? argc : 0)});
        return verify(chosen);
    } catch (const std::bad_alloc&) {
        stop(exit_out_of_resources, "out of memory");
    } catch (const std::system_error& error) {
        stop(exit_out_of_resources, std::string("the system refused a resource: ") + error.what());
    } catch (const std::exception& error) {
        stop(exit_out_of_resources, std::string("stopped: ") + error.what());
    }
}

} // namespace kelvane::verify
