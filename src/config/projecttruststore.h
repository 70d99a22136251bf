#pragma once

#include "base/expected.h"
#include "config/customproviderconfig.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// A project whose own file defines provider commands that the user has not trusted yet: what the
// menu shows and what trusting it stores.
struct ProjectTrustRequest {
    std::string projectRoot;
    // SHA-256 of the commands as they stand, in lower-case hexadecimal.
    std::string commandsDigest;
    std::vector<std::string> commands;

    bool operator==(const ProjectTrustRequest&) const = default;
};

// Remembers which project commands the user has trusted: for each project root, the digest of the
// provider commands of its ".korvane.json" when it was trusted, so that a changed command needs
// trust again. Kept in "trusted-projects.json" in the configuration directory and written
// atomically. Main thread.
class ProjectTrustStore {
public:
    static constexpr const char* kFileName = "trusted-projects.json";

    explicit ProjectTrustStore(std::filesystem::path file);

    // The request for a project's provider list; none when it defines no command.
    static std::optional<ProjectTrustRequest> request(const std::string& projectRoot,
                                                      const std::vector<CustomProviderConfig>& providers);

    bool isTrusted(const std::string& projectRoot, const std::string& commandsDigest) const;
    // Stores the trust, replacing what the root had before. A file that cannot be read is never
    // replaced, so trusting fails until the user mends or removes it.
    Expected<void, std::string> trust(const ProjectTrustRequest& request);

    const std::filesystem::path& file() const { return file_; }

private:
    using Entries = std::map<std::string, std::string>;

    Expected<Entries, std::string> read() const;
    const Entries& entries() const;

    std::filesystem::path file_;
    mutable std::optional<Entries> entries_;
};

} // namespace korvane
