#include "config/configpaths.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace korvane {
namespace {

std::filesystem::path homeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/";
}

} // namespace

const std::filesystem::path& configDirectory() {
    static const std::filesystem::path directory = homeDirectory() / ".config" / "korvane";
    return directory;
}

const std::filesystem::path& configFile() {
    static const std::filesystem::path file = configDirectory() / kConfigFileName;
    return file;
}

} // namespace korvane
