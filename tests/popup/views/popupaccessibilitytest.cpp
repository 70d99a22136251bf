#include "popup/popuptestsupport.h"
#include "popup/views/popupcontentview.h"
#include "viewtestsupport.h"

#include <QAccessible>
#include <QCoreApplication>
#include <algorithm>
#include <functional>
#include <gmock/gmock.h>
#include <string>
#include <vector>

namespace korvane {
namespace {

using testing::ElementsAreArray;

// One object of the popup as assistive technology walks it.
struct Object {
    std::string name;
    std::string list;
    QAccessible::Id id = 0;
    bool showing = false;
};

class PopupAccessibilityTest : public ::testing::Test, public test::PopupHarness {
protected:
    void SetUp() override {
        test::ensureOffscreenApplication();
        view = std::make_unique<PopupContentView>(model);
        view->show();
    }

    // Lets the popup take the state's size and the announcements run, as the window's event loop does.
    void settle() {
        view->resize(static_cast<int>(model->popupWidth()), static_cast<int>(model->popupHeight()));
        QCoreApplication::processEvents();
    }

    // Every object below the popup, depth first, with the list it stands in.
    std::vector<Object> objects() const {
        std::vector<Object> out;
        const std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
            for (int i = 0; i < node->childCount(); ++i) {
                QAccessibleInterface* child = node->child(i);
                out.push_back(Object{child->text(QAccessible::Name).toStdString(),
                                     node->text(QAccessible::Name).toStdString(),
                                     QAccessible::uniqueId(child), !child->state().invisible});
                walk(child);
            }
        };
        walk(QAccessible::queryAccessibleInterface(view.get()));
        return out;
    }

    // The rows of the showing list `name`, in order.
    std::vector<std::string> rows(const std::string& name) const {
        const auto all = objects();
        const bool shown = std::any_of(all.begin(), all.end(), [&](const Object& object) {
            return object.name == name && object.showing;
        });
        std::vector<std::string> out;
        for (const Object& object : all) {
            if (shown && object.list == name) {
                out.push_back(object.name);
            }
        }
        return out;
    }

    static SnippetSection category(const std::string& id, const std::string& title, SnippetSource source,
                                   std::string alias, const std::vector<std::string>& items) {
        SnippetSection section(id, title, {std::move(source)});
        section.scopeHint = std::move(alias);
        section.results = test::results(items);
        return section;
    }

    std::unique_ptr<PopupContentView> view;
};

// Through every mode and back, the objects below the popup are those of the state shown: the rows of
// the state before are neither among them nor reachable through Qt's cache.
TEST_F(PopupAccessibilityTest, NoRowOfAnEarlierStateRemainsInAnyMode) {
    struct Step {
        const char* what;
        std::function<void()> enter;
        const char* list;
        std::vector<std::string> rows;
    };
    const std::vector<Step> steps = {
        {"query",
         [&] {
             search({"deploy", "docs"});
         },
         "Korvane completions",
         {"deploy, User", "docs, User"}},
        {"another query",
         [&] {
             search({"build", "bench"});
         },
         "Korvane completions",
         {"build, User", "bench, User"}},
        {"scopes",
         [&] {
             present(test::presentation({test::scopeRow("git"), test::scopeRow("branch")}));
         },
         "Korvane completions",
         {"Scope: git, @git", "Scope: branch, @branch"}},
        {"browser",
         [&] {
             model->showBrowser({category("user", "User", SnippetSource::manual(), "@user", {"sig", "fn"}),
                                 category("git", "Git", SnippetSource::gitRef(), "@git", {})},
                                false);
         },
         "Korvane completions",
         {"sig", "fn"}},
        {"browser's categories", [] {}, "Korvane categories", {"User, @u, 2 items", "Git, @g, 0 items"}},
        {"another project's browser",
         [&] {
             model->showBrowser({category("files", "Files", SnippetSource::filePath(), "@file",
                                          {"b-1.txt", "b-2.txt", "b-3.txt"})},
                                false);
         },
         "Korvane completions",
         {"b-1.txt", "b-2.txt", "b-3.txt"}},
        {"its category", [] {}, "Korvane categories", {"Files, @f, 3 items"}},
        {"its files loading",
         [&] { model->setLoadingCategories({"files"}); },
         "Korvane completions",
         {"Loading..."}},
        {"query after the browser", [&] { search({"zeta"}); }, "Korvane completions", {"zeta, User"}},
    };

    std::vector<Object> before;
    for (const Step& step : steps) {
        step.enter();
        settle();
        EXPECT_THAT(rows(step.list), ElementsAreArray(step.rows)) << step.what;
        const auto now = objects();
        for (const Object& old : before) {
            const bool stays =
                std::any_of(now.begin(), now.end(), [&](const Object& o) { return o.id == old.id; });
            if (!stays) {
                EXPECT_EQ(QAccessible::accessibleInterface(old.id), nullptr)
                    << step.what << ": \"" << old.name << "\" of " << old.list << " is still reachable";
            }
        }
        before = now;
    }
}

} // namespace
} // namespace korvane
