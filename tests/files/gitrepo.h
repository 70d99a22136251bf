#pragma once

#include "support/tempdir.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace korvane::test {

// A real git repository in a temporary folder, with HOME pointed at an empty folder so that no user
// configuration reaches git.
class GitRepo {
public:
    GitRepo() {
        setenv("HOME", home_.path().c_str(), 1);
        setenv("GIT_CONFIG_NOSYSTEM", "1", 1);
        sh("git init -q && git config user.email t@example.invalid && git config user.name T");
    }
    const std::filesystem::path& path() const { return dir_.path(); }
    std::string root() const { return dir_.path().string(); }
    std::filesystem::path write(const std::string& relative, const std::string& contents = "x") const {
        return dir_.write(relative, contents);
    }
    // Runs `command` with /bin/sh in the repository; true when it exits with 0.
    bool sh(const std::string& command) const {
        return std::system(("cd '" + root() + "' && " + command).c_str()) == 0;
    }

private:
    TempDir home_;
    TempDir dir_;
};

} // namespace korvane::test
