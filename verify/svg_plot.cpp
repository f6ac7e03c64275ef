#include "svg_plot.hpp"

#include "formatted.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace kelvane::verify {
namespace {

using namespace svg_layout;

// Decibels below which nothing is drawn apart: the floor of every panel.
constexpr double floor_db = -320.0;

// Each column's lowest and highest value in decibels, and whether a bin of it is exactly zero
// (no decibels: it is marked apart).
struct envelope {
    std::vector<double> low;
    std::vector<double> high;
    std::vector<bool> zero;
};

// The min/max of `value(k)` in decibels over each column's bins, so that one bin's spike
// stays visible however many bins share its column.
template <class Value>
envelope decimate(std::size_t bins, std::size_t columns, Value value) {
    envelope result{std::vector<double>(columns, std::numeric_limits<double>::infinity()),
                    std::vector<double>(columns, -std::numeric_limits<double>::infinity()),
                    std::vector<bool>(columns, false)};
    for (std::size_t k = 0; k < bins; ++k) {
        const std::size_t column = k * columns / bins;
        const long double magnitude = value(k);
        if (magnitude == 0.0L) {
            result.zero[column] = true;
            continue;
        }
        // NaN and infinity are drawn at the top: they are the worst a bin can be.
        const double db =
            std::isfinite(magnitude)
                ? std::max(floor_db, 20.0 * std::log10(static_cast<double>(magnitude)))
                : std::numeric_limits<double>::max();
        result.low[column] = std::min(result.low[column], db);
        result.high[column] = std::max(result.high[column], db);
    }
    return result;
}

// A decibel range of whole multiples of 20 that holds every finite value given.
struct db_range {
    double bottom = 0.0;
    double top = 20.0;
};

db_range range_of(std::initializer_list<const envelope*> envelopes,
                  std::optional<double> also = std::nullopt) {
    double low = also.value_or(std::numeric_limits<double>::infinity());
    double high = also.value_or(-std::numeric_limits<double>::infinity());
    for (const envelope* e : envelopes)
        for (std::size_t c = 0; c < e->low.size(); ++c) {
            low = std::min(low, e->low[c]);
            if (e->high[c] < std::numeric_limits<double>::max() && e->high[c] > -1e308)
                high = std::max(high, e->high[c]);
        }
    if (!(low <= high)) return {};
    db_range range{20.0 * std::floor(low / 20.0), 20.0 * std::ceil(high / 20.0)};
    if (range.top <= range.bottom) range.top = range.bottom + 20.0;
    return range;
}

double y_of(double db, db_range range, int panel) {
    const double clamped = std::clamp(db, range.bottom, range.top);
    return panel_top[panel] + panel_height * (range.top - clamped) / (range.top - range.bottom);
}

// One vertical segment from the column's low to its high value, crisp so that each curve
// keeps its exact colour.
void draw_envelope(std::string& out, const envelope& e, db_range range, int panel,
                   const char* colour) {
    const std::size_t columns = e.low.size();
    const double column_width =
        static_cast<double>(data_right - data_left) / static_cast<double>(columns);
    append_formatted(
        out,
        "<path fill=\"none\" stroke=\"%s\" stroke-width=\"%.3f\" shape-rendering=\"crispEdges\" "
        "d=\"",
        colour, std::max(1.0, column_width));
    for (std::size_t c = 0; c < columns; ++c) {
        if (e.low[c] > e.high[c]) continue; // every bin of it is zero
        const double x = data_left + (static_cast<double>(c) + 0.5) * column_width;
        const double top = y_of(e.high[c], range, panel);
        // A segment of at least one pixel, so that a flat column still shows.
        const double bottom = std::max(y_of(e.low[c], range, panel), top + 1.0);
        append_formatted(out, "M%.2f %.2fV%.2f", x, top, bottom);
    }
    out += "\"/>\n";
}

// A tick below the panel's floor for each column with a bin of exactly zero, which has no
// decibels to be drawn at.
void draw_zero_marks(std::string& out, const envelope& e, int panel, const char* colour,
                     int offset) {
    const std::size_t columns = e.zero.size();
    const double column_width =
        static_cast<double>(data_right - data_left) / static_cast<double>(columns);
    const int base = panel_top[panel] + panel_height - 2 - offset;
    std::string path;
    for (std::size_t c = 0; c < columns; ++c)
        if (e.zero[c])
            append_formatted(path, "M%.2f %dV%d",
                             data_left + (static_cast<double>(c) + 0.5) * column_width, base - 5,
                             base);
    if (path.empty()) return;
    append_formatted(out,
                     "<path fill=\"none\" stroke=\"%s\" stroke-width=\"%.3f\" "
                     "shape-rendering=\"crispEdges\" d=\"%s\"/>\n",
                     colour, std::max(1.0, column_width), path.c_str());
}

void draw_axes(std::string& out, db_range range, int panel, const char* label, std::size_t bins) {
    const int top = panel_top[panel];
    append_formatted(out, "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"#ffffff\"/>\n",
                     plot_left, top, plot_right - plot_left, panel_height);
    for (double db = range.bottom; db <= range.top;
         db += 20.0 * std::ceil((range.top - range.bottom) / 160.0)) {
        const double y = y_of(db, range, panel);
        append_formatted(out,
                         "<line x1=\"%d\" y1=\"%.1f\" x2=\"%d\" y2=\"%.1f\" stroke=\"#dddddd\" "
                         "shape-rendering=\"crispEdges\"/>\n",
                         plot_left, y, plot_right, y);
        append_formatted(
            out, "<text x=\"%d\" y=\"%.1f\" text-anchor=\"end\" font-size=\"12\">%.0f</text>\n",
            plot_left - 6, y + 4, db);
    }
    append_formatted(out,
                     "<text x=\"20\" y=\"%d\" font-size=\"13\" transform=\"rotate(-90 20 %d)\" "
                     "text-anchor=\"middle\">%s</text>\n",
                     top + panel_height / 2, top + panel_height / 2, label);
    for (int tick = 0; tick <= 4; ++tick) {
        const double x = data_left + (data_right - data_left) * tick / 4.0;
        append_formatted(
            out, "<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\" font-size=\"12\">%zu</text>\n",
            x, top + panel_height + 16, bins * static_cast<std::size_t>(tick) / 4);
    }
}

// The panel's frame, drawn last so that no grid line or curve covers it.
void draw_frame(std::string& out, int panel) {
    append_formatted(
        out,
        "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"none\" stroke=\"#000000\" "
        "shape-rendering=\"crispEdges\"/>\n",
        plot_left, panel_top[panel], plot_right - plot_left, panel_height);
}

void legend_entry(std::string& out, int x, int y, const char* colour, const char* text) {
    append_formatted(out, "<rect x=\"%d\" y=\"%d\" width=\"18\" height=\"10\" fill=\"%s\"/>\n", x,
                     y - 9, colour);
    append_formatted(out, "<text x=\"%d\" y=\"%d\" font-size=\"13\">%s</text>\n", x + 24, y, text);
}

} // namespace

double svg_layout::column_centre(std::size_t bin, std::size_t bins) {
    const std::size_t columns = std::min<std::size_t>(bins, most_columns);
    const double column_width =
        static_cast<double>(data_right - data_left) / static_cast<double>(columns);
    return data_left + (static_cast<double>(bin * columns / bins) + 0.5) * column_width;
}

std::string render_svg(const plot_input& input) {
    const std::size_t bins = input.bins;
    const std::size_t columns = std::min<std::size_t>(bins, most_columns);
    long double largest = 0.0L;
    for (std::size_t k = 0; k < bins; ++k)
        largest = std::max(largest, std::abs(input.exact(k)));
    auto magnitude = [&](const plot_series& side) {
        return decimate(bins, columns, [&](std::size_t k) { return std::abs(side.value(k)); });
    };
    auto error = [&](const plot_series& side) {
        return decimate(bins, columns, [&](std::size_t k) {
            return std::abs(side.value(k) - input.exact(k)) / largest;
        });
    };
    const envelope device_magnitude = magnitude(input.device);
    const envelope second_magnitude = magnitude(input.second);
    const envelope device_error = error(input.device);
    const envelope second_error = error(input.second);
    const db_range magnitudes = range_of({&device_magnitude, &second_magnitude});
    std::optional<double> tolerance_db;
    if (input.tolerance) tolerance_db = 20.0 * std::log10(*input.tolerance);
    const db_range errors = range_of({&device_error, &second_error}, tolerance_db);

    std::string out = svg_start(width, height);
    out += "<text x=\"" + std::to_string(width / 2) +
           "\" y=\"28\" text-anchor=\"middle\" font-size=\"18\">" + xml_escaped(input.title) +
           "</text>\n";
    const std::string device_axis = xml_escaped(input.device.label) + " |X| (dB)";
    const std::string second_axis = xml_escaped(input.second.label) + " |X| (dB)";
    draw_axes(out, magnitudes, 0, device_axis.c_str(), bins);
    draw_envelope(out, device_magnitude, magnitudes, 0, gpu_colour);
    draw_zero_marks(out, device_magnitude, 0, gpu_colour, 0);
    draw_axes(out, magnitudes, 1, second_axis.c_str(), bins);
    draw_envelope(out, second_magnitude, magnitudes, 1, four1_colour);
    draw_zero_marks(out, second_magnitude, 1, four1_colour, 0);
    draw_axes(out, errors, 2, "|X - exact| / max |exact| (dB)", bins);
    // The second side's error is usually the larger: drawn first, the device's stays in view.
    draw_envelope(out, second_error, errors, 2, four1_colour);
    draw_envelope(out, device_error, errors, 2, gpu_colour);
    draw_zero_marks(out, second_error, 2, four1_colour, 7);
    draw_zero_marks(out, device_error, 2, gpu_colour, 0);
    if (tolerance_db) {
        const double y = y_of(*tolerance_db, errors, 2);
        append_formatted(out,
                         "<line x1=\"%d\" y1=\"%.1f\" x2=\"%d\" y2=\"%.1f\" stroke=\"%s\" "
                         "stroke-dasharray=\"8 5\" stroke-width=\"1.5\"/>\n",
                         plot_left, y, plot_right, y, tolerance_colour);
        append_formatted(out,
                         "<text x=\"%d\" y=\"%.1f\" text-anchor=\"end\" font-size=\"12\" "
                         "fill=\"%s\">the verdict's tolerance</text>\n",
                         plot_right - 6, y - 4, tolerance_colour);
    }
    for (int panel = 0; panel < 3; ++panel)
        draw_frame(out, panel);
    append_formatted(
        out, "<text x=\"%d\" y=\"%d\" text-anchor=\"middle\" font-size=\"13\">%s</text>\n",
        (plot_left + plot_right) / 2, height - 18,
        xml_escaped(input.x_label + "; ticks at a panel's foot mark bins of exactly zero").c_str());
    legend_entry(out, plot_left + 10, 48, gpu_colour, xml_escaped(input.device.label).c_str());
    legend_entry(out, plot_left + 560, 48, four1_colour, xml_escaped(input.second.label).c_str());
    out += "</svg>\n";
    return out;
}

} // namespace kelvane::verify
