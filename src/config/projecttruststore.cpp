#include "config/projecttruststore.h"

#include "base/diagnostics.h"
#include "base/fileio.h"
#include "base/jsonreader.h"
#include "base/jsonwriter.h"
#include "base/sha256.h"

#include <system_error>

namespace korvane {

ProjectTrustStore::ProjectTrustStore(std::filesystem::path file)
    : file_(std::move(file)) {}

std::optional<ProjectTrustRequest>
ProjectTrustStore::request(const std::string& projectRoot, const std::vector<CustomProviderConfig>& providers) {
    if (providers.empty()) {
        return std::nullopt;
    }
    ProjectTrustRequest request{projectRoot, {}, {}};
    Json commands = Json::array();
    for (const auto& provider : providers) {
        request.commands.push_back(provider.command);
        commands.push_back(provider.command);
    }
    // The JSON text of the list keeps commands apart however they are spelled.
    const auto digest = sha256(commands.dump(-1, ' ', false, Json::error_handler_t::replace));
    request.commandsDigest = lowerHex(digest.data(), digest.size());
    return request;
}

bool ProjectTrustStore::isTrusted(const std::string& projectRoot, const std::string& commandsDigest) const {
    const auto& trusted = entries();
    const auto it = trusted.find(projectRoot);
    return it != trusted.end() && it->second == commandsDigest;
}

Expected<void, std::string> ProjectTrustStore::trust(const ProjectTrustRequest& request) {
    auto current = read();
    if (!current) {
        return makeUnexpected(current.error());
    }
    (*current)[request.projectRoot] = request.commandsDigest;
    Json object = Json::object();
    for (const auto& [root, digest] : *current) {
        object[root] = digest;
    }
    const auto text = prettyJson(object);
    if (!text) {
        return makeUnexpected(text.error());
    }
    std::error_code error;
    std::filesystem::create_directories(file_.parent_path(), error);
    if (auto written = writeFileAtomically(file_, *text); !written) {
        return makeUnexpected(written.error());
    }
    entries_ = std::move(*current);
    diagnostic("Trusted the commands of project '" + request.projectRoot + "'");
    return {};
}

Expected<ProjectTrustStore::Entries, std::string> ProjectTrustStore::read() const {
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(file_, error))) {
        return Entries{};
    }
    auto text = readTextFile(file_);
    if (!text) {
        return makeUnexpected(text.error());
    }
    auto json = parseJson(*text);
    if (!json || !json->is_object()) {
        return makeUnexpected(file_.string() + ": " + (json ? "expected an object" : json.error()));
    }
    Entries entries;
    for (auto it = json->begin(); it != json->end(); ++it) {
        if (!it.value().is_string()) {
            return makeUnexpected(file_.string() + ": the entry for '" + it.key() + "' is not a string");
        }
        entries[it.key()] = it.value().get<std::string>();
    }
    return entries;
}

const ProjectTrustStore::Entries& ProjectTrustStore::entries() const {
    if (!entries_) {
        auto read = this->read();
        if (!read) {
            // Nothing counts as trusted until the file reads again.
            diagnostic("Trusted projects file could not be read: " + read.error());
        }
        entries_ = read ? std::move(*read) : Entries{};
    }
    return *entries_;
}

} // namespace korvane
