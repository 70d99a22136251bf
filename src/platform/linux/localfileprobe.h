#pragma once

#include "platform/fileprobe.h"

namespace korvane {

// The file probe over the local file system; the home directory comes from $HOME, else from the
// user database. Main thread.
class LocalFileProbe final : public FileProbe {
public:
    bool exists(const std::string& path) override;
    bool entryExists(const std::string& path) override;
    bool isDirectory(const std::string& path) override;
    std::optional<PathStamp> changeStamp(const std::string& path) override;
    std::optional<std::vector<std::string>> listDirectory(const std::string& path) override;
    std::string resolvedPath(const std::string& path) override;
    std::string homeDirectory() override;
    std::optional<std::string> homeDirectory(const std::string& name) override;
};

} // namespace korvane
