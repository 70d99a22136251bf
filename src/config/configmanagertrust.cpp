// What the configuration manager trusts of the project loaded: its commands, its folder, and the
// snippets that trust lets into the sets. Main thread.
#include "config/configmanager.h"

namespace korvane {

std::vector<ProjectTrustRequest> ConfigManager::projectsAwaitingTrust() const {
    auto request = projectTrustRequest();
    if (!request || trustStore_->isTrusted(request->projectRoot, request->commandsDigest)) {
        return {};
    }
    return {std::move(*request)};
}

Expected<void, std::string> ConfigManager::trustProjectCommands(const ProjectTrustRequest& request) {
    auto trusted = trustStore_->trust(request);
    if (trusted) {
        // The snippets that waited for trust join the sets from now on.
        mergeWithProject();
        beginNewVersion();
    }
    return trusted;
}

bool ConfigManager::projectTrusted() const {
    const auto request = projectTrustRequest();
    return request && trustStore_->isTrusted(request->projectRoot, request->commandsDigest);
}

std::optional<std::string> ConfigManager::folderAwaitingTrust() const {
    if (!currentConfigProjectRoot_ || projectTrustRequest() ||
        trustStore_->isFolderTrusted(*currentConfigProjectRoot_)) {
        return std::nullopt;
    }
    return currentConfigProjectRoot_;
}

Expected<void, std::string> ConfigManager::trustFolder(const std::string& folder) {
    auto trusted = trustStore_->trustFolder(folder);
    derivedTrust_ = currentTrust();
    return trusted;
}

std::optional<std::string> ConfigManager::trustedFolder() const {
    const TrustState trust = currentTrust();
    if (!currentConfigProjectRoot_ || (!trust.project && !trust.folder)) {
        return std::nullopt;
    }
    return currentConfigProjectRoot_;
}

Expected<void, std::string> ConfigManager::stopTrusting(const std::string& folder) {
    auto distrusted = trustStore_->distrust(folder);
    // The project's snippets that only trust let in leave the sets, as they do after a change on disk.
    mergeWithProject();
    beginNewVersion();
    return distrusted;
}

bool ConfigManager::reloadTrust() {
    if (currentTrust() == derivedTrust_) {
        return false;
    }
    mergeWithProject();
    beginNewVersion();
    return true;
}

ConfigManager::TrustState ConfigManager::currentTrust() const {
    if (!currentConfigProjectRoot_) {
        return {};
    }
    return TrustState{projectTrusted(), trustStore_->isFolderTrusted(*currentConfigProjectRoot_)};
}

} // namespace korvane
