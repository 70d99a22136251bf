#include "gitguard/pathinfolder.h"

#include "gitguard/perprocesspath.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

namespace korvane {
namespace {

std::string_view withoutTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.ends_with('/')) {
        path.remove_suffix(1);
    }
    return path;
}

} // namespace

std::optional<std::filesystem::path> PathInFolder::real(const std::filesystem::path& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) {
        return std::nullopt;
    }
    std::filesystem::path resolved(real);
    std::free(real);
    return resolved;
}

std::filesystem::path PathInFolder::resolved(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
    return error ? path.lexically_normal() : canonical;
}

bool PathInFolder::inside(std::string_view path, std::string_view folder) {
    path = withoutTrailingSlashes(path);
    folder = withoutTrailingSlashes(folder);
    return path.starts_with(folder) &&
           (path.size() == folder.size() || folder == "/" || path[folder.size()] == '/');
}

bool PathInFolder::mayLeadInto(const std::filesystem::path& path, const std::filesystem::path& folder) {
    return folderLedInto(path, std::span(&folder, 1)) != nullptr;
}

const std::filesystem::path* PathInFolder::folderLedInto(const std::filesystem::path& path,
                                                         std::span<const std::filesystem::path> folders) {
    if (folders.empty()) {
        return nullptr;
    }
    const auto holding = [&](std::string_view name) -> const std::filesystem::path* {
        const auto folder = std::find_if(folders.begin(), folders.end(),
                                         [&](const auto& folder) { return inside(name, folder.native()); });
        return folder != folders.end() ? &*folder : nullptr;
    };
    // Every name the kernel passes, links and what they lead to included, and each per-process one.
    const std::filesystem::path* led = nullptr;
    const auto passed = [&](const std::string& name) -> std::optional<std::string> {
        led = holding(name);
        return led ? std::optional<std::string>(name) : std::nullopt;
    };
    if (PerProcessPath().whyNotOnePlace(path, "/", passed)) {
        return led ? led : &folders.front();
    }
    if (real(path)) {
        return nullptr;
    }
    std::filesystem::path rest;
    for (std::filesystem::path at = path.lexically_normal(); at.has_relative_path(); at = at.parent_path()) {
        rest = at.filename() / rest;
        struct stat status {};
        if (::lstat(at.c_str(), &status) == 0 || errno != ENOENT) {
            return &folders.front();
        }
        if (const auto resolved = real(at.parent_path())) {
            if (std::find(rest.begin(), rest.end(), "..") != rest.end()) {
                return &folders.front();
            }
            return holding((*resolved / rest).lexically_normal().native());
        }
    }
    return &folders.front();
}

} // namespace korvane
