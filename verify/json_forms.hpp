// The written forms the reports share: the JSON objects of a provenance and of a case, the
// JSON text itself, and a quoted CSV field.
#pragma once

#include "case_result.hpp"
#include "provenance.hpp"

#include <nlohmann/json.hpp>
#include <string>

namespace kelvane::verify {

// A CSV field in quotes, its quotes doubled.
std::string csv_field(const std::string& text);

// The columns every CSV row ends with, after the device and kelvane's version and commit: the
// processor, the host, the run's start (UTC, ISO 8601) and the command line.
inline constexpr const char* provenance_columns = "processor,host,started_utc,command_line";
std::string provenance_fields(const provenance& p);

namespace json_forms {

using json = nlohmann::ordered_json;

json provenance_json(const provenance& p);
json case_json(const case_result& r, bool emulated);

// Two-space indents and a final newline; non-finite numbers become null and bytes that are not
// UTF-8 (a path's) become U+FFFD.
std::string dump(const json& value);

} // namespace json_forms
} // namespace kelvane::verify
