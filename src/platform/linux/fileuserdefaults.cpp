#include "platform/linux/fileuserdefaults.h"

#include "base/diagnostics.h"
#include "base/fileio.h"
#include "base/jsonreader.h"
#include "base/jsonwriter.h"

#include <cstdlib>

namespace korvane {
namespace {

constexpr std::size_t kMaxDefaultsSize = 64 * 1024;
constexpr const char* kLogCategory = "FileUserDefaults";

// The file's object, or nothing when it is missing, unreadable or not a JSON object.
std::optional<Json> readObject(const std::filesystem::path& file) {
    auto text = readRegularFile(file, kMaxDefaultsSize);
    if (!text) {
        return std::nullopt;
    }
    auto json = parseJson(*text);
    if (!json || !json->is_object()) {
        return std::nullopt;
    }
    return std::move(*json);
}

} // namespace

FileUserDefaults::FileUserDefaults(std::filesystem::path file)
    : file_(std::move(file)) {}

std::filesystem::path FileUserDefaults::defaultFile() {
    std::filesystem::path state;
    if (const char* value = std::getenv("XDG_STATE_HOME"); value != nullptr && value[0] == '/') {
        state = value;
    } else {
        const char* home = std::getenv("HOME");
        state = std::filesystem::path(home != nullptr && home[0] == '/' ? home : "/") / ".local" / "state";
    }
    return state / "korvane" / "defaults.json";
}

bool FileUserDefaults::boolForKey(const std::string& key) const {
    auto object = readObject(file_);
    if (!object) {
        return false;
    }
    auto it = object->find(key);
    return it != object->end() && it->is_boolean() && it->get<bool>();
}

void FileUserDefaults::setBool(const std::string& key, bool value) {
    // Other flags in a readable file are kept; an unreadable one has nothing worth keeping.
    Json object = readObject(file_).value_or(Json::object());
    object[key] = value;
    auto text = prettyJson(object);
    if (!text) {
        errorLog(kLogCategory, "Could not encode the flags: " + text.error());
        return;
    }
    auto written = makePrivateDirectories(file_.parent_path());
    if (written) {
        written = writeFileAtomically(file_, *text);
    }
    if (!written) {
        errorLog(kLogCategory, written.error());
    }
}

} // namespace korvane
