#pragma once

#include "base/json.h"
#include "base/jsonreader.h"

#include <cmath>
#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

namespace korvane {

// How one kind of value is read from and written to JSON. Reading is strict (see `readJsonString`);
// a failed read records its error in the status and gives no value.
template <class T> struct JsonValueCodec;

template <> struct JsonValueCodec<std::string> {
    static std::optional<std::string> decode(const Json& value, const std::string& path,
                                             JsonDecodeStatus& status) {
        return readJsonString(value, path, status);
    }
    static Json encode(const std::string& value) { return value; }
};

template <> struct JsonValueCodec<bool> {
    static std::optional<bool> decode(const Json& value, const std::string& path, JsonDecodeStatus& status) {
        return readJsonBool(value, path, status);
    }
    static Json encode(bool value) { return value; }
};

template <> struct JsonValueCodec<std::int64_t> {
    static std::optional<std::int64_t> decode(const Json& value, const std::string& path,
                                              JsonDecodeStatus& status) {
        return readJsonInteger(value, path, status);
    }
    static Json encode(std::int64_t value) { return value; }
};

template <> struct JsonValueCodec<double> {
    static std::optional<double> decode(const Json& value, const std::string& path,
                                        JsonDecodeStatus& status) {
        return readJsonNumber(value, path, status);
    }
    // A whole number is written as one ("font_size": 19), as people write it, not as 19.0.
    static Json encode(double value) {
        constexpr double exactIntegers = 9007199254740992.0; // 2^53
        if (std::trunc(value) == value && std::fabs(value) <= exactIntegers) {
            return static_cast<std::int64_t>(value);
        }
        return value;
    }
};

// A record that reads and writes itself, usually through its own field table.
template <class T>
concept JsonRecord = requires(const T& record, const Json& value, const std::string& path,
                              JsonDecodeStatus& status) {
    { T::decode(value, path, status) } -> std::same_as<T>;
    { record.encode() } -> std::same_as<Json>;
};

template <JsonRecord T> struct JsonValueCodec<T> {
    static std::optional<T> decode(const Json& value, const std::string& path, JsonDecodeStatus& status) {
        return T::decode(value, path, status);
    }
    static Json encode(const T& value) { return value.encode(); }
};

template <class T> struct JsonValueCodec<std::vector<T>> {
    static std::optional<std::vector<T>> decode(const Json& value, const std::string& path,
                                                JsonDecodeStatus& status) {
        if (!expectJsonArray(value, path, status)) {
            return std::nullopt;
        }
        std::vector<T> result;
        result.reserve(value.size());
        for (std::size_t i = 0; i < value.size(); ++i) {
            auto element = JsonValueCodec<T>::decode(value[i], path + "[" + std::to_string(i) + "]", status);
            if (!element || status.failed()) {
                return std::nullopt;
            }
            result.push_back(std::move(*element));
        }
        return result;
    }
    static Json encode(const std::vector<T>& values) {
        Json array = Json::array();
        for (const auto& value : values) {
            array.push_back(JsonValueCodec<T>::encode(value));
        }
        return array;
    }
};

// What a missing (or null) key means for a field, and so when the field is written:
// `required` fails the read and is always written, `defaulted` keeps the default of the record's
// member initialiser and is always written, `optional` leaves the member without a value and is
// written only with one. A record's defaults are thus stated once, where its members are declared.
enum class JsonPresence { required, defaulted, optional };

namespace detail {
template <class T> struct IsStdOptional : std::false_type {};
template <class T> struct IsStdOptional<std::optional<T>> : std::true_type {};
} // namespace detail

// One row of a record's field table: the key as written in the file (snake_case; on reading it
// matches through `fieldNameForJsonKey`), the member it fills, and what its absence means.
template <class Record, class Member, JsonPresence presence> struct JsonField {
    static_assert(detail::IsStdOptional<Member>::value == (presence == JsonPresence::optional),
                  "optional fields are exactly the std::optional members");
    std::string_view key;
    Member Record::*member;
};

template <class Record, class Member>
constexpr auto requiredField(std::string_view key, Member Record::*member) {
    return JsonField<Record, Member, JsonPresence::required>{key, member};
}
template <class Record, class Member>
constexpr auto defaultedField(std::string_view key, Member Record::*member) {
    return JsonField<Record, Member, JsonPresence::defaulted>{key, member};
}
template <class Record, class Member>
constexpr auto optionalField(std::string_view key, Member Record::*member) {
    return JsonField<Record, Member, JsonPresence::optional>{key, member};
}

// An optional enumeration written as one of its strings and read leniently: a value that names no
// case is reported with `warning(record so far)` and read as no value, instead of failing the read.
template <class Record, class Enum> struct JsonLenientEnumField {
    std::string_view key;
    std::optional<Enum> Record::*member;
    std::optional<Enum> (*fromString)(std::string_view);
    std::string_view (*toString)(Enum);
    std::string (*warning)(const Record&);
};

namespace detail {

template <class Record, class Member, JsonPresence presence>
void decodeField(const JsonObjectReader& object, Record& record,
                 const JsonField<Record, Member, presence>& field) {
    const std::string name = fieldNameForJsonKey(field.key);
    const Json* value = object.find(name);
    if (value == nullptr) {
        if constexpr (presence == JsonPresence::required) {
            object.status().fail(object.pathOf(name), "required key is missing");
        }
        return;
    }
    if constexpr (presence == JsonPresence::optional) {
        using Value = typename Member::value_type;
        record.*field.member = JsonValueCodec<Value>::decode(*value, object.pathOf(name), object.status());
    } else if (auto decoded = JsonValueCodec<Member>::decode(*value, object.pathOf(name), object.status())) {
        record.*field.member = std::move(*decoded);
    }
}

template <class Record, class Enum>
void decodeField(const JsonObjectReader& object, Record& record,
                 const JsonLenientEnumField<Record, Enum>& field) {
    const Json* value = object.find(fieldNameForJsonKey(field.key));
    if (value == nullptr) {
        return;
    }
    std::optional<Enum> decoded;
    if (value->is_string()) {
        decoded = field.fromString(value->template get_ref<const std::string&>());
    }
    if (!decoded) {
        object.status().warn(field.warning(record));
    }
    record.*field.member = decoded;
}

template <class Record, class Member, JsonPresence presence>
void encodeField(Json& object, const Record& record, const JsonField<Record, Member, presence>& field) {
    const Member& member = record.*field.member;
    if constexpr (presence == JsonPresence::optional) {
        if (member) {
            object[std::string(field.key)] = JsonValueCodec<typename Member::value_type>::encode(*member);
        }
    } else {
        object[std::string(field.key)] = JsonValueCodec<Member>::encode(member);
    }
}

template <class Record, class Enum>
void encodeField(Json& object, const Record& record, const JsonLenientEnumField<Record, Enum>& field) {
    if (const auto& member = record.*field.member) {
        object[std::string(field.key)] = std::string(field.toString(*member));
    }
}

} // namespace detail

// Reads a record from a JSON object by its field table, in table order; unknown keys are ignored.
template <class Record, class... Fields>
Record decodeJsonFields(const std::tuple<Fields...>& fields, const Json& value, const std::string& path,
                        JsonDecodeStatus& status) {
    const JsonObjectReader object(value, path, status);
    Record record;
    std::apply([&](const auto&... field) { (detail::decodeField(object, record, field), ...); }, fields);
    return record;
}

// Writes a record as a JSON object whose members follow its field table's order.
template <class Record, class... Fields>
Json encodeJsonFields(const std::tuple<Fields...>& fields, const Record& record) {
    Json object = Json::object();
    std::apply([&](const auto&... field) { (detail::encodeField(object, record, field), ...); }, fields);
    return object;
}

} // namespace korvane
