#include "base/jsonwriter.h"
#include "config/appconfig.h"
#include "config/builtinsnippets.h"
#include "config/configloader.h"
#include "config/projectconfig.h"
#include "support/logcapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using testing::ElementsAre;

std::vector<std::string> keysOf(const Json& object) {
    std::vector<std::string> keys;
    for (const auto& item : object.items()) {
        keys.push_back(item.key());
    }
    return keys;
}

AppConfig everyFieldSet() {
    AppConfig config;
    config.trigger = "//";
    config.snippets = {{.key = "k", .expand = "e", .url = "u", .label = "l", .description = "d"}};
    config.appSnippets = std::vector<AppSnippetConfig>{{.bundleId = "org.gnome.Terminal",
                                                        .appName = "Terminal",
                                                        .snippets = {{.key = "ls", .expand = "ls -la"}},
                                                        .popupPosition = PopupPosition::bottomCenter}};
    SettingsConfig& s = config.settings;
    s.caseSensitive = true;
    s.scanDepth = 9007199254740993; // not representable as a double
    s.ignorePatterns = {"target"};
    s.maxBranchAgeDays = 7;
    s.fileInsertionMode = "filenameOnly";
    s.popupPosition = PopupPosition::automatic;
    s.fontSize = 13.5;
    s.fontColor = "#aabbcc";
    s.rowPadding = 2;
    s.rowHeight = 28;
    s.badgePalette = "minimal";
    s.popupWidth = 480;
    s.detailWidth = 320;
    s.material = "solid";
    s.appearance = "light";
    config.customProviders = std::vector<CustomProviderConfig>{{.id = "jira",
                                                                .label = "Jira",
                                                                .command = "jira ls",
                                                                .description = "Tickets",
                                                                .scope = "j",
                                                                .badge = "J",
                                                                .emptyHint = "none",
                                                                .ttl = 5,
                                                                .mode = "live",
                                                                .debounce = 0}};
    config.providers = std::vector<std::string>{"git", "jira"};
    return config;
}

TEST(AppConfigCodingTest, EmptyObjectAndNullsReadAsDefaults) {
    EXPECT_EQ(AppConfig::parse("{}").value(), AppConfig{});
    EXPECT_EQ(AppConfig::parse(R"({"trigger": null, "settings": null, "app_snippets": null})").value(),
              AppConfig{});
    EXPECT_EQ(AppConfig::parse(R"({"trigger": ""})").value().trigger, "");

    const auto partial = AppConfig::parse(R"({"settings": {"scan_depth": 8}})").value();
    SettingsConfig expected;
    expected.scanDepth = 8;
    EXPECT_EQ(partial.settings, expected);
}

TEST(AppConfigCodingTest, WrongTypesAndMissingRequiredKeysMakeTheFileUnreadable) {
    for (const char* text :
         {R"({"snippets": [{"expand": "x"}]})", R"({"snippets": [{"key": 5, "expand": "x"}]})",
          R"({"settings": {"scan_depth": "8"}})", R"({"settings": {"case_sensitive": 1}})",
          R"({"settings": {"max_branch_age_days": 1.5}})", R"({"trigger": 3})",
          R"({"custom_providers": [{"id": "a", "label": "A"}]})", R"([])",
          R"({"app_snippets": [{"bundle_id": "x"}]})"}) {
        EXPECT_FALSE(AppConfig::parse(text).has_value()) << text;
    }
    const auto error = AppConfig::parse(R"({"snippets": [{"key": "a", "expand": "x"}, {"key": 5}]})").error();
    EXPECT_THAT(error, testing::HasSubstr("snippets[1].key"));
}

TEST(AppConfigCodingTest, KeysMapFromSnakeOrCamelCaseAndUnknownOnesAreDropped) {
    const auto config = AppConfig::parse(R"({"snippets": [{"key": "a"}], "unknown": 1,
        "appSnippets": [{"bundleId": "x", "APP_NAME": "X", "extra": true}]})")
                            .value();
    ASSERT_TRUE(config.appSnippets.has_value());
    EXPECT_EQ(config.appSnippets->front().bundleId, "x");
    EXPECT_EQ(config.appSnippets->front().appName, "X");
    // A snippet with neither expansion nor link is read; validation deals with it later.
    EXPECT_EQ(config.snippets.front(), ManualSnippet{.key = "a"});
    EXPECT_THAT(keysOf(config.encode()), ElementsAre("trigger", "snippets", "app_snippets", "settings"));
    EXPECT_THAT(keysOf(config.encode()["app_snippets"][0]), ElementsAre("bundle_id", "app_name", "snippets"));
}

TEST(AppConfigCodingTest, BadPopupPositionIsLoggedAndIgnored) {
    test::LogCapture log;
    const auto config = AppConfig::parse(R"({
        "trigger": "!!",
        "settings": {"popup_position": "middle", "scan_depth": 3},
        "app_snippets": [{"bundle_id": "kitty", "app_name": "Kitty", "popup_position": 5},
                         {"bundle_id": "foot", "app_name": "Foot", "popup_position": null},
                         {"bundle_id": "xterm", "app_name": "XTerm", "popup_position": "Top-Left"},
                         {"bundle_id": "wez", "app_name": "Wez", "popup_position": "top-left"}]})");
    ASSERT_TRUE(config.has_value()) << config.error();
    EXPECT_EQ(config->trigger, "!!");
    EXPECT_EQ(config->settings.popupPosition, std::nullopt);
    EXPECT_EQ(config->settings.scanDepth, 3);
    EXPECT_EQ(config->appSnippets->at(0).popupPosition, std::nullopt);
    EXPECT_EQ(config->appSnippets->at(3).popupPosition, PopupPosition::topLeft);
    // Members decode in field order: the application blocks come before the settings.
    EXPECT_THAT(log.lines(),
                ElementsAre("[Korvane] Invalid popup_position in app config for kitty, using default",
                            "[Korvane] Invalid popup_position in app config for xterm, using default",
                            "[Korvane] Invalid popup_position value, using default"));

    log.clear();
    EXPECT_FALSE(AppConfig::parse(R"({"snippets": [{"key": 1}], "settings": {"popup_position": "x"}})"));
    EXPECT_TRUE(log.lines().empty());
}

TEST(AppConfigCodingTest, WritesEveryMemberInFieldOrder) {
    const Json json = everyFieldSet().encode();
    EXPECT_THAT(keysOf(json), ElementsAre("trigger", "snippets", "app_snippets", "settings",
                                          "custom_providers", "providers"));
    EXPECT_THAT(keysOf(json["snippets"][0]), ElementsAre("key", "expand", "url", "label", "description"));
    EXPECT_THAT(keysOf(json["app_snippets"][0]),
                ElementsAre("bundle_id", "app_name", "snippets", "popup_position"));
    EXPECT_THAT(keysOf(json["settings"]),
                ElementsAre("case_sensitive", "scan_depth", "ignore_patterns", "max_branch_age_days",
                            "file_insertion_mode", "popup_position", "font_size", "font_color", "row_padding",
                            "row_height", "badge_palette", "popup_width", "detail_width", "material",
                            "appearance"));
    EXPECT_THAT(keysOf(json["custom_providers"][0]),
                ElementsAre("id", "label", "command", "description", "scope", "badge", "empty_hint", "ttl",
                            "mode", "debounce"));
    EXPECT_EQ(json["app_snippets"][0]["popup_position"], "bottom-center");
    EXPECT_EQ(json["settings"]["popup_position"], "auto");

    EXPECT_THAT(keysOf(AppConfig{}.encode()), ElementsAre("trigger", "snippets", "settings"));
    EXPECT_THAT(keysOf(AppConfig{}.encode()["settings"]),
                ElementsAre("case_sensitive", "scan_depth", "ignore_patterns", "max_branch_age_days"));
    AppConfig emptyBlocks;
    emptyBlocks.appSnippets = std::vector<AppSnippetConfig>{};
    EXPECT_EQ(emptyBlocks.encode()["app_snippets"], Json::array());
}

TEST(AppConfigCodingTest, ReadingWhatWasWrittenGivesTheSameRecord) {
    for (const AppConfig& config : {AppConfig{}, AppConfig::defaultFile(), everyFieldSet()}) {
        const auto text = prettyJson(config.encode()).value();
        const auto back = AppConfig::parse(text);
        ASSERT_TRUE(back.has_value()) << back.error();
        EXPECT_EQ(*back, config) << text;
    }
}

TEST(AppConfigCodingTest, MinimalCustomProviderGetsItsDefaultsWrittenBack) {
    const auto config =
        AppConfig::parse(R"({"custom_providers": [{"id": "a", "label": "A", "command": "ls"}]})").value();
    const CustomProviderConfig& provider = config.customProviders->front();
    EXPECT_EQ(provider.ttl, 30);
    EXPECT_EQ(provider.mode, "scan");
    EXPECT_EQ(provider.debounce, 150);
    EXPECT_THAT(keysOf(provider.encode()), ElementsAre("id", "label", "command", "ttl", "mode", "debounce"));
}

TEST(ProjectConfigCodingTest, OptionalMembersRoundTrip) {
    EXPECT_EQ(ProjectConfig::parse("{}").value(), ProjectConfig{});
    EXPECT_EQ(ProjectConfig{}.encode(), Json::object());

    ProjectConfig config;
    config.snippets = std::vector<ManualSnippet>{{.key = "p", .url = "https://example.org"}};
    config.settings = ProjectSettingsConfig{.caseSensitive = false, .maxBranchAgeDays = 3};
    config.customProviders = std::vector<CustomProviderConfig>{{.id = "a", .label = "A", .command = "ls"}};
    config.includePaths = std::vector<std::string>{"../shared"};
    config.providers = std::vector<std::string>{};
    const Json json = config.encode();
    EXPECT_THAT(keysOf(json),
                ElementsAre("snippets", "settings", "custom_providers", "include_paths", "providers"));
    EXPECT_THAT(keysOf(json["settings"]), ElementsAre("case_sensitive", "max_branch_age_days"));
    EXPECT_EQ(ProjectConfig::parse(prettyJson(json).value()).value(), config);
    EXPECT_FALSE(ProjectConfig::parse(R"({"settings": {"scan_depth": true}})").has_value());
}

TEST(AppConfigTest, DefaultFile) {
    const AppConfig config = AppConfig::defaultFile();
    EXPECT_EQ(config.trigger, ";;");
    ASSERT_EQ(config.snippets.size(), 3u);
    EXPECT_EQ(config.snippets[0], (ManualSnippet{.key = "sig", .expand = "Best regards,\nKorvane User"}));
    EXPECT_EQ(config.snippets[1].key, "email");
    EXPECT_EQ(config.snippets[2],
              (ManualSnippet{.key = "signoff", .expand = "{{sig}}\n{{email}}\n{{date}}"}));
    EXPECT_EQ(config.settings, SettingsConfig::defaults());
    EXPECT_THAT(*config.providers,
                ElementsAre("recent", "files", "app", "manual", "skills", "git", "docs", "scripts"));
    EXPECT_THAT(keysOf(config.encode()), ElementsAre("trigger", "snippets", "settings", "providers"));
}

TEST(BuiltInSnippetsTest, AreTheFiveValidSnippetsByteForByte) {
    const auto& snippets = builtInSnippets();
    std::vector<std::string> keys;
    for (const auto& snippet : snippets) {
        keys.push_back(snippet.key);
        EXPECT_EQ(snippet.validationError(), std::nullopt) << snippet.key;
        EXPECT_FALSE(snippet.url.has_value());
        EXPECT_FALSE(snippet.label.has_value());
    }
    EXPECT_THAT(keys, ElementsAre("date", "now", "uuid", "paste", "shrug"));
    EXPECT_EQ(snippets[0].expand, "{{date:yyyy-MM-dd}}");
    EXPECT_EQ(snippets[1].expand, "{{date:yyyy-MM-dd HH:mm}}");
    EXPECT_EQ(snippets[0].description, "Today's date (ISO format)");
    EXPECT_EQ(snippets[3].description, "Inserts current clipboard text");

    const std::string& shrug = *snippets[4].expand;
    const std::vector<unsigned char> bytes(shrug.begin(), shrug.end());
    EXPECT_THAT(bytes,
                ElementsAre(0xC2, 0xAF, 0x5C, 0x5F, 0x28, 0xE3, 0x83, 0x84, 0x29, 0x5F, 0x2F, 0xC2, 0xAF));
}

} // namespace
} // namespace korvane
