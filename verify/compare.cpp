#include "compare.hpp"

#include "case_plot.hpp"
#include "formatted.hpp"
#include "html_report.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

namespace kelvane::verify {
namespace {

using json = nlohmann::json;

// The largest report read: a full suite's is a few megabytes.
constexpr std::size_t most_report_bytes = std::size_t{1} << 30;

double number(const json& value) {
    return value.is_number() ? value.get<double>() : std::nan("");
}

timed_figure figure(const json& phases, const char* name) {
    timed_figure f;
    if (!phases.is_object() || !phases.contains(name)) return f;
    const json& phase = phases[name];
    f.median = number(phase.value("median_s", json()));
    f.minimum = number(phase.value("min_s", json()));
    f.maximum = number(phase.value("max_s", json()));
    f.present = std::isfinite(f.median);
    return f;
}

std::string key_of(const json& c) {
    std::string shape;
    for (const json& n : c["shape"])
        shape += (shape.empty() ? "" : "x") + std::to_string(n.get<long long>());
    return c["type"].get<std::string>() + " " + shape + ", batch " +
           std::to_string(c["batch"].get<long long>()) + ", " +
           (c["in_place"].get<bool>() ? "in place" : "out of place") + ", " +
           c["direction"].get<std::string>() + ", " + c["precision"].get<std::string>();
}

bool is_case(const json& c) {
    return c.is_object() && c.contains("type") && c["type"].is_string() && c.contains("shape") &&
           c["shape"].is_array() && c.contains("batch") && c["batch"].is_number_integer() &&
           c.contains("in_place") && c["in_place"].is_boolean() && c.contains("direction") &&
           c["direction"].is_string() && c.contains("precision") && c["precision"].is_string() &&
           c.contains("verdict") && c["verdict"].is_string() && c.contains("comparisons") &&
           c["comparisons"].is_object() && c.contains("expected_level") &&
           std::all_of(c["shape"].begin(), c["shape"].end(), [](const json& n) {
               return n.is_number_integer() && n.get<long long>() > 0;
           });
}

std::string text_of(const json& object, const char* key) {
    if (!object.is_object() || !object.contains(key)) return "";
    const json& value = object[key];
    return value.is_string() ? value.get<std::string>() : value.dump();
}

bool overlap(const timed_figure& a, const timed_figure& b) {
    return a.minimum <= b.maximum && b.minimum <= a.maximum;
}

double ratio(const timed_figure& after, const timed_figure& before) {
    return after.present && before.present ? after.median / before.median : std::nan("");
}

} // namespace

std::optional<reported_run> read_report(const std::string& path, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    std::string text;
    std::string chunk(std::size_t{1} << 20, '\0');
    while (file && text.size() <= most_report_bytes) {
        file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        text.append(chunk.data(), static_cast<std::size_t>(file.gcount()));
    }
    if (file.bad() || text.size() > most_report_bytes) {
        error = "cannot read " + path + (file.bad() ? "" : ": larger than any report");
        return std::nullopt;
    }
    const json report = json::parse(text, nullptr, false);
    if (report.is_discarded() || !report.is_object() || !report.contains("cases") ||
        !report["cases"].is_array() || !report.contains("provenance") ||
        !report["provenance"].is_object() || !report.contains("verdict")) {
        error = path + " is not a report of kelvane-verify --json (one with cases)";
        return std::nullopt;
    }
    reported_run run;
    run.path = path;
    for (const json& c : report["cases"]) {
        if (!is_case(c)) {
            error = path + " holds a case that is not one of kelvane-verify's";
            return std::nullopt;
        }
        reported_case r;
        r.key = key_of(c);
        r.length = 1.0;
        for (const json& n : c["shape"])
            r.length *= n.get<double>();
        r.pass = c["verdict"] == "pass";
        r.rel_l2 =
            number(c["comparisons"].value("gpu_vs_exact", json::object()).value("rel_l2", json()));
        r.level = number(c["expected_level"]);
        const json phases = c.value("timings", json::object()).value("phases", json::object());
        r.execution = figure(phases, "execution_back_to_back");
        r.device_leg = figure(phases, "device_leg");
        r.fftw_all_cores = figure(phases, "fftw_all_cores");
        run.cases.push_back(std::move(r));
    }
    const json& p = report["provenance"];
    run.provenance = {
        {"device", text_of(p, "gpu")},
        {"cpu", text_of(p, "cpu")},
        {"host", text_of(p, "host")},
        {"started", text_of(p, "started_utc")},
        {"kelvane", text_of(p, "kelvane_version") + ", commit " + text_of(p, "commit")},
        {"command", text_of(p, "command_line")},
        {"verdict", text_of(report, "verdict")}};
    return run;
}

bool comparison::regressed() const {
    return std::any_of(both.begin(), both.end(),
                       [](const compared_case& c) { return !c.regressions.empty(); });
}

comparison compare_runs(reported_run before, reported_run after) {
    comparison c;
    std::map<std::string, const reported_case*> earlier;
    for (const reported_case& r : before.cases)
        earlier.emplace(r.key, &r);
    std::map<std::string, bool> matched;
    for (const reported_case& now : after.cases) {
        const auto found = earlier.find(now.key);
        if (found == earlier.end()) {
            c.only_after.push_back(now.key);
            continue;
        }
        matched[now.key] = true;
        compared_case m{*found->second, now, (now.rel_l2 - found->second->rel_l2) / now.level, {}};
        if (m.before.pass && !m.after.pass) m.regressions.push_back("passed, now fails");
        // Written so that a NaN error, which a report holds as null, counts as worse.
        if (!(m.l2_change_levels <= worse_levels))
            m.regressions.push_back("L2 error grew by more than one level");
        for (const auto& [name, was, is] :
             {std::tuple{"execution", m.before.execution, m.after.execution},
              std::tuple{"whole leg", m.before.device_leg, m.after.device_leg}})
            if (was.present && is.present && is.median > slower_ratio * was.median &&
                !overlap(was, is))
                m.regressions.push_back(std::string(name) + " more than 10 % slower");
        c.both.push_back(std::move(m));
    }
    for (const reported_case& r : before.cases)
        if (!matched.contains(r.key)) c.only_before.push_back(r.key);
    c.before = std::move(before);
    c.after = std::move(after);
    return c;
}

std::string comparison_text(const comparison& c) {
    std::string out = "kelvane-verify --compare: OLD " + c.before.path + ", NEW " + c.after.path +
                      "\n\nprovenance       OLD | NEW\n";
    for (std::size_t i = 0; i < c.before.provenance.size(); ++i)
        append_formatted(out, "  %-8s  %s\n  %-8s  %s\n", c.before.provenance[i].first.c_str(),
                         c.before.provenance[i].second.c_str(), "",
                         c.after.provenance[i].second.c_str());
    out += "\ncase                                                verdict     L2 change  exec "
           "NEW/OLD  leg NEW/OLD  FFTW NEW/OLD  exec OLD range s        exec NEW range s\n";
    for (const compared_case& m : c.both) {
        append_formatted(
            out, "  %-50s %s->%s  %+9.3f   %10.3f  %11.3f  %12.3f  %.3e-%.3e  %.3e-%.3e\n",
            m.after.key.c_str(), m.before.pass ? "PASS" : "FAIL", m.after.pass ? "PASS" : "FAIL",
            m.l2_change_levels, ratio(m.after.execution, m.before.execution),
            ratio(m.after.device_leg, m.before.device_leg),
            ratio(m.after.fftw_all_cores, m.before.fftw_all_cores), m.before.execution.minimum,
            m.before.execution.maximum, m.after.execution.minimum, m.after.execution.maximum);
        for (const std::string& why : m.regressions)
            append_formatted(out, "      REGRESSION: %s\n", why.c_str());
    }
    out +=
        "  L2 change: NEW's relative L2 error less OLD's, in NEW's levels. FFTW NEW/OLD tells a\n"
        "  change of machine from a change of device.\n";
    for (const std::string& key : c.only_before)
        append_formatted(out, "only in OLD: %s\n", key.c_str());
    for (const std::string& key : c.only_after)
        append_formatted(out, "only in NEW: %s\n", key.c_str());
    const auto regressed = static_cast<std::size_t>(
        std::count_if(c.both.begin(), c.both.end(),
                      [](const compared_case& m) { return !m.regressions.empty(); }));
    append_formatted(out, "\n%s: %zu of %zu matched cases regressed\n",
                     regressed > 0 ? "REGRESSION" : "no regression", regressed, c.both.size());
    return out;
}

std::string comparison_svg(const comparison& c) {
    plot_panel times{"Time, NEW over OLD (medians)", "NEW / OLD", {}};
    plot_panel errors{"Relative L2 error, NEW over OLD", "NEW / OLD", {}};
    plot_curve execution{"device execution", "#1f77b4", {}};
    plot_curve leg{"device, whole leg", "#9ecae1", {}};
    plot_curve fftw{"FFTW, every core (the machine)", "#9467bd", {}};
    plot_curve limit{"a regression above, where the ranges are apart",
                     case_plot_layout::tolerance_colour,
                     {},
                     true};
    plot_curve l2{"device", "#1f77b4", {}};
    for (const compared_case& m : c.both) {
        const bool flagged = !m.regressions.empty();
        execution.points.push_back({m.after.length, ratio(m.after.execution, m.before.execution),
                                    mark_shape::circle, false, flagged});
        leg.points.push_back({m.after.length, ratio(m.after.device_leg, m.before.device_leg),
                              mark_shape::square, false, flagged});
        fftw.points.push_back({m.after.length,
                               ratio(m.after.fftw_all_cores, m.before.fftw_all_cores),
                               mark_shape::triangle, false, false});
        limit.points.push_back({m.after.length, slower_ratio});
        l2.points.push_back(
            {m.after.length, m.after.rel_l2 / m.before.rel_l2, mark_shape::circle, false, flagged});
    }
    times.curves = {limit, fftw, leg, execution};
    errors.curves = {l2};
    return render_case_plot(
        "kelvane-verify --compare: NEW " + c.after.path + " over OLD " + c.before.path,
        {"x: the transform's length N; one mark a case matched in both runs; "
         "a red ring: a regression.",
         "OLD: " + c.before.provenance[0].second + "; NEW: " + c.after.provenance[0].second},
        {times, errors});
}

std::string comparison_html(const comparison& c) {
    html_report page;
    page.title = "kelvane-verify --compare: OLD " + c.before.path + ", NEW " + c.after.path;
    page.good = !c.regressed();
    page.verdict = c.regressed() ? "REGRESSION" : "no regression";
    page.provenance.header = {"", "OLD", "NEW"};
    for (std::size_t i = 0; i < c.before.provenance.size(); ++i)
        page.provenance.rows.push_back({c.before.provenance[i].first, c.before.provenance[i].second,
                                        c.after.provenance[i].second});
    page.cases.header = {"case",         "OLD",         "NEW",          "L2 change (levels)",
                         "exec NEW/OLD", "leg NEW/OLD", "FFTW NEW/OLD", "regression"};
    page.cases.row_class = "case";
    for (const compared_case& m : c.both) {
        std::string why;
        for (const std::string& reason : m.regressions)
            why += (why.empty() ? "" : "; ") + reason;
        page.cases.rows.push_back(
            {m.after.key, m.before.pass ? "PASS" : "FAIL", m.after.pass ? "PASS" : "FAIL",
             three_digits(m.l2_change_levels),
             three_digits(ratio(m.after.execution, m.before.execution)),
             three_digits(ratio(m.after.device_leg, m.before.device_leg)),
             three_digits(ratio(m.after.fftw_all_cores, m.before.fftw_all_cores)), why});
        page.cases.flagged.push_back(!m.regressions.empty());
    }
    html_table unmatched;
    unmatched.header = {"only in", "case"};
    for (const std::string& key : c.only_before)
        unmatched.rows.push_back({"OLD", key});
    for (const std::string& key : c.only_after)
        unmatched.rows.push_back({"NEW", key});
    if (!unmatched.rows.empty()) page.details.emplace_back("Cases in one run only", unmatched);
    page.pictures = {comparison_svg(c)};
    page.text = comparison_text(c);
    return render_html(page);
}

} // namespace kelvane::verify
