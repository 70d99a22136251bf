// Runs under scripts/xvfb-session: the popup with its real ports (Qt screens and pointer, AT-SPI
// caret, EWMH window frame, the Qt window) over a focused GTK entry (tests/platform/linux/fixtures).
// With KORVANE_SCREENSHOT_DIR set, it saves a picture of the screen in each state.
#include "platform/accessiblecaretlocator.h"
#include "platform/linux/atspiaccessibletext.h"
#include "platform/linux/x11focusedwindowframe.h"
#include "platform/qt/qtdesktopcoordinates.h"
#include "platform/qt/qtpointerlocation.h"
#include "platform/qt/qtscheduler.h"
#include "platform/qt/qtscreenlist.h"
#include "popup/popupcontroller.h"
#include "popup/popuptestsupport.h"
#include "popup/views/popupcontentview.h"
#include "popup/views/popupview.h"
#include "popup/views/qtpopupwindow.h"
#include "support/polling.h"
#include "support/qtx11.h"
#include "support/tempdir.h"

#include <QAccessible>
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <nlohmann/json.hpp>

namespace korvane {
namespace {

int run(const std::string& command) {
    return std::system(command.c_str());
}

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string output(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe) != nullptr) {
            out += buffer;
        }
        pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) {
        out.pop_back();
    }
    return out;
}

using test::spinUntil;

long residentKilobytes() {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

void screenshot(const std::string& name) {
    if (const char* dir = std::getenv("KORVANE_SCREENSHOT_DIR")) {
        run("import -window root '" + std::string(dir) + "/" + name + ".png' >/dev/null 2>&1");
    }
}

class PopupWindowX11Test : public testing::Test {
protected:
    static void SetUpTestSuite() { test::ensureX11Application("korvane_x11_popup_tests"); }

    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "needs an X session (scripts/xvfb-session)";
        }
        accessibleText = atspi::AtspiAccessibleText::create();
        ASSERT_TRUE(accessibleText) << "no accessibility bus";
        const auto primaryTopLeft = [] {
            const QPointF p = QtDesktopCoordinates::primaryTopLeft();
            return ScreenPoint{p.x(), p.y()};
        };
        caret = std::make_unique<AccessibleCaretLocator>(*accessibleText, primaryTopLeft);
        windowFrame = x11::X11FocusedWindowFrame::open(primaryTopLeft);
        ASSERT_TRUE(windowFrame);
    }

    void TearDown() override {
        controller.reset();
        if (entryPid > 0) {
            run("kill " + std::to_string(entryPid) + " 2>/dev/null");
        }
        spinUntil([] { return false; }, 0.1);
    }

    void openEntry(const std::string& text) {
        const auto pidFile = dir.path() / "entry.pid";
        ASSERT_EQ(run("/usr/bin/python3 " + std::string(KORVANE_FIXTURES) + "/gtkentrywindow.py '" +
                      entryStatus.string() + "' '" + text + "' >/dev/null 2>&1 & echo $! > " +
                      pidFile.string()),
                  0);
        entryPid = std::stoi(readAll(pidFile));
        ASSERT_TRUE(test::activateWindow("--class KorvaneGtk"));
        ASSERT_TRUE(spinUntil([&] { return entry().value("focused", false); })) << readAll(entryStatus);
        entryWindow = output("xdotool getactivewindow");
    }

    nlohmann::json entry() const { return nlohmann::json::parse(readAll(entryStatus), nullptr, false); }

    void makeController() {
        controller = PopupController::create(
            scheduler, {screens, *caret, *windowFrame, pointer},
            [this](std::shared_ptr<PopupViewModel> model) {
                auto made = std::make_unique<QtPopupWindow>(std::move(model));
                window = made.get();
                window->onFirstFrame = [this](std::chrono::nanoseconds elapsed) {
                    firstFrames.push_back(std::chrono::duration<double, std::milli>(elapsed).count());
                };
                return made;
            });
        fillResults("d");
    }

    // Results for `query` with its letters matched at the start of each label.
    void fillResults(const std::string& query) {
        auto results = test::results({"deploy", "deploy-staging", "docs", "dotfiles"});
        for (auto& result : results) {
            result.matchRanges = {TextRange{0, query.size()}};
        }
        results.back().matchRanges = {TextRange{0, 1}};
        controller->viewModel().showSearchResults(std::move(results), {}, {}, false, false, false, false, {},
                                                  SearchEmptyState::Style::standard);
        controller->viewModel().setCurrentQuery(query);
    }

    // Shows the popup and waits for its first painted frame.
    void showAndPaint() {
        const std::size_t before = firstFrames.size();
        controller->show();
        ASSERT_TRUE(spinUntil([&] { return firstFrames.size() > before; })) << "the popup never painted";
    }

    test::TempDir dir;
    std::filesystem::path entryStatus = dir.path() / "entry.json";
    int entryPid = 0;
    std::string entryWindow;
    QtScheduler scheduler;
    QtScreenList screens;
    QtPointerLocation pointer;
    std::shared_ptr<atspi::AtspiAccessibleText> accessibleText;
    std::unique_ptr<AccessibleCaretLocator> caret;
    std::unique_ptr<x11::X11FocusedWindowFrame> windowFrame;
    std::shared_ptr<PopupController> controller;
    QtPopupWindow* window = nullptr;
    std::vector<double> firstFrames;
};

TEST_F(PopupWindowX11Test, AppearsAtTheCaretLeavesTheFocusAloneAndHidesCleanly) {
    openEntry("deploy the d");
    screenshot("x11-1-entry");
    std::optional<ScreenRect> caretRect;
    ASSERT_TRUE(spinUntil([&] { return (caretRect = caret->caretRect()).has_value(); }))
        << "no caret over AT-SPI";

    const long residentBefore = residentKilobytes();
    makeController();
    showAndPaint();
    const long residentAfter = residentKilobytes();
    screenshot("x11-2-shown");

    // Placed at the caret: the left edge at the caret, the top edge below the caret line by the
    // caret's height plus 4.
    const QRect geometry = window->widget().geometry();
    const QPointF origin = QtDesktopCoordinates::primaryTopLeft();
    const double caretBottom = origin.y() + caretRect->y + caretRect->height;
    EXPECT_NEAR(geometry.left(), origin.x() + caretRect->x, 3);
    EXPECT_NEAR(geometry.top(), caretBottom + std::max(caretRect->height, 4.0) + 4, 3);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(output("xdotool search --onlyvisible --name '^Korvane$' | wc -l"), "1");

    // The entry keeps the keyboard: what is typed while the popup shows reaches it.
    EXPECT_EQ(output("xdotool getactivewindow"), entryWindow);
    ASSERT_EQ(run("xdotool type --delay 20 'ep' >/dev/null 2>&1"), 0);
    ASSERT_TRUE(spinUntil([&] { return entry().value("text", std::string()) == "deploy the dep"; }))
        << readAll(entryStatus);
    EXPECT_TRUE(entry().value("focused", false));
    fillResults("dep");
    spinUntil([] { return false; }, 0.2);
    screenshot("x11-3-typed");

    // Shown again and again, from hidden: the time to the first frame.
    for (int i = 0; i < 7; ++i) {
        controller->hide();
        makeController();
        spinUntil([] { return false; }, 0.02);
        showAndPaint();
    }
    std::vector<double> times(firstFrames.begin() + 1, firstFrames.end());
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    RecordProperty("showToFirstFrameMedianMs", std::to_string(median));
    RecordProperty("popupResidentKb", std::to_string(residentAfter - residentBefore));
    std::printf("[measure] show to first frame: median %.2f ms over %zu; popup resident memory: %ld kB "
                "(process %ld kB)\n",
                median, times.size(), residentAfter - residentBefore, residentAfter);

    controller->hide();
    ASSERT_TRUE(spinUntil([&] { return !window->isVisible(); }));
    spinUntil([] { return false; }, 0.2);
    EXPECT_EQ(output("xdotool search --onlyvisible --name '^Korvane$' | wc -l"), "0");
    EXPECT_EQ(output("xdotool getactivewindow"), entryWindow);
    screenshot("x11-4-hidden");

    // Near the bottom of the screen the popup stands above the caret line, its bottom edge 4 above
    // the caret's top, so the line being typed stays in sight.
    ASSERT_EQ(run("xdotool getactivewindow windowmove 300 700 >/dev/null 2>&1"), 0);
    ASSERT_TRUE(spinUntil([&] {
        caretRect = caret->caretRect();
        return caretRect && caretRect->y > 650;
    })) << "the caret did not follow the window";
    fillResults("dep");
    showAndPaint();
    screenshot("x11-5-flipped");
    const QRect flipped = window->widget().geometry();
    const double caretTop = origin.y() + caretRect->y;
    EXPECT_NEAR(flipped.top() + flipped.height(), caretTop - 4, 1.5);
    EXPECT_EQ(output("xdotool getactivewindow"), entryWindow);
    controller->hide();
}

// What the accessibility bridge is told while the popup's rows change, one event a line.
std::vector<std::string>* announced = nullptr;

void recordAnnouncement(QAccessibleEvent* event) {
    QAccessibleInterface* target = event->accessibleInterface();
    std::string line = std::to_string(event->type()) + " ";
    if (target != nullptr && target->isValid()) {
        line += target->text(QAccessible::Name).toStdString();
        QAccessibleInterface* parent = target->parent();
        if (parent != nullptr && !parent->text(QAccessible::Name).isEmpty()) {
            line += " in " + parent->text(QAccessible::Name).toStdString();
        }
        if (event->type() == QAccessible::Selection && target->state().selected) {
            line += ", selected";
        }
    }
    announced->push_back(line);
}

// A screen reader that keeps what it has read learns that the rows it read left (while they still
// answer, so that it can tell which), that the list's rows changed and which row is selected now; the
// rows that left no longer answer at all.
TEST(PopupAccessibilityX11Test, RowsThatLeaveAreAnnouncedGoneAndTheNewSelectionIsAnnounced) {
    test::ensureX11Application("korvane_x11_popup_tests");
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "needs an X session (scripts/xvfb-session)";
    }
    ASSERT_TRUE(spinUntil([] { return QAccessible::isActive(); }, 5.0)) << "no accessibility bridge";
    test::PopupHarness harness;
    QtPopupWindow window(harness.model);
    harness.search({"deploy", "docs"});
    window.widget().resize(380, 265);
    window.orderFront();
    ASSERT_TRUE(spinUntil([&] { return window.isVisible(); }));
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&window.view());
    ASSERT_TRUE(spinUntil([&] { return list->childCount() == 2; }));
    const QAccessible::Id deploy = QAccessible::uniqueId(list->child(0));
    list->child(1);

    std::vector<std::string> events;
    announced = &events;
    const auto bridge = QAccessible::installUpdateHandler(recordAnnouncement);
    harness.search({"docs", "zeta"});
    spinUntil([] { return false; }, 0.2);
    harness.model->showBrowser({test::section("user", {"sig"})}, false);
    spinUntil([] { return false; }, 0.2);
    QAccessible::installUpdateHandler(bridge);

    const auto said = [&](QAccessible::Event type, const std::string& what) {
        return std::count(events.begin(), events.end(), std::to_string(type) + " " + what);
    };
    EXPECT_EQ(said(QAccessible::ObjectDestroyed, "deploy, User in Korvane completions"), 1)
        << testing::PrintToString(events);
    EXPECT_EQ(said(QAccessible::Selection, "docs, User in Korvane completions, selected"), 1)
        << testing::PrintToString(events);
    EXPECT_EQ(said(QAccessible::ObjectReorder, "Korvane completions"), 2) << testing::PrintToString(events);
    // In the browser the result list is off screen and has no rows.
    EXPECT_EQ(said(QAccessible::ObjectDestroyed, "docs, User in Korvane completions"), 1)
        << testing::PrintToString(events);
    EXPECT_EQ(QAccessible::accessibleInterface(deploy), nullptr);
    EXPECT_EQ(list->childCount(), 0);
    window.orderOut();
}

} // namespace
} // namespace korvane
