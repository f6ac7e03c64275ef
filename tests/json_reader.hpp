// A small, strict JSON reader for tests: it checks that what a program writes parses as JSON
// and lets a test walk to the values it means to check.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kelvane::test_support {

struct json_value {
    using array = std::vector<json_value>;
    using object = std::map<std::string, json_value>;
    std::variant<std::nullptr_t, bool, double, std::string, std::shared_ptr<array>,
                 std::shared_ptr<object>>
        value;

    bool is_null() const { return std::holds_alternative<std::nullptr_t>(value); }
    double number() const { return std::get<double>(value); }
    const std::string& text() const { return std::get<std::string>(value); }
    bool boolean() const { return std::get<bool>(value); }
    const array& items() const { return *std::get<std::shared_ptr<array>>(value); }
    const object& members() const { return *std::get<std::shared_ptr<object>>(value); }
    // The member `key` of an object; throws std::out_of_range when there is none.
    const json_value& operator[](const std::string& key) const { return members().at(key); }
};

// The document, or nothing when `text` is not exactly one JSON value (surrounding blanks
// allowed).
std::optional<json_value> parse_json(std::string_view text);

} // namespace kelvane::test_support
