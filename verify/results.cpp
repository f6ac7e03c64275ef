#include "results.hpp"

#include "formatted.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>

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

std::array<named_comparison, 3> comparisons_of(const size_result& s) {
    return {{{"gpu_vs_exact", "gpu   vs exact", &s.gpu_vs_exact},
             {"four1_vs_exact", "four1 vs exact", &s.four1_vs_exact},
             {"gpu_vs_four1", "gpu   vs four1", &s.gpu_vs_four1}}};
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
    return rows;
}

const timed_row& row_named(const std::vector<timed_row>& rows, std::string_view name) {
    return *std::find_if(rows.begin(), rows.end(),
                         [name](const timed_row& r) { return r.name == name; });
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

std::string json_number(double value) {
    if (!std::isfinite(value)) return "null";
    std::string out;
    append_formatted(out, "%.9g", value);
    return out;
}

std::string json_string(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            append_formatted(out, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string json_norms(const error_norms& n, double level) {
    return "{\"rel_l1\": " + json_number(n.rel_l1) + ", \"rel_l2\": " + json_number(n.rel_l2) +
           ", \"rel_linf\": " + json_number(n.rel_linf) +
           ", \"linf_bin\": " + std::to_string(n.linf_bin) +
           ", \"rel_l2_over_level\": " + json_number(n.rel_l2 / level) + "}";
}

std::string json_pair(double re, double im) {
    return "[" + json_number(re) + ", " + json_number(im) + "]";
}

std::string json_accuracy(const size_result& s, const std::string& indent) {
    std::string out = "{\n";
    for (const auto& [key, label, norms] : comparisons_of(s))
        out += indent + "  " + json_string(key) + ": " + json_norms(*norms, s.level) + ",\n";
    out += indent + "  \"expected_level\": " + json_number(s.level) + ",\n";
    out += indent + "  \"tolerances\": {\"rel_l2\": " + json_number(s.limits.rel_l2) +
           ", \"rel_linf\": " + json_number(s.limits.rel_linf) + "},\n";
    out += indent + "  \"verdict\": " + json_string(s.pass ? "pass" : "fail") + "\n" + indent + "}";
    return out;
}

std::string json_provenance(const provenance& p) {
    std::string out = "{\n";
    out += "    \"gpu\": " + json_string(device_text(p)) + ",\n";
    if (p.device) {
        const device_description& d = *p.device;
        out += "    \"device\": {\"emulated\": " + std::string(d.emulated ? "true" : "false") +
               ", \"name\": " + json_string(d.name) + ", \"compute_capability\": " +
               json_string(std::to_string(d.major) + "." + std::to_string(d.minor)) +
               ", \"driver\": " + json_string(runtime_version_text(d.driver_version)) +
               ", \"runtime\": " + json_string(runtime_version_text(d.runtime_version)) +
               ", \"cufft\": " + json_string(cufft_version_text(d.cufft_version)) + "},\n";
    }
    std::string mxcsr;
    append_formatted(mxcsr, "0x%04x", p.mxcsr);
    out += "    \"four1_path\": " + json_string(p.four1_path) + ",\n";
    out += "    \"fp_mode\": " + json_string(p.fp_mode) + ",\n";
    out += "    \"mxcsr\": " + json_string(mxcsr) + ",\n";
    out += "    \"exact_spectrum\": " + json_string(p.yardstick) + ",\n";
    out += "    \"kelvane_version\": " + json_string(p.kelvane_version) + ",\n";
    out += "    \"commit\": " + json_string(p.commit) + ",\n";
    out += "    \"cpu\": " + json_string(p.cpu) + "\n  }";
    return out;
}

} // namespace

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

    if (v.sizes.size() > 1) {
        out += "sizes      gpu rel L2   four1 rel L2  verdict   execution s  device leg s  four1 s "
               "     "
               "speedup  end-to-end\n";
        for (const size_result& s : v.sizes) {
            append_formatted(out, "  2^%-6d %-11.3e  %-11.3e   %-7s", log2_of(s.samples),
                             s.gpu_vs_exact.rel_l2, s.four1_vs_exact.rel_l2, verdict_word(s.pass));
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
    else
        append_formatted(out, " (gpu rel L2 %.3e %s %.3e, rel Linf %.3e %s %.3e)\n",
                         main.gpu_vs_exact.rel_l2,
                         main.gpu_vs_exact.rel_l2 <= main.limits.rel_l2 ? "<=" : "exceeds",
                         main.limits.rel_l2, main.gpu_vs_exact.rel_linf,
                         main.gpu_vs_exact.rel_linf <= main.limits.rel_linf ? "<=" : "exceeds",
                         main.limits.rel_linf);
    for (const size_result& s : v.sizes) {
        if (s.worst.empty()) continue;
        append_formatted(out, "worst bins of the gpu at 2^%d:\n", log2_of(s.samples));
        out +=
            "         bin  gpu                             four1                           exact\n";
        for (const bin_values& b : s.worst)
            append_formatted(out, "  %10zu  (%14.7e, %14.7e)  (%14.7e, %14.7e)  (%14.7e, %14.7e)\n",
                             b.bin, static_cast<double>(b.gpu.re), static_cast<double>(b.gpu.im),
                             static_cast<double>(b.four1.re), static_cast<double>(b.four1.im),
                             static_cast<double>(b.exact.real()),
                             static_cast<double>(b.exact.imag()));
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
    std::string out = "{\n";
    out += "  \"verdict\": " + json_string(v.pass() ? "pass" : "fail") + ",\n";
    out += "  \"mode\": " + json_string(v.table_path ? "table" : "run") + ",\n";
    out += "  \"samples\": " + std::to_string(main.samples) + ",\n";
    out += "  \"comparisons\": {\n";
    const auto comparisons = comparisons_of(main);
    for (std::size_t i = 0; i < comparisons.size(); ++i)
        out += "    " + json_string(comparisons[i].key) + ": " +
               json_norms(*comparisons[i].norms, main.level) +
               (i + 1 < comparisons.size() ? ",\n" : "\n");
    out += "  },\n";
    out += "  \"expected_level\": " + json_number(main.level) + ",\n";
    out += "  \"tolerances\": {\"rel_l2\": " + json_number(main.limits.rel_l2) +
           ", \"rel_linf\": " + json_number(main.limits.rel_linf) + "},\n";
    out += "  \"worst_bins\": [";
    for (std::size_t i = 0; i < main.worst.size(); ++i) {
        const bin_values& b = main.worst[i];
        out += std::string(i == 0 ? "\n" : ",\n") + "    {\"bin\": " + std::to_string(b.bin) +
               ", \"gpu\": " + json_pair(b.gpu.re, b.gpu.im) +
               ", \"four1\": " + json_pair(b.four1.re, b.four1.im) + ", \"exact\": " +
               json_pair(static_cast<double>(b.exact.real()), static_cast<double>(b.exact.imag())) +
               "}";
    }
    out += main.worst.empty() ? "],\n" : "\n  ],\n";
    if (v.table_path) {
        out += "  \"table\": {\"path\": " + json_string(*v.table_path) +
               ", \"four1_seconds\": " + json_number(v.printed_four1_seconds) +
               ", \"cufft_seconds\": " + json_number(v.printed_gpu_seconds) + "},\n";
        if (v.printing_floor)
            out += "  \"printing_floor\": {\"rel_l2\": " + json_number(v.printing_floor->rel_l2) +
                   ", \"rel_linf\": " + json_number(v.printing_floor->rel_linf) + "},\n";
    }
    out += "  \"provenance\": " + json_provenance(v.origin) + ",\n";
    out += "  \"timings\": [";
    bool first = true;
    for (const size_result& s : v.sizes) {
        if (!s.timing) continue;
        const auto rows = timed_rows(*s.timing, emulated(v));
        out += std::string(first ? "\n" : ",\n") + "    {\n";
        first = false;
        out += "      \"log2n\": " + std::to_string(log2_of(s.samples)) + ",\n";
        out += "      \"n\": " + std::to_string(s.samples) + ",\n";
        out += "      \"warmups\": " + std::to_string(s.timing->warmups) + ",\n";
        out += "      \"rounds\": " + std::to_string(s.timing->rounds.size()) + ",\n";
        out += "      \"emulated\": " + std::string(emulated(v) ? "true" : "false") + ",\n";
        out += "      \"phases\": {\n";
        for (std::size_t i = 0; i < rows.size(); ++i)
            out += "        " + json_string(rows[i].name) +
                   ": {\"median_s\": " + json_number(rows[i].stats.median) +
                   ", \"min_s\": " + json_number(rows[i].stats.minimum) +
                   ", \"max_s\": " + json_number(rows[i].stats.maximum) +
                   ", \"samples\": " + std::to_string(rows[i].samples) +
                   ", \"clock\": " + json_string(rows[i].clock) + "}" +
                   (i + 1 < rows.size() ? ",\n" : "\n");
        out += "      },\n";
        out += "      \"round_wall_s\": [";
        for (std::size_t i = 0; i < s.timing->rounds.size(); ++i)
            out += (i == 0 ? "" : ", ") + json_number(s.timing->rounds[i].wall_seconds);
        out += "],\n";
        out += "      \"transform_only_speedup\": " + json_number(transform_only_speedup(rows)) +
               ",\n";
        out += "      \"end_to_end_ratio\": " + json_number(end_to_end_ratio(rows)) + ",\n";
        out += "      \"accuracy\": " + json_accuracy(s, "      ") + "\n    }";
    }
    out += first ? "]\n" : "\n  ]\n";
    out += "}\n";
    return out;
}

std::string csv_text(const verification& v) {
    std::string out = "log2n,n,phase,samples,median_s,min_s,max_s,clock,emulated,gpu_rel_l2,"
                      "verdict,device,kelvane\n";
    const std::string device = device_text(v.origin);
    const std::string build = v.origin.kelvane_version + " " + v.origin.commit;
    auto csv_field = [](const std::string& text) {
        std::string quoted = "\"";
        for (const char c : text)
            quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        return quoted + "\"";
    };
    for (const size_result& s : v.sizes) {
        if (!s.timing) continue;
        for (const timed_row& r : timed_rows(*s.timing, emulated(v)))
            append_formatted(out, "%d,%zu,%s,%zu,%.9g,%.9g,%.9g,%s,%s,%.6e,%s,%s,%s\n",
                             log2_of(s.samples), s.samples, r.name.c_str(), r.samples,
                             r.stats.median, r.stats.minimum, r.stats.maximum,
                             csv_field(r.clock).c_str(), emulated(v) ? "true" : "false",
                             s.gpu_vs_exact.rel_l2, s.pass ? "pass" : "fail",
                             csv_field(device).c_str(), csv_field(build).c_str());
    }
    return out;
}

} // namespace kelvane::verify
