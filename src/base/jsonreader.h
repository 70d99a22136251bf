#pragma once

#include "base/expected.h"
#include "base/json.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane {

// Files from other people's repositories are read with this reader, so nesting is bounded.
inline constexpr std::size_t kMaxJsonDepth = 64;

// The deepest nesting of arrays and objects in `text`, counted without building anything, so that a
// hostile file can be refused before a parser and its destructor walk it.
std::size_t jsonNestingDepth(std::string_view text);

// Parses one JSON document. Fails with a readable description on a syntax error or when arrays and
// objects nest deeper than `maxDepth`.
Expected<Json, std::string> parseJson(std::string_view text, std::size_t maxDepth = kMaxJsonDepth);

// The field name a file key stands for: a key with "_" becomes camelCase (first word lower-cased,
// later words capitalised, inner underscores dropped, leading and trailing ones kept); any other key
// is used unchanged.
std::string fieldNameForJsonKey(std::string_view key);

// The snake_case key of a field name: split before each upper-case letter, lower-cased, joined by "_".
std::string jsonKeyForFieldName(std::string_view field);

// Collects the first error of one decoding pass. Readers record into it and carry on with defaults,
// so a decoder checks `failed()` once at the end instead of after every value. Warnings about values
// that were tolerated go out as diagnostics unless the pass is only a check (`reportWarnings` false).
class JsonDecodeStatus {
public:
    explicit JsonDecodeStatus(bool reportWarnings = true)
        : reportWarnings_(reportWarnings) {}

    void fail(const std::string& path, const std::string& message);
    void warn(std::string_view message) const;
    bool failed() const { return error_.has_value(); }
    const std::string& error() const { return *error_; }

private:
    bool reportWarnings_;
    std::optional<std::string> error_;
};

// Strict typed reads of one value: a string is not a number, 0 and 1 are not Booleans, integers
// stay exact and a fractional number is not an integer. Each records an error and returns no value
// when the type is wrong; `path` names the value in the message.
std::optional<std::string> readJsonString(const Json& value, const std::string& path,
                                          JsonDecodeStatus& status);
std::optional<bool> readJsonBool(const Json& value, const std::string& path, JsonDecodeStatus& status);
std::optional<std::int64_t> readJsonInteger(const Json& value, const std::string& path,
                                            JsonDecodeStatus& status);
std::optional<double> readJsonNumber(const Json& value, const std::string& path, JsonDecodeStatus& status);
// True when `value` is an array; otherwise records an error.
bool expectJsonArray(const Json& value, const std::string& path, JsonDecodeStatus& status);

// A view on one JSON object whose members are looked up by field name through the key mapping of
// `fieldNameForJsonKey`; unknown keys are ignored and null counts as absent.
class JsonObjectReader {
public:
    JsonObjectReader(const Json& value, std::string path, JsonDecodeStatus& status);

    // The member for `field`, or nullptr when it is absent or null. When two keys map to the same
    // field, the later one in the file wins.
    const Json* find(std::string_view field) const;
    // The path of a member, for messages: this object's path and the key as written in the file.
    std::string pathOf(std::string_view field) const;
    JsonDecodeStatus& status() const { return status_; }
    const std::string& path() const { return path_; }

    std::string requiredString(std::string_view field) const;
    std::optional<std::string> optionalString(std::string_view field) const;
    std::optional<bool> optionalBool(std::string_view field) const;
    std::optional<std::int64_t> optionalInteger(std::string_view field) const;
    std::optional<double> optionalNumber(std::string_view field) const;
    std::optional<std::vector<std::string>> optionalStringArray(std::string_view field) const;

    // An optional array whose elements `decode(element, path, status)` turns into values.
    template <class Decode>
    auto optionalArray(std::string_view field, Decode&& decode) const -> std::optional<
        std::vector<std::invoke_result_t<Decode, const Json&, const std::string&, JsonDecodeStatus&>>> {
        using Element = std::invoke_result_t<Decode, const Json&, const std::string&, JsonDecodeStatus&>;
        const Json* array = findArray(field);
        if (array == nullptr) {
            return std::nullopt;
        }
        std::vector<Element> result;
        result.reserve(array->size());
        const std::string base = pathOf(field);
        for (std::size_t i = 0; i < array->size(); ++i) {
            result.push_back(decode((*array)[i], base + "[" + std::to_string(i) + "]", status_));
            if (status_.failed()) {
                return std::nullopt;
            }
        }
        return result;
    }

private:
    struct Member {
        std::string field;
        std::string key;
        const Json* value;
    };

    const Member* member(std::string_view field) const;
    const Json* findArray(std::string_view field) const;

    std::string path_;
    JsonDecodeStatus& status_;
    std::vector<Member> members_;
};

} // namespace korvane
