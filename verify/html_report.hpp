// A report as one self-contained HTML page: no scripts and nothing fetched, every picture
// inline, readable on a screen 1280 pixels wide and on paper.
#pragma once

#include <string>
#include <vector>

namespace kelvane::verify {

struct html_table {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
    std::vector<bool> flagged; // a row drawn as failing or regressed
    std::string row_class;     // the class of every row, for readers of the page
};

struct html_report {
    std::string title;
    std::string verdict; // "PASS", "FAIL", "REGRESSION", ...
    bool good = true;
    html_table provenance;
    html_table cases;
    std::vector<std::string> pictures;                       // SVG documents
    std::vector<std::pair<std::string, html_table>> details; // headed tables: worst elements
    std::string text;                                        // the text report, kept at the end
};

std::string render_html(const html_report& report);

} // namespace kelvane::verify
