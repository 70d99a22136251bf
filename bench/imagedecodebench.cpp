// Memory and time of the image decodes that hostile or large files cause: a preview thumbnail of a
// progressive 8000 × 8000 JPEG and of an 8 MiB 4200 × 3000 photograph (peak growth and p50), the
// resident memory after 100 different photographs were previewed on the thread pool, four loads at a
// time, and an application icon that is an 8000 × 8000 (or 5000 × 5000) PNG. Every image is made here.
// Targets: thumbnail peak growth <= 40 MB, resident growth after 100 <= 30 MB, the 8 MiB photograph
// <= 80 ms. Runs with the program's allocator settings.

#include "benchimages.h"
#include "benchtiming.h"
#include "detail/previewcontentservice.h"
#include "platform/linux/allocatorsettings.h"
#include "platform/qt/qtthumbnaildecoder.h"
#include "scratchdirectory.h"
#include "uikit/iconloader.h"

#include <QApplication>
#include <QImage>
#include <QImageWriter>
#include <QThreadPool>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <fstream>
#include <malloc.h>

namespace korvane {
namespace {

using bench::Clock;
using bench::millisecondsSince;
using bench::percentile;

long statusKilobytes(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(key)) {
            return std::atol(line.c_str() + std::string_view(key).size());
        }
    }
    return 0;
}

// The growth of the resident set's high-water mark while `work` runs, in MB; the bench's own setup is
// given back first so that it does not count.
template <typename Work> double peakGrowthMB(Work&& work) {
    ::malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = statusKilobytes("VmRSS:");
    work();
    return static_cast<double>(statusKilobytes("VmHWM:") - before) / 1024.0;
}

void writeImage(const QImage& image, const std::string& path, const char* format, int quality = -1,
                bool progressive = false) {
    QImageWriter writer(QString::fromStdString(path), format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
}

// A photograph of about 8 MiB as a JPEG, its first rows of one colour.
QImage photograph() {
    QImage image = bench::noisePhotograph();
    for (int y = 0; y < 16; ++y) {
        std::fill_n(reinterpret_cast<QRgb*>(image.scanLine(y)), image.width(), qRgb(0, 0, 0));
    }
    return image;
}

// The highest quality that keeps the photograph within the preview's 10 MiB.
int photographQuality(const QImage& image) {
    const auto jpeg =
        bench::largestJpegWithin(image, static_cast<qsizetype>(PreviewContentService::maxImageBytes));
    return jpeg ? jpeg->quality : 10;
}

// A large, smooth picture that compresses to little: the shape of a decompression bomb.
QImage smoothPicture(int side, QImage::Format format) {
    QImage image(side, side, format);
    image.fill(QColor(40, 120, 160));
    return image;
}

void BM_ThumbnailOfProgressive8000Jpeg(benchmark::State& state) {
    bench::ScratchDirectory dir;
    const std::string path = (dir.path() / "bomb.jpg").string();
    writeImage(smoothPicture(8000, QImage::Format_RGB32), path, "JPEG", 75, true);
    QtThumbnailDecoder decoder;
    for (auto _ : state) {
        std::optional<std::shared_ptr<const PreviewImage>> thumbnail;
        state.counters["peak_growth_MB"] =
            peakGrowthMB([&] { thumbnail = PreviewContentService::loadImageThumbnail(decoder, path); });
        state.counters["thumbnailed"] = thumbnail.has_value();
    }
    state.counters["target_peak_MB"] = 40;
    state.counters["file_KB"] = static_cast<double>(std::filesystem::file_size(path)) / 1000.0;
}
BENCHMARK(BM_ThumbnailOfProgressive8000Jpeg)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ThumbnailOf8MiBPhotograph(benchmark::State& state) {
    bench::ScratchDirectory dir;
    const std::string path = (dir.path() / "photo.jpg").string();
    const QImage image = photograph();
    writeImage(image, path, "JPEG", photographQuality(image));
    QtThumbnailDecoder decoder;
    std::vector<double> times;
    double peak = 0;
    for (auto _ : state) {
        peak = std::max(peak, peakGrowthMB([&] {
                            const auto start = Clock::now();
                            auto thumbnail = PreviewContentService::loadImageThumbnail(decoder, path);
                            times.push_back(millisecondsSince(start));
                            benchmark::DoNotOptimize(thumbnail);
                        }));
    }
    state.counters["p50_ms"] = percentile(times, 0.5);
    state.counters["p95_ms"] = percentile(times, 0.95);
    state.counters["peak_growth_MB"] = peak;
    state.counters["target_p50_ms"] = 80;
    state.counters["target_peak_MB"] = 40;
    state.counters["file_MiB"] = static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0);
}
BENCHMARK(BM_ThumbnailOf8MiBPhotograph)->Iterations(20)->Unit(benchmark::kMillisecond);

// 100 different photographs previewed as a quick user browses them: loads on the thread pool, up to
// four at a time, each result stored in the cache on this thread, of which five stay.
void BM_ResidentAfter100Photographs(benchmark::State& state) {
    bench::ScratchDirectory dir;
    std::vector<std::string> paths;
    QImage image = photograph();
    const int quality = photographQuality(image);
    for (int i = 0; i < 100; ++i) {
        std::fill_n(reinterpret_cast<QRgb*>(image.scanLine(i % image.height())), image.width(),
                    qRgb(i * 2, 255 - i, i));
        paths.push_back((dir.path() / ("photo" + std::to_string(i) + ".jpg")).string());
        writeImage(image, paths.back(), "JPEG", quality);
    }
    image = QImage();
    auto decoder = std::make_shared<QtThumbnailDecoder>();
    for (auto _ : state) {
        PreviewContentService service(decoder);
        ::malloc_trim(0);
        const long idle = statusKilobytes("VmRSS:");
        for (std::size_t first = 0; first < paths.size(); first += 4) {
            std::vector<std::optional<std::shared_ptr<const PreviewImage>>> loaded(4);
            for (std::size_t i = 0; i < 4; ++i) {
                QThreadPool::globalInstance()->start([&, i] {
                    loaded[i] = PreviewContentService::loadImageThumbnail(*decoder, paths[first + i]);
                });
            }
            QThreadPool::globalInstance()->waitForDone();
            for (std::size_t i = 0; i < 4; ++i) {
                if (loaded[i]) {
                    service.store(PreviewContent::image(*loaded[i]), paths[first + i],
                                  FilePreviewType::image);
                }
            }
        }
        state.counters["resident_growth_MB"] = static_cast<double>(statusKilobytes("VmRSS:") - idle) / 1024.0;
        state.counters["cached_entries"] = static_cast<double>(service.accessOrder().size());
    }
    state.counters["target_growth_MB"] = 30;
}
BENCHMARK(BM_ResidentAfter100Photographs)->Iterations(1)->Unit(benchmark::kMillisecond);

// An application's icon that names a large PNG (8000 or 5000 pixels a side, a few hundred KB), decoded
// as the settings and onboarding windows' loader does in its background job.
void BM_IconOfHugePng(benchmark::State& state) {
    const int side = static_cast<int>(state.range(0));
    bench::ScratchDirectory dir;
    const std::string path = (dir.path() / "icon.png").string();
    writeImage(smoothPicture(side, QImage::Format_ARGB32), path, "PNG");
    const IconThemeLookup themes({}, {}, {}, {"png"});
    std::vector<double> times;
    double peak = 0;
    for (auto _ : state) {
        peak = std::max(peak, peakGrowthMB([&] {
                            const auto start = Clock::now();
                            auto icon = IconLoader::decode(path, 64, themes);
                            benchmark::DoNotOptimize(icon);
                            times.push_back(millisecondsSince(start));
                        }));
    }
    state.counters["p50_ms"] = percentile(times, 0.5);
    state.counters["peak_growth_MB"] = peak;
    state.counters["file_KB"] = static_cast<double>(std::filesystem::file_size(path)) / 1000.0;
}
BENCHMARK(BM_IconOfHugePng)->Arg(8000)->Arg(5000)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace korvane

int main(int argc, char** argv) {
    korvane::AllocatorSettings::apply();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
