#pragma once

#include "config/providerfactories.h"
#include "providers/filescanner.h"
#include "providers/globalskillprovider.h"

#include <memory>
#include <vector>

namespace korvane {

// The extractors a scanner over `sources` offers files to, in the given order: skills for
// `claudeSkill`, project documents for `aiDoc`; other sources have none.
std::vector<std::shared_ptr<const FileExtractor>> makeFileExtractors(const std::vector<SnippetSource>& sources);

// Installs the makers of the project's own providers (manual snippets, the file scanner, the user's
// global skills, npm scripts and make targets) into `factories`; the configuration decides which
// of them a scan runs. `gitLister` lists a git project's files for the scanner (the file search
// provides it); without one every project is walked. `globalSkills` is the process's one. Main thread.
void installProjectProviderFactories(ProviderFactories& factories, FileScanner::GitLister gitLister,
                                     std::shared_ptr<GlobalSkillProvider> globalSkills);

} // namespace korvane
