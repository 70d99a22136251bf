#include "platform/linux/procelectronprobe.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <map>

namespace korvane {
namespace {

namespace fs = std::filesystem;

// A stand-in /proc whose "exe" links point at installations in the same temporary folder.
TEST(ProcElectronProbeTest, KnowsElectronByItsArchivesOrItsName) {
    test::TempDir dir;
    fs::path root = dir.path();
    dir.write("opt/chat/resources/app.asar", "");
    dir.write("opt/chat/chat", "");
    dir.write("opt/runtime/resources/default_app.asar", "");
    dir.write("opt/editor/editor", "");
    dir.write("opt/editor/resources/app/package.json", "{}");
    dir.write("proc/14/root/app/extra/resources/electron.asar", "");
    auto process = [&](int pid, const std::string& exe) {
        fs::create_directories(root / "proc" / std::to_string(pid));
        fs::create_directory_symlink(exe, root / "proc" / std::to_string(pid) / "exe");
    };
    process(10, (root / "opt/chat/chat").string());
    process(11, "/usr/lib/electron25/electron25");
    process(12, (root / "opt/editor/editor").string());
    process(13, (root / "opt/runtime/notes").string() + " (deleted)");
    process(14, "/app/extra/sandboxed");

    const std::map<std::string, int> running{{"chat", 10}, {"runtime", 11}, {"editor", 12},
                                             {"updated", 13}, {"sandboxed", 14}, {"vanished", 99}};
    ProcElectronProbe probe(
        [&](const std::string& id) -> std::optional<std::int32_t> {
            auto found = running.find(id);
            return found == running.end() ? std::nullopt : std::optional(found->second);
        },
        root / "proc");
    const std::map<std::string, bool> expected{{"chat", true},     {"runtime", true},  {"editor", false},
                                               {"updated", true},  {"sandboxed", true}, {"vanished", false},
                                               {"not.running", false}};
    for (const auto& [id, electron] : expected) {
        EXPECT_EQ(probe.isElectronApp(id), electron) << id;
    }
}

} // namespace
} // namespace korvane
