#include "case_plot.hpp"
#include "case_result.hpp"
#include "error_map.hpp"
#include "formatted.hpp"
#include "html_report.hpp"
#include "json_forms.hpp"
#include "results.hpp"
#include "svg_plot.hpp"

#include <algorithm>
#include <cmath>

namespace kelvane::verify {

bool has_prime_factor_above_7(const transform_case& c) {
    return std::any_of(c.lengths.begin(), c.lengths.end(), [](std::size_t n) {
        for (const std::size_t p : {2U, 3U, 5U, 7U})
            while (n % p == 0)
                n /= p;
        return n > 1;
    });
}

double case_level(const transform_case& c) {
    const double eps = double_precision(c.type) ? 0x1p-53 : 0x1p-24;
    const double log2n = std::max(1.0, std::log2(static_cast<double>(total_length(c))));
    return eps * std::sqrt(log2n) * (has_prime_factor_above_7(c) ? 2.0 : 1.0);
}

case_errors worst_member(const std::vector<member_errors>& members) {
    case_errors worst;
    // NaN wins every comparison, so that a member with one is the case's figure.
    auto worse = [](double candidate, double held) {
        return std::isnan(candidate) ? !std::isnan(held) : candidate > held;
    };
    for (std::size_t b = 0; b < members.size(); ++b) {
        const member_errors& m = members[b];
        if (b == 0 || worse(m.rel_linf, worst.rel_linf)) {
            worst.rel_linf = m.rel_linf;
            worst.member = b;
            worst.index = m.linf_index;
        }
        if (b == 0 || worse(m.rel_l2, worst.rel_l2)) worst.rel_l2 = m.rel_l2;
        if (b == 0 || worse(m.bin_units, worst.bin_units)) worst.bin_units = m.bin_units;
    }
    return worst;
}

double case_result::flops() const {
    const auto n = static_cast<double>(total_length(transform));
    const double per_transform =
        5.0 * n * std::log2(n) * (complex_only(transform.type) ? 1.0 : 0.5);
    return per_transform * static_cast<double>(transform.batch);
}

bool input_may_change(fft_type type) {
    return real_output(type);
}

bool case_passes(const case_result& r) {
    const case_errors& e = r.gpu;
    const bool random = r.transform.input == input_source::random;
    // Written so that NaN fails every test.
    bool pass = e.rel_l2 <= r.limits.rel_l2 &&
                (random ? e.bin_units <= r.limits.bin_units : e.rel_linf <= r.limits.rel_linf);
    if (r.round_trip) pass = pass && *r.round_trip <= r.limits.round_trip;
    if (r.input_preserved && !input_may_change(r.transform.type)) pass = pass && *r.input_preserved;
    return pass;
}

bool case_run::pass() const {
    return std::all_of(cases.begin(), cases.end(), [](const case_result& r) { return r.pass; });
}

namespace {

const char* direction_word(const transform_case& c) {
    return forward(c) ? "forward" : "inverse";
}
const char* precision_word(const transform_case& c) {
    return double_precision(c.type) ? "double" : "single";
}
const char* input_word(input_source input) {
    switch (input) {
    case input_source::random:
        return "random";
    case input_source::file:
        return "file";
    case input_source::signal:
        break;
    }
    return "signal";
}

// "packed", or the advanced layout's strides and distances: "s2 d250", the output's after a
// slash where they differ.
std::string layout_text(const transform_case& c) {
    const case_geometry g = geometry_of(c);
    if (!g.advanced) return "packed";
    std::string text = "s" + std::to_string(g.in.stride) + " d" + std::to_string(g.in.distance);
    if (g.out.stride != g.in.stride || g.out.distance != g.in.distance)
        text += "/s" + std::to_string(g.out.stride) + " d" + std::to_string(g.out.distance);
    return text;
}

// The figure the verdict reads beside the L2 error: the bin criterion on a random input.
double element_figure(const case_result& r) {
    return r.transform.input == input_source::random ? r.gpu.bin_units / r.limits.bin_units
                                                     : r.gpu.rel_linf / r.limits.rel_linf;
}

bool emulated_device(const provenance& p) {
    return p.device && p.device->emulated;
}

// The timed figures of a case, each a row of the CSV and an entry of the JSON.
struct case_timed_row {
    std::string name;
    std::vector<double> seconds;
    const char* clock;
    std::size_t executions = 1;
    int threads = 0;
    double planning_seconds = -1.0;
};

std::vector<case_timed_row> case_timed_rows(const case_result& r, bool emulated) {
    const char* host = emulated ? "host (emulated device)" : "host";
    std::vector<case_timed_row> rows;
    if (r.context_seconds) rows.push_back({"context_creation", {*r.context_seconds}, host});
    for (std::size_t p = 0; p < phase_names.size(); ++p) {
        std::vector<double> seconds;
        for (const round_times& round : r.leg_rounds)
            seconds.push_back(round.seconds[p]);
        const bool on_device = p == static_cast<std::size_t>(phase::execution) && !emulated;
        rows.push_back(
            {std::string(phase_names[p]), std::move(seconds), on_device ? "device events" : host});
    }
    std::vector<double> whole;
    for (const round_times& round : r.leg_rounds)
        whole.push_back(round.wall_seconds);
    rows.push_back({whole_leg_name, std::move(whole), host});
    rows.push_back({"execution_back_to_back", r.execution.seconds,
                    emulated ? host : "device events", r.execution.executions});
    for (std::size_t t = 0; t < r.fftw_timings.size(); ++t) {
        const fftw_timing& f = r.fftw_timings[t];
        rows.push_back({t == 0 ? "fftw_1_thread" : "fftw_all_cores", f.seconds, "host",
                        f.executions, f.threads, f.planning_seconds});
    }
    if (!r.four1_seconds.empty()) rows.push_back({"four1", r.four1_seconds, "host"});
    return rows;
}

double median_of(const case_result& r, std::string_view name, bool emulated) {
    for (const case_timed_row& row : case_timed_rows(r, emulated))
        if (row.name == name && !row.seconds.empty()) return summarise(row.seconds).median;
    return std::nan("");
}

} // namespace

namespace json_forms {

json errors_json(const case_errors& e, double level) {
    return {{"rel_l2", e.rel_l2},
            {"rel_l2_over_level", e.rel_l2 / level},
            {"rel_linf", e.rel_linf},
            {"largest_bin_error", e.bin_units},
            {"largest_error_member", e.member},
            {"largest_error_index", e.index}};
}

json case_json(const case_result& r, bool emulated) {
    const transform_case& c = r.transform;
    json out = {{"type", type_name(c.type)},
                {"shape", c.lengths},
                {"batch", c.batch},
                {"in_place", c.in_place},
                {"direction", direction_word(c)},
                {"precision", precision_word(c)},
                {"input", c.input == input_source::file ? c.input_file : input_word(c.input)},
                {"seed", c.input == input_source::random ? json(c.seed) : json(nullptr)}};
    const case_geometry g = geometry_of(c);
    out["layout"] = {{"advanced", g.advanced},
                     {"istride", g.in.stride},
                     {"idist", g.in.distance},
                     {"ostride", g.out.stride},
                     {"odist", g.out.distance}};
    out["rerun"] = "kelvane-verify " + rerun_options(c);
    out["verdict"] = r.pass ? "pass" : "fail";
    out["expected_level"] = r.level;
    out["tolerances"] = {{"rel_l2", r.limits.rel_l2},
                         {"rel_linf", r.limits.rel_linf},
                         {"bin_error", r.limits.bin_units},
                         {"round_trip_rel_l2", r.limits.round_trip}};
    json comparisons = {{"gpu_vs_exact", errors_json(r.gpu, r.level)},
                        {"fftw_vs_exact", errors_json(r.fftw, r.level)}};
    if (r.four1) comparisons["four1_vs_exact"] = errors_json(*r.four1, r.level);
    out["comparisons"] = std::move(comparisons);
    out["round_trip"] =
        r.round_trip
            ? json({{"rel_l2", *r.round_trip}, {"rel_l2_over_level", *r.round_trip / r.level}})
            : json(nullptr);
    out["input_preserved"] = r.input_preserved ? json(*r.input_preserved) : json(nullptr);
    out["input_may_change"] = input_may_change(c.type);

    json timings = {{"warmups", r.warmups}, {"rounds", r.leg_rounds.size()}};
    json phases = json::object();
    for (const case_timed_row& row : case_timed_rows(r, emulated)) {
        if (row.seconds.empty()) continue;
        const statistics s = summarise(row.seconds);
        json entry = {{"median_s", s.median},
                      {"min_s", s.minimum},
                      {"max_s", s.maximum},
                      {"samples", row.seconds.size()},
                      {"executions_per_sample", row.executions},
                      {"clock", row.clock}};
        if (row.threads > 0) entry["threads"] = row.threads;
        if (row.planning_seconds >= 0.0) entry["planning_s"] = row.planning_seconds;
        phases[row.name] = std::move(entry);
    }
    timings["phases"] = std::move(phases);
    timings["emulated"] = emulated;
    out["timings"] = std::move(timings);

    const double flops = r.flops();
    const double execution = median_of(r, "execution_back_to_back", emulated);
    const double leg = median_of(r, whole_leg_name, emulated);
    const double fftw_one = median_of(r, "fftw_1_thread", emulated);
    const double fftw_all = median_of(r, "fftw_all_cores", emulated);
    json gflops = {{"execution", flops / execution * 1e-9},
                   {"device_leg", flops / leg * 1e-9},
                   {"fftw_1_thread", flops / fftw_one * 1e-9},
                   {"fftw_all_cores", flops / fftw_all * 1e-9}};
    if (!r.four1_seconds.empty())
        gflops["four1"] = flops / summarise(r.four1_seconds).median * 1e-9;
    out["gflops"] = std::move(gflops);
    out["gbps"] = {
        {"host_to_device",
         static_cast<double>(g.buffer_bytes(c.in_place)) /
             median_of(r, phase_names[static_cast<std::size_t>(phase::host_to_device)], emulated) *
             1e-9},
        {"device_to_host",
         static_cast<double>(c.in_place ? g.buffer_bytes(true) : g.output_bytes()) /
             median_of(r, phase_names[static_cast<std::size_t>(phase::device_to_host)], emulated) *
             1e-9}};
    out["speedups"] = {{"execution_over_fftw_all_cores", fftw_all / execution},
                       {"device_leg_over_fftw_all_cores", fftw_all / leg}};
    json worst = json::array();
    for (const element_values& w : r.worst)
        worst.push_back({{"member", w.member},
                         {"index", w.index},
                         {"gpu", json::array({static_cast<double>(w.value.real()),
                                              static_cast<double>(w.value.imag())})},
                         {"exact", json::array({static_cast<double>(w.exact.real()),
                                                static_cast<double>(w.exact.imag())})}});
    out["worst_bins"] = std::move(worst);
    return out;
}

} // namespace json_forms

std::string case_summary_text(const case_run& run) {
    const bool emulated = emulated_device(run.origin);
    std::string out;
    append_formatted(out, "kelvane-verify: %zu case%s (%s), FFTW planned with %s\n\n",
                     run.cases.size(), run.cases.size() == 1 ? "" : "s", run.mode.c_str(),
                     std::string(planning_name(run.planning)).c_str());
    out += "case type shape            batch place layout        dir prec     L2/lvl worst/tol "
           "round trip input    verdict exec s       GFLOP/s    FFTW s       speedup\n";
    for (std::size_t i = 0; i < run.cases.size(); ++i) {
        const case_result& r = run.cases[i];
        const transform_case& c = r.transform;
        const std::string round_trip =
            r.round_trip ? three_digits(*r.round_trip / r.limits.round_trip) : "-";
        const char* input = !r.input_preserved         ? "-"
                            : *r.input_preserved       ? "kept"
                            : input_may_change(c.type) ? "changed*"
                                                       : "CHANGED";
        const double execution = median_of(r, "execution_back_to_back", emulated);
        const double fftw_all = median_of(r, "fftw_all_cores", emulated);
        append_formatted(out,
                         "%4zu %-4s %-16s %5zu %-5s %-13s %-3s %-6s %8.3g %9.3g %-10s %-8s %-7s "
                         "%-11.4e %8.3g   %-11.4e %8.3g\n",
                         i + 1, std::string(type_name(c.type)).c_str(),
                         shape_text(c.lengths).c_str(), c.batch, c.in_place ? "in" : "out",
                         layout_text(c).c_str(), forward(c) ? "fwd" : "inv", precision_word(c),
                         r.gpu.rel_l2 / r.level, element_figure(r), round_trip.c_str(), input,
                         r.pass ? "PASS" : "FAIL", execution, r.flops() / execution * 1e-9,
                         fftw_all, fftw_all / execution);
    }
    out += "\n  L2/lvl: the device's relative L2 error over the case's level, eps*sqrt(log2 N),\n"
           "  twice that where a length has a prime factor above 7. worst/tol: the largest\n"
           "  element error over its tolerance (bin error on a random input, relative Linf\n"
           "  otherwise). round trip: forward and back against N x, over its tolerance.\n"
           "  changed*: C2R and Z2D may overwrite their input (a note, not a failure).\n"
           "  exec s: one execution, median of back-to-back rounds. FFTW s: FFTW on every\n"
           "  core. speedup: FFTW s over exec s.\n";

    out += "\nrerun a case alone\n";
    for (std::size_t i = 0; i < run.cases.size(); ++i)
        append_formatted(out, "%4zu kelvane-verify %s\n", i + 1,
                         rerun_options(run.cases[i].transform).c_str());

    for (std::size_t i = 0; i < run.cases.size(); ++i) {
        const case_result& r = run.cases[i];
        if (r.worst.empty()) continue;
        append_formatted(out, "\nworst elements of the device, case %zu:\n", i + 1);
        out += "  member       index  device                             exact\n";
        for (const element_values& w : r.worst)
            append_formatted(
                out, "  %6zu  %10zu  (%15.8e, %15.8e)  (%15.8e, %15.8e)\n", w.member, w.index,
                static_cast<double>(w.value.real()), static_cast<double>(w.value.imag()),
                static_cast<double>(w.exact.real()), static_cast<double>(w.exact.imag()));
    }

    out += "\nprovenance\n";
    append_formatted(out, "  device:      %s\n", device_text(run.origin).c_str());
    append_formatted(out, "  exact:       %s\n", run.origin.yardstick.c_str());
    append_formatted(out, "  baseline:    %s; %s\n", baseline_version(false).c_str(),
                     baseline_version(true).c_str());
    append_formatted(out, "  kelvane:     %s, commit %s\n", run.origin.kelvane_version.c_str(),
                     run.origin.commit.c_str());
    append_formatted(out, "  cpu:         %s\n", run.origin.cpu.c_str());
    if (emulated) out += "  timings:     the device's are EMULATED on the host\n";

    const auto passed = static_cast<std::size_t>(
        std::count_if(run.cases.begin(), run.cases.end(), [](const auto& r) { return r.pass; }));
    append_formatted(out, "\nverdict: %s (%zu of %zu cases pass)\n", run.pass() ? "PASS" : "FAIL",
                     passed, run.cases.size());
    return out;
}

std::string case_json_text(const case_run& run) {
    using json = json_forms::json;
    const bool emulated = emulated_device(run.origin);
    json out = {{"verdict", run.pass() ? "pass" : "fail"},
                {"mode", run.mode},
                {"fftw_planning", planning_name(run.planning)}};
    json cases = json::array();
    for (const case_result& r : run.cases)
        cases.push_back(json_forms::case_json(r, emulated));
    out["cases"] = std::move(cases);
    out["provenance"] = json_forms::provenance_json(run.origin);
    return json_forms::dump(out);
}

std::string case_csv_text(const case_run& run) {
    const bool emulated = emulated_device(run.origin);
    std::string out = "case,type,shape,batch,in_place,direction,precision,input,seed,phase,"
                      "samples,executions,threads,median_s,min_s,max_s,clock,emulated,gpu_rel_l2,"
                      "verdict,device,kelvane," +
                      std::string(provenance_columns) + "\n";
    const std::string device = csv_field(device_text(run.origin));
    const std::string build = csv_field(run.origin.kelvane_version + " " + run.origin.commit);
    const std::string origin = provenance_fields(run.origin);
    for (std::size_t i = 0; i < run.cases.size(); ++i) {
        const case_result& r = run.cases[i];
        const transform_case& c = r.transform;
        const std::string seed =
            c.input == input_source::random ? std::to_string(c.seed) : std::string();
        const std::string input =
            csv_field(c.input == input_source::file ? c.input_file : input_word(c.input));
        for (const case_timed_row& row : case_timed_rows(r, emulated)) {
            if (row.seconds.empty()) continue;
            const statistics s = summarise(row.seconds);
            append_formatted(out,
                             "%zu,%s,%s,%zu,%s,%s,%s,%s,%s,%s,%zu,%zu,%d,%.9g,%.9g,%.9g,%s,%s,%.6e,"
                             "%s,%s,%s,%s\n",
                             i + 1, std::string(type_name(c.type)).c_str(),
                             shape_text(c.lengths).c_str(), c.batch, c.in_place ? "true" : "false",
                             direction_word(c), precision_word(c), input.c_str(), seed.c_str(),
                             row.name.c_str(), row.seconds.size(), row.executions, row.threads,
                             s.median, s.minimum, s.maximum, csv_field(row.clock).c_str(),
                             emulated ? "true" : "false", r.gpu.rel_l2, r.pass ? "pass" : "fail",
                             device.c_str(), build.c_str(), origin.c_str());
        }
    }
    return out;
}

} // namespace kelvane::verify

namespace kelvane::verify {
namespace {

plot_point point_of(const case_result& r, double y, bool flagged = false) {
    const fft_type t = r.transform.type;
    const mark_shape shape = complex_only(t) ? mark_shape::circle
                             : real_input(t) ? mark_shape::square
                                             : mark_shape::triangle;
    return {static_cast<double>(total_length(r.transform)), y, shape, double_precision(t), flagged};
}

} // namespace

std::string case_svg_text(const std::vector<case_result>& cases, const provenance& origin,
                          const std::string& title) {
    const bool emulated = emulated_device(origin);
    const std::string device = device_label(origin);
    plot_panel l2{"Accuracy: relative L2 error over the level eps sqrt(log2 N)", "L2 / level", {}};
    plot_panel worst{"Worst element error over its tolerance", "worst / tolerance", {}};
    plot_panel time{"Time per execution", "seconds", {}};
    plot_panel rate{"Rate: 5 N log2 N a complex transform, half a real one", "GFLOP/s", {}};
    plot_curve l2_device{device, case_colours::device, {}};
    plot_curve l2_fftw{"FFTW, the case's precision", case_colours::fftw_one, {}};
    plot_curve l2_four1{"four1", case_colours::four1, {}};
    plot_curve l2_limit{"the verdict's tolerance", case_plot_layout::tolerance_colour, {}, true};
    plot_curve worst_device = l2_device;
    plot_curve worst_fftw = l2_fftw;
    plot_curve worst_four1 = l2_four1;
    plot_curve worst_limit = l2_limit;
    const std::string suffix = emulated ? " (EMULATED)" : "";
    plot_curve t_device{device + ", execution", case_colours::device, {}};
    plot_curve t_leg{device + ", whole leg" + suffix, case_colours::device_leg, {}};
    plot_curve t_fftw_one{"FFTW, 1 thread", case_colours::fftw_one, {}};
    plot_curve t_fftw_all{"FFTW, every core", case_colours::fftw_all, {}};
    plot_curve t_four1{"four1", case_colours::four1, {}};
    std::array<plot_curve, 5> time_curves{t_device, t_leg, t_fftw_one, t_fftw_all, t_four1};
    std::array<plot_curve, 5> rate_curves = time_curves;
    for (const case_result& r : cases) {
        const bool random = r.transform.input == input_source::random;
        auto worst_of = [&](const case_errors& e) {
            return random ? e.bin_units / r.limits.bin_units : e.rel_linf / r.limits.rel_linf;
        };
        l2_device.points.push_back(point_of(r, r.gpu.rel_l2 / r.level, !r.pass));
        l2_fftw.points.push_back(point_of(r, r.fftw.rel_l2 / r.level));
        l2_limit.points.push_back(point_of(r, r.limits.rel_l2 / r.level));
        worst_device.points.push_back(point_of(r, worst_of(r.gpu), !r.pass));
        worst_fftw.points.push_back(point_of(r, worst_of(r.fftw)));
        worst_limit.points.push_back(point_of(r, 1.0));
        if (r.four1) {
            l2_four1.points.push_back(point_of(r, r.four1->rel_l2 / r.level));
            worst_four1.points.push_back(point_of(r, worst_of(*r.four1)));
        }
        const double seconds[5] = {
            median_of(r, "execution_back_to_back", emulated),
            median_of(r, whole_leg_name, emulated), median_of(r, "fftw_1_thread", emulated),
            median_of(r, "fftw_all_cores", emulated), median_of(r, "four1", emulated)};
        for (std::size_t i = 0; i < time_curves.size(); ++i) {
            if (!std::isfinite(seconds[i])) continue;
            time_curves[i].points.push_back(point_of(r, seconds[i], i == 0 && !r.pass));
            rate_curves[i].points.push_back(
                point_of(r, r.flops() / seconds[i] * 1e-9, i == 0 && !r.pass));
        }
    }
    l2.curves = {l2_limit, l2_fftw, l2_device};
    worst.curves = {worst_limit, worst_fftw, worst_device};
    if (!l2_four1.points.empty()) {
        l2.curves.insert(l2.curves.begin() + 1, l2_four1);
        worst.curves.insert(worst.curves.begin() + 1, worst_four1);
    }
    for (std::size_t i = 0; i < time_curves.size(); ++i) {
        if (time_curves[i].points.empty()) continue;
        time.curves.push_back(std::move(time_curves[i]));
        rate.curves.push_back(std::move(rate_curves[i]));
    }
    std::vector<std::string> notes = {
        "x: the transform's length N (the product of its lengths); one mark a case and series; "
        "a red ring: a failing case.",
        "Circles C2C and Z2Z, squares R2C and D2Z, triangles C2R and Z2D; filled single "
        "precision, hollow double."};
    if (emulated)
        notes.push_back("The device is EMULATED on the host: its times are host code's, not a "
                        "GPU's.");
    return render_case_plot(title, notes, {l2, worst, time, rate});
}

} // namespace kelvane::verify

namespace kelvane::verify {

html_report case_html(const case_run& run, std::vector<std::string> pictures, std::string text) {
    const bool emulated = emulated_device(run.origin);
    html_report page;
    page.title = "kelvane-verify: " + run.mode + ", " + std::to_string(run.cases.size()) +
                 (run.cases.size() == 1 ? " case" : " cases");
    page.good = run.pass();
    page.verdict = run.pass() ? "PASS" : "FAIL";
    const provenance& p = run.origin;
    page.provenance.header = {"", ""};
    page.provenance.rows = {{"device", device_text(p)},
                            {"exact", p.yardstick},
                            {"baseline", baseline_version(false) + "; " + baseline_version(true) +
                                             "; planned with " +
                                             std::string(planning_name(run.planning))},
                            {"kelvane", p.kelvane_version + ", commit " + p.commit},
                            {"cpu", p.cpu},
                            {"host", p.host},
                            {"started", p.started_utc},
                            {"command", p.command_line}};
    page.cases.header = {"case",    "type",   "shape",    "batch",     "place",          "layout",
                         "dir",     "prec",   "L2/level", "worst/tol", "round trip/tol", "input",
                         "verdict", "exec s", "GFLOP/s",  "FFTW s",    "speedup",        "rerun"};
    page.cases.row_class = "case";
    for (std::size_t i = 0; i < run.cases.size(); ++i) {
        const case_result& r = run.cases[i];
        const transform_case& c = r.transform;
        const double execution = median_of(r, "execution_back_to_back", emulated);
        const double fftw_all = median_of(r, "fftw_all_cores", emulated);
        page.cases.rows.push_back(
            {std::to_string(i + 1), std::string(type_name(c.type)), shape_text(c.lengths),
             std::to_string(c.batch), c.in_place ? "in" : "out", layout_text(c),
             forward(c) ? "forward" : "inverse", precision_word(c),
             three_digits(r.gpu.rel_l2 / r.level), three_digits(element_figure(r)),
             r.round_trip ? three_digits(*r.round_trip / r.limits.round_trip) : "-",
             !r.input_preserved         ? "-"
             : *r.input_preserved       ? "kept"
             : input_may_change(c.type) ? "changed (allowed)"
                                        : "CHANGED",
             r.pass ? "PASS" : "FAIL", three_digits(execution),
             three_digits(r.flops() / execution * 1e-9), three_digits(fftw_all),
             three_digits(fftw_all / execution), "kelvane-verify " + rerun_options(c)});
        page.cases.flagged.push_back(!r.pass);
        if (r.worst.empty()) continue;
        html_table worst;
        worst.header = {"member", "index", "device", "exact"};
        for (const element_values& w : r.worst) {
            std::string device;
            std::string exact;
            append_formatted(device, "(%.8e, %.8e)", static_cast<double>(w.value.real()),
                             static_cast<double>(w.value.imag()));
            append_formatted(exact, "(%.8e, %.8e)", static_cast<double>(w.exact.real()),
                             static_cast<double>(w.exact.imag()));
            worst.rows.push_back(
                {std::to_string(w.member), std::to_string(w.index), device, exact});
        }
        page.details.emplace_back("Worst elements of case " + std::to_string(i + 1), worst);
    }
    page.pictures = std::move(pictures);
    page.text = std::move(text);
    return page;
}

} // namespace kelvane::verify

namespace kelvane::verify {

std::string single_case_svg(const case_result& r, const provenance& origin) {
    const kept_outputs& kept = *r.outputs;
    const transform_case& c = r.transform;
    long double largest = 0.0L;
    long double sum_squares = 0.0L;
    for (const exact_complex& e : kept.exact) {
        largest = std::max(largest, std::abs(e));
        sum_squares += std::norm(e);
    }
    const long double rms = std::sqrt(sum_squares / static_cast<long double>(kept.exact.size()));
    // The verdict's element limit in the picture's units, |X - exact| / max |exact|.
    const double tolerance = c.input == input_source::random
                                 ? static_cast<double>(r.limits.bin_units * r.level * rms / largest)
                                 : r.limits.rel_linf;
    const std::string title = "kelvane-verify: " + std::string(type_name(c.type)) + " " +
                              shape_text(c.lengths) + ", batch " + std::to_string(c.batch) +
                              ", verdict " + (r.pass ? "PASS" : "FAIL");
    if (c.lengths.size() == 1) {
        plot_input input;
        input.bins = kept.exact.size();
        input.device = {device_label(origin), [&kept](std::size_t k) { return kept.device[k]; }};
        input.second = {"FFTW, the case's precision",
                        [&kept](std::size_t k) { return kept.fftw[k]; }};
        input.exact = [&kept](std::size_t k) { return kept.exact[k]; };
        input.tolerance = tolerance;
        input.title = title;
        input.x_label = c.batch > 1 ? "output element, the batch's members one after another"
                                    : "output element";
        return render_svg(input);
    }
    const case_geometry g = geometry_of(c);
    error_map_input map;
    map.rows = g.out.lengths[1];
    map.columns = g.out.lengths[2];
    map.errors.assign(map.rows * map.columns, 0.0);
    const std::size_t plane = map.rows * map.columns;
    for (std::size_t k = 0; k < kept.exact.size(); ++k) {
        const double e = static_cast<double>(std::abs(kept.device[k] - kept.exact[k]) / largest);
        double& cell = map.errors[k % plane];
        if (std::isnan(e) || (!std::isnan(cell) && e > cell)) cell = e;
    }
    map.tolerance = tolerance;
    map.title = title + ", " + device_label(origin);
    map.axes = "the device's error at each output element, |X - exact| / max |exact|: rows the "
               "second-to-last axis, columns the last" +
               std::string(c.lengths.size() == 3 ? ", the largest over the first axis" : "") +
               (c.batch > 1 ? " and over the batch" : "");
    return render_error_map(map);
}

} // namespace kelvane::verify
