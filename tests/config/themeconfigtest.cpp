#include "config/themeconfig.h"

#include "support/logcapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

const Color kLightGrey{0.1, 0.1, 0.1, 1.0};

TEST(ThemeConfigTest, DefaultsWithoutSettings) {
    test::LogCapture log;
    const auto theme = ThemeConfig::fromSettings(SettingsConfig{}, false);
    EXPECT_EQ(theme.fontSize, 16);
    EXPECT_EQ(theme.fontColor, Color::white());
    EXPECT_EQ(theme.rowPadding, 7);
    EXPECT_EQ(theme.rowHeight, 32);
    EXPECT_EQ(theme.badgePalette, BadgePalette::minimal);
    EXPECT_EQ(theme.popupWidth, std::nullopt);
    EXPECT_EQ(theme.detailWidth, 270);
    EXPECT_EQ(theme.material, PopupMaterial::solid);
    EXPECT_EQ(theme.appearance, PopupAppearance::dark);
    EXPECT_EQ(ThemeConfig::fromSettings(SettingsConfig{}, true).material, PopupMaterial::glass);
    EXPECT_THAT(log.lines(), IsEmpty());
}

struct LimitCase {
    const char* name;
    std::optional<double> SettingsConfig::*setting;
    double (*resolved)(const ThemeConfig&);
    double configured;
    double expected;
};

double rowHeight(const ThemeConfig& theme) {
    return theme.rowHeight;
}
double rowPadding(const ThemeConfig& theme) {
    return theme.rowPadding;
}
double detailWidth(const ThemeConfig& theme) {
    return theme.detailWidth;
}
double popupWidth(const ThemeConfig& theme) {
    return theme.popupWidth.value_or(-1);
}
double fontSize(const ThemeConfig& theme) {
    return theme.fontSize;
}

class ThemeLimitTest : public testing::TestWithParam<LimitCase> {};

TEST_P(ThemeLimitTest, ClampsTheConfiguredValue) {
    SettingsConfig settings;
    settings.*GetParam().setting = GetParam().configured;
    EXPECT_EQ(GetParam().resolved(ThemeConfig::fromSettings(settings, false)), GetParam().expected);
}

using S = SettingsConfig;

INSTANTIATE_TEST_SUITE_P(
    Cases, ThemeLimitTest,
    testing::Values(LimitCase{"RowHeightAbove", &S::rowHeight, rowHeight, 50, 40},
                    LimitCase{"RowHeightBelow", &S::rowHeight, rowHeight, 10, 24},
                    LimitCase{"RowHeightInside", &S::rowHeight, rowHeight, 30.5, 30.5},
                    LimitCase{"RowPaddingNegative", &S::rowPadding, rowPadding, -3, 0},
                    LimitCase{"RowPaddingAbove", &S::rowPadding, rowPadding, 21, 20},
                    LimitCase{"DetailWidthAbove", &S::detailWidth, detailWidth, 1000, 400},
                    LimitCase{"DetailWidthAtLowerBound", &S::detailWidth, detailWidth, 180, 180},
                    LimitCase{"PopupWidthBelow", &S::popupWidth, popupWidth, 100, 300},
                    LimitCase{"PopupWidthAbove", &S::popupWidth, popupWidth, 601, 600},
                    LimitCase{"FontSizeUnlimited", &S::fontSize, fontSize, 40, 40}),
    [](const testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.name); });

TEST(ThemeConfigTest, UnknownTextsAreLoggedAndFallBack) {
    test::LogCapture log;
    SettingsConfig settings;
    settings.material = "Glass";
    settings.appearance = "dim";
    settings.badgePalette = "Pastel";

    const auto theme = ThemeConfig::fromSettings(settings, true);

    EXPECT_EQ(theme.material, PopupMaterial::glass);
    EXPECT_EQ(theme.appearance, PopupAppearance::dark);
    EXPECT_EQ(theme.badgePalette, BadgePalette::pastel);
    EXPECT_THAT(log.lines(), ElementsAre("[Korvane] Invalid material 'Glass', using default",
                                         "[Korvane] Invalid appearance 'dim', using default",
                                         "[Korvane] Invalid badge_palette 'Pastel', using pastel"));
    EXPECT_EQ(ThemeConfig::fromSettings(settings, false).material, PopupMaterial::solid);
}

TEST(ThemeConfigTest, FontColourFallsBackToTheAppearanceDefaultSilently) {
    test::LogCapture log;
    SettingsConfig settings;
    settings.appearance = "light";
    EXPECT_EQ(ThemeConfig::fromSettings(settings, false).fontColor, kLightGrey);

    settings.fontColor = "#12345";
    EXPECT_EQ(ThemeConfig::fromSettings(settings, false).fontColor, kLightGrey);
    settings.appearance.reset();
    EXPECT_EQ(ThemeConfig::fromSettings(settings, false).fontColor, Color::white());

    settings.fontColor = "#ff0000";
    EXPECT_EQ(ThemeConfig::fromSettings(settings, false).fontColor, (Color{1, 0, 0, 1}));
    EXPECT_THAT(log.lines(), IsEmpty());
}

struct HexCase {
    const char* text;
    std::optional<Color> expected;
};

class ColorFromHexTest : public testing::TestWithParam<HexCase> {};

TEST_P(ColorFromHexTest, Parses) {
    EXPECT_EQ(ThemeConfig::colorFromHex(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ColorFromHexTest,
                         testing::Values(HexCase{"FF8000", Color{1.0, 128.0 / 255, 0, 1}},
                                         HexCase{"#00ff7f", Color{0, 1.0, 127.0 / 255, 1}},
                                         HexCase{" \t#000000\n", Color{0, 0, 0, 1}},
                                         HexCase{"##ab#cdef",
                                                 Color{171.0 / 255, 205.0 / 255, 239.0 / 255, 1}},
                                         HexCase{"#12345", std::nullopt}, HexCase{"1234567", std::nullopt},
                                         HexCase{"12 456", std::nullopt}, HexCase{"0x1234", std::nullopt},
                                         HexCase{"gg0000", std::nullopt}, HexCase{"", std::nullopt}));

} // namespace
} // namespace korvane
