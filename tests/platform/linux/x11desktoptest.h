#pragma once

#include "support/polling.h"
#include "support/tempdir.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvane::test {

// A fixture for tests that open windows on the session's display: skipped without one, with a desktop
// file naming the "KorvaneTerm" window class "korvane-term", and every process in `pids` ended afterwards.
class X11DesktopTest : public testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "needs an X session (scripts/xvfb-session)";
        }
        dir.write("data/applications/korvane-term.desktop",
                  "[Desktop Entry]\nType=Application\nName=Korvane Term\nExec=xterm\nStartupWMClass=KorvaneTerm\n");
    }

    void TearDown() override {
        for (int pid : pids) {
            run("kill " + std::to_string(pid) + " 2>/dev/null");
        }
    }

    TempDir dir;
    std::vector<int> pids;
};

} // namespace korvane::test
