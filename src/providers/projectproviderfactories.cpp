#include "providers/projectproviderfactories.h"

#include "providers/globalskillprovider.h"
#include "providers/maketargetprovider.h"
#include "providers/manualsnippetprovider.h"
#include "providers/npmscriptprovider.h"
#include "providers/projectdocextractor.h"
#include "providers/skillextractor.h"

#include <utility>

namespace korvane {

std::vector<std::shared_ptr<const FileExtractor>> makeFileExtractors(const std::vector<SnippetSource>& sources) {
    std::vector<std::shared_ptr<const FileExtractor>> extractors;
    for (const auto& source : sources) {
        if (source == SnippetSource::claudeSkill()) {
            extractors.push_back(std::make_shared<SkillExtractor>(source));
        } else if (source == SnippetSource::aiDoc()) {
            extractors.push_back(std::make_shared<ProjectDocExtractor>(source));
        }
    }
    return extractors;
}

void installProjectProviderFactories(ProviderFactories& factories, FileScanner::GitLister gitLister,
                                     std::shared_ptr<GlobalSkillProvider> globalSkills) {
    factories.manualSnippets = [](const std::vector<ManualSnippet>& manualSnippets) -> ProviderFactories::Provider {
        return std::make_shared<ManualSnippetProvider>(manualSnippets);
    };
    factories.fileScanner = [gitLister = std::move(gitLister)](
                                const FileScannerOptions& options) -> ProviderFactories::Provider {
        return std::make_shared<FileScanner>(makeFileExtractors(options.extractors), options.ignorePatterns,
                                             options.maxDepth, gitLister);
    };
    factories.globalSkills = [globalSkills = std::move(globalSkills)]() -> ProviderFactories::Provider {
        return globalSkills;
    };
    factories.npmScripts = []() -> ProviderFactories::Provider { return std::make_shared<NpmScriptProvider>(); };
    factories.makeTargets = []() -> ProviderFactories::Provider { return std::make_shared<MakeTargetProvider>(); };
}

} // namespace korvane
