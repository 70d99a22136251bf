#include "platform/linux/xdgurlopener.h"

#include "support/polling.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {
namespace {

// Children of this process that have ended but were not reaped.
int zombieChildren() {
    int count = 0;
    const std::string self = std::to_string(::getpid());
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::string stat = test::readFile(entry.path() / "stat");
        auto close = stat.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        // After the name: " <state> <ppid> ..."
        std::istringstream fields(stat.substr(close + 2));
        std::string state, parent;
        fields >> state >> parent;
        count += state == "Z" && parent == self;
    }
    return count;
}

TEST(XdgUrlOpenerTest, StartsTheOpenerDetachedWithTheAddressAsItsOnlyArgument) {
    test::TempDir dir;
    const auto report = dir.path() / "report";
    const auto script = dir.write("bin/xdg-open",
                                  "#!/bin/sh\n"
                                  "{ for a in \"$@\"; do echo \"arg:$a\"; done\n"
                                  "  echo \"stdin:$(readlink /proc/$$/fd/0)\"\n"
                                  "  echo \"group:$(cut -d' ' -f5 /proc/$$/stat)\"\n"
                                  "} > " + report.string() + ".tmp\n"
                                  "mv " + report.string() + ".tmp " + report.string() + "\n");
    ::chmod(script.c_str(), 0755);
    const std::string path = (dir.path() / "bin").string() + ":" + std::getenv("PATH");
    test::ScopedEnv onPath("PATH", path.c_str());

    XdgUrlOpener opener;
    ASSERT_TRUE(opener.open("https://example.org/a b?q=1&r=$(touch x);"));
    ASSERT_TRUE(test::pollUntil([&] { return std::filesystem::exists(report); }));
    const std::string expected = "arg:https://example.org/a b?q=1&r=$(touch x);\n"
                                 "stdin:/dev/null\n";
    const std::string written = test::readFile(report);
    EXPECT_TRUE(written.starts_with(expected)) << written;
    EXPECT_NE(written.find("group:"), std::string::npos) << written;
    EXPECT_EQ(written.find("group:" + std::to_string(::getpgrp()) + "\n"), std::string::npos) << written;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "x"));
    EXPECT_TRUE(test::pollUntil([] { return zombieChildren() == 0; }));
}

TEST(XdgUrlOpenerTest, RefusesAddressesThatCouldReadAsOptionsOrBreakLines) {
    using namespace std::string_literals;
    for (const std::string& url : {""s, "-"s, "--help"s, "-https://example.org"s, "https://a\nb"s, "file:///tmp/a\tb"s,
                                   "https://a\0b"s, "https://a\x7f"s}) {
        EXPECT_FALSE(XdgUrlOpener::isAcceptable(url)) << url;
    }
    for (const std::string url : {"https://example.org/-x", "file:///home/u/.config/korvane/config.json",
                                  "mailto:a@b.c", "https://例え.jp/パス"}) {
        EXPECT_TRUE(XdgUrlOpener::isAcceptable(url)) << url;
    }
    EXPECT_FALSE(XdgUrlOpener("/no/such/opener").open("https://example.org"));
    EXPECT_FALSE(XdgUrlOpener("/bin/true").open("--version"));
}

} // namespace
} // namespace korvane
