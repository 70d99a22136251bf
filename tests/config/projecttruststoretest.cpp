// The trust store as writers share it: Korvane and another program changing it at the same moment.
#include "config/projecttruststore.h"

#include "support/logcapture.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace korvane {
namespace {

// Two writers trusting folders at the same moment lose none of each other's entries; taking one
// folder back removes its own entry and its project's, and keeps every other.
TEST(ProjectTrustStoreTest, WritersAtTheSameMomentLoseNoEntry) {
    test::TempDir dir;
    test::LogCapture log;
    const auto file = dir.path() / "korvane" / ProjectTrustStore::kFileName;
    constexpr int perWriter = 40;
    const auto folder = [](char writer, int index) {
        return "/" + std::string(1, writer) + std::to_string(index);
    };
    std::vector<std::thread> writers;
    for (const char writer : {'a', 'b'}) {
        writers.emplace_back([&, writer] {
            ProjectTrustStore store(file);
            for (int index = 0; index < perWriter; ++index) {
                EXPECT_TRUE(store.trustFolder(folder(writer, index)).has_value());
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    ProjectTrustStore store(file);
    std::vector<std::string> lost;
    for (const char writer : {'a', 'b'}) {
        for (int index = 0; index < perWriter; ++index) {
            if (!store.isFolderTrusted(folder(writer, index))) {
                lost.push_back(folder(writer, index));
            }
        }
    }
    EXPECT_EQ(lost, std::vector<std::string>{});

    const auto request =
        ProjectTrustStore::request("/a0", {CustomProviderConfig{.id = "p", .command = "make"}});
    ASSERT_TRUE(request && store.trust(*request).has_value());
    ASSERT_TRUE(store.distrust("/a0").has_value());
    ProjectTrustStore reader(file);
    EXPECT_FALSE(reader.isFolderTrusted("/a0"));
    EXPECT_FALSE(reader.isTrusted("/a0", request->commandsDigest));
    EXPECT_TRUE(reader.isFolderTrusted("/a1"));
    EXPECT_TRUE(reader.isFolderTrusted("/b0"));
}

} // namespace
} // namespace korvane
