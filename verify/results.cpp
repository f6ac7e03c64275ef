#include "results.hpp"

#include "formatted.hpp"
#include "json_forms.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace kelvane::verify {
namespace {

// Every size verified is a power of two.
int log2_of(std::size_t n) {
    return std::countr_zero(n);
}

const char* verdict_word(bool pass) {
    return pass ? "PASS" : "FAIL";
}

struct named_comparison {
    const char* key;
    const char* label;
    const error_norms* norms;
};

std::vector<named_comparison> comparisons_of(const size_result& s) {
    std::vector<named_comparison> named = {{"gpu_vs_exact", "gpu   vs exact", &s.gpu_vs_exact},
                                           {"four1_vs_exact", "four1 vs exact", &s.four1_vs_exact},
                                           {"gpu_vs_four1", "gpu   vs four1", &s.gpu_vs_four1}};
    if (s.fftw_vs_exact) named.push_back({"fftw_vs_exact", "fftw  vs exact", &*s.fftw_vs_exact});
    return named;
}

// Every timed row of one size: the context (once), the phases, the whole leg and four1.
struct timed_row {
    std::string name;
    statistics stats;
    std::size_t samples;
    const char* clock;
};

std::vector<timed_row> timed_rows(const timing_result& t, bool emulated) {
    std::vector<timed_row> rows;
    const char* host_clock = emulated ? "host (emulated device)" : "host";
    if (t.context_seconds)
        rows.push_back({"context_creation", summarise({*t.context_seconds}), 1, host_clock});
    for (std::size_t p = 0; p < phase_names.size(); ++p) {
        std::vector<double> seconds;
        for (const auto& round : t.rounds)
            seconds.push_back(round.seconds[p]);
        const bool on_device = p == static_cast<std::size_t>(phase::execution) && !emulated;
        rows.push_back({std::string(phase_names[p]), summarise(seconds), seconds.size(),
                        on_device ? "device events" : host_clock});
    }
    std::vector<double> whole;
    for (const auto& round : t.rounds)
        whole.push_back(round.wall_seconds);
    rows.push_back({whole_leg_name, summarise(whole), whole.size(), host_clock});
    rows.push_back({"four1", summarise(t.four1_seconds), t.four1_seconds.size(), "host"});
    for (std::size_t i = 0; i < t.fftw.size(); ++i)
        if (!t.fftw[i].seconds.empty())
            rows.push_back({i == 0 ? "fftw_1_thread" : "fftw_all_cores",
                            summarise(t.fftw[i].seconds), t.fftw[i].seconds.size(), "host"});
    return rows;
}

// Every timed_rows list has each of these names.
const timed_row& row_named(const std::vector<timed_row>& rows, std::string_view name) {
    const auto found = std::find_if(rows.begin(), rows.end(),
                                    [name](const timed_row& r) { return r.name == name; });
    if (found == rows.end()) throw std::logic_error("no timed row " + std::string(name));
    return *found;
}

double transform_only_speedup(const std::vector<timed_row>& rows) {
    return row_named(rows, "four1").stats.median / row_named(rows, "execution").stats.median;
}

double end_to_end_ratio(const std::vector<timed_row>& rows) {
    return row_named(rows, "four1").stats.median / row_named(rows, whole_leg_name).stats.median;
}

bool emulated(const verification& v) {
    return v.origin.device && v.origin.device->emulated;
}

using json = json_forms::json;

json pair(double re, double im) {
    return json::array({re, im});
}

json norms_json(const error_norms& n, double level) {
    return {{"rel_l1", n.rel_l1},
            {"rel_l2", n.rel_l2},
            {"rel_linf", n.rel_linf},
            {"linf_bin", n.linf_bin},
            {"rel_l2_over_level", n.rel_l2 / level}};
}

json comparisons_json(const size_result& s) {
    json out = json::object();
    for (const auto& [key, label, norms] : comparisons_of(s))
        out[key] = norms_json(*norms, s.level);
    return out;
}

json tolerances_json(const tolerances& limits) {
    return {{"rel_l2", limits.rel_l2}, {"rel_linf", limits.rel_linf}};
}

json random_comparison_json(const error_norms& n, const bin_error& worst, double level) {
    return {{"rel_l2", n.rel_l2},
            {"rel_l2_over_level", n.rel_l2 / level},
            {"largest_bin_error", worst.units},
            {"largest_bin_error_bin", worst.bin}};
}

json random_input_json(const random_input_result& r, double level) {
    return {{"seed", r.seed},
            {"comparisons",
             {{"gpu_vs_exact", random_comparison_json(r.gpu_vs_exact, r.gpu_bin, level)},
              {"four1_vs_exact", random_comparison_json(r.four1_vs_exact, r.four1_bin, level)}}},
            {"bin_tolerance", r.bin_limit},
            {"verdict", r.pass ? "pass" : "fail"}};
}

json accuracy_json(const size_result& s) {
    json out = comparisons_json(s);
    out["expected_level"] = s.level;
    out["tolerances"] = tolerances_json(s.limits);
    if (s.random) out["random_input"] = random_input_json(*s.random, s.level);
    out["verdict"] = s.pass ? "pass" : "fail";
    return out;
}

void append_worst_bins(json& list, const size_result& s, const char* input,
                       const std::vector<bin_values>& worst) {
    for (const bin_values& b : worst)
        list.push_back({{"n", s.samples},
                        {"input", input},
                        {"bin", b.bin},
                        {"gpu", pair(b.gpu.re, b.gpu.im)},
                        {"four1", pair(b.four1.re, b.four1.im)},
                        {"exact", pair(static_cast<double>(b.exact.real()),
                                       static_cast<double>(b.exact.imag()))}});
}

} // namespace

// A CSV field in quotes, its quotes doubled.
std::string csv_field(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string provenance_fields(const provenance& p) {
    return csv_field(p.cpu) + "," + csv_field(p.host) + "," + p.started_utc + "," +
           csv_field(p.command_line);
}

namespace json_forms {

json provenance_json(const provenance& p) {
    json out = {{"gpu", device_text(p)}};
    if (p.device) {
        const device_description& d = *p.device;
        out["device"] = {
            {"emulated", d.emulated},
            {"name", d.name},
            {"compute_capability", std::to_string(d.major) + "." + std::to_string(d.minor)},
            {"driver", runtime_version_text(d.driver_version)},
            {"runtime", runtime_version_text(d.runtime_version)},
            {"cufft", cufft_version_text(d.cufft_version)}};
    }
    std::string mxcsr;
    append_formatted(mxcsr, "0x%04x", p.mxcsr);
    out["four1_path"] = p.four1_path;
    out["fp_mode"] = p.fp_mode;
    out["mxcsr"] = mxcsr;
    out["exact_spectrum"] = p.yardstick;
    out["kelvane_version"] = p.kelvane_version;
    out["commit"] = p.commit;
    out["cpu"] = p.cpu;
    out["host"] = p.host;
    out["started_utc"] = p.started_utc;
    out["command_line"] = p.command_line;
    return out;
}

std::string dump(const json& value) {
    return value.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace json_forms

namespace {

case_result as_case(const size_result& s, std::uint64_t seed) {
    case_result r;
    r.transform.lengths = {s.samples};
    r.transform.seed = seed;
    r.level = s.level;
    r.limits = {s.limits.rel_l2, s.limits.rel_linf, s.random ? s.random->bin_limit : 0.0, 0.0};
    auto errors = [&s](const error_norms& n, const bin_error* bin) {
        return case_errors{n.rel_l2, n.rel_linf, bin ? bin->units : std::nan(""), 0, n.linf_bin};
    };
    r.gpu = errors(s.gpu_vs_exact, s.random ? &s.random->gpu_bin : nullptr);
    r.four1 = errors(s.four1_vs_exact, s.random ? &s.random->four1_bin : nullptr);
    if (s.fftw_vs_exact) r.fftw = errors(*s.fftw_vs_exact, nullptr);
    r.pass = s.pass;
    for (const bin_values& b : s.worst)
        r.worst.push_back({0, b.bin, {b.gpu.re, b.gpu.im}, b.exact});
    if (s.timing) {
        r.warmups = s.timing->warmups;
        r.leg_rounds = s.timing->rounds;
        r.execution.executions = 1;
        for (const round_times& round : s.timing->rounds)
            r.execution.seconds.push_back(
                round.seconds[static_cast<std::size_t>(phase::execution)]);
        r.fftw_timings = s.timing->fftw;
        r.four1_seconds = s.timing->four1_seconds;
        r.context_seconds = s.timing->context_seconds;
    }
    return r;
}

} // namespace

std::vector<case_result> cases_of(const verification& v) {
    std::vector<case_result> cases;
    for (const size_result& s : v.sizes)
        cases.push_back(as_case(s, s.random ? s.random->seed : 0));
    return cases;
}

statistics summarise(std::vector<double> seconds) {
    std::sort(seconds.begin(), seconds.end());
    const std::size_t middle = seconds.size() / 2;
    const double median =
        seconds.size() % 2 == 1 ? seconds[middle] : (seconds[middle - 1] + seconds[middle]) / 2.0;
    return {median, seconds.front(), seconds.back()};
}

bool verification::pass() const {
    return std::all_of(sizes.begin(), sizes.end(), [](const size_result& s) { return s.pass; });
}

std::string summary_text(const verification& v) {
    std::string out;
    const size_result& main = v.sizes.back();
    append_formatted(out, "kelvane-verify: %zu samples (2^%d)%s%s\n\n", main.samples,
                     log2_of(main.samples), v.table_path ? ", values read from " : "",
                     v.table_path ? v.table_path->c_str() : "");
    out += "accuracy (errors relative to the exact spectrum's norms)\n";
    out += "                    rel L1       rel L2       rel Linf     Linf bin   L2/level\n";
    for (const auto& [key, label, norms] : comparisons_of(main))
        append_formatted(out, "  %-16s  %-11.3e  %-11.3e  %-11.3e  %8zu   %8.3f\n", label,
                         norms->rel_l1, norms->rel_l2, norms->rel_linf, norms->linf_bin,
                         norms->rel_l2 / main.level);
    append_formatted(
        out, "  expected level of a single-precision FFT: eps*sqrt(log2 N) = %.3e (eps = 2^-24)\n",
        main.level);
    if (v.printing_floor)
        append_formatted(
            out,
            "  printing floor (the exact spectrum rounded to the printed digits): rel L2 "
            "%.3e, rel Linf %.3e\n",
            v.printing_floor->rel_l2, v.printing_floor->rel_linf);
    append_formatted(out, "  tolerances for the gpu: rel L2 <= %.3e, rel Linf <= %.3e\n\n",
                     main.limits.rel_l2, main.limits.rel_linf);
    if (main.random) {
        const random_input_result& r = *main.random;
        append_formatted(out, "random input, seed %llu (every part uniform in [-1, 1))\n",
                         static_cast<unsigned long long>(r.seed));
        out += "                    rel L2       L2/level   bin error   at bin\n";
        const std::pair<const char*, std::pair<const error_norms*, const bin_error*>> rows[] = {
            {"gpu   vs exact", {&r.gpu_vs_exact, &r.gpu_bin}},
            {"four1 vs exact", {&r.four1_vs_exact, &r.four1_bin}}};
        for (const auto& [label, figures] : rows)
            append_formatted(out, "  %-16s  %-11.3e  %8.3f   %9.3f  %7zu\n", label,
                             figures.first->rel_l2, figures.first->rel_l2 / main.level,
                             figures.second->units, figures.second->bin);
        out += "  bin error: the largest error of one bin over eps*sqrt(log2 N)*rms|X|\n";
        append_formatted(out, "  tolerances for the gpu: rel L2 <= %.3e, bin error <= %g\n\n",
                         main.limits.rel_l2, r.bin_limit);
    }

    if (v.sizes.size() > 1) {
        out += "sizes      gpu rel L2   four1 rel L2  bin error  verdict   execution s  "
               "device leg s  four1 s      speedup  end-to-end\n";
        for (const size_result& s : v.sizes) {
            append_formatted(out, "  2^%-6d %-11.3e  %-11.3e  %9.3f  %-7s", log2_of(s.samples),
                             s.gpu_vs_exact.rel_l2, s.four1_vs_exact.rel_l2,
                             s.random ? s.random->gpu_bin.units : std::nan(""),
                             verdict_word(s.pass));
            if (s.timing) {
                const auto rows = timed_rows(*s.timing, emulated(v));
                append_formatted(out, "   %-11.4e  %-11.4e   %-11.4e  %7.3f  %7.3f",
                                 row_named(rows, "execution").stats.median,
                                 row_named(rows, whole_leg_name).stats.median,
                                 row_named(rows, "four1").stats.median,
                                 transform_only_speedup(rows), end_to_end_ratio(rows));
            }
            out += "\n";
        }
        out += "\n";
    }

    append_formatted(out, "verdict: %s", verdict_word(v.pass()));
    if (v.sizes.size() > 1)
        append_formatted(
            out, " (%zu of %zu sizes pass)\n",
            static_cast<std::size_t>(std::count_if(v.sizes.begin(), v.sizes.end(),
                                                   [](const size_result& s) { return s.pass; })),
            v.sizes.size());
    else {
        auto within = [](double value, double limit) { return value <= limit ? "<=" : "exceeds"; };
        append_formatted(
            out, "\n  signal:       gpu rel L2 %.3e %s %.3e, rel Linf %.3e %s %.3e",
            main.gpu_vs_exact.rel_l2, within(main.gpu_vs_exact.rel_l2, main.limits.rel_l2),
            main.limits.rel_l2, main.gpu_vs_exact.rel_linf,
            within(main.gpu_vs_exact.rel_linf, main.limits.rel_linf), main.limits.rel_linf);
        if (main.random)
            append_formatted(out, "\n  random input: gpu rel L2 %.3e %s %.3e, bin error %.3f %s %g",
                             main.random->gpu_vs_exact.rel_l2,
                             within(main.random->gpu_vs_exact.rel_l2, main.limits.rel_l2),
                             main.limits.rel_l2, main.random->gpu_bin.units,
                             within(main.random->gpu_bin.units, main.random->bin_limit),
                             main.random->bin_limit);
        out += "\n";
    }
    auto list_worst = [&out](const size_result& s, const char* input,
                             const std::vector<bin_values>& worst) {
        if (worst.empty()) return;
        append_formatted(out, "worst bins of the gpu at 2^%d, %s:\n", log2_of(s.samples), input);
        out +=
            "         bin  gpu                             four1                           exact\n";
        for (const bin_values& b : worst)
            append_formatted(out, "  %10zu  (%14.7e, %14.7e)  (%14.7e, %14.7e)  (%14.7e, %14.7e)\n",
                             b.bin, static_cast<double>(b.gpu.re), static_cast<double>(b.gpu.im),
                             static_cast<double>(b.four1.re), static_cast<double>(b.four1.im),
                             static_cast<double>(b.exact.real()),
                             static_cast<double>(b.exact.imag()));
    };
    for (const size_result& s : v.sizes) {
        list_worst(s, "signal", s.worst);
        if (s.random) list_worst(s, "random input", s.random->worst);
    }

    out += "\nprovenance\n";
    append_formatted(out, "  gpu column:  %s\n", device_text(v.origin).c_str());
    if (v.table_path) {
        append_formatted(out,
                         "  printed times: four1 %.4f s, cufft %.4f s (one cold sample each)\n",
                         static_cast<double>(v.printed_four1_seconds),
                         static_cast<double>(v.printed_gpu_seconds));
    } else {
        append_formatted(out, "  four1 path:  %s\n", v.origin.four1_path.c_str());
        append_formatted(out, "  fp mode:     %s (MXCSR 0x%04x)\n", v.origin.fp_mode.c_str(),
                         v.origin.mxcsr);
    }
    append_formatted(out, "  exact:       %s\n", v.origin.yardstick.c_str());
    append_formatted(out, "  kelvane:     %s, commit %s\n", v.origin.kelvane_version.c_str(),
                     v.origin.commit.c_str());
    append_formatted(out, "  cpu:         %s\n", v.origin.cpu.c_str());

    if (main.timing && v.sizes.size() == 1) {
        const timing_result& t = *main.timing;
        const auto rows = timed_rows(t, emulated(v));
        append_formatted(out, "\ntiming: %d warm-up and %zu timed rounds%s\n", t.warmups,
                         t.rounds.size(),
                         emulated(v) ? "; the device's phases are EMULATED on the host" : "");
        out += "  phase               median s     min s        max s        rounds  clock\n";
        for (const timed_row& r : rows)
            append_formatted(out, "  %-18s  %-11.4e  %-11.4e  %-11.4e  %6zu  %s\n", r.name.c_str(),
                             r.stats.median, r.stats.minimum, r.stats.maximum, r.samples, r.clock);
        append_formatted(out,
                         "  transform-only speedup, four1 / execution (medians):          %.3f\n",
                         transform_only_speedup(rows));
        append_formatted(out,
                         "  end-to-end ratio, four1 / whole device leg (kelvane's lines):  %.3f\n",
                         end_to_end_ratio(rows));
    }
    return out;
}

std::string json_text(const verification& v) {
    const size_result& main = v.sizes.back();
    json out = {{"verdict", v.pass() ? "pass" : "fail"},
                {"mode", v.table_path ? "table" : "run"},
                {"samples", main.samples},
                {"comparisons", comparisons_json(main)},
                {"expected_level", main.level},
                {"tolerances", tolerances_json(main.limits)}};
    if (main.random) out["random_input"] = random_input_json(*main.random, main.level);
    json worst = json::array();
    for (const size_result& s : v.sizes) {
        append_worst_bins(worst, s, "signal", s.worst);
        if (s.random) append_worst_bins(worst, s, "random", s.random->worst);
    }
    out["worst_bins"] = std::move(worst);
    if (v.table_path) {
        out["table"] = {{"path", *v.table_path},
                        {"four1_seconds", v.printed_four1_seconds},
                        {"cufft_seconds", v.printed_gpu_seconds}};
        if (v.printing_floor)
            out["printing_floor"] = {{"rel_l2", v.printing_floor->rel_l2},
                                     {"rel_linf", v.printing_floor->rel_linf}};
    }
    out["provenance"] = json_forms::provenance_json(v.origin);
    json timings = json::array();
    for (const size_result& s : v.sizes) {
        if (!s.timing) continue;
        const auto rows = timed_rows(*s.timing, emulated(v));
        json phases = json::object();
        for (const timed_row& r : rows)
            phases[r.name] = {{"median_s", r.stats.median},
                              {"min_s", r.stats.minimum},
                              {"max_s", r.stats.maximum},
                              {"samples", r.samples},
                              {"clock", r.clock}};
        json round_wall = json::array();
        for (const round_times& round : s.timing->rounds)
            round_wall.push_back(round.wall_seconds);
        timings.push_back({{"log2n", log2_of(s.samples)},
                           {"n", s.samples},
                           {"warmups", s.timing->warmups},
                           {"rounds", s.timing->rounds.size()},
                           {"emulated", emulated(v)},
                           {"phases", std::move(phases)},
                           {"round_wall_s", std::move(round_wall)},
                           {"transform_only_speedup", transform_only_speedup(rows)},
                           {"end_to_end_ratio", end_to_end_ratio(rows)},
                           {"accuracy", accuracy_json(s)}});
    }
    out["timings"] = std::move(timings);
    if (!v.table_path) {
        json cases = json::array();
        for (const size_result& s : v.sizes)
            cases.push_back(
                json_forms::case_json(as_case(s, s.random ? s.random->seed : 0), emulated(v)));
        out["cases"] = std::move(cases);
    }
    return json_forms::dump(out);
}

std::string csv_text(const verification& v) {
    std::string out = "log2n,n,phase,samples,median_s,min_s,max_s,clock,emulated,gpu_rel_l2,"
                      "verdict,device,kelvane,gpu_linf_bin,seed,random_gpu_bin_error,"
                      "random_gpu_bin," +
                      std::string(provenance_columns) + "\n";
    const std::string device = csv_field(device_text(v.origin));
    const std::string build = csv_field(v.origin.kelvane_version + " " + v.origin.commit);
    const std::string origin = provenance_fields(v.origin);
    for (const size_result& s : v.sizes) {
        if (!s.timing) continue;
        std::string random = ",,";
        if (s.random) {
            random.clear();
            append_formatted(random, "%llu,%.6e,%zu",
                             static_cast<unsigned long long>(s.random->seed),
                             s.random->gpu_bin.units, s.random->gpu_bin.bin);
        }
        for (const timed_row& r : timed_rows(*s.timing, emulated(v)))
            append_formatted(out, "%d,%zu,%s,%zu,%.9g,%.9g,%.9g,%s,%s,%.6e,%s,%s,%s,%zu,%s,%s\n",
                             log2_of(s.samples), s.samples, r.name.c_str(), r.samples,
                             r.stats.median, r.stats.minimum, r.stats.maximum,
                             csv_field(r.clock).c_str(), emulated(v) ? "true" : "false",
                             s.gpu_vs_exact.rel_l2, s.pass ? "pass" : "fail", device.c_str(),
                             build.c_str(), s.gpu_vs_exact.linf_bin, random.c_str(),
                             origin.c_str());
    }
    return out;
}

} // namespace kelvane::verify
