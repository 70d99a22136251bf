#pragma once

#include "platform/applicationcatalog.h"

#include <atomic>
#include <map>
#include <mutex>

namespace korvane {

// An application catalog for tests: the lists are set by the test, and the scans and icon lookups
// are counted. Any thread.
class FakeApplicationCatalog final : public ApplicationCatalog {
public:
    std::vector<CatalogApplication> installedApplications() override {
        ++installedScans;
        std::lock_guard lock(mutex_);
        return installed_;
    }
    std::vector<CatalogApplication> runningApplications() override { return running; }
    std::optional<CatalogApplication> frontmostApplication() override { return frontmost; }
    std::string iconFor(const std::string& bundleId) override {
        ++iconLookups[bundleId];
        auto found = icons.find(bundleId);
        return found == icons.end() ? std::string() : found->second;
    }

    void setInstalled(std::vector<CatalogApplication> apps) {
        std::lock_guard lock(mutex_);
        installed_ = std::move(apps);
    }

    std::vector<CatalogApplication> running;
    std::optional<CatalogApplication> frontmost;
    std::map<std::string, std::string> icons;
    std::map<std::string, int> iconLookups;
    std::atomic<int> installedScans{0};

private:
    std::mutex mutex_;
    std::vector<CatalogApplication> installed_;
};

} // namespace korvane
