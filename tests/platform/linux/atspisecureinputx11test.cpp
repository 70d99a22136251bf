// Runs under scripts/xvfb-session: secure input follows the focus between a plain and a password
// entry of a GTK window (tests/platform/linux/fixtures).
#include "platform/linux/atspiaccessibletext.h"
#include "platform/linux/atspisecureinputprobe.h"
#include "support/polling.h"
#include "support/qtx11.h"
#include "support/tempdir.h"

#include <QCoreApplication>
#include <chrono>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using test::spinUntil;

TEST(AtspiSecureInputX11Test, OnExactlyWhileThePasswordEntryHasTheFocus) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "needs an X session (scripts/xvfb-session)";
    }
    static int argc = 1;
    static char name[] = "korvane_x11_secureinput_tests";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    QCoreApplication app(argc, argv);

    EXPECT_FALSE(atspi::AtspiSecureInputProbe(nullptr).isSecureInputEnabled());
    auto text = atspi::AtspiAccessibleText::create();
    ASSERT_TRUE(text) << "no accessibility bus";
    atspi::AtspiSecureInputProbe probe(text);

    test::TempDir dir;
    const auto status = dir.path() / "focus";
    const std::string pidFile = (dir.path() / "pid").string();
    ASSERT_EQ(test::run("/usr/bin/python3 " + std::string(KORVANE_FIXTURES) + "/gtkpasswordwindow.py " +
                        status.string() + " >/dev/null 2>&1 & echo $! > " + pidFile),
              0);
    const std::string pid = std::to_string(std::stoi(test::readAll(pidFile)));
    ASSERT_TRUE(test::activateWindow("--all --onlyvisible --pid " + pid + " --name 'Korvane test password'"));
    ASSERT_TRUE(spinUntil([&] { return test::readAll(status) == "plain" && text->focusedElement() != nullptr; }));
    EXPECT_FALSE(probe.isSecureInputEnabled());

    for (const auto& [focus, secure] : {std::pair{"password", true}, std::pair{"plain", false}}) {
        ASSERT_EQ(test::run("xdotool key Tab"), 0);
        ASSERT_TRUE(spinUntil([&] { return test::readAll(status) == focus; })) << focus;
        EXPECT_TRUE(spinUntil([&] { return probe.isSecureInputEnabled() == secure; })) << focus;
    }
    test::run("kill " + pid);
}

} // namespace
} // namespace korvane
