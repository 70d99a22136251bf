#include "config/themeconfig.h"
#include "popup/badgecolors.h"
#include "popup/legiblebadgecolors.h"
#include "popup/namedcolors.h"
#include "popup/popupsurfacestyle.h"
#include "popup/popuptheme.h"
#include "popup/resolvedsurface.h"
#include "support/logcapture.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace korvane {
namespace {

constexpr Color darkDefaultFont = Color::white();
constexpr Color lightDefaultFont{0.1, 0.1, 0.1, 1};
constexpr Color dodgerBlue{30 / 255.0, 144 / 255.0, 1.0, 1};

TEST(ThemeTest, ColorFromHexAcceptsOnlySixHexDigits) {
    const struct {
        const char* text;
        std::optional<Color> color;
    } cases[] = {
        {" #1E90FF ", dodgerBlue}, {"\n1e90ff\t", dodgerBlue},     {"##1E90FF", dodgerBlue},
        {"1E#90FF", dodgerBlue},   {"fff", std::nullopt},          {"#1E90FF00", std::nullopt},
        {"GGGGGG", std::nullopt},  {"0x1E90", std::nullopt},       {"+1E90F", std::nullopt},
        {"-1E90F", std::nullopt},  {"1E 90F", std::nullopt},       {"", std::nullopt},
        {"#", std::nullopt},       {"1E90\xC3\xA9", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ThemeConfig::colorFromHex(c.text), c.color) << c.text;
    }
}

// Every field of a theme built from the configured settings, as the popup draws it.
TEST(ThemeTest, ResolvesEveryFieldFromSettingsWithDefaultsAndLimits) {
    test::LogCapture log;
    struct Case {
        const char* name;
        SettingsConfig settings;
        double fontSize;
        double drawingFontSize;
        Color fontColor;
        double rowPadding;
        double rowHeight;
        BadgePalette palette;
        double listWidth;
        double detailWidth;
        PopupMaterial material;
        PopupAppearance appearance;
    };
    auto with = [](auto edit) {
        SettingsConfig settings;
        edit(settings);
        return settings;
    };
    const Case cases[] = {
        {"defaults", SettingsConfig{}, 16, 16, darkDefaultFont, 7, 32, BadgePalette::minimal, 380, 270,
         PopupMaterial::solid, PopupAppearance::dark},
        {"low limits", with([](SettingsConfig& s) {
             s.rowPadding = -5;
             s.rowHeight = 1;
             s.popupWidth = 10;
             s.detailWidth = 0;
             s.fontSize = 0;
         }),
         0, 16, darkDefaultFont, 0, 24, BadgePalette::minimal, 300, 180, PopupMaterial::solid,
         PopupAppearance::dark},
        {"high limits", with([](SettingsConfig& s) {
             s.rowPadding = 99;
             s.rowHeight = 1e9;
             s.popupWidth = 1e300;
             s.detailWidth = std::numeric_limits<double>::infinity();
             s.fontSize = 1e300;
         }),
         1e300, 72, darkDefaultFont, 20, 40, BadgePalette::minimal, 600, 400, PopupMaterial::solid,
         PopupAppearance::dark},
        {"bad hex on light", with([](SettingsConfig& s) {
             s.fontColor = "#12345G";
             s.appearance = "light";
             s.fontSize = -3;
         }),
         -3, 16, lightDefaultFont, 7, 32, BadgePalette::minimal, 380, 270, PopupMaterial::solid,
         PopupAppearance::light},
        {"bad hex on dark", with([](SettingsConfig& s) {
             s.fontColor = "0x1E90";
             s.fontSize = 3;
         }),
         3, 6, darkDefaultFont, 7, 32, BadgePalette::minimal, 380, 270, PopupMaterial::solid,
         PopupAppearance::dark},
        {"unknown choices", with([](SettingsConfig& s) {
             s.material = "Glass";
             s.appearance = "dim";
             s.fontColor = " #1E90FF ";
             s.badgePalette = "saturated";
             s.popupWidth = 420;
         }),
         16, 16, dodgerBlue, 7, 32, BadgePalette::saturated, 420, 270, PopupMaterial::solid,
         PopupAppearance::dark},
    };
    for (const auto& c : cases) {
        const ThemeConfig theme = ThemeConfig::fromSettings(c.settings, false);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(theme.fontSize, c.fontSize);
        EXPECT_EQ(PopupTheme::drawingFontSize(theme.fontSize), c.drawingFontSize);
        EXPECT_EQ(theme.fontColor, c.fontColor);
        EXPECT_EQ(theme.rowPadding, c.rowPadding);
        EXPECT_EQ(theme.rowHeight, c.rowHeight);
        EXPECT_EQ(theme.badgePalette, c.palette);
        EXPECT_EQ(PopupTheme::listWidth(theme), c.listWidth);
        EXPECT_EQ(theme.detailWidth, c.detailWidth);
        EXPECT_EQ(theme.material, c.material);
        EXPECT_EQ(theme.appearance, c.appearance);
        EXPECT_EQ(PopupSurfaceStyle::resolve(theme, false, false).surface.textPrimary, c.fontColor);
    }
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"[Korvane] Invalid material 'Glass', using default",
                                                     "[Korvane] Invalid appearance 'dim', using default"}));
}

TEST(ThemeTest, DrawsWithASaneFontSizeWhateverIsConfigured) {
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double configured;
        double drawn;
    } cases[] = {{16, 16}, {13.5, 13.5}, {1e300, 72}, {inf, 16}, {-inf, 16}, {nan, 16},
                 {0, 16},  {-4, 16},     {0.5, 6},    {72, 72},  {6, 6}};
    for (const auto& c : cases) {
        const double drawn = PopupTheme::drawingFontSize(c.configured);
        EXPECT_EQ(drawn, c.drawn) << c.configured;
        EXPECT_TRUE(std::isfinite(drawn) && drawn > 0);
    }
}

TEST(ThemeTest, DefaultThemeIsSolidAndDarkWithWhiteText) {
    const ThemeConfig& theme = PopupTheme::defaultTheme();
    EXPECT_EQ(theme.material, PopupMaterial::solid);
    EXPECT_EQ(theme.appearance, PopupAppearance::dark);
    EXPECT_EQ(theme.fontColor, Color::white());
    EXPECT_EQ(theme.badgePalette, BadgePalette::minimal);
    EXPECT_FALSE(theme.popupWidth.has_value());
    ThemeConfig widened = theme;
    widened.popupWidth = 380;
    EXPECT_NE(widened, theme);
}

const SnippetSource allSources[] = {
    SnippetSource::manual(),    SnippetSource::claudeSkill(), SnippetSource::aiDoc(),
    SnippetSource::envVar(),    SnippetSource::gitRef(),      SnippetSource::gitRemote(),
    SnippetSource::npmScript(), SnippetSource::makeTarget(),  SnippetSource::filePath(),
    SnippetSource::custom("x"),
};

TEST(ThemeTest, BadgeColoursFollowPaletteAndSurface) {
    for (const auto& source : allSources) {
        for (bool glass : {false, true}) {
            const Color base = badgeBaseColor(source);
            const Color vivid = saturatedBadgeColor(source);
            const BadgeColors minimal = badgeColors(BadgePalette::minimal, source, glass);
            EXPECT_FALSE(minimal.hasBackground);
            EXPECT_EQ(minimal.background.opacity, 0);
            EXPECT_EQ(minimal.text, withOpacity(base, glass ? 0.85 : 0.9));

            const BadgeColors pastel = badgeColors(BadgePalette::pastel, source, glass);
            EXPECT_TRUE(pastel.hasBackground);
            EXPECT_EQ(pastel.background, withOpacity(base, glass ? 0.12 : 0.15));
            EXPECT_EQ(pastel.text, withOpacity(base, glass ? 0.9 : 0.85));

            const BadgeColors saturated = badgeColors(BadgePalette::saturated, source, glass);
            EXPECT_TRUE(saturated.hasBackground);
            EXPECT_EQ(saturated.background, withOpacity(vivid, glass ? 0.7 : 0.5));
            EXPECT_EQ(saturated.text, (Color{1, 1, 1, 0.9}));
        }
    }
}

// WCAG 2's contrast of two opaque sRGB colours, written out plainly.
double wcagContrast(Color a, Color b) {
    const auto luminance = [](Color c) {
        const auto linear = [](double v) {
            return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.red) + 0.7152 * linear(c.green) + 0.0722 * linear(c.blue);
    };
    const double la = luminance(a) + 0.05;
    const double lb = luminance(b) + 0.05;
    return std::max(la, lb) / std::min(la, lb);
}

Color over(Color top, Color bottom) {
    const double a = top.opacity;
    return {top.red * a + bottom.red * (1 - a), top.green * a + bottom.green * (1 - a),
            top.blue * a + bottom.blue * (1 - a), 1};
}

// The hue in degrees, or none for a grey.
std::optional<double> hue(Color c) {
    const double high = std::max({c.red, c.green, c.blue});
    const double low = std::min({c.red, c.green, c.blue});
    if (high - low < 1e-9) {
        return std::nullopt;
    }
    const double d = high - low;
    double h = high == c.red     ? std::fmod((c.green - c.blue) / d, 6.0)
               : high == c.green ? (c.blue - c.red) / d + 2
                                 : (c.red - c.green) / d + 4;
    h *= 60;
    return h < 0 ? h + 360 : h;
}

// Every badge of every palette reads at 3:1 or more against what lies behind its text, on a selected
// and an unselected row, light and dark, over a black and a white desktop; hues are kept, and a badge
// that read already keeps its colours.
TEST(ThemeTest, EveryBadgeReadsOnEveryRow) {
    for (const auto palette : {BadgePalette::pastel, BadgePalette::saturated, BadgePalette::minimal}) {
        for (const auto appearance : {PopupAppearance::dark, PopupAppearance::light}) {
            ThemeConfig theme;
            theme.appearance = appearance;
            theme.fontColor = appearance == PopupAppearance::dark ? darkDefaultFont : lightDefaultFont;
            const PopupSurfaceStyle surface = PopupSurfaceStyle::solid(theme);
            for (const auto& source : allSources) {
                for (bool selected : {false, true}) {
                    const BadgeColors nominal = badgeColors(palette, source, false);
                    const BadgeColors shown = legibleBadgeColors(palette, source, surface, selected);
                    bool nominalReads = true;
                    for (const Color desktop : {Color{0, 0, 0, 1}, Color::white()}) {
                        Color row = over(surface.background, desktop);
                        if (selected) {
                            row = over(surface.selection, row);
                        }
                        const auto contrast = [&](const BadgeColors& colors) {
                            const Color behind = colors.hasBackground ? over(colors.background, row) : row;
                            return wcagContrast(over(colors.text, behind), behind);
                        };
                        nominalReads = nominalReads && contrast(nominal) >= 3;
                        EXPECT_GE(contrast(shown), 3 - 1e-9)
                            << toString(palette) << " " << source.badgeLabel() << " "
                            << (appearance == PopupAppearance::dark ? "dark" : "light")
                            << (selected ? " selected" : "")
                            << (desktop.red > 0 ? " over white" : " over black");
                    }
                    for (const auto& [was, is] : {std::pair{nominal.text, shown.text},
                                                  std::pair{nominal.background, shown.background}}) {
                        if (hue(was)) {
                            EXPECT_NEAR(*hue(is), *hue(was), 0.5) << source.badgeLabel();
                        }
                        EXPECT_EQ(is.opacity, was.opacity);
                    }
                    if (nominalReads) {
                        EXPECT_EQ(shown, nominal) << "changed though it read: " << source.badgeLabel();
                    }
                }
            }
        }
    }
}

TEST(ThemeTest, SoftAndVividColoursDifferOnlyForGitAndMake) {
    const Color gitSoft{0.9, 0.35, 0.35, 1};
    EXPECT_EQ(badgeBaseColor(SnippetSource::gitRef()), gitSoft);
    EXPECT_EQ(badgeBaseColor(SnippetSource::gitRemote()), gitSoft);
    EXPECT_EQ(saturatedBadgeColor(SnippetSource::gitRef()), namedColor(NamedColor::red));
    EXPECT_EQ(badgeBaseColor(SnippetSource::makeTarget()), namedColor(NamedColor::orange));
    EXPECT_EQ(saturatedBadgeColor(SnippetSource::makeTarget()), namedColor(NamedColor::yellow));
    EXPECT_EQ(badgeBaseColor(SnippetSource::custom("a")), badgeBaseColor(SnippetSource::custom("b")));
    for (const auto& source : allSources) {
        const bool differs = source.kind() == SnippetSource::Kind::gitRef ||
                             source.kind() == SnippetSource::Kind::gitRemote ||
                             source.kind() == SnippetSource::Kind::makeTarget;
        EXPECT_EQ(badgeBaseColor(source) != saturatedBadgeColor(source), differs) << source.badgeLabel();
        EXPECT_EQ(badgeBaseColor(source).opacity, 1);
    }
}

TEST(SurfaceTest, ResolvesGlassOnlyWhenAskedSupportedAndOpaqueNotRequested) {
    ThemeConfig glassTheme;
    glassTheme.material = PopupMaterial::glass;
    ThemeConfig solidTheme;
    solidTheme.material = PopupMaterial::solid;
    const struct {
        const ThemeConfig* theme;
        bool supported;
        bool reduce;
        bool glass;
        std::optional<std::string> reason;
    } cases[] = {
        {&glassTheme, true, false, true, std::nullopt},
        {&glassTheme, true, true, false, "Disabled by Reduce Transparency"},
        {&glassTheme, false, false, false, "Requires macOS 26"},
        {&glassTheme, false, true, false, "Requires macOS 26"},
        {&solidTheme, true, false, false, std::nullopt},
        {&solidTheme, false, true, false, std::nullopt},
    };
    for (const auto& c : cases) {
        const ResolvedSurface resolved = PopupSurfaceStyle::resolve(*c.theme, c.supported, c.reduce);
        EXPECT_EQ(resolved.isEffectiveGlass, c.glass);
        EXPECT_EQ(resolved.surface.isGlass, resolved.isEffectiveGlass);
        EXPECT_EQ(resolved.glassUnavailableReason, c.reason);
        EXPECT_EQ(ResolvedSurface::unavailableReason(*c.theme, c.supported, c.reduce), c.reason);
        EXPECT_EQ(resolved.surface,
                  c.glass ? PopupSurfaceStyle::glass() : PopupSurfaceStyle::solid(*c.theme));
    }
}

TEST(SurfaceTest, SolidSurfaceUsesTheFontColourAsConfigured) {
    ThemeConfig theme;
    theme.appearance = PopupAppearance::light;
    theme.fontColor = Color::white();
    const PopupSurfaceStyle solid = PopupSurfaceStyle::solid(theme);
    EXPECT_EQ(solid.background, (Color{0.97, 0.97, 0.97, 0.97}));
    EXPECT_EQ(solid.textPrimary, Color::white());
    EXPECT_EQ(solid.textSecondary, (Color{1, 1, 1, 0.6}));
    EXPECT_EQ(solid.textTertiary, (Color{1, 1, 1, 0.4}));
    EXPECT_EQ(solid.textQuaternary, (Color{1, 1, 1, 0.25}));
    EXPECT_EQ(solid.statusContext, (Color{1, 1, 1, 0.4}));
    EXPECT_EQ(solid.statusHints, (Color{1, 1, 1, 0.45}));
    EXPECT_EQ(solid.statusBackground.opacity, 0);
    EXPECT_EQ(solid.selection, (Color{1, 1, 1, 0.12}));
    EXPECT_EQ(solid.border, (Color{1, 1, 1, 0.08}));

    theme.appearance = PopupAppearance::dark;
    EXPECT_EQ(PopupSurfaceStyle::solid(theme).background, (Color{0.16, 0.16, 0.16, 0.95}));

    const PopupSurfaceStyle& glass = PopupSurfaceStyle::glass();
    EXPECT_EQ(glass.background.opacity, 0);
    EXPECT_EQ(glass.selection, withOpacity(glass.textPrimary, 0.12));
    EXPECT_EQ(glass.border, withOpacity(glass.textPrimary, 0.08));
    EXPECT_EQ(glass.statusBackground, withOpacity(glass.textPrimary, 0.05));
}

} // namespace
} // namespace korvane
