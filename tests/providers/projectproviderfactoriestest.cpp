#include "providers/projectproviderfactories.h"

#include "config/configmanagerharness.h"
#include "providers/globalskillprovider.h"
#include "providers/maketargetprovider.h"
#include "providers/manualsnippetprovider.h"
#include "providers/npmscriptprovider.h"
#include "providers/projectdocextractor.h"
#include "providers/skillextractor.h"

#include <fstream>
#include <gmock/gmock.h>

namespace korvane {
namespace {

using testing::ElementsAre;
using testing::UnorderedElementsAre;

// The configuration decides which of the project's providers a scan runs; each one made by the
// installed factories reads the project for real.
class ProjectProviderFactoriesTest : public test::ConfigManagerTest {
protected:
    void SetUp() override {
        installProjectProviderFactories(
            manager.providerFactories,
            [this](const std::string& root) {
                listedRoots.push_back(root);
                return std::optional<std::vector<std::string>>();
            },
            globalSkills);
        home.write("project/README.md", "# Demo");
        home.write("project/.claude/skills/x/SKILL.md", "---\nname: local\n---\n");
        home.write("project/.git", "gitdir: elsewhere");
        home.write("project/Makefile", "all:\n");
        home.write("project/package.json", R"({"scripts": {"start": "node ."}})");
        // The shared global skills read the HOME of this test executable, a temporary folder.
        std::filesystem::create_directories(userSkill().parent_path());
        std::ofstream(userSkill()) << "---\nname: mine\n---\n";
    }

    void TearDown() override { std::filesystem::remove_all(userSkill().parent_path()); }

    static std::filesystem::path userSkill() { return GlobalSkillProvider::defaultRoots().at(0) / "mine/SKILL.md"; }

    std::vector<std::string> scanIds() {
        globalSkills->refresh();
        std::vector<std::string> ids;
        for (const auto& provider : manager.makeProviders().providers) {
            for (const auto& snippet : provider->snippets(projectRoot())) {
                if (snippet.source != SnippetSource::manual()) {
                    ids.push_back(snippet.id);
                }
            }
        }
        return ids;
    }

    std::vector<std::string> listedRoots;
    std::shared_ptr<GlobalSkillProvider> globalSkills =
        std::make_shared<GlobalSkillProvider>(GlobalSkillProvider::defaultRoots());
};

TEST_F(ProjectProviderFactoriesTest, EnabledSourcesGiveTheirProvidersInOrder) {
    writeGlobal(R"({"snippets": [{"key": "a", "expand": "1"}]})");
    manager.loadGlobalConfig();
    const auto providers = manager.makeProviders().providers;
    ASSERT_GE(providers.size(), 5u);
    EXPECT_TRUE(std::dynamic_pointer_cast<ManualSnippetProvider>(providers[0]));
    const auto scanner = std::dynamic_pointer_cast<FileScanner>(providers[1]);
    ASSERT_TRUE(scanner);
    ASSERT_EQ(scanner->extractors().size(), 2u);
    EXPECT_TRUE(std::dynamic_pointer_cast<const SkillExtractor>(scanner->extractors()[0]));
    EXPECT_TRUE(std::dynamic_pointer_cast<const ProjectDocExtractor>(scanner->extractors()[1]));
    EXPECT_EQ(scanner->maxDepth(), 5);
    EXPECT_EQ(providers[2], globalSkills);
    EXPECT_TRUE(std::dynamic_pointer_cast<NpmScriptProvider>(providers[providers.size() - 2]));
    EXPECT_TRUE(std::dynamic_pointer_cast<MakeTargetProvider>(providers.back()));

    EXPECT_THAT(scanIds(), UnorderedElementsAre("skill:local", "aidoc:readme.md", "skill:mine", "npm:start", "make:all"));
    // git could not list the project, so it was walked.
    EXPECT_THAT(listedRoots, ElementsAre(projectRoot()));

    writeGlobal(R"({"providers": ["docs", "scripts"]})");
    manager.reloadGlobalConfig();
    EXPECT_THAT(scanIds(), UnorderedElementsAre("aidoc:readme.md", "npm:start", "make:all"));
}

} // namespace
} // namespace korvane
