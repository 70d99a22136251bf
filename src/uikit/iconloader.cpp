#include "uikit/iconloader.h"

#include "base/fileio.h"
#include "platform/qt/boundedimagereader.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QPointer>
#include <cmath>

namespace korvane {
namespace {

namespace fs = std::filesystem;

constexpr const char* iconFormats[] = {"png", "svg", "svgz", "xpm", "jpeg", "gif", "bmp", "ico"};

// The file `spec` names: an absolute path as written, a theme name through the themes; none for a
// name that could lead anywhere else.
std::optional<fs::path> iconFile(const std::string& spec, int side, const IconThemeLookup& themes) {
    if (spec.empty() || spec.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    if (spec.front() == '/') {
        const fs::path path(spec);
        for (const fs::path& part : path) {
            if (part == "..") {
                return std::nullopt;
            }
        }
        return path;
    }
    if (spec.find('/') != std::string::npos || spec.find("..") != std::string::npos) {
        return std::nullopt;
    }
    return themes.find(spec, side);
}

} // namespace

IconLoader::IconLoader(Scheduler& scheduler, Decode decode)
    : scheduler_(scheduler)
    , decode_(std::move(decode))
    , themes_(std::make_shared<const IconThemeLookup>(IconThemeLookup::fromQt())) {}

void IconLoader::load(const std::string& spec, int side, QObject* receiver,
                      std::function<void(const QIcon&)> onLoaded) const {
    if (!receiver) {
        return;
    }
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    const int pixels = std::max(side, static_cast<int>(std::ceil(side * ratio)));
    Scheduler* scheduler = &scheduler_;
    scheduler_.runInBackground(TaskPriority::userInitiated,
                               [scheduler, decode = decode_, themes = themes_, spec, pixels,
                                target = QPointer<QObject>(receiver),
                                onLoaded = std::move(onLoaded)](const CancellationToken&) mutable {
                                   std::optional<QImage> image = decode(spec, pixels, *themes);
                                   scheduler->post([target = std::move(target), image = std::move(image),
                                                    onLoaded = std::move(onLoaded)] {
                                       if (target) {
                                           onLoaded(image ? QIcon(QPixmap::fromImage(*image)) : QIcon());
                                       }
                                   });
                               });
}

std::optional<QImage> IconLoader::decode(const std::string& spec, int side, const IconThemeLookup& themes) {
    const std::optional<fs::path> file = iconFile(spec, side, themes);
    if (!file) {
        return std::nullopt;
    }
    const auto bytes = readRegularFile(*file, maxFileBytes);
    if (!bytes) {
        return std::nullopt;
    }
    return BoundedImageReader::read(
        QByteArray::fromRawData(bytes->data(), static_cast<qsizetype>(bytes->size())),
        {side, maxSourcePixels, maxDecodeBytes, iconFormats});
}

} // namespace korvane
