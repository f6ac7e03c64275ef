#include "verify_run.hpp"

#include "accuracy.hpp"
#include "c2c_1d.h"
#include "comparison_run.hpp"
#include "device_leg.hpp"
#include "exact_transform.hpp"
#include "fields.hpp"
#include "four1.h"
#include "options.hpp"
#include "results.hpp"
#include "svg_plot.hpp"
#include "table_reader.hpp"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <variant>
#include <vector>

namespace kelvane::verify {
namespace {

constexpr std::size_t worst_bin_count = 8;
constexpr std::int32_t table_samples = driver::sample_count;

// Output files are written as NAME.partial and renamed when the run is complete. A run that
// ends early, a failing device call included, leaves neither the partial file nor a new NAME.
struct pending_output {
    std::string path;
    std::string partial;
};
std::vector<pending_output>& pending_outputs() {
    // Never destroyed: the exit handler that removes partial files reads it.
    static auto* const outputs = new std::vector<pending_output>;
    return *outputs;
}
void remove_partial_outputs() {
    for (const auto& output : pending_outputs())
        std::remove(output.partial.c_str());
}

[[noreturn]] void stop(int status, const std::string& message) {
    std::fprintf(stderr, "kelvane-verify: %s\n", message.c_str());
    std::exit(status);
}

// Claims NAME.partial now, so that an unwritable path is reported before any work.
void claim_output(const std::string& path) {
    const std::string partial = path + ".partial";
    const int descriptor = open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0)
        stop(exit_usage_or_input, "cannot write " + path + ": " + std::strerror(errno));
    close(descriptor);
    pending_outputs().push_back({path, partial});
}

void commit_output(const std::string& path, const std::string& content) {
    const std::string partial = path + ".partial";
    std::FILE* file = std::fopen(partial.c_str(), "wb");
    const bool written =
        file != nullptr && std::fwrite(content.data(), 1, content.size(), file) == content.size();
    const bool closed = file != nullptr && std::fclose(file) == 0;
    if (!written || !closed || std::rename(partial.c_str(), path.c_str()) != 0)
        stop(exit_usage_or_input, "cannot write " + path + ": " + std::strerror(errno));
}

std::vector<kelvane_complex> mirrored(const std::vector<kelvane_complex>& spectrum) {
    // four1 ran with exponent sign +1: its bin N - k is the device's bin k, and 0 is 0.
    const std::size_t n = spectrum.size();
    std::vector<kelvane_complex> result(n);
    for (std::size_t k = 0; k < n; ++k)
        result[k] = spectrum[k == 0 ? 0 : n - k];
    return result;
}

size_result judge(std::span<const kelvane_complex> gpu, std::span<const kelvane_complex> four1,
                  std::span<const exact_complex> exact, const options& chosen) {
    size_result s;
    s.samples = exact.size();
    s.gpu_vs_exact = compare(gpu, exact);
    s.four1_vs_exact = compare(four1, exact);
    s.gpu_vs_four1 = compare(gpu, four1, exact);
    s.level = expected_level(s.samples);
    s.limits = default_tolerances(s.samples);
    if (chosen.tolerance_l2) s.limits.rel_l2 = *chosen.tolerance_l2;
    if (chosen.tolerance_linf) s.limits.rel_linf = *chosen.tolerance_linf;
    s.pass =
        s.gpu_vs_exact.rel_l2 <= s.limits.rel_l2 && s.gpu_vs_exact.rel_linf <= s.limits.rel_linf;
    if (!s.pass)
        for (const std::size_t bin : worst_bins(gpu, exact, worst_bin_count))
            s.worst.push_back({bin, gpu[bin], four1[bin], exact[bin]});
    return s;
}

// Progress on standard error, only where a person watches it and only for a long sweep.
class progress {
  public:
    explicit progress(std::size_t sizes) : sizes_(sizes), shown_(false) {}
    void at(std::size_t index, int log2) {
        const bool long_run = std::chrono::steady_clock::now() - start_ > std::chrono::seconds(1);
        if (sizes_ < 2 || !long_run || isatty(STDERR_FILENO) == 0) return;
        std::fprintf(stderr, "\rkelvane-verify: size %zu of %zu (2^%d) ", index + 1, sizes_, log2);
        shown_ = true;
    }
    ~progress() {
        if (shown_) std::fprintf(stderr, "\r\033[K");
    }

  private:
    std::size_t sizes_;
    bool shown_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

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
    std::vector<kelvane_complex> signal(samples);
    driver::fill_signal(signal.data(), n);

    std::vector<kelvane_complex> four1_spectrum = signal;
    const std::int32_t plus = 1;
    four1_(&four1_spectrum[0].re, &n, &plus);
    std::vector<kelvane_complex> gpu(samples);
    c2c_1d_(&n, signal.data(), gpu.data());
    std::vector<kelvane_complex> four1 = mirrored(four1_spectrum);
    std::vector<exact_complex> exact = exact_spectrum(signal);
    size_result s = judge(gpu, four1, exact, chosen);

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
    s.timing = std::move(timing);

    if (chosen.svg_path)
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

void check_table(const options& chosen, verification& v, std::optional<plotted_spectra>& plotted) {
    std::string error;
    const std::string text = read_input(*chosen.table_path, error);
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
    if (chosen.svg_path)
        plotted = plotted_spectra{std::move(table.gpu), std::move(table.four1_mirrored),
                                  std::move(exact)};
}

} // namespace

int run_verify(int argc, const char* const* argv) {
    const auto parsed =
        parse_options({argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0)});
    if (const auto* message = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "kelvane-verify: %s (--help shows the usage)\n", message->c_str());
        return exit_usage_or_input;
    }
    const options& chosen = std::get<options>(parsed);
    if (chosen.help) {
        std::fputs(usage_text, stdout);
        return exit_pass;
    }
    std::atexit(remove_partial_outputs);
    for (const auto* path : {&chosen.json_path, &chosen.svg_path, &chosen.csv_path})
        if (*path) claim_output(**path);

    // The numeric environment of the comparison run, before any arithmetic.
    driver::enter_flush_to_zero_mode();
    verification v;
    v.origin = host_provenance();
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

    const std::string summary = summary_text(v);
    std::fwrite(summary.data(), 1, summary.size(), stdout);
    if (chosen.json_path) commit_output(*chosen.json_path, json_text(v));
    if (chosen.csv_path) commit_output(*chosen.csv_path, csv_text(v));
    if (chosen.svg_path && plotted) {
        const std::string title = "kelvane-verify: " + std::to_string(v.sizes.back().samples) +
                                  " bins, verdict " + (v.pass() ? "PASS" : "FAIL");
        commit_output(*chosen.svg_path,
                      render_svg({plotted->gpu, plotted->four1, plotted->exact, title}));
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        stop(exit_usage_or_input,
             std::string("cannot write standard output: ") + std::strerror(errno));
    return v.pass() ? exit_pass : exit_fail;
}

} // namespace kelvane::verify
