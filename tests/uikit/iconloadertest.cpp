#include "uikit/iconloader.h"

#include "support/tempdir.h"

#include <QImage>
#include <QImageReader>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;

void writePicture(const fs::path& path, QSize size) {
    QImage picture(size, QImage::Format_ARGB32);
    picture.fill(QColor(40, 120, 160));
    fs::create_directories(path.parent_path());
    ASSERT_TRUE(picture.save(QString::fromStdString(path.string()), "PNG"));
}

// A theme in the layout of the desktop's icon themes, a pixmap folder, and hostile files beside them:
// a FIFO one ".." away from the pixmap folder, a picture too large to be an icon, a file too long.
class IconLoaderTest : public testing::Test {
protected:
    IconLoaderTest()
        : themes({dir.path() / "icons"}, {"hicolor"}, {dir.path() / "pixmaps"}, {"png", "xpm"}) {
        dir.write("icons/hicolor/index.theme", "[Icon Theme]\nName=Hicolor\n"
                                               "Directories=16x16/apps,48x48/apps,48x48@2/apps\n\n"
                                               "[16x16/apps]\nSize=16\n\n[48x48/apps]\nSize=48\n\n"
                                               "[48x48@2/apps]\nSize=48\nScale=2\n");
        writePicture(dir.path() / "icons/hicolor/16x16/apps/editor.png", {16, 16});
        writePicture(dir.path() / "icons/hicolor/48x48/apps/editor.png", {48, 48});
        writePicture(dir.path() / "pixmaps/plain.png", {24, 24});
        writePicture(dir.path() / "pixmaps/folder/inner.png", {24, 24});
        writePicture(dir.path() / "outside.png", {24, 24});
        writePicture(dir.path() / "wide.png", {2048, 1024});
        writePicture(dir.path() / "huge.png", {3000, 3000});
        dir.write("long.png", std::string(IconLoader::maxFileBytes + 1, 'x'));
        fs::create_directories(dir.path() / "fifo");
        EXPECT_EQ(::mkfifo(fifo().c_str(), 0600), 0);
    }
    ~IconLoaderTest() override {
        // Lets a reader that opened the FIFO blocking go, so that a failing test still ends.
        const int writer = ::open(fifo().c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) {
            ::close(writer);
        }
    }

    fs::path fifo() const { return dir.path() / "fifo" / "evil.png"; }
    std::string at(const char* relative) const { return (dir.path() / relative).string(); }

    test::TempDir dir;
    IconThemeLookup themes;
};

TEST_F(IconLoaderTest, FindsThemeAndPlainIconsAndRefusesEverythingElseWithoutBlocking) {
    struct Row {
        std::string spec;
        int side;
        std::optional<QSize> expected;
    };
    const Row rows[] = {
        // The theme's nearest larger size, scaled to the size asked; the pixmap folder after the themes.
        {"editor", 32, QSize(32, 32)},
        {"editor", 12, QSize(12, 12)},
        {"plain", 32, QSize(24, 24)},
        {"missing", 32, std::nullopt},
        // A theme name never names a file elsewhere, though "../outside", "../fifo/evil" and
        // "folder/inner" would each reach one from the pixmap folder.
        {"../outside", 32, std::nullopt},
        {"../fifo/evil", 32, std::nullopt},
        {"../../../../var/tmp/evil", 32, std::nullopt},
        {"folder/inner", 32, std::nullopt},
        {"..editor", 32, std::nullopt},
        {std::string("editor\0x", 8), 32, std::nullopt},
        // An absolute path is read only as a regular file of at most 1 MiB, without "..".
        {fifo().string(), 32, std::nullopt},
        {at("fifo"), 32, std::nullopt},
        {at("pixmaps/../pixmaps/plain.png"), 32, std::nullopt},
        {at("long.png"), 32, std::nullopt},
        {at("pixmaps/plain.png"), 32, QSize(24, 24)},
        // The header decides: more than 2048 × 2048 pixels is refused, anything else comes out scaled.
        {at("huge.png"), 32, std::nullopt},
        {at("wide.png"), 64, QSize(64, 32)},
        {"", 32, std::nullopt},
    };
    const qsizetype allocationLimit = QImageReader::allocationLimit();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.spec);
        auto decoded =
            std::async(std::launch::async, [&] { return IconLoader::decode(row.spec, row.side, themes); });
        ASSERT_EQ(decoded.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "blocked";
        const std::optional<QImage> image = decoded.get();
        EXPECT_EQ(image.has_value(), row.expected.has_value());
        if (image && row.expected) {
            EXPECT_EQ(image->size(), *row.expected);
        }
    }
    // Each decode is limited by its own header check, never by the process-wide reader setting.
    EXPECT_EQ(QImageReader::allocationLimit(), allocationLimit);
}

} // namespace
} // namespace korvane
