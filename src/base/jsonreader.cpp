#include "base/jsonreader.h"

#include "base/diagnostics.h"
#include "base/unicode.h"

#include <cmath>
#include <fmt/format.h>
#include <limits>

namespace korvane {
namespace {

// nlohmann's messages start with "[json.exception.parse_error.101] "; the rest is what a user needs.
std::string withoutExceptionTag(const char* what) {
    std::string_view text(what);
    if (!text.empty() && text.front() == '[') {
        const auto end = text.find("] ");
        if (end != std::string_view::npos) {
            text.remove_prefix(end + 2);
        }
    }
    return std::string(text);
}

std::string typeMismatch(std::string_view expected, const Json& value) {
    return fmt::format("expected {}, found {}", expected, value.type_name());
}

} // namespace

std::size_t jsonNestingDepth(std::string_view text) {
    std::size_t depth = 0;
    std::size_t deepest = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

Expected<Json, std::string> parseJson(std::string_view text, std::size_t maxDepth) {
    if (jsonNestingDepth(text) > maxDepth) {
        return makeUnexpected(fmt::format("JSON nests deeper than {} levels", maxDepth));
    }
    try {
        return Json::parse(text.begin(), text.end());
    } catch (const Json::exception& error) {
        return makeUnexpected(withoutExceptionTag(error.what()));
    }
}

std::string fieldNameForJsonKey(std::string_view key) {
    if (key.find('_') == std::string_view::npos) {
        return std::string(key);
    }
    const auto first = key.find_first_not_of('_');
    if (first == std::string_view::npos) {
        return std::string(key);
    }
    const auto last = key.find_last_not_of('_');
    std::string result(key.substr(0, first));
    bool firstWord = true;
    bool wordStart = true;
    for (std::size_t i = first; i <= last; ++i) {
        const char c = key[i];
        if (c == '_') {
            if (!wordStart) {
                firstWord = false;
            }
            wordStart = true;
            continue;
        }
        result += (wordStart && !firstWord) ? asciiUpper(c) : asciiLower(c);
        wordStart = false;
    }
    result += key.substr(last + 1);
    return result;
}

std::string jsonKeyForFieldName(std::string_view field) {
    std::string result;
    for (char c : field) {
        if (isAsciiUpper(c) && !result.empty()) {
            result += '_';
        }
        result += asciiLower(c);
    }
    return result;
}

void JsonDecodeStatus::fail(const std::string& path, const std::string& message) {
    if (!error_) {
        error_ = path.empty() ? message : fmt::format("{}: {}", path, message);
    }
}

void JsonDecodeStatus::warn(std::string_view message) const {
    // Once the pass has failed the value is thrown away, so what was tolerated in it does not matter.
    if (reportWarnings_ && !error_) {
        diagnostic(message);
    }
}

std::optional<std::string> readJsonString(const Json& value, const std::string& path,
                                          JsonDecodeStatus& status) {
    if (!value.is_string()) {
        status.fail(path, typeMismatch("a string", value));
        return std::nullopt;
    }
    return value.get<std::string>();
}

std::optional<bool> readJsonBool(const Json& value, const std::string& path, JsonDecodeStatus& status) {
    if (!value.is_boolean()) {
        status.fail(path, typeMismatch("a Boolean", value));
        return std::nullopt;
    }
    return value.get<bool>();
}

std::optional<std::int64_t> readJsonInteger(const Json& value, const std::string& path,
                                            JsonDecodeStatus& status) {
    if (value.is_number_integer() && !value.is_number_unsigned()) {
        return value.get<std::int64_t>();
    }
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return static_cast<std::int64_t>(number);
        }
        status.fail(path, fmt::format("integer {} does not fit in 64 bits", number));
        return std::nullopt;
    }
    if (value.is_number_float()) {
        // A written-out "8.0" is still the integer 8; only a value with a fraction is refused.
        const double number = value.get<double>();
        constexpr double limit = 9223372036854775808.0; // 2^63
        if (std::isfinite(number) && std::trunc(number) == number && number >= -limit && number < limit) {
            return static_cast<std::int64_t>(number);
        }
        status.fail(path, fmt::format("expected an integer, found {}", value.dump()));
        return std::nullopt;
    }
    status.fail(path, typeMismatch("an integer", value));
    return std::nullopt;
}

std::optional<double> readJsonNumber(const Json& value, const std::string& path, JsonDecodeStatus& status) {
    if (!value.is_number()) {
        status.fail(path, typeMismatch("a number", value));
        return std::nullopt;
    }
    return value.get<double>();
}

bool expectJsonArray(const Json& value, const std::string& path, JsonDecodeStatus& status) {
    if (!value.is_array()) {
        status.fail(path, typeMismatch("an array", value));
        return false;
    }
    return true;
}

JsonObjectReader::JsonObjectReader(const Json& value, std::string path, JsonDecodeStatus& status)
    : path_(std::move(path))
    , status_(status) {
    if (!value.is_object()) {
        status_.fail(path_, typeMismatch("an object", value));
        return;
    }
    members_.reserve(value.size());
    for (auto it = value.begin(); it != value.end(); ++it) {
        members_.push_back({fieldNameForJsonKey(it.key()), it.key(), &it.value()});
    }
}

const JsonObjectReader::Member* JsonObjectReader::member(std::string_view field) const {
    for (auto it = members_.rbegin(); it != members_.rend(); ++it) {
        if (it->field == field) {
            return &*it;
        }
    }
    return nullptr;
}

const Json* JsonObjectReader::find(std::string_view field) const {
    const Member* found = member(field);
    if (found == nullptr || found->value->is_null()) {
        return nullptr;
    }
    return found->value;
}

std::string JsonObjectReader::pathOf(std::string_view field) const {
    const Member* found = member(field);
    const std::string key = found ? found->key : jsonKeyForFieldName(field);
    return path_.empty() ? key : path_ + "." + key;
}

std::string JsonObjectReader::requiredString(std::string_view field) const {
    const Json* value = find(field);
    if (value == nullptr) {
        status_.fail(pathOf(field), "required key is missing");
        return {};
    }
    return readJsonString(*value, pathOf(field), status_).value_or(std::string());
}

std::optional<std::string> JsonObjectReader::optionalString(std::string_view field) const {
    const Json* value = find(field);
    return value ? readJsonString(*value, pathOf(field), status_) : std::nullopt;
}

std::optional<bool> JsonObjectReader::optionalBool(std::string_view field) const {
    const Json* value = find(field);
    return value ? readJsonBool(*value, pathOf(field), status_) : std::nullopt;
}

std::optional<std::int64_t> JsonObjectReader::optionalInteger(std::string_view field) const {
    const Json* value = find(field);
    return value ? readJsonInteger(*value, pathOf(field), status_) : std::nullopt;
}

std::optional<double> JsonObjectReader::optionalNumber(std::string_view field) const {
    const Json* value = find(field);
    return value ? readJsonNumber(*value, pathOf(field), status_) : std::nullopt;
}

std::optional<std::vector<std::string>> JsonObjectReader::optionalStringArray(std::string_view field) const {
    return optionalArray(field, [](const Json& element, const std::string& path, JsonDecodeStatus& status) {
        return readJsonString(element, path, status).value_or(std::string());
    });
}

const Json* JsonObjectReader::findArray(std::string_view field) const {
    const Json* value = find(field);
    if (value != nullptr && !expectJsonArray(*value, pathOf(field), status_)) {
        return nullptr;
    }
    return value;
}

} // namespace korvane
