// The detail panel's loading path: the main-thread cost of following one arrow key (feedPreview
// after noteNavigationEvent) over 200 file results, the work that follows the 150 + 50 ms waits
// for an uncached 256 KiB text and a 10 MiB JPEG (read, decode, store), and the resident memory
// after 100 image previews went through the cache. Reports p50 and p95 where it says so.

#include "benchimages.h"
#include "benchtiming.h"
#include "detail/detailpreviewcontroller.h"
#include "detail/previewcontentservice.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/manualscheduler.h"
#include "platform/qt/qtthumbnaildecoder.h"
#include "scratchdirectory.h"

#include <QBuffer>
#include <QImage>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <fstream>

namespace korvane {
namespace {

using bench::Clock;
using bench::millisecondsSince;
using bench::percentile;

long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmRSS:")) {
            return std::atol(line.c_str() + 6);
        }
    }
    return 0;
}

void write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A photograph-like JPEG just under 10 MiB.
std::string largeJpeg() {
    const auto jpeg = bench::largestJpegWithin(bench::noisePhotograph(),
                                               static_cast<qsizetype>(PreviewContentService::maxImageBytes));
    return jpeg ? jpeg->bytes.toStdString() : std::string();
}

void BM_FeedPreviewPerArrowKey(benchmark::State& state) {
    ManualScheduler scheduler;
    FakeClock clock;
    scheduler.attachClock(&clock);
    auto previews = std::make_shared<PreviewContentService>(std::make_shared<QtThumbnailDecoder>());
    auto controller = detailpanel::DetailPreviewController::create(DetailPreviewTiming::popup(),
                                                                   {scheduler, clock, previews, nullptr});
    controller->shouldCommitPending = [](const Snippet&) { return true; };
    std::vector<std::shared_ptr<const Snippet>> results;
    for (int i = 0; i < 200; ++i) {
        Snippet s;
        s.id = "file:src/module" + std::to_string(i) + "/component.cpp";
        s.label = "src/module" + std::to_string(i) + "/component.cpp";
        s.source = SnippetSource::filePath();
        s.metadata = std::map<std::string, std::string>{{"filePath", "/nonexistent/" + s.label}};
        results.push_back(std::make_shared<const Snippet>(std::move(s)));
    }
    std::vector<double> times;
    std::size_t index = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        controller->noteNavigationEvent();
        controller->feedPreview(results[index++ % results.size()], false, {}, [](int) {});
        times.push_back(millisecondsSince(start));
        // A key every 50 ms, as a held arrow key repeats.
        scheduler.advance(0.05);
    }
    state.counters["p50_ms"] = percentile(times, 0.5);
    state.counters["p95_ms"] = percentile(times, 0.95);
}
BENCHMARK(BM_FeedPreviewPerArrowKey)->Iterations(2000)->Unit(benchmark::kMicrosecond);

// What follows the waits for a result the user rests on: the background load and, back on the main
// thread, the store and publication.
void BM_RestToContentAfterTheWaits(benchmark::State& state) {
    bench::ScratchDirectory dir;
    const std::string text = (dir.path() / "preview.txt").string();
    std::string body;
    while (body.size() < PreviewContentService::maxTextBytes) {
        body += "A line of a source file, as long as most are, with some words in it.\n";
    }
    body.resize(PreviewContentService::maxTextBytes);
    write(text, body);
    const std::string jpeg = (dir.path() / "photo.jpg").string();
    const std::string jpegBytes = largeJpeg();
    write(jpeg, jpegBytes);
    QtThumbnailDecoder decoder;
    PreviewContentService service(std::make_shared<QtThumbnailDecoder>());
    std::vector<double> texts;
    std::vector<double> images;
    for (auto _ : state) {
        auto start = Clock::now();
        auto loaded = PreviewContentService::loadTextPreview(text, false);
        service.store(PreviewContent::text(std::move(*loaded)), text, FilePreviewType::text);
        texts.push_back(millisecondsSince(start));
        start = Clock::now();
        auto image = PreviewContentService::loadImageThumbnail(decoder, jpeg);
        benchmark::DoNotOptimize(image);
        service.store(PreviewContent::image(std::move(*image)), jpeg, FilePreviewType::image);
        images.push_back(millisecondsSince(start));
        service.clear();
    }
    state.counters["text_256KiB_p50_ms"] = percentile(texts, 0.5);
    state.counters["text_256KiB_p95_ms"] = percentile(texts, 0.95);
    state.counters["jpeg_p50_ms"] = percentile(images, 0.5);
    state.counters["jpeg_p95_ms"] = percentile(images, 0.95);
    state.counters["jpeg_MiB"] = static_cast<double>(jpegBytes.size()) / (1024.0 * 1024.0);
}
BENCHMARK(BM_RestToContentAfterTheWaits)->Iterations(20)->Unit(benchmark::kMillisecond);

// 100 image results browsed: each thumbnail decoded and stored; only five stay cached.
void BM_ResidentMemoryAfterBrowsingImages(benchmark::State& state) {
    bench::ScratchDirectory dir;
    QImage picture(2400, 1600, QImage::Format_RGB32);
    picture.fill(QColor(40, 120, 160));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    std::vector<std::string> paths;
    for (int i = 0; i < 100; ++i) {
        paths.push_back((dir.path() / ("image" + std::to_string(i) + ".png")).string());
        write(paths.back(), png.toStdString());
    }
    QtThumbnailDecoder decoder;
    for (auto _ : state) {
        PreviewContentService service(std::make_shared<QtThumbnailDecoder>());
        const long before = residentKilobytes();
        for (const auto& path : paths) {
            service.store(PreviewContent::image(*PreviewContentService::loadImageThumbnail(decoder, path)),
                          path, FilePreviewType::image);
        }
        state.counters["resident_growth_MB"] = static_cast<double>(residentKilobytes() - before) / 1024.0;
        state.counters["cached_entries"] = static_cast<double>(service.accessOrder().size());
    }
}
BENCHMARK(BM_ResidentMemoryAfterBrowsingImages)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace korvane

BENCHMARK_MAIN();
