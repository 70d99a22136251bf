// The popup of the korvane binary as a screen reader meets it, under scripts/xvfb-session: a shell in
// an xterm moved between two projects with `cd`, typed into with xdotool; the popup's objects are read
// over the accessibility bus by fixtures/popuptree.py, what it announces heard by fixtures/popupevents.py.
#include "endtoendsupport.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gmock/gmock.h>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using namespace test::e2e;
using nlohmann::json;
using testing::ElementsAre;
using testing::IsEmpty;

class PopupAccessibilityEndToEndTest : public IsolatedKorvaneTest {
protected:
    void arrange() override {
        alpha = home / "projects/alpha";
        beta = home / "projects/beta";
        dir.write("home/.config/korvane/config.json", "{}");
        for (int i = 1; i <= 20; ++i) {
            dir.write("home/projects/alpha/alpha-" + std::to_string(i) + ".txt", "a\n");
        }
        for (int i = 1; i <= 3; ++i) {
            dir.write("home/projects/beta/beta-" + std::to_string(i) + ".txt", "b\n");
        }
        const std::string git =
            "git -c user.name=Ada -c user.email=ada@example.com -c init.defaultBranch=main";
        for (const fs::path& project : {alpha, beta}) {
            ASSERT_EQ(run("cd " + quoted(project) + " && " + git + " init -q && " + git + " add -A && " +
                          git + " commit -qm one"),
                      0);
        }
        skipOnboarding();
        isolateEnvironment(
            {"KORVANE_TEST_HOOKS=1", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1", "QT_QPA_PLATFORM=xcb"});
        ASSERT_TRUE(startKorvane()) << readAll(errFile());
    }

    // The popup window's objects as popuptree.py reads them, or nothing while no popup is up.
    static std::optional<json> popupTree() {
        const std::string printed = output(fixtureCommand("popuptree.py", "") + " 2>/dev/null");
        if (printed.empty()) {
            return std::nullopt;
        }
        return json::parse(printed, nullptr, false);
    }

    static void forEachNode(const json& node, const std::function<void(const json&)>& visit) {
        visit(node);
        for (const json& child : node.at("children")) {
            forEachNode(child, visit);
        }
    }

    // The first showing object of `tree` that `is` accepts, or nothing.
    static std::optional<json> showingWhere(const json& tree, const std::function<bool(const json&)>& is) {
        std::optional<json> found;
        forEachNode(tree, [&](const json& node) {
            if (!found && node.at("showing").get<bool>() && is(node)) {
                found = node;
            }
        });
        return found;
    }

    // The showing object named `name` in `tree`, or nothing.
    static std::optional<json> showingNamed(const json& tree, const std::string& name) {
        return showingWhere(tree, [&](const json& node) { return node.at("name") == name; });
    }

    static std::vector<std::string> names(const json& list) {
        std::vector<std::string> out;
        for (const json& child : list.at("children")) {
            out.push_back(child.at("name").get<std::string>());
        }
        return out;
    }

    // Waits until the popup's objects satisfy `done`; the objects last read.
    static std::optional<json> waitForTree(const std::function<bool(const json&)>& done,
                                           double seconds = 10.0) {
        std::optional<json> tree;
        pollUntil(
            [&] {
                tree = popupTree();
                if (tree && tree->is_discarded()) {
                    tree.reset();
                }
                return tree && done(*tree);
            },
            seconds);
        return tree;
    }

    // Waits until the popup shows the object `name` whose children's names satisfy `done`; those
    // names, or the last ones read.
    static std::vector<std::string>
    waitForList(const std::string& name, const std::function<bool(const std::vector<std::string>&)>& done) {
        std::vector<std::string> last;
        waitForTree([&](const json& objects) {
            const auto list = showingNamed(objects, name);
            last = list ? names(*list) : std::vector<std::string>{};
            return list && done(last);
        });
        return last;
    }

    // The names and descriptions of the objects of `tree` that mention `text`.
    static std::vector<std::string> mentioning(const json& tree, const std::string& text) {
        std::vector<std::string> found;
        forEachNode(tree, [&](const json& node) {
            const std::string said =
                node.at("name").get<std::string>() + " " + node.at("description").get<std::string>();
            if (said.find(text) != std::string::npos) {
                found.push_back(said);
            }
        });
        return found;
    }

    static std::vector<std::string> selectedNames(const json& list) {
        std::vector<std::string> out;
        for (const json& row : list.at("children")) {
            if (row.at("selected").get<bool>()) {
                out.push_back(row.at("name").get<std::string>());
            }
        }
        return out;
    }

    static bool anyContains(const std::vector<std::string>& texts, const std::string& part) {
        return std::any_of(texts.begin(), texts.end(),
                           [&](const std::string& text) { return text.find(part) != std::string::npos; });
    }

    static int top(const json& node) { return node.at("extents").at(1).get<int>(); }

    // Whether the children of `list` stand top to bottom in their order.
    static bool inScreenOrder(const json& list) {
        const json& children = list.at("children");
        for (std::size_t i = 1; i < children.size(); ++i) {
            if (top(children[i]) <= top(children[i - 1])) {
                return false;
            }
        }
        return true;
    }

    // The names of the showing objects of `tree` that lie outside the window `tree` stands for.
    static std::vector<std::string> showingOffTheWindow(const json& tree) {
        const json& window = tree.at("extents");
        const int left = window[0], upper = window[1], right = left + window[2].get<int>(),
                  lower = upper + window[3].get<int>();
        std::vector<std::string> off;
        forEachNode(tree, [&](const json& node) {
            if (!node.at("showing").get<bool>() || node.at("extents").is_null()) {
                return;
            }
            const json& box = node.at("extents");
            const int x = box[0], y = box[1], w = box[2], h = box[3];
            if (x + w <= left || x >= right || y + h <= upper || y >= lower) {
                off.push_back(node.at("name").get<std::string>());
            }
        });
        return off;
    }

    // A terminal titled `title` in beta, focused, and popupevents.py writing what Korvane announces
    // from now on to `heard`; whether it listens.
    bool listeningInBeta(const std::string& title) {
        if (!openTerminal(title, beta) || !waitForLine(projectLine(beta))) {
            return false;
        }
        heard = root / "heard.jsonl";
        helpers.push_back(spawn({"/usr/bin/python3", KORVANE_FIXTURES "/popupevents.py", "120"}, environment,
                                heard, root / "heard.err"));
        return pollUntil([&] { return readAll(heard).starts_with("ready\n"); }, 10.0);
    }

    // Waits until an announcement heard satisfies `match`; whether one did.
    bool heardAnnouncement(const std::function<bool(const json&)>& match) const {
        return pollUntil(
            [&] {
                for (const std::string& line : lines(readAll(heard))) {
                    const json said = json::parse(line, nullptr, false);
                    if (said.is_object() && match(said)) {
                        return true;
                    }
                }
                return false;
            },
            10.0);
    }

    // Waits until the search header's text satisfies `done`; the text last read.
    static std::string waitForHeader(const std::function<bool(const std::string&)>& done) {
        std::string last;
        waitForTree([&](const json& objects) {
            const auto header =
                showingWhere(objects, [](const json& node) { return node.at("role") == "status bar"; });
            last = header ? header->at("name").get<std::string>() : "";
            return header && done(last);
        });
        return last;
    }

    // The names of the showing objects of `tree` that have the focus.
    static std::vector<std::string> focusedNames(const json& tree) {
        std::vector<std::string> out;
        forEachNode(tree, [&](const json& node) {
            if (node.at("showing").get<bool>() && node.at("focused").get<bool>()) {
                out.push_back(node.at("name").get<std::string>());
            }
        });
        return out;
    }

    fs::path alpha, beta;
    fs::path heard;
};

// One shell moved from `alpha` to `beta` with `cd`: the browser's rows that a screen reader reads are
// beta's, no object of the popup still speaks of alpha's, and the category column is read row by row
// from the top, the selected category marked.
TEST_F(PopupAccessibilityEndToEndTest, TheBrowserAfterACdReadsTheNewProjectsRowsAndCategoriesInScreenOrder) {
    ASSERT_TRUE(openXterm("korvane-shell", alpha,
                          "touch " + quoted(readyFile("korvane-shell")) + " && PS1='$ ' exec sh -i"));
    ASSERT_TRUE(waitForLine(projectLine(alpha)));
    const std::string shell = output("pgrep -P " + std::to_string(helpers.back()));
    ASSERT_FALSE(shell.empty());
    const auto hasAlpha = [](const std::vector<std::string>& rows) { return anyContains(rows, "alpha-"); };

    // In alpha: the browser, then a query, so that both of the popup's lists have held alpha's rows.
    ASSERT_TRUE(type(";;"));
    ASSERT_TRUE(popupShown(true));
    const auto listsFiles = [](const std::vector<std::string>& found) {
        return anyContains(found, "Files, @f, ") && !anyContains(found, "Files, @f, 0 items");
    };
    const auto alphaCategories = waitForList("Korvane categories", listsFiles);
    EXPECT_TRUE(listsFiles(alphaCategories)) << testing::PrintToString(alphaCategories);
    ASSERT_TRUE(type("alpha"));
    const auto alphaResults = waitForList("Korvane completions", hasAlpha);
    ASSERT_TRUE(hasAlpha(alphaResults)) << testing::PrintToString(alphaResults);
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(popupShown(false));

    ASSERT_TRUE(key("ctrl+u") && type("cd ../beta") && key("Return"));
    ASSERT_TRUE(pollUntil([&] { return output("readlink /proc/" + shell + "/cwd") == beta.string(); }));
    ASSERT_TRUE(type(";;"));
    ASSERT_TRUE(popupShown(true));
    // The first look, once the new project's files and sources are counted: nothing of alpha's anywhere,
    // the category column row by row from the top, the selected category's items beside it.
    const auto tree = waitForTree([](const json& objects) {
        const auto categories = showingNamed(objects, "Korvane categories");
        return categories && anyContains(names(*categories), "Files, @f, 3 items") &&
               !anyContains(names(*categories), ", loading");
    });
    const auto first = tree ? *tree : popupTree().value_or(json::object());
    ASSERT_FALSE(first.is_discarded() || first.empty()) << "no popup over the accessibility bus";
    EXPECT_THAT(mentioning(first, "alpha"), IsEmpty()) << "objects of the previous project remain";
    EXPECT_THAT(showingOffTheWindow(first), IsEmpty()) << "objects say they show but are not on screen";
    const auto categories = showingNamed(first, "Korvane categories");
    ASSERT_TRUE(categories) << "the category column is not there for a screen reader";
    const auto categoryNames = names(*categories);
    const std::vector<std::string> titles{"Recent", "Files", "App",  "Manual",
                                          "Skills", "Git",   "Docs", "Scripts"};
    ASSERT_EQ(categoryNames.size(), titles.size()) << testing::PrintToString(categoryNames);
    const std::regex named("([A-Za-z]+)(, @[a-z]+)?, ([0-9]+) items?");
    std::vector<int> counts;
    for (std::size_t i = 0; i < titles.size(); ++i) {
        std::smatch parts;
        EXPECT_TRUE(std::regex_match(categoryNames[i], parts, named) && parts[1] == titles[i])
            << categoryNames[i];
        counts.push_back(parts.size() == 4 ? std::stoi(parts[3]) : -1);
    }
    EXPECT_EQ(categoryNames[0], "Recent, 0 items");
    EXPECT_EQ(categoryNames[1], "Files, @f, 3 items");
    EXPECT_TRUE(inScreenOrder(*categories));
    const auto selected = selectedNames(*categories);
    ASSERT_EQ(selected.size(), 1u) << testing::PrintToString(selected);
    const auto selectedIndex = static_cast<int>(
        std::find(categoryNames.begin(), categoryNames.end(), selected.front()) - categoryNames.begin());
    const auto items = showingNamed(first, "Korvane completions");
    ASSERT_TRUE(items) << "no completion rows";
    EXPECT_EQ(static_cast<int>(items->at("children").size()), counts[static_cast<std::size_t>(selectedIndex)])
        << selected.front() << ": " << testing::PrintToString(names(*items));
    EXPECT_TRUE(inScreenOrder(*items));

    // The Files category chosen in the column: exactly beta's files, in screen order.
    ASSERT_TRUE(key("Left"));
    for (int i = selectedIndex; i != 1; i += selectedIndex > 1 ? -1 : 1) {
        ASSERT_TRUE(key(selectedIndex > 1 ? "Up" : "Down"));
    }
    const auto rows = waitForList("Korvane completions", [](const std::vector<std::string>& found) {
        return anyContains(found, "beta-");
    });
    EXPECT_THAT(rows, ElementsAre("beta-1.txt", "beta-2.txt", "beta-3.txt"));
    const auto files = popupTree();
    ASSERT_TRUE(files && !files->is_discarded());
    const auto fileRows = showingNamed(*files, "Korvane completions");
    ASSERT_TRUE(fileRows);
    EXPECT_TRUE(inScreenOrder(*fileRows));
    EXPECT_THAT(mentioning(*files, "alpha"), IsEmpty()) << "objects of the previous project remain";
    EXPECT_THAT(showingOffTheWindow(*files), IsEmpty()) << "objects say they show but are not on screen";
    const auto filesCategories = showingNamed(*files, "Korvane categories");
    ASSERT_TRUE(filesCategories);
    EXPECT_THAT(selectedNames(*filesCategories), ElementsAre("Files, @f, 3 items"));
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(popupShown(false));
}

// The quick reference, opened as a user does with `;;?`, is read line by line from the top; the
// lines scrolled out of the popup say so, and after three presses of Down the fourth line leads.
TEST_F(PopupAccessibilityEndToEndTest, TheQuickReferenceIsReadLineByLineInScreenOrder) {
    ASSERT_TRUE(openTerminal("korvane-help", beta));
    ASSERT_TRUE(waitForLine(projectLine(beta)));
    ASSERT_TRUE(type(";;?"));
    ASSERT_TRUE(popupShown(true));
    const auto lines = waitForList("Korvane Quick Reference",
                                   [](const std::vector<std::string>& found) { return !found.empty(); });
    ASSERT_EQ(lines.size(), 25u) << "the quick reference's lines are not read: "
                                 << testing::PrintToString(lines);
    const auto tree = popupTree();
    ASSERT_TRUE(tree && !tree->is_discarded());
    const auto help = showingNamed(*tree, "Korvane Quick Reference");
    ASSERT_TRUE(help);
    EXPECT_EQ(lines[0], "Korvane Quick Reference");
    EXPECT_EQ(lines[1], "Scope Filters");
    for (std::size_t i = 2; i <= 14; ++i) {
        EXPECT_TRUE(std::regex_match(lines[i], std::regex("@[a-z]+(, @[a-z]+)*: .+"))) << lines[i];
    }
    EXPECT_EQ(lines[15], "@<custom>: Custom provider scope (from config)");
    EXPECT_EQ(lines[16], "Shortcuts");
    EXPECT_EQ(
        std::vector<std::string>(lines.begin() + 17, lines.begin() + 24),
        (std::vector<std::string>{"Tab / Return: Accept and insert", "Space: Toggle detail panel",
                                  "Ctrl+C: Copy to clipboard", "Ctrl+O: Open URL in browser",
                                  "Ctrl+R: Refresh snippets", "Ctrl+S: Save to config", "Escape: Dismiss"}));
    EXPECT_EQ(lines[24], "↑↓ to scroll • Any other key to close");
    EXPECT_TRUE(inScreenOrder(*help));
    const auto firstShowing = [](const json& list) {
        for (const json& line : list.at("children")) {
            if (line.at("showing").get<bool>()) {
                return line.at("name").get<std::string>();
            }
        }
        return std::string();
    };
    EXPECT_EQ(firstShowing(*help), lines[0]);
    EXPECT_FALSE(help->at("children").back().at("showing").get<bool>()) << "the footer is below the popup";
    EXPECT_THAT(showingOffTheWindow(*tree), IsEmpty()) << "lines say they show but are not on screen";

    ASSERT_TRUE(key("Down Down Down"));
    const auto scrolled = waitForTree(
        [&](const json& objects) {
            const auto list = showingNamed(objects, "Korvane Quick Reference");
            return list && firstShowing(*list) == lines[3];
        },
        5.0);
    EXPECT_TRUE(scrolled) << "the fourth line does not lead after three presses of Down";
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(popupShown(false));
}

// What the search header paints, a screen reader reads and hears: the count of the results listed,
// announced as it changes while the user types, and a scope typed that is disabled, with nothing
// found; a scope row says it is the one the query applies.
TEST_F(PopupAccessibilityEndToEndTest, TheSearchHeaderTellsTheCountAndTheScopesState) {
    ASSERT_TRUE(listeningInBeta("korvane-header")) << readAll(root / "heard.err");
    const auto heardHeader = [&](const std::string& text) {
        return heardAnnouncement([&](const json& said) {
            return said.at("type") == "object:property-change:accessible-name" &&
                   said.at("role") == "status bar" && said.at("name") == text;
        });
    };

    ASSERT_TRUE(type(";;beta"));
    ASSERT_TRUE(popupShown(true));
    // Settled once the header counts the rows listed, beta's files among them.
    std::string counted;
    waitForTree([&](const json& objects) {
        const auto header =
            showingWhere(objects, [](const json& node) { return node.at("role") == "status bar"; });
        const auto list = showingNamed(objects, "Korvane completions");
        if (!header || !list || !anyContains(names(*list), "beta-")) {
            return false;
        }
        const auto results = std::count_if(list->at("children").begin(), list->at("children").end(),
                                           [](const json& row) { return row.at("role") == "list item"; });
        counted = header->at("name").get<std::string>();
        return counted == "beta, " + std::to_string(results) + (results == 1 ? " result" : " results");
    });
    EXPECT_TRUE(std::regex_match(counted, std::regex("beta, [1-9][0-9]* results?"))) << counted;
    EXPECT_TRUE(heardHeader(counted)) << readAll(heard);

    ASSERT_TRUE(key("BackSpace BackSpace BackSpace BackSpace") && type("@e"));
    EXPECT_EQ(waitForHeader([](const std::string& said) { return said.starts_with("@e"); }),
              "@e disabled, 0 results");
    EXPECT_TRUE(heardHeader("@e disabled, 0 results")) << readAll(heard);

    // A scope that finds nothing offers the scopes instead, the one the query applies tagged active.
    ASSERT_TRUE(key("BackSpace") && type("tag none"));
    EXPECT_EQ(waitForHeader([](const std::string& said) { return said.starts_with("@tag none"); }),
              "@tag none, 0 results");
    const std::string active = "Scope: Git Tags, @tag, active";
    const auto scopes = waitForList("Korvane completions", [&](const std::vector<std::string>& rows) {
        return std::find(rows.begin(), rows.end(), active) != rows.end();
    });
    EXPECT_THAT(scopes, testing::Contains(active));
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(popupShown(false));
}

// In the browser the list that the arrow keys move is the focused one: ← and → move the focus
// between the category column and the items, and each move is announced.
TEST_F(PopupAccessibilityEndToEndTest, TheBrowsersListThatTheArrowsMoveHasTheFocus) {
    ASSERT_TRUE(listeningInBeta("korvane-browser")) << readAll(root / "heard.err");
    ASSERT_TRUE(type(";;"));
    ASSERT_TRUE(popupShown(true));
    const auto focusedOn = [&](const std::string& list) {
        std::vector<std::string> last;
        waitForTree([&](const json& objects) {
            last = focusedNames(objects);
            return last == std::vector<std::string>{list};
        });
        return last;
    };
    const auto heardFocus = [&](const std::string& list) {
        return heardAnnouncement([&](const json& said) {
            return said.at("type") == "object:state-changed:focused" && said.at("detail1") == 1 &&
                   said.at("name") == list;
        });
    };

    // The browser opens on the items, as the arrows Up and Down then move them.
    EXPECT_THAT(focusedOn("Korvane completions"), ElementsAre("Korvane completions"));
    ASSERT_TRUE(key("Left"));
    EXPECT_THAT(focusedOn("Korvane categories"), ElementsAre("Korvane categories"));
    EXPECT_TRUE(heardFocus("Korvane categories")) << readAll(heard);
    ASSERT_TRUE(key("Right"));
    EXPECT_THAT(focusedOn("Korvane completions"), ElementsAre("Korvane completions"));
    EXPECT_TRUE(heardFocus("Korvane completions")) << readAll(heard);
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(popupShown(false));
}

// A screen reader that listens but never reads the popup's objects hears each move of the selection
// once: Down in the browser's items and in its category column, and in the results.
TEST_F(PopupAccessibilityEndToEndTest, EachSelectionMoveIsHeardWithoutReadingThePopup) {
    ASSERT_TRUE(listeningInBeta("korvane-moves") && type(";;") && popupShown(true));
    const auto selectedAfter = [&](const std::string& keys, const std::string& name) {
        const std::regex said(R"("object:state-changed:selected", "detail1": 1, "name": ")" + name + "\"");
        const auto selected = [&] {
            const auto all = lines(readAll(heard));
            return std::count_if(all.begin(), all.end(),
                                 [&](const auto& line) { return std::regex_search(line, said); });
        };
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        const auto before = selected();
        EXPECT_TRUE(key(keys));
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        return selected() - before;
    };
    EXPECT_EQ(selectedAfter("Down", ".*"), 1) << readAll(heard);
    ASSERT_TRUE(key("Left"));
    EXPECT_EQ(selectedAfter("Down", "[A-Za-z]+(, @[a-z]+)?, ([0-9]+ items?|loading)"), 1) << readAll(heard);
    ASSERT_TRUE(key("Escape") && popupShown(false) && type(";;beta-") && popupShown(true));
    EXPECT_EQ(selectedAfter("Down", "beta-2.txt, File"), 1) << readAll(heard);
}

// The user's own command answers 4 s after a project is read: its category, chosen while loading, stays
// chosen, and `;;@slow` says it is loading until then, never that nothing matched, on screen or on the bus.
TEST_F(PopupAccessibilityEndToEndTest, ASourceStillRunningSaysLoadingAndKeepsItsCategoryChosen) {
    dir.write(
        "home/.config/korvane/config.json",
        R"({"custom_providers": [{"id": "slow", "label": "Slow", "command": "sleep 4; echo slow-one"}]})");
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ASSERT_TRUE(listeningInBeta("korvane-slow") && type(";;") && popupShown(true) && key("Left"));
    const auto chosen = [] {
        const auto tree = waitForTree([](const json&) { return true; });
        const auto list = tree ? showingNamed(*tree, "Korvane categories") : std::nullopt;
        return list && !selectedNames(*list).empty() ? selectedNames(*list).front() : std::string();
    };
    for (int i = 0; i < 10 && !chosen().starts_with("Slow") && key("Down"); ++i) {
    }
    EXPECT_TRUE(chosen().ends_with(", loading")) << chosen();
    EXPECT_TRUE(pollUntil([&] { return std::regex_match(chosen(), std::regex("Slow.*, 1 item")); }, 8.0))
        << chosen();
    ASSERT_TRUE(key("Escape") && openTerminal("korvane-slow-alpha", alpha) &&
                waitForLine(projectLine(alpha)) && type(";;@slow") && popupShown(true));
    std::string seen;
    EXPECT_TRUE(pollUntil(
        [&] { return (seen += popupTree().value_or(json()).dump()).find("slow-one") != seen.npos; }));
    EXPECT_THAT(seen, testing::HasSubstr("@slow, Loading..."));
    EXPECT_THAT(seen + readAll(heard), testing::Not(testing::ContainsRegex("No matches|0 results")));
}

} // namespace
} // namespace korvane
