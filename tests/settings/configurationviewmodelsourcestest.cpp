// The sources the settings window shows against those the popup runs, over the same configuration file:
// generated `providers` lists and command sets, and eye presses saved and reloaded.

#include "config/configmanager.h"
#include "platform/fake/manualscheduler.h"
#include "settings/configurationviewmodel.h"
#include "support/logcapture.h"
#include "support/tempdir.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <random>

namespace korvane {
namespace {

const std::vector<std::string> kCommands{"tickets", "wiki", "deploy"};

bool contains(const std::vector<std::string>& ids, const std::string& id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

class ShownSourcesAgreementTest : public testing::Test {
protected:
    // A file of some of the commands, in some order, and a `providers` key that is absent or lists
    // built-in ids, commands defined or not, unknown ids and repeats.
    std::string generateFile() {
        nlohmann::json file = nlohmann::json::object();
        std::vector<std::string> commands = kCommands;
        std::shuffle(commands.begin(), commands.end(), random_);
        commands.resize(pick(commands.size() + 1));
        nlohmann::json customs = nlohmann::json::array();
        for (const auto& id : commands) {
            customs.push_back(
                {{"id", id}, {"label", id}, {"command", "true"}, {"mode", pick(2) ? "live" : "scan"}});
        }
        if (!customs.empty()) {
            file["custom_providers"] = customs;
        }
        if (pick(5) != 0) {
            std::vector<std::string> pool = defaultActiveCategories();
            pool.insert(pool.end(), kCommands.begin(), kCommands.end());
            pool.push_back("nonsense");
            nlohmann::json providers = nlohmann::json::array();
            for (std::size_t n = pick(6); n > 0; --n) {
                providers.push_back(pool[pick(pool.size())]);
            }
            file["providers"] = providers;
        }
        return file.dump();
    }

    std::size_t pick(std::size_t bound) {
        return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random_);
    }

    test::TempDir home_;
    test::LogCapture log_;
    ConfigLoader loader_{home_.path()};
    ManualScheduler scheduler_;
    ConfigManager manager_{ConfigLoader(home_.path()), {}, nullptr};
    std::mt19937 random_{65};
};

TEST_F(ShownSourcesAgreementTest, ThePopupShowsWhatTheWindowShowsAndTheEyeDoesWhatItSays) {
    for (int round = 0; round < 200; ++round) {
        const std::string file = generateFile();
        home_.write("config.json", file);
        auto window = std::make_shared<ConfigurationViewModel>(loader_, scheduler_, nullptr, nullptr);
        manager_.loadGlobalConfig();
        ASSERT_EQ(window->enabledCategoryIds(), manager_.activeCategories()) << file;

        for (int press = 0; press < 3; ++press) {
            std::vector<std::string> rows = window->enabledCategoryIds();
            const std::vector<std::string> hidden = window->hiddenCategoryIds();
            rows.insert(rows.end(), hidden.begin(), hidden.end());
            const std::string id = rows[pick(rows.size())];
            const bool wasShown = !contains(hidden, id);
            const bool lastShown = wasShown && window->enabledCategoryIds().size() == 1;
            window->toggleCategory(id);
            window->flushPendingSave();
            manager_.reloadGlobalConfig();

            const std::string context = file + " then the eye of " + id;
            ASSERT_EQ(window->enabledCategoryIds(), manager_.activeCategories()) << context;
            // Hiding the last shown source shows every one again.
            EXPECT_EQ(contains(manager_.activeCategories(), id), !wasShown || lastShown) << context;
        }
    }
}

} // namespace
} // namespace korvane
