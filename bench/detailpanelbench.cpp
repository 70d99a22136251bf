// The detail panel's body on the main thread: wrapping and laying out a 256 KiB preview once when
// it arrives, then each repaint of the rows in view (the body scrolled to its middle).

#include "benchtiming.h"
#include "detail/views/detailscrollingbody.h"
#include "popup/popuptheme.h"
#include "popup/views/viewanimations.h"

#include <QApplication>
#include <QImage>
#include <QWidget>
#include <benchmark/benchmark.h>
#include <chrono>

namespace korvane {
namespace {

using bench::Clock;
using bench::millisecondsSince;

std::string preview() {
    std::string text;
    int line = 0;
    while (text.size() < 262'144) {
        text += "    const auto value" + std::to_string(line++) +
                " = compute(first, second, third); // and a comment that runs past the panel's width\n";
    }
    text.resize(262'144);
    return text;
}

void paint(DetailScrollingBody& body, QImage& image, const PaintContext& context) {
    QPainter painter(&image);
    std::vector<std::string> texts;
    DetailPaintCursor cursor(painter, context, QRectF(14, 14, 242, 370), texts);
    body.paint(cursor, std::string("src/generated/values.cpp"), false, 0.7, true);
}

void BM_WrapAndLayOutA256KiBPreview(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "korvane_bench_detailpanel";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    ViewAnimations::setEnabled(false);
    QWidget column;
    PaintContext context;
    context.theme = PopupTheme::defaultTheme();
    context.surface = PopupSurfaceStyle::solid(context.theme);
    QImage image(270, 400, QImage::Format_ARGB32_Premultiplied);
    const std::string text = preview();
    double first = 0;
    double repaint = 0;
    std::size_t lines = 0;
    for (auto _ : state) {
        DetailScrollingBody body(column);
        auto start = Clock::now();
        body.setText(text, 28);
        paint(body, image, context);
        first += millisecondsSince(start);
        body.scrollTo(static_cast<int>(body.segmentCount() / 2));
        paint(body, image, context);
        start = Clock::now();
        for (int i = 0; i < 20; ++i) {
            paint(body, image, context);
        }
        repaint += millisecondsSince(start) / 20;
        lines = body.segmentCount();
    }
    state.counters["first_ms"] = first / static_cast<double>(state.iterations());
    state.counters["repaint_ms"] = repaint / static_cast<double>(state.iterations());
    state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_WrapAndLayOutA256KiBPreview)->Iterations(20)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace korvane

BENCHMARK_MAIN();
