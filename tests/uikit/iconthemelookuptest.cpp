#include "uikit/iconthemelookup.h"

#include "kittestsupport.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"

#include <QIcon>
#include <QStandardPaths>
#include <fstream>
#include <gtest/gtest.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;

std::string indexTheme(const std::string& inherits, const std::string& folder = "48x48/apps") {
    return "[Icon Theme]\nName=Any\nInherits=" + inherits + "\nDirectories=" + folder + "\n\n[" + folder +
           "]\nSize=" + folder.substr(0, 2) + "\n";
}

// Qt's icon settings for as long as it lives, as a desktop whose data folders ($XDG_DATA_DIRS) are
// `dataDirs` would give them, with `theme` as the current theme.
class DesktopIcons {
public:
    DesktopIcons(const std::string& dataDirs, const std::string& theme)
        : dataDirs_("XDG_DATA_DIRS", dataDirs.c_str())
        , dataHome_("XDG_DATA_HOME", "/nonexistent")
        , oldTheme_(QIcon::themeName())
        , oldPaths_(QIcon::themeSearchPaths()) {
        // The "icons" folders of the data folders, as the desktop's platform theme gives them to Qt
        // (the tests' offscreen platform gives none).
        QStringList paths;
        for (const QString& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
            paths.append(data + QStringLiteral("/icons"));
        }
        QIcon::setThemeSearchPaths(paths);
        QIcon::setThemeName(QString::fromStdString(theme));
    }
    ~DesktopIcons() {
        QIcon::setThemeName(oldTheme_);
        QIcon::setThemeSearchPaths(oldPaths_);
    }

private:
    test::ScopedEnv dataDirs_;
    test::ScopedEnv dataHome_;
    QString oldTheme_;
    QStringList oldPaths_;
};

// Most themes draw a few icons and inherit the rest: an application icon that only an inherited theme
// has is found there, before hicolor, however the themes name each other (in loops, themselves, a
// path, ever deeper).
TEST(IconThemeLookupTest, FollowsInheritedThemesEachOnceWithHicolorLast) {
    test::ensureKitApplication();
    test::TempDir data;
    const fs::path user = data.path() / "user/icons";
    const fs::path system = data.path() / "system/icons";
    data.write("user/icons/child/index.theme", indexTheme("middle, ../escape, child,deep0"));
    data.write("system/icons/middle/index.theme", indexTheme("parent"));
    data.write("system/icons/parent/index.theme", indexTheme("child,hicolor, sibling", "32x32/apps"));
    data.write("system/icons/sibling/index.theme", indexTheme(""));
    data.write("system/icons/hicolor/index.theme", indexTheme(""));
    data.write("user/escape/index.theme", indexTheme(""));
    data.write("user/escape/48x48/apps/escaped.png", "png");
    for (int deep = 0; deep < 12; ++deep) {
        data.write("system/icons/deep" + std::to_string(deep) + "/index.theme",
                   indexTheme("deep" + std::to_string(deep + 1)));
    }
    data.write("system/icons/deep2/48x48/apps/near.png", "png");
    data.write("system/icons/deep11/48x48/apps/far.png", "png");
    for (const char* theme : {"parent/32x32", "hicolor/48x48"}) {
        data.write("system/icons/" + std::string(theme) + "/apps/shared.png", "png");
    }
    for (const char* theme : {"sibling", "hicolor"}) {
        data.write("system/icons/" + std::string(theme) + "/48x48/apps/later.png", "png");
    }
    data.write("system/icons/parent/32x32/apps/from-parent.png", "png");
    data.write("system/icons/hicolor/48x48/apps/only-hicolor.png", "png");
    // A folder of the theme in another data folder than its index.
    data.write("user/icons/parent/32x32/apps/user-installed.png", "png");

    const DesktopIcons desktop(user.parent_path().string() + ":" + system.parent_path().string(), "child");
    const IconThemeLookup lookup = IconThemeLookup::fromQt();
    const std::vector<std::pair<std::string, std::optional<fs::path>>> rows = {
        {"from-parent", system / "parent/32x32/apps/from-parent.png"},
        {"shared", system / "parent/32x32/apps/shared.png"},
        {"later", system / "sibling/48x48/apps/later.png"},
        {"only-hicolor", system / "hicolor/48x48/apps/only-hicolor.png"},
        {"user-installed", user / "parent/32x32/apps/user-installed.png"},
        {"near", system / "deep2/48x48/apps/near.png"},
        {"far", std::nullopt},
        {"escaped", std::nullopt},
    };
    for (const auto& [name, expected] : rows) {
        EXPECT_EQ(lookup.find(name, 32), expected) << name;
    }
}

// Each index is read once; a changed file (its time, size or inode) is read again.
TEST(IconThemeLookupTest, ReadsAnIndexAgainOnlyWhenItChanged) {
    test::TempDir data;
    const fs::path index = data.write("icons/t/index.theme", indexTheme("", "48x48/apps"));
    data.write("icons/t/48x48/apps/a.png", "png");
    data.write("icons/t/64x64/apps/a.png", "png");
    const IconThemeLookup lookup({data.path() / "icons"}, {"t"}, {}, {"png"});
    ASSERT_EQ(lookup.find("a", 32), data.path() / "icons/t/48x48/apps/a.png");

    // Rewritten in place to the same length, with its time put back: nothing shows it changed.
    const auto written = fs::last_write_time(index);
    std::ofstream(index, std::ios::trunc) << indexTheme("", "64x64/apps");
    fs::last_write_time(index, written);
    EXPECT_EQ(lookup.find("a", 32), data.path() / "icons/t/48x48/apps/a.png") << "read again";

    fs::last_write_time(index, written + std::chrono::seconds(1));
    EXPECT_EQ(lookup.find("a", 32), data.path() / "icons/t/64x64/apps/a.png");
}

} // namespace
} // namespace korvane
