#include "html_report.hpp"

#include "formatted.hpp"

#include <algorithm>

namespace kelvane::verify {
namespace {

constexpr const char* style = R"(
body { font-family: sans-serif; margin: 24px auto; max-width: 1240px; color: #222; }
h1 { font-size: 22px; } h2 { font-size: 17px; margin-top: 28px; }
.verdict { font-size: 20px; font-weight: bold; padding: 6px 12px; display: inline-block; }
.good { background: #e3f4e1; color: #1b5e20; } .bad { background: #fbe3e3; color: #b71c1c; }
table { border-collapse: collapse; font-size: 12px; margin: 8px 0; }
th, td { border: 1px solid #ccc; padding: 3px 6px; text-align: left; white-space: nowrap; }
th { background: #f2f2f2; }
tr.flagged td { background: #fbe3e3; }
.wide { overflow-x: auto; }
figure { margin: 16px 0; } figure svg { width: 100%; height: auto; }
pre { font-size: 11px; background: #f7f7f7; padding: 8px; overflow-x: auto; }
@media print {
  body { margin: 0; max-width: none; }
  .wide { overflow: visible; } table { font-size: 9px; }
  figure { break-inside: avoid; } h2 { break-after: avoid; }
  pre { white-space: pre-wrap; font-size: 8px; }
}
)";

void table(std::string& out, const html_table& t) {
    out += "<div class=\"wide\"><table>\n";
    const bool headed = std::any_of(t.header.begin(), t.header.end(),
                                    [](const std::string& cell) { return !cell.empty(); });
    if (headed) {
        out += "<tr>";
        for (const std::string& cell : t.header)
            out += "<th>" + xml_escaped(cell) + "</th>";
        out += "</tr>\n";
    }
    for (std::size_t i = 0; i < t.rows.size(); ++i) {
        std::string classes = t.row_class;
        if (i < t.flagged.size() && t.flagged[i])
            classes += classes.empty() ? "flagged" : " flagged";
        out += classes.empty() ? "<tr>" : "<tr class=\"" + classes + "\">";
        for (const std::string& cell : t.rows[i])
            out += "<td>" + xml_escaped(cell) + "</td>";
        out += "</tr>\n";
    }
    out += "</table></div>\n";
}

// An SVG document without its XML prolog, to stand inside the page.
std::string inline_svg(const std::string& svg) {
    const std::size_t start = svg.find("<svg");
    return start == std::string::npos ? std::string() : svg.substr(start);
}

} // namespace

std::string render_html(const html_report& report) {
    std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    out += "<title>" + xml_escaped(report.title) + "</title>\n<style>" + style + "</style>\n";
    out += "</head>\n<body>\n<h1>" + xml_escaped(report.title) + "</h1>\n";
    out += std::string("<p class=\"verdict ") + (report.good ? "good" : "bad") + "\">" +
           xml_escaped(report.verdict) + "</p>\n";
    out += "<h2>Provenance</h2>\n";
    table(out, report.provenance);
    out += "<h2>Cases</h2>\n";
    table(out, report.cases);
    for (const auto& [heading, detail] : report.details) {
        out += "<h2>" + xml_escaped(heading) + "</h2>\n";
        table(out, detail);
    }
    if (!report.pictures.empty()) out += "<h2>Pictures</h2>\n";
    for (const std::string& svg : report.pictures)
        out += "<figure>\n" + inline_svg(svg) + "</figure>\n";
    out += "<h2>The text report</h2>\n<pre>" + xml_escaped(report.text) + "</pre>\n";
    out += "</body>\n</html>\n";
    return out;
}

} // namespace kelvane::verify
