#pragma once

#include "shellfixture.h"

#include <string>
#include <vector>

namespace korvane::test {

// The whole shell with what the project follower's tests read of the tray and how they open a project.
class ProjectFollowerFixture : public ShellFixture {
protected:
    // The tray's items between the project line and the snippet count: what it says and offers of trust.
    std::vector<std::string> trustItems() const {
        std::vector<std::string> titles;
        const auto actions = coordinator->statusBar()->menu()->actions();
        for (qsizetype index = 1; index < actions.size() && !actions[index]->text().endsWith("loaded");
             ++index) {
            titles.push_back(actions[index]->text().toStdString());
        }
        return titles;
    }

    // The editor in front shows `root` in its window title; Korvane detects the project there.
    void openProject(const std::string& root) {
        activeApp->setTitle(test::editorPID, root);
        coordinator->projectDetector().detectProjectRoot();
        settle();
        ASSERT_EQ(coordinator->projectDetector().currentProjectRoot(), root);
    }
};

} // namespace korvane::test
