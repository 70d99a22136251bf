#include "providers/maketargetprovider.h"
#include "providers/npmscriptprovider.h"

#include "support/tempdir.h"

#include <fstream>
#include <gmock/gmock.h>
#include <sys/stat.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::IsEmpty;

std::vector<std::string> ids(const std::vector<Snippet>& snippets) {
    std::vector<std::string> result;
    for (const auto& snippet : snippets) {
        result.push_back(snippet.id);
    }
    return result;
}

TEST(MakeTargetProviderTest, TargetsOfEachFileInFileOrderOncePerName) {
    const struct {
        const char* name;
        std::map<std::string, std::string> files;
        std::vector<std::string> expected;
    } cases[] = {
        {"make rules", {{"Makefile", "build: deps\n\tcc -o x\n.PHONY: build\nVAR := 1\na b: c\ntest :\nPHONY:\n_x-1:"}},
         {"make:build", "make:VAR", "make:test", "make:_x-1"}},
        {"line ends", {{"Makefile", "one:\r\ntwo:\rthree:\xc2\x85""four:\xe2\x80\xa8""five:"}},
         {"make:one", "make:two", "make:three", "make:four", "make:five"}},
        {"colon on the next line", {{"Makefile", "odd\n  :\n"}}, {"make:odd"}},
        {"across files",
         {{"Makefile", "build:\n"}, {"makefile", "lint:\nbuild:\n"}, {"justfile", "test:\nbuild:\n"},
          {"Justfile", "fmt:"}, {"GNUmakefile", "gnu:"}},
         {"make:build", "make:lint", "make:gnu", "make:test", "make:fmt"}},
        {"taskfile",
         {{"Taskfile.yml", "version: '3'\ntasks:\n  build:\n    cmds:\n      - go build\n  test:\n    deps: [build]\n"
                           "vars:\n  GREETING: hi\n"}},
         {"make:build", "make:test", "make:GREETING"}},
        {"not UTF-8", {{"Makefile", "bad\xff:\nok:\n"}, {"justfile", "just:\n"}}, {"make:just"}},
        {"none", {}, {}},
    };
    for (const auto& c : cases) {
        test::TempDir root;
        for (const auto& [name, text] : c.files) {
            root.write(name, text);
        }
        const auto snippets = MakeTargetProvider().snippets(root.path().string());
        EXPECT_THAT(ids(snippets), ElementsAreArray(c.expected)) << c.name;
        for (const auto& s : snippets) {
            EXPECT_EQ("make:" + s.label, s.id);
            EXPECT_EQ(s.expansion, s.label);
            EXPECT_EQ(s.source, SnippetSource::makeTarget());
            EXPECT_FALSE(s.description || s.metadata);
        }
    }
}

TEST(MakeTargetProviderTest, SpecialTargetFilesAreSkippedWithoutHanging) {
    test::TempDir root;
    ASSERT_EQ(::mkfifo((root.path() / "Makefile").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", root.path() / "makefile");
    std::ofstream(root.path() / "GNUmakefile").close();
    fs::resize_file(root.path() / "GNUmakefile", 2ull << 30);
    root.write("justfile", "build:\n");
    EXPECT_THAT(ids(MakeTargetProvider().snippets(root.path().string())), ElementsAre("make:build"));
}

TEST(NpmScriptProviderTest, ScriptsByNameWithTheirCommands) {
    const struct {
        const char* name;
        std::string json;
        std::vector<std::string> expected;
    } cases[] = {
        {"ordered", R"({"scripts": {"test": "jest", "build": "tsc", "dev": "vite", "Zed": "z", "\u00e9": "e"}})",
         {"npm:Zed", "npm:build", "npm:dev", "npm:test", "npm:\xc3\xa9"}},
        {"one non-string", R"({"scripts": {"build": "tsc", "bad": 1}})", {}},
        {"empty scripts", R"({"scripts": {}})", {}},
        {"no scripts", R"({"name": "x"})", {}},
        {"scripts not an object", R"({"scripts": ["build"]})", {}},
        {"array at the top", R"([{"scripts": {"a": "b"}}])", {}},
        {"invalid", R"({"scripts": {"a": "b"})", {}},
    };
    for (const auto& c : cases) {
        test::TempDir root;
        root.write("package.json", c.json);
        EXPECT_THAT(ids(NpmScriptProvider().snippets(root.path().string())), ElementsAreArray(c.expected)) << c.name;
    }

    test::TempDir root;
    root.write("package.json", R"({"scripts": {"build": "tsc -p ."}})");
    const auto snippets = NpmScriptProvider().snippets(root.path().string());
    ASSERT_EQ(snippets.size(), 1u);
    EXPECT_EQ(snippets[0].label, "build");
    EXPECT_EQ(snippets[0].expansion, "build");
    EXPECT_EQ(snippets[0].description, "tsc -p .");
    EXPECT_EQ(snippets[0].source, SnippetSource::npmScript());

    test::TempDir special;
    fs::create_symlink("/dev/zero", special.path() / "package.json");
    EXPECT_THAT(NpmScriptProvider().snippets(special.path().string()), IsEmpty());
    EXPECT_THAT(NpmScriptProvider().snippets((special.path() / "missing").string()), IsEmpty());
}

} // namespace
} // namespace korvane
