#include "config/configloader.h"

#include "base/fileio.h"
#include "base/jsonwriter.h"
#include "config/urireference.h"
#include "support/logcapture.h"
#include "support/tempdir.h"

#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace korvane {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::StartsWith;

class ConfigLoaderTest : public testing::Test {
protected:
    std::filesystem::path configDir() const { return home_.path() / ".config" / "korvane"; }
    std::filesystem::path configFile() const { return configDir() / "config.json"; }
    std::filesystem::path writeConfigFile(const std::string& text) const {
        return home_.write(".config/korvane/config.json", text);
    }

    test::TempDir home_;
    test::LogCapture log_;
    ConfigLoader loader_{configDir()};
};

TEST_F(ConfigLoaderTest, MissingFileGivesDefaultsUntilTheDefaultFileIsWritten) {
    EXPECT_EQ(loader_.loadConfig(), AppConfig{});
    EXPECT_EQ(loader_.lastParseError(), std::nullopt);
    EXPECT_TRUE(log_.lines().empty());

    loader_.ensureConfigFile();
    EXPECT_EQ(loader_.loadConfig(), AppConfig::defaultFile());

    writeConfigFile(R"({"trigger": "::"})");
    loader_.ensureConfigFile();
    EXPECT_EQ(test::readFile(configFile()), R"({"trigger": "::"})");
}

TEST_F(ConfigLoaderTest, DirectoryThatCannotBeCreatedIsLogged) {
    home_.write("blocker", "a file where a directory should be");
    ConfigLoader loader(home_.path() / "blocker" / "korvane");
    loader.ensureConfigFile();
    ASSERT_EQ(log_.lines().size(), 1u);
    EXPECT_THAT(log_.lines()[0], StartsWith("[Korvane] Failed to create config directory: "));
}

// The fixture's folder is missing with its parent: whichever write comes first makes both, private
// to the user, and takes the lock beside the file in it.
TEST_F(ConfigLoaderTest, EveryWriteCreatesTheMissingFolderWithItsParents) {
    const std::vector<std::pair<std::string, std::function<bool(ConfigLoader&)>>> writes = {
        {"ensureConfigFile",
         [](ConfigLoader& loader) {
             loader.ensureConfigFile();
             return true;
         }},
        {"addSnippet",
         [](ConfigLoader& loader) { return loader.addSnippet({.key = "k", .expand = "v"}).has_value(); }},
        {"saveConfig", [](ConfigLoader& loader) { return loader.saveConfig(AppConfig{}).has_value(); }},
        {"updateConfig",
         [](ConfigLoader& loader) {
             return loader.updateConfig([](const AppConfig& onDisk) { return std::optional(onDisk); })
                 .has_value();
         }},
    };
    for (const auto& [name, write] : writes) {
        SCOPED_TRACE(name);
        std::filesystem::remove_all(home_.path() / ".config");
        ConfigLoader loader(configDir());
        ASSERT_TRUE(write(loader));
        EXPECT_TRUE(AppConfig::parse(test::readFile(configFile()), false).has_value());
        for (const auto& folder : {configDir(), configDir().parent_path()}) {
            EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms::owner_all);
        }
    }
}

TEST_F(ConfigLoaderTest, UnreadableFileGivesDefaultsAndIsNeverOverwritten) {
    const std::string broken = "{ \"trigger\": ";
    writeConfigFile(broken);

    EXPECT_EQ(loader_.loadConfig(), AppConfig{});
    ASSERT_TRUE(loader_.lastParseError().has_value());
    EXPECT_FALSE(loader_.lastParseError()->empty());
    EXPECT_THAT(log_.lines(), ElementsAre("[Korvane] Config parse error: " + *loader_.lastParseError() +
                                          ". Using defaults."));

    // Neither the start-up path nor a save of the defaults that stood in for it replaces the file.
    log_.clear();
    loader_.ensureConfigFile();
    loader_.writeConfig(AppConfig{});
    EXPECT_EQ(test::readFile(configFile()), broken);
    ASSERT_EQ(log_.lines().size(), 1u);
    EXPECT_THAT(log_.lines()[0], StartsWith("[Korvane] Failed to write config: "));

    writeConfigFile(R"({"settings": {"scan_depth": "8"}})");
    EXPECT_EQ(loader_.loadConfig(), AppConfig{});
    EXPECT_THAT(*loader_.lastParseError(), HasSubstr("settings.scan_depth"));
}

TEST_F(ConfigLoaderTest, WrittenConfigurationReadsBack) {
    loader_.ensureConfigFile();
    AppConfig config = loader_.loadConfig();
    config.trigger = "@@";
    config.customProviders =
        std::vector<CustomProviderConfig>{{.id = "jira", .label = "Jira", .command = "jira"}};
    loader_.writeConfig(config);
    EXPECT_EQ(loader_.loadConfig(), config);
    EXPECT_EQ(loader_.lastParseError(), std::nullopt);
}

struct ProviderCase {
    std::vector<CustomProviderConfig> providers;
    std::optional<std::string> message;
};

CustomProviderConfig provider(std::string id, std::optional<std::string> scope = std::nullopt) {
    return {.id = std::move(id), .label = "Label", .command = "cmd", .scope = std::move(scope)};
}

TEST(CustomProviderValidationTest, FirstProblemInListOrder) {
    CustomProviderConfig noLabel = provider("a");
    noLabel.label = " \n";
    CustomProviderConfig noCommand = provider("a");
    noCommand.command = "\t";
    const std::vector<ProviderCase> cases{
        {{}, std::nullopt},
        {{provider("jira"), provider("deploy", "ship")}, std::nullopt},
        {{provider(" ")}, "Custom provider id cannot be empty"},
        {{noLabel}, "Custom provider 'a' label cannot be empty"},
        {{noCommand}, "Custom provider 'a' command cannot be empty"},
        {{provider(" jira")}, "Custom provider id ' jira' must match [a-z0-9-]+"},
        {{provider("Jira")}, "Custom provider id 'Jira' must match [a-z0-9-]+"},
        {{provider("a", " ")}, "Custom provider 'a' scope cannot be empty"},
        {{provider("a", "T")}, "Custom provider scope 'T' must match [a-z0-9-]+"},
        {{provider("a", "t ")}, "Custom provider scope 't ' must match [a-z0-9-]+"},
        {{provider("git")}, "Custom provider id 'git' collides with built-in category"},
        {{provider("scripts")}, "Custom provider id 'scripts' collides with built-in category"},
        {{provider("make")}, "Custom provider scope 'make' collides with built-in scope"},
        {{provider("a", "link")}, "Custom provider scope 'link' collides with built-in scope"},
        {{provider("x"), provider("x", "y")}, "Duplicate custom provider id 'x'"},
        {{provider("alpha", "tickets"), provider("beta", "tickets")},
         "Duplicate custom provider scope 'tickets'"},
        {{provider("jira"), provider("other", "jira")}, "Duplicate custom provider scope 'jira'"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CustomProviderConfig::validationError(c.providers), c.message)
            << c.message.value_or("valid");
    }
}

TEST_F(ConfigLoaderTest, InvalidCustomProviderDropsAllProvidersButNothingElse) {
    writeConfigFile(R"({"trigger": "//", "snippets": [{"key": "a", "expand": "b"}],
        "custom_providers": [{"id": "fine", "label": "F", "command": "ls"},
                             {"id": "git", "label": "G", "command": "ls"}], "providers": ["git"]})");
    const AppConfig config = loader_.loadConfig();
    EXPECT_EQ(config.trigger, "//");
    EXPECT_EQ(config.snippets.size(), 1u);
    EXPECT_EQ(config.providers, std::vector<std::string>{"git"});
    EXPECT_EQ(config.customProviders, std::nullopt);
    EXPECT_EQ(loader_.lastParseError(), "Custom provider id 'git' collides with built-in category");
    EXPECT_THAT(
        log_.lines(),
        ElementsAre("[Korvane] Config error: Custom provider id 'git' collides with built-in category"));

    writeConfigFile(R"({"custom_providers": []})");
    EXPECT_EQ(loader_.loadConfig().customProviders, std::vector<CustomProviderConfig>{});
    EXPECT_EQ(loader_.lastParseError(), std::nullopt);
}

TEST_F(ConfigLoaderTest, ApplicationBlocksAreCheckedOneByOne) {
    writeConfigFile(R"({"snippets": [{"key": "bare"}], "app_snippets": [
        {"bundle_id": "kitty", "app_name": "Kitty", "snippets": [{"key": "a", "expand": "1"}]},
        {"bundle_id": "broken", "app_name": "Broken", "snippets": [{"key": "x"}]},
        {"bundle_id": " ", "app_name": "Nameless"},
        {"bundle_id": "kitty", "app_name": "Kitty", "snippets": [{"key": "b", "expand": "2"}]}]})");
    const AppConfig config = loader_.loadConfig();
    ASSERT_TRUE(config.appSnippets.has_value());
    EXPECT_EQ(config.appSnippets->size(), 2u);
    EXPECT_EQ(config.snippets.size(), 1u); // invalid global snippets stay
    EXPECT_THAT(
        log_.lines(),
        ElementsAre("[Korvane] Config warning: Snippet 'bare' must have either 'expand' or 'url'",
                    "[Korvane] Config warning: App 'broken': Snippet 'x' must have either 'expand' or "
                    "'url' - skipping this app config",
                    "[Korvane] Config warning: App config has empty bundle ID - skipping this app config",
                    "[Korvane] Config warning: Duplicate bundle ID 'kitty' - last entry wins"));
    const auto map = ConfigLoader::appSnippetsByBundleId(config);
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.at("kitty").front().key, "b");

    for (const char* text :
         {R"({"app_snippets": []})", R"({"app_snippets": [{"bundle_id": "a", "app_name": ""}]})"}) {
        writeConfigFile(text);
        EXPECT_EQ(loader_.loadConfig().appSnippets, std::nullopt) << text;
    }
    EXPECT_TRUE(ConfigLoader::appSnippetsByBundleId(AppConfig{}).empty());
}

TEST(ValidateSnippetTest, MessagesInCheckOrder) {
    const std::vector<std::pair<ManualSnippet, std::optional<std::string>>> cases{
        {{.key = "a", .expand = "x", .url = ""}, std::nullopt},
        {{.key = "a", .url = "mailto:someone"}, std::nullopt},
        {{.key = "\n", .expand = "x"}, std::nullopt},
        {{.key = "   ", .expand = "x"}, "Snippet key cannot be empty or whitespace-only"},
        {{.key = "\t", .url = "x"}, "Snippet key cannot be empty or whitespace-only"},
        {{.key = " a", .expand = "x", .url = "https://a"},
         "Snippet ' a' has both 'expand' and 'url' - only one allowed"},
        {{.key = "a", .url = "example.com"}, "Snippet 'a' has invalid URL (must have a scheme): example.com"},
        {{.key = "a", .expand = "", .url = ""}, "Snippet 'a' must have either 'expand' or 'url'"},
    };
    for (const auto& [snippet, message] : cases) {
        EXPECT_EQ(snippet.validationError(), message) << message.value_or("valid");
    }
    EXPECT_EQ((AppSnippetConfig{.bundleId = "a", .appName = "\t"}).validationError(),
              "App config 'a' has empty app name");
}

TEST(UriReferenceTest, AcceptsOnlyAbsoluteUris) {
    for (const char* text :
         {"https://example.org/a/b?q=1&r=%20#frag", "mailto:someone", "file:///tmp/x", "http://[::1]:8080/",
          "http://[2001:db8::7]/", "http://[::ffff:192.0.2.1]/", "http://user:pw@host.example:80",
          "urn:isbn:0451450523", "x:", "git+ssh://h/p", "http://[v1.fe:80]/"}) {
        EXPECT_TRUE(isUriWithScheme(text)) << text;
    }
    for (const char* text :
         {"example.com", "", ":no-scheme", "1http://x", "https://exa mple.com", "https://x/%zz",
          "https://x/%2", "http://[::1", "http://[1:2:3:4:5:6:7:8:9]/", "http://[1::2::3]/",
          "http://host:port/", "http://a@b@c/", "https://caf\xc3\xa9.fr", "http://x/<script>"}) {
        EXPECT_FALSE(isUriWithScheme(text)) << text;
    }
}

TEST_F(ConfigLoaderTest, AddSnippetAppendsAndRefusesDuplicates) {
    loader_.ensureConfigFile();
    ASSERT_TRUE(loader_.addSnippet({.key = "new", .expand = "text"}).has_value());
    EXPECT_EQ(loader_.loadConfig().snippets.back(), (ManualSnippet{.key = "new", .expand = "text"}));
    EXPECT_THAT(log_.lines(), ElementsAre("[Korvane] Added snippet 'new' to global config"));

    const std::string before = test::readFile(configFile());
    const auto duplicate = loader_.addSnippet({.key = "new", .expand = "other"});
    ASSERT_FALSE(duplicate.has_value());
    EXPECT_EQ(duplicate.error().kind(), ConfigLoader::AddSnippetError::Kind::duplicateKey);
    EXPECT_EQ(duplicate.error().description(), "Key 'new' already exists in config");
    EXPECT_EQ(test::readFile(configFile()), before);

    const auto invalid = loader_.addSnippet({.key = " ", .expand = "x"});
    ASSERT_FALSE(invalid.has_value());
    EXPECT_EQ(invalid.error().description(), "Invalid key: 'Snippet key cannot be empty or whitespace-only'");
}

TEST_F(ConfigLoaderTest, KeysCannotForgeLinesOrReachTheTerminal) {
    loader_.ensureConfigFile();
    ASSERT_TRUE(loader_.addSnippet({.key = "x'\n[Korvane] Config loaded\x1b[2J", .expand = "v"}).has_value());
    EXPECT_THAT(
        log_.lines(),
        ElementsAre("[Korvane] Added snippet 'x'\\n[Korvane] Config loaded\\x1B[2J' to global config"));
}

TEST_F(ConfigLoaderTest, AddSnippetKeepsEntriesThatValidationWouldDrop) {
    writeConfigFile(R"({"app_snippets": [{"bundle_id": "kitty", "app_name": ""}],
        "custom_providers": [{"id": "Bad Id", "label": "B", "command": "ls"}]})");
    ASSERT_TRUE(loader_.addSnippet({.key = "k", .expand = "v"}).has_value());

    const auto onDisk = AppConfig::parse(test::readFile(configFile())).value();
    ASSERT_TRUE(onDisk.appSnippets.has_value());
    EXPECT_EQ(onDisk.appSnippets->front().bundleId, "kitty");
    ASSERT_TRUE(onDisk.customProviders.has_value());
    EXPECT_EQ(onDisk.customProviders->front().id, "Bad Id");
    EXPECT_EQ(onDisk.snippets, std::vector<ManualSnippet>{(ManualSnippet{.key = "k", .expand = "v"})});
}

TEST_F(ConfigLoaderTest, AddSnippetRefusesToReplaceAnUnreadableFile) {
    writeConfigFile("[not, a config");
    const auto result = loader_.addSnippet({.key = "k", .expand = "v"});
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind(), ConfigLoader::AddSnippetError::Kind::saveFailed);
    EXPECT_THAT(result.error().description(), StartsWith("Failed to save config: "));
    EXPECT_EQ(test::readFile(configFile()), "[not, a config");
}

TEST_F(ConfigLoaderTest, SavesThatWouldOutgrowTheReaderAreRefused) {
    // A file just under the reader's limit, so that one more snippet would take it past.
    constexpr std::size_t limit = 64 * 1024;
    ConfigLoader loader(configDir(), limit);
    AppConfig config;
    config.snippets.push_back({.key = "big", .expand = std::string(limit - 400, 'a')});
    writeConfigFile(prettyJson(config.encode()).value());
    const std::string before = test::readFile(configFile());

    const auto added = loader.addSnippet({.key = "more", .expand = std::string(1000, 'b')});
    ASSERT_FALSE(added.has_value());
    EXPECT_EQ(added.error().kind(), ConfigLoader::AddSnippetError::Kind::saveFailed);
    EXPECT_THAT(added.error().description(),
                HasSubstr("more than the 65536 bytes that can be read back; nothing was written"));
    EXPECT_EQ(test::readFile(configFile()), before);

    config.snippets.push_back({.key = "more", .expand = std::string(1000, 'b')});
    loader.writeConfig(config);
    ASSERT_EQ(log_.lines().size(), 1u);
    EXPECT_THAT(log_.lines()[0], StartsWith("[Korvane] Failed to write config: config.json would grow to "));
    EXPECT_EQ(test::readFile(configFile()), before);

    // What fits is still added, and the file still loads.
    ASSERT_TRUE(loader.addSnippet({.key = "small", .expand = "b"}).has_value());
    EXPECT_EQ(loader.loadConfig().snippets.size(), 2u);
    EXPECT_EQ(loader.lastParseError(), std::nullopt);
}

TEST_F(ConfigLoaderTest, ReadOnlyFileIsNotReplaced) {
    loader_.ensureConfigFile();
    const std::string before = test::readFile(configFile());
    std::filesystem::permissions(configFile(), std::filesystem::perms::owner_read |
                                                   std::filesystem::perms::group_read |
                                                   std::filesystem::perms::others_read);

    loader_.writeConfig(AppConfig{});
    EXPECT_THAT(log_.lines(), ElementsAre("[Korvane] Failed to write config: Could not replace " +
                                          configFile().string() + ": Permission denied"));
    const auto added = loader_.addSnippet({.key = "k", .expand = "v"});
    ASSERT_FALSE(added.has_value());
    EXPECT_EQ(added.error().kind(), ConfigLoader::AddSnippetError::Kind::saveFailed);
    EXPECT_EQ(test::readFile(configFile()), before);
}

// Adds `count` snippets named `prefix` + number through a loader of its own; returns the failures.
int addSnippets(const std::filesystem::path& directory, const std::string& prefix, int count) {
    ConfigLoader loader(directory);
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        failures += loader.addSnippet({.key = prefix + std::to_string(i), .expand = "x"}) ? 0 : 1;
    }
    return failures;
}

std::set<std::string> snippetKeys(const std::filesystem::path& file) {
    std::set<std::string> keys;
    const AppConfig config = AppConfig::parse(test::readFile(file)).value();
    for (const auto& snippet : config.snippets) {
        keys.insert(snippet.key);
    }
    return keys;
}

TEST_F(ConfigLoaderTest, ConcurrentAdditionsFromTwoThreadsAreAllKept) {
    loader_.ensureConfigFile();
    int failures[2] = {};
    std::thread first([&] { failures[0] = addSnippets(configDir(), "a", 100); });
    std::thread second([&] { failures[1] = addSnippets(configDir(), "b", 100); });
    first.join();
    second.join();
    EXPECT_EQ(failures[0] + failures[1], 0);
    EXPECT_EQ(snippetKeys(configFile()).size(), 3u + 200u);
}

TEST_F(ConfigLoaderTest, ConcurrentAdditionsFromTwoProcessesAreAllKept) {
    loader_.ensureConfigFile();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::_exit(addSnippets(configDir(), "child", 100) == 0 ? 0 : 1);
    }
    const int failures = addSnippets(configDir(), "parent", 100);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(snippetKeys(configFile()).size(), 3u + 200u);
}

TEST(SanitizedKeyTest, KeepsLettersDigitsDashAndUnderscore) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases{
        {"My Snippet_1!", "my-snippet_1"},
        {"Caf\xc3\xa9 Cr\xc3\xa8me", "caf\xc3\xa9-cr\xc3\xa8me"},
        {"Cafe\xcc\x81", "cafe\xcc\x81"}, // decomposed accent stays with its letter
        {"\xc3\x9c"
         "BER",
         "\xc3\xbc"
         "ber"},
        {"a\tb\nc", "abc"},
        {"!!!", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, key] : cases) {
        EXPECT_EQ(ConfigLoader::sanitizedKey(text), key) << text;
    }
}

TEST_F(ConfigLoaderTest, ProjectFileIsOptionalAndItsProvidersAreValidated) {
    const auto root = home_.path() / "project";
    std::filesystem::create_directories(root);
    EXPECT_EQ(loader_.loadProjectConfig(root.string()), std::nullopt);
    EXPECT_TRUE(log_.lines().empty());

    const auto file = home_.write("project/.korvane.json", R"({"snippets": [{"key": "p"}],
        "custom_providers": [{"id": "x", "label": "X", "command": "ls"}, {"id": "x", "label": "X", "command": "ls"}],
        "include_paths": ["lib"]})");
    const auto config = loader_.loadProjectConfig(root.string());
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->customProviders, std::nullopt);
    EXPECT_EQ(config->includePaths, std::vector<std::string>{"lib"});
    EXPECT_EQ(loader_.lastProjectParseError(), "Duplicate custom provider id 'x'");
    EXPECT_THAT(
        log_.lines(),
        ElementsAre("[Korvane] Project config warning: Snippet 'p' must have either 'expand' or 'url'",
                    "[Korvane] Project config error: Duplicate custom provider id 'x'",
                    "[Korvane] Loaded project config from " + file.string()));

    log_.clear();
    home_.write("project/.korvane.json", R"({"snippets": {}})");
    EXPECT_EQ(loader_.loadProjectConfig(root.string()), std::nullopt);
    ASSERT_TRUE(loader_.lastProjectParseError().has_value());
    EXPECT_THAT(log_.lines(), ElementsAre("[Korvane] Project config parse error at " + file.string() + ": " +
                                          *loader_.lastProjectParseError()));
}

TEST_F(ConfigLoaderTest, ValuesNothingCanRunWithAreClampedOrRefused) {
    const auto root = home_.path() / "project";
    const auto file = home_.write("project/.korvane.json", R"({
        "settings": {"scan_depth": 9223372036854775807, "max_branch_age_days": -9223372036854775808},
        "custom_providers": [{"id": "jira", "label": "J", "command": "jira", "ttl": -1, "debounce": -100000},
                             {"id": "fine", "label": "F", "command": "ls", "ttl": 0, "debounce": 0}],
        "include_paths": ["/", "src", "../sibling", "src/../..", "/etc", "", "docs/./api", ")" +
                                                               (root / "abs").string() + R"("]})");
    const auto config = loader_.loadProjectConfig(root.string() + "/");
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->settings->scanDepth, kMaxScanDepth);
    EXPECT_EQ(config->settings->maxBranchAgeDays, 0);
    EXPECT_EQ(config->customProviders->at(0).ttl, 30);
    EXPECT_EQ(config->customProviders->at(0).debounce, 150);
    EXPECT_EQ(config->customProviders->at(1).ttl, 0);
    EXPECT_EQ(config->customProviders->at(1).debounce, 0);
    EXPECT_EQ(config->includePaths,
              (std::vector<std::string>{"src", "", "docs/./api", (root / "abs").string()}));
    const std::string warning = "[Korvane] Project config warning: ";
    EXPECT_THAT(
        log_.lines(),
        ElementsAre(warning + "Custom provider 'jira' ttl -1 is negative - using 30",
                    warning + "Custom provider 'jira' debounce -100000 is negative - using 150",
                    warning + "scan_depth 9223372036854775807 is larger than 32 - using 32",
                    warning + "max_branch_age_days -9223372036854775808 is outside 0 to 36500 - using 0",
                    warning + "include_paths entry '/' is outside the project root - skipping",
                    warning + "include_paths entry '../sibling' is outside the project root - skipping",
                    warning + "include_paths entry 'src/../..' is outside the project root - skipping",
                    warning + "include_paths entry '/etc' is outside the project root - skipping",
                    "[Korvane] Loaded project config from " + file.string()));

    // The global file gets the same limits.
    log_.clear();
    writeConfigFile(R"({"settings": {"scan_depth": 33, "font_size": 1e308, "max_branch_age_days": 40000},
        "custom_providers": [{"id": "jira", "label": "J", "command": "jira", "ttl": -5}]})");
    const AppConfig global = loader_.loadConfig();
    EXPECT_EQ(global.settings.scanDepth, kMaxScanDepth);
    EXPECT_EQ(global.settings.fontSize, kMaxFontSize);
    EXPECT_EQ(global.settings.maxBranchAgeDays, kMaxBranchAgeDays);
    EXPECT_EQ(global.customProviders->front().ttl, 30);
    EXPECT_THAT(log_.lines(),
                ElementsAre("[Korvane] Config warning: Custom provider 'jira' ttl -5 is negative - "
                            "using 30",
                            "[Korvane] Config warning: scan_depth 33 is larger than 32 - using 32",
                            "[Korvane] Config warning: font_size 1e+308 is outside 1 to 200 - using 200",
                            "[Korvane] Config warning: max_branch_age_days 40000 is outside 0 to 36500 - "
                            "using 36500"));
}

} // namespace
} // namespace korvane
