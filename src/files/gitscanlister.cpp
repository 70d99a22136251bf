#include "files/gitscanlister.h"

#include "files/filepathindexbuilder.h"

#include <utility>

namespace korvane {

GitScanLister::GitScanLister(std::shared_ptr<ProcessRunner> processRunner,
                             std::shared_ptr<GitLsFilesBroker> broker)
    : runner_(std::move(processRunner), GitCommandRunner::Mode::quiet)
    , broker_(std::move(broker)) {}

std::optional<std::vector<std::string>> GitScanLister::list(const std::string& root) const {
    auto printed = runner_.run({"ls-files", "--cached", "--others", "--exclude-standard"}, root, timeout);
    if (!printed) {
        return std::nullopt;
    }
    std::string key = root;
    while (key.size() > 1 && key.back() == '/') {
        key.pop_back();
    }
    // The index decodes the listing itself, the same way, when it takes it.
    if (!broker_) {
        return FilePathIndexBuilder::decodeListing(std::move(*printed));
    }
    auto paths = FilePathIndexBuilder::decodeListing(*printed);
    broker_->store(key, std::move(*printed));
    return paths;
}

std::function<std::optional<std::vector<std::string>>(const std::string& root)> GitScanLister::lister() const {
    return [lister = *this](const std::string& root) { return lister.list(root); };
}

} // namespace korvane
