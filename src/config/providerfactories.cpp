#include "config/providerfactories.h"

namespace korvane {

const std::set<std::string>& skippedDirectories() {
    static const std::set<std::string> names{"node_modules", "dist",  "build", ".next", ".nuxt",
                                             "__pycache__",  ".venv", "venv",  "target"};
    return names;
}

const std::set<std::string>& neverWalkedDirectories() {
    static const std::set<std::string> names{".git",      ".ssh",   ".gnupg", ".aws",
                                             "Keychains", ".Trash", ".cache", ".local"};
    return names;
}

} // namespace korvane
