#include "base/jsonwriter.h"
#include "config/appconfig.h"
#include "config/projectconfig.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

// Every field set, nested records included; below, every optional container set but empty. The
// default-constructed records leave every optional field out.
AppConfig everyAppFieldSet() {
    AppConfig config;
    config.trigger = "//\u00e9\"\\\t";
    config.snippets = {
        {.key = "k", .expand = "line\nnext \U0001F600", .url = "u", .label = "l", .description = "d"},
        {.key = "only-key"}};
    config.appSnippets = std::vector<AppSnippetConfig>{{.bundleId = "org.gnome.Terminal",
                                                        .appName = "Terminal",
                                                        .snippets = {{.key = "ls", .expand = "ls -la"}},
                                                        .popupPosition = PopupPosition::bottomCenter},
                                                       {.bundleId = "kitty", .appName = "Kitty"}};
    SettingsConfig& s = config.settings;
    s.caseSensitive = true;
    s.scanDepth = 9007199254740993;
    s.ignorePatterns = {"target", ""};
    s.maxBranchAgeDays = -7;
    s.fileInsertionMode = "filenameOnly";
    s.popupPosition = PopupPosition::automatic;
    s.fontSize = 13.5;
    s.fontColor = "#aabbcc";
    s.rowPadding = 0.1;
    s.rowHeight = 28;
    s.badgePalette = "minimal";
    s.popupWidth = 1e300;
    s.detailWidth = -0.0;
    s.material = "solid";
    s.appearance = "light";
    config.customProviders =
        std::vector<CustomProviderConfig>{{.id = "jira",
                                           .label = "Jira",
                                           .command = "jira ls",
                                           .description = "Tickets",
                                           .scope = "j",
                                           .badge = "J",
                                           .emptyHint = "none",
                                           .ttl = 5,
                                           .mode = "live",
                                           .debounce = 0},
                                          {.id = "min", .label = "Min", .command = "true"}};
    config.providers = std::vector<std::string>{"git", "jira"};
    return config;
}

AppConfig emptyAppContainers() {
    AppConfig config;
    config.trigger = "";
    config.appSnippets = std::vector<AppSnippetConfig>{};
    config.settings.ignorePatterns = {};
    config.customProviders = std::vector<CustomProviderConfig>{};
    config.providers = std::vector<std::string>{};
    return config;
}

ProjectConfig everyProjectFieldSet() {
    ProjectConfig config;
    config.snippets = std::vector<ManualSnippet>{{.key = "p", .url = "https://example.org"}};
    config.settings = ProjectSettingsConfig{.caseSensitive = false,
                                            .scanDepth = 2,
                                            .ignorePatterns = std::vector<std::string>{"out"},
                                            .maxBranchAgeDays = 3};
    config.customProviders = std::vector<CustomProviderConfig>{{.id = "a", .label = "A", .command = "ls"}};
    config.includePaths = std::vector<std::string>{"../shared"};
    config.providers = std::vector<std::string>{"files"};
    return config;
}

ProjectConfig emptyProjectContainers() {
    ProjectConfig config;
    config.snippets = std::vector<ManualSnippet>{};
    config.settings = ProjectSettingsConfig{};
    config.customProviders = std::vector<CustomProviderConfig>{};
    config.includePaths = std::vector<std::string>{};
    config.providers = std::vector<std::string>{};
    return config;
}

// The bytes every record is written as, pinned so that a change to how records are described
// cannot change the files users already have. A whole number is written as one (28, not 28.0).
TEST(ConfigBytesTest, EveryRecordIsWrittenAsBefore) {
    struct Case {
        const char* name;
        std::string written;
        const char* expected;
    };
    const auto text = [](const auto& record) { return prettyJson(record.encode()).value(); };
    const Case cases[] = {
        {"every app field set", text(everyAppFieldSet()), R"json({
  "trigger": "//é\"\\\t",
  "snippets": [
    {
      "key": "k",
      "expand": "line\nnext 😀",
      "url": "u",
      "label": "l",
      "description": "d"
    },
    {
      "key": "only-key"
    }
  ],
  "app_snippets": [
    {
      "bundle_id": "org.gnome.Terminal",
      "app_name": "Terminal",
      "snippets": [
        {
          "key": "ls",
          "expand": "ls -la"
        }
      ],
      "popup_position": "bottom-center"
    },
    {
      "bundle_id": "kitty",
      "app_name": "Kitty",
      "snippets": []
    }
  ],
  "settings": {
    "case_sensitive": true,
    "scan_depth": 9007199254740993,
    "ignore_patterns": [
      "target",
      ""
    ],
    "max_branch_age_days": -7,
    "file_insertion_mode": "filenameOnly",
    "popup_position": "auto",
    "font_size": 13.5,
    "font_color": "#aabbcc",
    "row_padding": 0.1,
    "row_height": 28,
    "badge_palette": "minimal",
    "popup_width": 1e+300,
    "detail_width": 0,
    "material": "solid",
    "appearance": "light"
  },
  "custom_providers": [
    {
      "id": "jira",
      "label": "Jira",
      "command": "jira ls",
      "description": "Tickets",
      "scope": "j",
      "badge": "J",
      "empty_hint": "none",
      "ttl": 5,
      "mode": "live",
      "debounce": 0
    },
    {
      "id": "min",
      "label": "Min",
      "command": "true",
      "ttl": 30,
      "mode": "scan",
      "debounce": 150
    }
  ],
  "providers": [
    "git",
    "jira"
  ]
}
)json"},
        {"empty app containers", text(emptyAppContainers()), R"json({
  "trigger": "",
  "snippets": [],
  "app_snippets": [],
  "settings": {
    "case_sensitive": false,
    "scan_depth": 5,
    "ignore_patterns": [],
    "max_branch_age_days": 90
  },
  "custom_providers": [],
  "providers": []
}
)json"},
        {"default app config", text(AppConfig{}), R"json({
  "trigger": ";;",
  "snippets": [],
  "settings": {
    "case_sensitive": false,
    "scan_depth": 5,
    "ignore_patterns": [
      "node_modules",
      ".git",
      "dist",
      "build"
    ],
    "max_branch_age_days": 90
  }
}
)json"},
        {"default file", text(AppConfig::defaultFile()), R"json({
  "trigger": ";;",
  "snippets": [
    {
      "key": "sig",
      "expand": "Best regards,\nKorvane User"
    },
    {
      "key": "email",
      "expand": "you@example.com"
    },
    {
      "key": "signoff",
      "expand": "{{sig}}\n{{email}}\n{{date}}"
    }
  ],
  "settings": {
    "case_sensitive": false,
    "scan_depth": 5,
    "ignore_patterns": [
      "node_modules",
      ".git",
      "dist",
      "build"
    ],
    "max_branch_age_days": 90
  },
  "providers": [
    "recent",
    "files",
    "app",
    "manual",
    "skills",
    "git",
    "docs",
    "scripts"
  ]
}
)json"},
        {"every project field set", text(everyProjectFieldSet()), R"json({
  "snippets": [
    {
      "key": "p",
      "url": "https://example.org"
    }
  ],
  "settings": {
    "case_sensitive": false,
    "scan_depth": 2,
    "ignore_patterns": [
      "out"
    ],
    "max_branch_age_days": 3
  },
  "custom_providers": [
    {
      "id": "a",
      "label": "A",
      "command": "ls",
      "ttl": 30,
      "mode": "scan",
      "debounce": 150
    }
  ],
  "include_paths": [
    "../shared"
  ],
  "providers": [
    "files"
  ]
}
)json"},
        {"empty project containers", text(emptyProjectContainers()), R"json({
  "snippets": [],
  "settings": {},
  "custom_providers": [],
  "include_paths": [],
  "providers": []
}
)json"},
        {"empty project config", text(ProjectConfig{}), R"json({}
)json"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.written, c.expected) << c.name;
    }
}

TEST(ConfigBytesTest, WrittenFilesReadBackToTheSameRecords) {
    for (const AppConfig& config : {everyAppFieldSet(), emptyAppContainers()}) {
        EXPECT_EQ(AppConfig::parse(prettyJson(config.encode()).value()).value(), config);
    }
    for (const ProjectConfig& config : {everyProjectFieldSet(), emptyProjectContainers()}) {
        EXPECT_EQ(ProjectConfig::parse(prettyJson(config.encode()).value()).value(), config);
    }
}

} // namespace
} // namespace korvane
