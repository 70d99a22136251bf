#include "platform/linux/builtinkeyequivalentsource.h"

#include "input/applicationsets.h"
#include "input/pasteshortcutcache.h"
#include "platform/keycodes.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

TEST(BuiltinKeyEquivalentSourceTest, PasteKeysOfLinuxApplications) {
    PasteShortcutCache cache(std::make_shared<BuiltinKeyEquivalentSource>(terminalBundleIDs()));
    const PasteShortcut ctrlShiftV{9, keyflag::command | keyflag::shift};
    const PasteShortcut shiftInsert{keycode::insert, keyflag::shift};
    const std::pair<const char*, PasteShortcut> rows[] = {
        {"org.gnome.Terminal", ctrlShiftV}, {"org.kde.konsole", ctrlShiftV}, {"kitty", ctrlShiftV},
        {"Alacritty", ctrlShiftV},          {"com.gexperts.Tilix", ctrlShiftV},
        {"debian-xterm", shiftInsert},      {"xterm", shiftInsert},      {"XTerm", shiftInsert},
        {"URxvt", shiftInsert},             {"rxvt-unicode", shiftInsert},
        {"org.gnome.TextEditor", PasteShortcut{9, keyflag::command}}, {"code", PasteShortcut{9, keyflag::command}},
    };
    for (const auto& [id, shortcut] : rows) {
        EXPECT_EQ(cache.pasteShortcut(id), shortcut) << id;
    }
    for (const std::string& id : BuiltinKeyEquivalentSource::primarySelectionTerminals()) {
        EXPECT_EQ(terminalBundleIDs().count(id), 1u) << id;
    }
}

} // namespace
} // namespace korvane
