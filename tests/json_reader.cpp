#include "json_reader.hpp"

#include <charconv>

namespace kelvane::test_support {
namespace {

class reader {
  public:
    explicit reader(std::string_view text) : rest_(text) {}

    std::optional<json_value> document() {
        auto value = parse_value();
        skip_blanks();
        if (!value || !rest_.empty()) return std::nullopt;
        return value;
    }

  private:
    std::string_view rest_;

    void skip_blanks() {
        while (!rest_.empty() &&
               (rest_[0] == ' ' || rest_[0] == '\n' || rest_[0] == '\t' || rest_[0] == '\r'))
            rest_.remove_prefix(1);
    }

    bool take(char c) {
        skip_blanks();
        if (rest_.empty() || rest_[0] != c) return false;
        rest_.remove_prefix(1);
        return true;
    }

    bool take_word(std::string_view word) {
        if (!rest_.starts_with(word)) return false;
        rest_.remove_prefix(word.size());
        return true;
    }

    std::optional<std::string> parse_string() {
        if (!take('"')) return std::nullopt;
        std::string text;
        while (!rest_.empty() && rest_[0] != '"') {
            if (static_cast<unsigned char>(rest_[0]) < 0x20) return std::nullopt;
            if (rest_[0] == '\\') {
                if (rest_.size() < 2) return std::nullopt;
                const char escaped = rest_[1];
                rest_.remove_prefix(2);
                if (escaped == 'u') {
                    unsigned code = 0;
                    if (rest_.size() < 4 ||
                        std::from_chars(rest_.data(), rest_.data() + 4, code, 16).ptr !=
                            rest_.data() + 4)
                        return std::nullopt;
                    rest_.remove_prefix(4);
                    if (code > 0x7f)
                        return std::nullopt; // the writers under test escape only controls
                    text += static_cast<char>(code);
                } else if (escaped == '"' || escaped == '\\' || escaped == '/') {
                    text += escaped;
                } else if (escaped == 'n') {
                    text += '\n';
                } else if (escaped == 't') {
                    text += '\t';
                } else {
                    return std::nullopt;
                }
            } else {
                text += rest_[0];
                rest_.remove_prefix(1);
            }
        }
        if (rest_.empty()) return std::nullopt;
        rest_.remove_prefix(1);
        return text;
    }

    std::optional<json_value> parse_value() {
        skip_blanks();
        if (rest_.empty()) return std::nullopt;
        if (rest_[0] == '"') {
            auto text = parse_string();
            if (!text) return std::nullopt;
            return json_value{*text};
        }
        if (take_word("null")) return json_value{nullptr};
        if (take_word("true")) return json_value{true};
        if (take_word("false")) return json_value{false};
        if (rest_[0] == '[') {
            rest_.remove_prefix(1);
            auto items = std::make_shared<json_value::array>();
            if (!take(']')) {
                do {
                    auto item = parse_value();
                    if (!item) return std::nullopt;
                    items->push_back(*item);
                } while (take(','));
                if (!take(']')) return std::nullopt;
            }
            return json_value{items};
        }
        if (rest_[0] == '{') {
            rest_.remove_prefix(1);
            auto members = std::make_shared<json_value::object>();
            if (!take('}')) {
                do {
                    skip_blanks();
                    auto key = parse_string();
                    if (!key || !take(':')) return std::nullopt;
                    auto item = parse_value();
                    if (!item || !members->emplace(*key, *item).second) return std::nullopt;
                } while (take(','));
                if (!take('}')) return std::nullopt;
            }
            return json_value{members};
        }
        double number = 0.0;
        if (rest_[0] == '+') return std::nullopt;
        const auto [stop, error] =
            std::from_chars(rest_.data(), rest_.data() + rest_.size(), number);
        if (error != std::errc{} || stop == rest_.data()) return std::nullopt;
        const std::string_view digits(rest_.data(), static_cast<std::size_t>(stop - rest_.data()));
        // JSON has no nan, inf or hexadecimal forms.
        if (digits.find_first_not_of("0123456789+-.eE") != std::string_view::npos)
            return std::nullopt;
        rest_.remove_prefix(digits.size());
        return json_value{number};
    }
};

} // namespace

std::optional<json_value> parse_json(std::string_view text) {
    return reader(text).document();
}

} // namespace kelvane::test_support
