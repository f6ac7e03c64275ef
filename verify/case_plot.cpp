#include "case_plot.hpp"

#include "formatted.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelvane::verify {
namespace {

using namespace case_plot_layout;

bool drawn(const plot_point& p) {
    return std::isfinite(p.y) && p.y > 0.0 && std::isfinite(p.n) && p.n > 0.0;
}

// Whole decades around every value, at least one decade wide.
struct log_range {
    double low = 0.0; // log10
    double high = 1.0;
};

log_range range_of(const std::vector<double>& values) {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    for (const double v : values) {
        low = std::min(low, std::log10(v));
        high = std::max(high, std::log10(v));
    }
    if (!(low <= high)) return {};
    log_range r{std::floor(low), std::ceil(high)};
    if (r.high <= r.low) r.high = r.low + 1.0;
    return r;
}

void draw_mark(std::string& out, double x, double y, const plot_point& p, const char* colour) {
    const std::string fill = p.hollow ? "#ffffff" : colour;
    switch (p.shape) {
    case mark_shape::circle:
        append_formatted(out,
                         "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"4.5\" fill=\"%s\" stroke=\"%s\" "
                         "stroke-width=\"1.5\"/>\n",
                         x, y, fill.c_str(), colour);
        break;
    case mark_shape::square:
        append_formatted(out,
                         "<rect x=\"%.1f\" y=\"%.1f\" width=\"8\" height=\"8\" fill=\"%s\" "
                         "stroke=\"%s\" stroke-width=\"1.5\"/>\n",
                         x - 4, y - 4, fill.c_str(), colour);
        break;
    case mark_shape::triangle:
        append_formatted(out,
                         "<path d=\"M%.1f %.1fL%.1f %.1fL%.1f %.1fZ\" fill=\"%s\" stroke=\"%s\" "
                         "stroke-width=\"1.5\"/>\n",
                         x, y - 5.5, x + 5, y + 4, x - 5, y + 4, fill.c_str(), colour);
        break;
    }
    if (p.flagged)
        append_formatted(out,
                         "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"9\" fill=\"none\" stroke=\"%s\" "
                         "stroke-width=\"2\"/>\n",
                         x, y, regression_colour);
}

void draw_panel(std::string& out, const plot_panel& panel, int left, int top, log_range xs) {
    std::vector<double> values;
    for (const plot_curve& curve : panel.curves)
        for (const plot_point& p : curve.points)
            if (drawn(p)) values.push_back(p.y);
    const log_range ys = range_of(values);
    auto x_of = [&](double n) {
        return left + 8 + (panel_width - 16) * (std::log10(n) - xs.low) / (xs.high - xs.low);
    };
    auto y_of = [&](double v) {
        return top + 8 + (panel_height - 16) * (ys.high - std::log10(v)) / (ys.high - ys.low);
    };
    append_formatted(out, "<text x=\"%d\" y=\"%d\" font-size=\"15\">%s</text>\n", left, top - 10,
                     xml_escaped(panel.title).c_str());
    const int decade_step = static_cast<int>(std::ceil((ys.high - ys.low) / 8.0));
    for (double d = ys.low; d <= ys.high; d += decade_step) {
        const double y = top + 8 + (panel_height - 16) * (ys.high - d) / (ys.high - ys.low);
        append_formatted(out,
                         "<line x1=\"%d\" y1=\"%.1f\" x2=\"%d\" y2=\"%.1f\" stroke=\"#dddddd\"/>\n",
                         left, y, left + panel_width, y);
        append_formatted(
            out, "<text x=\"%d\" y=\"%.1f\" text-anchor=\"end\" font-size=\"11\">1e%d</text>\n",
            left - 5, y + 4, static_cast<int>(d));
    }
    const int log2_low = static_cast<int>(std::floor(xs.low / std::log10(2.0)));
    const int log2_high = static_cast<int>(std::ceil(xs.high / std::log10(2.0)));
    const int log2_step = std::max(1, (log2_high - log2_low) / 8);
    for (int k = log2_low; k <= log2_high; k += log2_step) {
        const double n = std::ldexp(1.0, k);
        if (std::log10(n) < xs.low || std::log10(n) > xs.high) continue;
        append_formatted(out,
                         "<line x1=\"%.1f\" y1=\"%d\" x2=\"%.1f\" y2=\"%d\" stroke=\"#eeeeee\"/>\n",
                         x_of(n), top, x_of(n), top + panel_height);
        append_formatted(
            out, "<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\" font-size=\"11\">2^%d</text>\n",
            x_of(n), top + panel_height + 14, k);
    }
    append_formatted(out,
                     "<text x=\"%d\" y=\"%d\" font-size=\"12\" transform=\"rotate(-90 %d %d)\" "
                     "text-anchor=\"middle\">%s</text>\n",
                     left - 55, top + panel_height / 2, left - 55, top + panel_height / 2,
                     xml_escaped(panel.y_label).c_str());
    for (const plot_curve& curve : panel.curves) {
        if (!curve.dashed_line) continue;
        std::vector<plot_point> sorted;
        std::copy_if(curve.points.begin(), curve.points.end(), std::back_inserter(sorted), drawn);
        std::sort(sorted.begin(), sorted.end(),
                  [](const plot_point& a, const plot_point& b) { return a.n < b.n; });
        std::string path;
        for (const plot_point& p : sorted)
            append_formatted(path, "%s%.1f %.1f", path.empty() ? "M" : "L", x_of(p.n), y_of(p.y));
        // A single point is a short level dash.
        if (sorted.size() == 1)
            append_formatted(path, "M%.1f %.1fL%.1f %.1f", x_of(sorted[0].n) - 30,
                             y_of(sorted[0].y), x_of(sorted[0].n) + 30, y_of(sorted[0].y));
        if (!path.empty())
            append_formatted(out,
                             "<path d=\"%s\" fill=\"none\" stroke=\"%s\" stroke-width=\"2\" "
                             "stroke-dasharray=\"7 4\" shape-rendering=\"crispEdges\"/>\n",
                             path.c_str(), curve.colour);
    }
    for (const plot_curve& curve : panel.curves) {
        if (curve.dashed_line) continue;
        for (const plot_point& p : curve.points)
            if (drawn(p)) draw_mark(out, x_of(p.n), y_of(p.y), p, curve.colour);
    }
    append_formatted(out,
                     "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"none\" "
                     "stroke=\"#000000\"/>\n",
                     left, top, panel_width, panel_height);
    // The legend under the panel.
    int y = top + panel_height + 34;
    for (const plot_curve& curve : panel.curves) {
        if (curve.dashed_line)
            append_formatted(out,
                             "<line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"%s\" "
                             "stroke-width=\"1.5\" stroke-dasharray=\"7 4\"/>\n",
                             left, y - 4, left + 22, y - 4, curve.colour);
        else
            append_formatted(out, "<circle cx=\"%d\" cy=\"%d\" r=\"5\" fill=\"%s\"/>\n", left + 11,
                             y - 4, curve.colour);
        append_formatted(out, "<text x=\"%d\" y=\"%d\" font-size=\"12\">%s</text>\n", left + 30, y,
                         xml_escaped(curve.label).c_str());
        y += 16;
    }
}

} // namespace

std::string render_case_plot(const std::string& title, const std::vector<std::string>& notes,
                             const std::vector<plot_panel>& panels) {
    std::vector<double> lengths;
    for (const plot_panel& panel : panels)
        for (const plot_curve& curve : panel.curves)
            for (const plot_point& p : curve.points)
                if (drawn(p)) lengths.push_back(p.n);
    const log_range xs = range_of(lengths);
    std::string out = svg_start(width, height);
    append_formatted(out,
                     "<text x=\"%d\" y=\"30\" text-anchor=\"middle\" font-size=\"18\">%s</text>\n",
                     width / 2, xml_escaped(title).c_str());
    int y = 54;
    for (const std::string& note : notes) {
        append_formatted(
            out, "<text x=\"%d\" y=\"%d\" text-anchor=\"middle\" font-size=\"12\">%s</text>\n",
            width / 2, y, xml_escaped(note).c_str());
        y += 16;
    }
    for (std::size_t i = 0; i < panels.size() && i < 4; ++i)
        draw_panel(out, panels[i], panel_left[i % 2], panel_top[i / 2], xs);
    out += "</svg>\n";
    return out;
}

} // namespace kelvane::verify
