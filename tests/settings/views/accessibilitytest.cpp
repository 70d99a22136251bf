// The settings window as a screen reader uses it: every node is found by walking the accessibility
// tree from the window, and worked through its actions, never through the widgets themselves (keys
// and clicks that a test sets beside them for comparison go to the widgets).
#include "settings/views/categoriesconfigurationview.h"
#include "settings/views/configurationsidebar.h"
#include "settings/views/configurationview.h"
#include "settings/views/settingstepper.h"
#include "settings/views/snippetrowcollapsed.h"
#include "settingsviewharness.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTest>
#include <algorithm>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>

namespace korvane {
namespace {

// The first showing node under `node` with this name and role, as a screen reader finds it.
QAccessibleInterface* find(QAccessibleInterface* node, const QString& name, QAccessible::Role role) {
    if (node == nullptr || node->state().invisible) {
        return nullptr;
    }
    if (node->role() == role && node->text(QAccessible::Name) == name) {
        return node;
    }
    for (int i = 0; i < node->childCount(); ++i) {
        if (QAccessibleInterface* found = find(node->child(i), name, role)) {
            return found;
        }
    }
    return nullptr;
}

QAccessibleInterface* findIf(QAccessibleInterface* node,
                             const std::function<bool(QAccessibleInterface*)>& wanted) {
    if (node == nullptr || node->state().invisible) {
        return nullptr;
    }
    if (wanted(node)) {
        return node;
    }
    for (int i = 0; i < node->childCount(); ++i) {
        if (QAccessibleInterface* found = findIf(node->child(i), wanted)) {
            return found;
        }
    }
    return nullptr;
}

class SettingsAccessibilityTest : public ::testing::Test {
protected:
    QAccessibleInterface* node(const QString& name, QAccessible::Role role) {
        return find(QAccessible::queryAccessibleInterface(h.window.get()), name, role);
    }
    // Runs the node's action as a screen reader does; a press of a button is played out like a click.
    void act(const QString& name, QAccessible::Role role, const QString& action) {
        QAccessibleInterface* found = node(name, role);
        ASSERT_NE(found, nullptr) << name.toStdString() << " is not in the accessibility tree";
        ASSERT_TRUE(found->actionInterface()->actionNames().contains(action)) << name.toStdString();
        found->actionInterface()->doAction(action);
        QTest::qWait(150);
    }

    test::SettingsViewHarness h{R"({"trigger": ";;", "snippets": [{"key": "sig", "expand": "Best"}],
      "app_snippets": [{"bundle_id": "org.gnome.TextEditor", "app_name": "Text Editor", "snippets": []}],
      "settings": {"case_sensitive": false, "scan_depth": 5, "ignore_patterns": [], "max_branch_age_days": 90}})"};
};

// Toggled by a screen reader, the search and appearance choices are saved; every source row shows its
// label and description and an eye button by which it is hidden and saved.
TEST_F(SettingsAccessibilityTest, PreferencesToggledAndSourcesHiddenAreSaved) {
    h.window->view().setPage(ConfigurationPage::preferences);
    act("Case-sensitive search", QAccessible::CheckBox, QAccessibleActionInterface::toggleAction());
    // Glass, Dark and Light: one choice of three, told as radio buttons.
    act("Light", QAccessible::RadioButton, QAccessibleActionInterface::toggleAction());
    h.settle();
    EXPECT_EQ(h.file()["settings"]["case_sensitive"], true);
    EXPECT_EQ(h.file()["settings"]["appearance"], "light");
    EXPECT_EQ(node("Case-sensitive search", QAccessible::CheckBox)->state().checked, true);

    const CategoryCatalogSnapshot catalog = h.viewModel->categoryCatalog();
    for (const auto& item : CategoriesConfigurationView::displayItems(*h.viewModel)) {
        const auto definition = catalog.definition(item.id);
        ASSERT_TRUE(definition);
        const QString label = QString::fromStdString(definition->label);
        EXPECT_NE(node(label, QAccessible::StaticText), nullptr) << item.id;
        EXPECT_NE(node(QString::fromStdString(definition->description), QAccessible::StaticText), nullptr)
            << item.id;
        EXPECT_NE(node("Hide " + label, QAccessible::Button), nullptr) << item.id;
    }
    act("Hide Git", QAccessible::Button, QAccessibleActionInterface::pressAction());
    h.settle();
    EXPECT_EQ(h.file()["providers"],
              nlohmann::json::parse(R"(["recent","files","app","manual","skills","docs","scripts"])"));
    EXPECT_NE(node("Show Git", QAccessible::Button), nullptr);
}

// A screen reader moves a source with the row's actions, which offer only the moves it can make and
// name their keys; the order is saved as a drag saves it.
TEST_F(SettingsAccessibilityTest, SourcesMoveByTheirActions) {
    h.window->view().setPage(ConfigurationPage::preferences);
    auto actions = [&](const char* name) {
        QAccessibleInterface* row = node(name, QAccessible::Client);
        EXPECT_NE(row, nullptr) << name;
        return row ? row->actionInterface()->actionNames() : QStringList();
    };
    EXPECT_TRUE(actions("Recent").contains("Move down"));
    EXPECT_FALSE(actions("Recent").contains("Move up"));
    EXPECT_TRUE(actions("Scripts").contains("Move up"));
    EXPECT_FALSE(actions("Scripts").contains("Move down"));
    QAccessibleInterface* git = node("Git", QAccessible::Client);
    ASSERT_NE(git, nullptr);
    EXPECT_EQ(git->actionInterface()->keyBindingsForAction("Move up"), QStringList{"Alt+Up"});
    act("Git", QAccessible::Client, "Move up");
    act("Git", QAccessible::Client, "Move up");
    h.settle();
    EXPECT_EQ(h.file()["providers"],
              nlohmann::json::parse(R"(["recent","files","app","git","manual","skills","docs","scripts"])"));
    EXPECT_EQ(h.store->writes, 1);
    act("Hide Git", QAccessible::Button, QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(actions("Git").filter("Move").isEmpty()) << "a hidden source does not move";
}

// A screen reader chooses a page in the sidebar through the item's action or the list's row selection,
// as a click, a Ctrl+click or the arrow keys choose it: the page shown follows what is selected, one
// switch per change, the sidebar marks that page alone, and nothing is written. Its row says it has the
// focus only while the sidebar has the keyboard.
TEST_F(SettingsAccessibilityTest, SidebarShowsThePageSelectedWhateverSelectedIt) {
    ASSERT_TRUE(QTest::qWaitForWindowActive(h.window.get()));
    ConfigurationView& view = h.window->view();
    auto* pages = h.find<QStackedWidget>("pages");
    int switches = 0;
    QObject::connect(pages, &QStackedWidget::currentChanged, [&] { ++switches; });
    QListWidget& sidebar = view.sidebar();
    auto itemCentre = [&](int row) { return sidebar.visualItemRect(sidebar.item(row)).center(); };
    const QString toggle = QAccessibleActionInterface::toggleAction();
    struct Step {
        const char* how;
        std::function<void()> choose;
        ConfigurationPage shown;
    };
    const Step steps[] = {
        {"action on Preferences", [&] { act("Preferences", QAccessible::ListItem, toggle); },
         ConfigurationPage::preferences},
        {"action on Preferences again", [&] { act("Preferences", QAccessible::ListItem, toggle); },
         ConfigurationPage::preferences},
        {"action on Snippets", [&] { act("Snippets", QAccessible::ListItem, toggle); },
         ConfigurationPage::snippets},
        {"row selection", [&] { node("Pages", QAccessible::List)->tableInterface()->selectRow(1); },
         ConfigurationPage::preferences},
        {"Up", [&] { QTest::keyClick(&sidebar, Qt::Key_Up); }, ConfigurationPage::snippets},
        {"Down", [&] { QTest::keyClick(&sidebar, Qt::Key_Down); }, ConfigurationPage::preferences},
        {"Ctrl+click on the page shown",
         [&] { QTest::mouseClick(sidebar.viewport(), Qt::LeftButton, Qt::ControlModifier, itemCentre(1)); },
         ConfigurationPage::preferences},
        {"click", [&] { QTest::mouseClick(sidebar.viewport(), Qt::LeftButton, {}, itemCentre(0)); },
         ConfigurationPage::snippets},
    };
    int expectedSwitches = 0;
    ConfigurationPage before = view.page();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.how);
        step.choose();
        expectedSwitches += step.shown != before ? 1 : 0;
        before = step.shown;
        EXPECT_EQ(view.page(), step.shown);
        EXPECT_EQ(pages->currentIndex(), step.shown == ConfigurationPage::snippets ? 0 : 1);
        EXPECT_EQ(switches, expectedSwitches);
        const bool onPreferences = step.shown == ConfigurationPage::preferences;
        EXPECT_EQ(node("Preferences", QAccessible::ListItem)->state().selected, onPreferences);
        EXPECT_EQ(node("Snippets", QAccessible::ListItem)->state().selected, !onPreferences);
        const bool keyboard = sidebar.hasFocus();
        EXPECT_EQ(node("Preferences", QAccessible::ListItem)->state().focused, keyboard && onPreferences);
        EXPECT_EQ(node("Snippets", QAccessible::ListItem)->state().focused, keyboard && !onPreferences);
    }
    h.visible<QWidget>("toggleSidebar")->setFocus(Qt::TabFocusReason);
    EXPECT_FALSE(node("Snippets", QAccessible::ListItem)->state().focused);
    sidebar.setFocus(Qt::BacktabFocusReason);
    EXPECT_TRUE(node("Snippets", QAccessible::ListItem)->state().focused);
    h.settle();
    EXPECT_EQ(h.store->writes, 0);
}

// The scope tabs say which one is selected, and a tab pressed by a screen reader selects its scope;
// the editor's kind, toggled by one, is the kind the editor then shows.
TEST_F(SettingsAccessibilityTest, ScopeTabsSaySelectedAndTheEditorsKindToggles) {
    QAccessibleInterface* global = node("Global", QAccessible::PageTab);
    ASSERT_NE(global, nullptr);
    EXPECT_TRUE(global->state().selected);
    EXPECT_TRUE(global->state().checked);
    ASSERT_NE(node("Text Editor", QAccessible::PageTab), nullptr);
    EXPECT_FALSE(node("Text Editor", QAccessible::PageTab)->state().selected);
    act("Text Editor", QAccessible::PageTab, QAccessibleActionInterface::pressAction());
    EXPECT_EQ(h.viewModel->selectedAppBundleId(), "org.gnome.TextEditor");
    EXPECT_TRUE(node("Text Editor", QAccessible::PageTab)->state().selected);
    EXPECT_FALSE(node("Global", QAccessible::PageTab)->state().selected);

    act("Add", QAccessible::Button, QAccessibleActionInterface::pressAction());
    act("URL", QAccessible::RadioButton, QAccessibleActionInterface::toggleAction());
    EXPECT_NE(node("URL to open", QAccessible::EditableText), nullptr) << "the link field shows";
    EXPECT_EQ(node("Text to insert", QAccessible::EditableText), nullptr) << "the text box goes";
}

// Each control a screen reader reaches says which control it is: no two showing controls that take
// the focus share a name, on the preferences page or in the snippet editor of either kind.
TEST_F(SettingsAccessibilityTest, NoTwoControlsShowingShareAName) {
    auto shared = [&] {
        std::map<std::string, int> named;
        std::function<void(QAccessibleInterface*)> visit = [&](QAccessibleInterface* at) {
            if (at == nullptr || at->state().invisible) {
                return;
            }
            if (at->state().focusable) {
                ++named[at->text(QAccessible::Name).toStdString()];
            }
            for (int i = 0; i < at->childCount(); ++i) {
                visit(at->child(i));
            }
        };
        visit(QAccessible::queryAccessibleInterface(h.window.get()));
        std::vector<std::string> twice;
        for (const auto& [name, count] : named) {
            if (count > 1) {
                twice.push_back(name);
            }
        }
        return twice;
    };
    h.window->view().setPage(ConfigurationPage::preferences);
    EXPECT_THAT(shared(), testing::IsEmpty()) << "preferences";
    h.window->view().setPage(ConfigurationPage::snippets);
    act("Add", QAccessible::Button, QAccessibleActionInterface::pressAction());
    EXPECT_THAT(shared(), testing::IsEmpty()) << "text snippet";
    act("URL", QAccessible::RadioButton, QAccessibleActionInterface::toggleAction());
    EXPECT_THAT(shared(), testing::IsEmpty()) << "link snippet";
}

// Space held on a stepper's arrow goes on pressing it at its limit, where it keeps the keyboard, changes
// nothing and is told as unavailable, with nothing to press; the sidebar's toggle is told expanded
// while the sidebar shows and collapsed once it hid it.
TEST_F(SettingsAccessibilityTest, AnArrowAtItsLimitAndTheSidebarToggleTellTheirState) {
    ASSERT_TRUE(QTest::qWaitForWindowActive(h.window.get()));
    h.window->view().setPage(ConfigurationPage::preferences);
    QWidget* decrease = h.find<SettingStepper>("rowPadding")->findChild<QWidget*>("decrement");
    decrease->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 10; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    }
    EXPECT_EQ(QApplication::focusWidget(), decrease);
    h.settle();
    EXPECT_EQ(h.file()["settings"]["row_padding"], 0);
    QAccessibleInterface* arrow = QAccessible::queryAccessibleInterface(decrease);
    EXPECT_EQ(arrow->text(QAccessible::Name).toStdString(), "Decrease Row padding: 0");
    EXPECT_TRUE(arrow->state().focused);
    EXPECT_TRUE(arrow->state().disabled);
    EXPECT_FALSE(arrow->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));

    QAccessibleInterface* toggle = node("Toggle Sidebar", QAccessible::Button);
    ASSERT_NE(toggle, nullptr);
    EXPECT_TRUE(toggle->state().expandable);
    EXPECT_TRUE(toggle->state().expanded);
    act("Toggle Sidebar", QAccessible::Button, QAccessibleActionInterface::pressAction());
    EXPECT_FALSE(h.window->view().sidebarVisible());
    EXPECT_FALSE(toggle->state().expanded);
    EXPECT_TRUE(toggle->state().collapsed);
}

// Every picker is named by its label, whichever item it shows; the item is its value.
TEST_F(SettingsAccessibilityTest, PickersAreNamedByTheirLabels) {
    // The name of the showing picker whose value is `value`, as a screen reader hears it.
    auto pickerShowing = [&](const QString& value) {
        QAccessibleInterface* picker =
            findIf(QAccessible::queryAccessibleInterface(h.window.get()), [&](QAccessibleInterface* node) {
                return node->role() == QAccessible::ComboBox && node->text(QAccessible::Value) == value;
            });
        return picker ? picker->text(QAccessible::Name).toStdString()
                      : "no picker shows " + value.toStdString();
    };
    act("Text Editor", QAccessible::PageTab, QAccessibleActionInterface::pressAction());
    EXPECT_EQ(pickerShowing("Auto (use global default)"), "Popup position:");

    h.window->view().setPage(ConfigurationPage::preferences);
    EXPECT_EQ(pickerShowing("Auto (follow caret)"), "Popup position:");
    EXPECT_EQ(pickerShowing("Minimal"), "Badge style");
    h.find<QComboBox>("badgeStyle")->setCurrentIndex(1);
    EXPECT_EQ(pickerShowing("Saturated"), "Badge style");
    QAccessibleInterface* badges = node("Badge style", QAccessible::ComboBox);
    ASSERT_NE(badges, nullptr);
    EXPECT_TRUE(
        badges->actionInterface()->actionNames().contains(QAccessibleActionInterface::showMenuAction()));
}

// What a screen reader reads of the snippet list: for each child of the list, in the order it is told
// them, the key its pencil names ("Edit snippet <key>"), and the names of the child's buttons.
struct ReadRow {
    std::string key;
    std::vector<std::string> buttons;
};

std::vector<ReadRow> readList(QAccessibleInterface* list) {
    std::vector<ReadRow> rows;
    for (int i = 0; i < list->childCount(); ++i) {
        QAccessibleInterface* row = list->child(i);
        EXPECT_FALSE(row->state().invisible) << "a hidden row is in the tree";
        ReadRow read;
        for (int j = 0; j < row->childCount(); ++j) {
            if (row->child(j)->role() == QAccessible::Button) {
                read.buttons.push_back(row->child(j)->text(QAccessible::Name).toStdString());
            }
        }
        if (read.buttons.size() > 1) {
            read.key = read.buttons[1].substr(std::string("Edit snippet ").size());
        }
        rows.push_back(read);
    }
    return rows;
}

// Three thousand snippets read by a screen reader: wherever the list is scrolled (through its scroll
// bar's value) or searched (through the field's text), the list's children are the rows on screen, top
// to bottom, one run of consecutive snippets; rows the list keeps hidden for later are not among them,
// each row's line says what the snippet holds, and its pencil and trash name the snippet they act on.
TEST(SnippetListAccessibilityTest, RowsAreReadInScreenOrderWithTheirOwnNames) {
    test::SettingsViewHarness h(test::SettingsViewHarness::manySnippetsFile(3000));
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(h.window.get());
    QAccessibleInterface* line = findIf(window, [](QAccessibleInterface* node) {
        return node->role() == QAccessible::Button &&
               node->text(QAccessible::Name).startsWith("Edit snippet ");
    });
    ASSERT_NE(line, nullptr);
    QAccessibleInterface* list = line->parent()->parent();
    auto number = [](const std::string& key) { return std::stoi(key.substr(3)); };
    auto lineName = [](const std::string& key) {
        const std::string n = key.substr(3);
        return key + (std::stoi(n) % 3 == 0 ? " (Label " + n + ")" : std::string()) +
               ": Expansion text number " + n + " for the list";
    };
    auto expectRun = [&](const char* where, int first, int last) {
        SCOPED_TRACE(where);
        const auto rows = readList(list);
        ASSERT_FALSE(rows.empty());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const std::string& key = rows[i].key;
            ASSERT_TRUE(key.rfind("key", 0) == 0) << i;
            if (i > 0) {
                EXPECT_EQ(number(key), number(rows[i - 1].key) + 1) << "row " << i << " of " << rows.size();
            }
            EXPECT_EQ(rows[i].buttons, (std::vector<std::string>{lineName(key), "Edit snippet " + key,
                                                                 "Delete snippet " + key}));
        }
        if (first >= 0) {
            EXPECT_EQ(number(rows.front().key), first);
        }
        if (last >= 0) {
            EXPECT_EQ(number(rows.back().key), last);
        }
    };
    expectRun("top", 0, -1);

    QAccessibleInterface* bar = findIf(window, [](QAccessibleInterface* node) {
        return node->role() == QAccessible::ScrollBar && node->valueInterface() &&
               node->valueInterface()->maximumValue().toInt() > 0;
    });
    ASSERT_NE(bar, nullptr);
    const int maximum = bar->valueInterface()->maximumValue().toInt();
    bar->valueInterface()->setCurrentValue(maximum);
    expectRun("bottom", -1, 2999);
    bar->valueInterface()->setCurrentValue(maximum / 2);
    expectRun("middle", -1, -1);

    QAccessibleInterface* search = findIf(window, [](QAccessibleInterface* node) {
        return node->role() == QAccessible::EditableText &&
               node->text(QAccessible::Name) == "Search snippets...";
    });
    ASSERT_NE(search, nullptr);
    search->setText(QAccessible::Value, "key299");
    const auto found = readList(list);
    std::vector<std::string> keys;
    for (const auto& row : found) {
        keys.push_back(row.key);
    }
    std::vector<std::string> expected{"key299"};
    for (int i = 2990; i <= 2999; ++i) {
        expected.push_back("key" + std::to_string(i));
    }
    EXPECT_EQ(keys, expected) << "the rows of the search, and nothing left from before";
}

// The rows the list keeps ready just past the edges of its view, for Tab to reach, are not told: wherever
// the list is scrolled, its children are exactly its rows at least partly in view, top to bottom, a
// row cut by an edge among them.
TEST(SnippetListAccessibilityTest, OnlyRowsAtLeastPartlyInViewAreTold) {
    test::SettingsViewHarness h(test::SettingsViewHarness::manySnippetsFile(300));
    QAccessibleInterface* line =
        findIf(QAccessible::queryAccessibleInterface(h.window.get()), [](QAccessibleInterface* node) {
            return node->role() == QAccessible::Button &&
                   node->text(QAccessible::Name).startsWith("Edit snippet ");
        });
    ASSERT_NE(line, nullptr);
    QAccessibleInterface* list = line->parent()->parent();
    const QRect view = list->parent()->rect();
    QScrollBar* bar = h.find<QScrollArea>("snippetList")->verticalScrollBar();
    const int pitch = h.visible<SnippetRowCollapsed>("snippetRow")->height() + 1;
    for (const int top : {0, pitch / 2, 7 * pitch + pitch / 2, bar->maximum() / 2, bar->maximum()}) {
        SCOPED_TRACE(top);
        bar->setValue(top);
        std::vector<std::pair<int, std::string>> shown;
        for (auto* row : h.window->findChildren<SnippetRowCollapsed*>()) {
            const QRect place(row->mapToGlobal(QPoint()), row->size());
            if (row->isVisibleTo(h.window.get()) && place.intersects(view)) {
                shown.emplace_back(place.top(), row->snippet().key);
            }
        }
        std::sort(shown.begin(), shown.end());
        std::vector<std::string> expected;
        for (const auto& [y, key] : shown) {
            expected.push_back(key);
        }
        std::vector<std::string> told;
        for (const ReadRow& row : readList(list)) {
            told.push_back(row.key);
        }
        EXPECT_EQ(told, expected);
        for (int i = 0; i < list->childCount(); ++i) {
            EXPECT_FALSE(list->child(i)->state().offscreen) << i;
        }
    }
}

} // namespace
} // namespace korvane
