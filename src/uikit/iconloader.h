#pragma once

#include "base/scheduler.h"
#include "uikit/iconthemelookup.h"

#include <QIcon>
#include <QImage>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QObject;

namespace korvane {

// The one loader of application icons for the settings and onboarding windows. An icon is named as
// a desktop file's Icon= names it: a theme name, or an absolute path to an image. A theme name
// holding "/" or "..", and a path with a ".." component, are refused; only regular files are read
// (opened without blocking, checked once opened, at most 1 MiB), and an image is refused from its
// header when it declares more than 2048 × 2048 pixels or a costly decoding, else decoded at the size
// asked. The decoding runs in a background job and the icon reaches its receiver on the main thread;
// callers show a placeholder until then. Made and used on the main thread; the windows share one.
class IconLoader {
public:
    // The background half, replaceable so that tests can watch where it runs.
    using Decode = std::function<std::optional<QImage>(const std::string& spec, int side,
                                                       const IconThemeLookup& themes)>;

    static constexpr std::size_t maxFileBytes = 1024 * 1024;
    static constexpr long long maxSourcePixels = 2048LL * 2048;
    static constexpr std::size_t maxDecodeBytes = 16 * 1024 * 1024;

    explicit IconLoader(Scheduler& scheduler, Decode decode = &IconLoader::decode);

    // Decodes the icon `spec` names at `side` points in the background, then calls `onLoaded` on the
    // main thread while `receiver` lives, with the icon, or a null icon when there is none.
    void load(const std::string& spec, int side, QObject* receiver,
              std::function<void(const QIcon&)> onLoaded) const;

    // The image `spec` names, its longer side at most `side` pixels; none for a refused name, a file
    // that is missing, not regular or too large, or an image refused by its header. Any thread.
    static std::optional<QImage> decode(const std::string& spec, int side, const IconThemeLookup& themes);

private:
    Scheduler& scheduler_;
    Decode decode_;
    std::shared_ptr<const IconThemeLookup> themes_;
};

} // namespace korvane
