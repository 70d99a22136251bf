#include "detail/previewcontentservice.h"

#include "platform/fake/fakethumbnaildecoder.h"
#include "support/tempdir.h"

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> textOf(const std::optional<PreviewContent>& content) {
    if (!content) {
        return std::nullopt;
    }
    if (const auto* text = std::get_if<PreviewContent::Text>(&content->value())) {
        return text->text;
    }
    return "<" +
           std::string(std::holds_alternative<PreviewContent::Image>(content->value()) ? "image"
                                                                                       : "unavailable") +
           ">";
}

class PreviewContentServiceTest : public testing::Test {
protected:
    std::string write(const std::string& name, const std::string& contents) {
        return dir.write(name, contents).string();
    }
    std::optional<std::string> load(const std::string& name, const std::string& contents,
                                    bool strip = false) {
        return PreviewContentService::loadTextPreview(write(name, contents), strip);
    }

    test::TempDir dir;
    std::shared_ptr<FakeThumbnailDecoder> decoder = std::make_shared<FakeThumbnailDecoder>();
    PreviewContentService service{decoder};
};

TEST_F(PreviewContentServiceTest, TextLoaderKeepsOnlySmallValidNonBlankText) {
    const std::string atLimit(PreviewContentService::maxTextBytes, 'a');
    std::string nulAt8191(9000, 'b');
    nulAt8191[8191] = '\0';
    std::string nulAt8192 = nulAt8191;
    nulAt8192[8191] = 'b';
    nulAt8192[8192] = '\0';
    struct Case {
        const char* name;
        std::string contents;
        bool shown;
    } cases[] = {
        {"limit.txt", atLimit, true},
        {"over.txt", atLimit + "a", false},
        {"nul8191.txt", nulAt8191, false},
        {"nul8192.txt", nulAt8192, true},
        {"lone.txt", "caf\xC3", false},
        {"blank.txt", "  \n\t\r\n  ", false},
        {"empty.txt", "", false},
        {"trimmed.md", "\n  Title\n\nbody  \n\n", true},
        {"refused.PDF", "plain text", false},
    };
    for (const auto& c : cases) {
        const auto text = load(c.name, c.contents);
        EXPECT_EQ(text.has_value(), c.shown) << c.name;
    }
    EXPECT_EQ(load("trimmed2.md", "\n  Title\n\nbody  \n\n"), "Title\n\nbody");
    EXPECT_EQ(load("nul.txt", nulAt8192)->size(), nulAt8192.size()) << "the zero byte past the scan stays";
}

TEST_F(PreviewContentServiceTest, FrontMatterIsStrippedOnlyWhenAsked) {
    struct Case {
        std::string text;
        std::optional<std::string> body;
    } cases[] = {
        {"---\nname: x\n---\n\nBody line", "Body line"},
        {" \t--- \t\nname: x\n---\t\nBody", "Body"},
        {"# Title\n---\nname: x\n---\nBody", std::nullopt},
        {"---\nname: x\n---", std::nullopt},
        {"---\nname: x\nBody", std::nullopt},
        {"---\nname: x\n---\n\n   \n", std::nullopt},
        {"---\r\nname: x\r\n---\r\nOne\r\n  two\r\n", "One\n\n  two"},
    };
    int index = 0;
    for (const auto& c : cases) {
        EXPECT_EQ(load("skill" + std::to_string(index++) + ".md", c.text, true), c.body) << c.text;
    }
    EXPECT_EQ(load("plain.md", "---\nname: x\n---\n\nBody line\n"), "---\nname: x\n---\n\nBody line");
}

TEST_F(PreviewContentServiceTest, SpecialFilesAreRefusedAtOnceWithoutReadingThem) {
    const fs::path fifo = dir.path() / "pipe.txt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir.path() / "zero.txt");
    fs::create_symlink("/dev/null", dir.path() / "null.png");
    fs::create_directories(dir.path() / "folder.txt");
    const auto started = std::chrono::steady_clock::now();
    for (const char* name : {"pipe.txt", "zero.txt", "folder.txt", "missing.txt"}) {
        EXPECT_EQ(PreviewContentService::loadTextPreview((dir.path() / name).string(), false), std::nullopt)
            << name;
    }
    for (const char* name : {"pipe.txt", "zero.txt", "null.png", "folder.txt"}) {
        EXPECT_EQ(PreviewContentService::loadImageThumbnail(*decoder, (dir.path() / name).string()),
                  std::nullopt)
            << name;
    }
    EXPECT_EQ(decoder->calls(), 0);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 2.0);
}

TEST_F(PreviewContentServiceTest, ImagesUpToTenMebibytesAreThumbnailed) {
    std::string image = "IMG" + std::string(PreviewContentService::maxImageBytes - 3, 'x');
    const auto atLimit = PreviewContentService::loadImageThumbnail(*decoder, write("limit.png", image));
    ASSERT_TRUE(atLimit.has_value());
    EXPECT_EQ((*atLimit)->width, 2);
    EXPECT_EQ(PreviewContentService::loadImageThumbnail(*decoder, write("over.png", image + "x")),
              std::nullopt);
    EXPECT_EQ(PreviewContentService::loadImageThumbnail(*decoder, write("broken.png", "not an image")),
              std::nullopt);
    EXPECT_EQ(PreviewContentService::previewType("/p/A.PNG"), FilePreviewType::image);
    EXPECT_EQ(PreviewContentService::previewType("/p/a.svg"), FilePreviewType::unsupported);
    EXPECT_EQ(PreviewContentService::previewType("/p/.DS_Store"), FilePreviewType::unsupported);
    EXPECT_EQ(PreviewContentService::previewType("/p.d/Makefile"), FilePreviewType::text);
}

TEST_F(PreviewContentServiceTest, CacheEvictsImagesAndOtherEntriesApartLeastRecentFirst) {
    std::vector<std::string> texts;
    std::vector<std::string> images;
    for (int i = 0; i < 11; ++i) {
        texts.push_back(write("t" + std::to_string(i) + ".txt", "text"));
    }
    for (int i = 0; i < 6; ++i) {
        images.push_back(write("i" + std::to_string(i) + ".png", "IMG"));
    }
    for (int i = 0; i < 10; ++i) {
        service.store(PreviewContent::text("t"), texts[i], FilePreviewType::text);
    }
    for (int i = 0; i < 5; ++i) {
        service.store(PreviewContent::unavailable(), images[i], FilePreviewType::image);
    }
    // A hit protects the oldest of each kind.
    ASSERT_TRUE(service.cachedContent(texts[0]));
    ASSERT_TRUE(service.validatedContent(images[0]));
    service.store(PreviewContent::unavailable(), images[5], FilePreviewType::image);
    EXPECT_TRUE(service.contains(images[0]));
    EXPECT_FALSE(service.contains(images[1]));
    for (const auto& text : texts) {
        EXPECT_EQ(service.contains(text), text != texts[10]) << "a sixth image leaves the texts alone";
    }
    service.store(PreviewContent::text("t"), texts[10], FilePreviewType::text);
    EXPECT_TRUE(service.contains(texts[0]));
    EXPECT_FALSE(service.contains(texts[1]));
    EXPECT_EQ(service.accessOrder().size(), 15u);
    EXPECT_EQ(service.accessOrder().back(), texts[10]);

    service.clear();
    EXPECT_TRUE(service.accessOrder().empty());
    EXPECT_FALSE(service.cachedContent(texts[10]));
}

TEST_F(PreviewContentServiceTest, ValidatedLookupDropsAnEntryOnceTheFileChanges) {
    const std::string path = write("a.txt", "same");
    service.store(PreviewContent::unavailable(), path, FilePreviewType::text);
    EXPECT_EQ(textOf(service.validatedContent(path)), "<unavailable>");

    // One nanosecond later, same size: still a different file.
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    timespec times[2] = {info.st_atim, info.st_mtim};
    times[1].tv_nsec = (times[1].tv_nsec + 1) % 1'000'000'000;
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(textOf(service.cachedContent(path)), "<unavailable>")
        << "the plain lookup never looks at the file";
    EXPECT_EQ(service.validatedContent(path), std::nullopt);
    EXPECT_FALSE(service.contains(path));

    service.store(PreviewContent::text("x"), path, FilePreviewType::text);
    fs::remove(path);
    EXPECT_EQ(service.validatedContent(path), std::nullopt);
    service.store(PreviewContent::text("x"), path, FilePreviewType::text);
    EXPECT_TRUE(service.accessOrder().empty()) << "a vanished file is not stored";
}

} // namespace
} // namespace korvane
