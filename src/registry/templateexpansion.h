#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <string>

namespace korvane {

class Pasteboard;

// Formats an instant with one date-format pattern.
using DateFormatter = std::function<std::string(std::chrono::system_clock::time_point)>;

// Where the placeholders of a template get the current time, the clipboard text and fresh UUIDs,
// and the formatter of a date pattern. An expansion reads the clipboard at most once and makes one
// formatter per distinct pattern.
struct TemplateProviders {
    std::function<std::chrono::system_clock::time_point()> now;
    // Empty: "{{clipboard}}" stays as written (for text the user did not write).
    std::function<std::string()> clipboard;
    std::function<std::string()> uuid;
    // Empty: makeDateFormatter.
    std::function<DateFormatter(const std::string& pattern)> dateFormatter;
};

// The system clock, the given pasteboard's text ("" when it holds none) and random upper-case UUIDs.
// The pasteboard must outlive the providers.
TemplateProviders defaultTemplateProviders(const Pasteboard& pasteboard);

// A formatter for a date pattern of Unicode date field symbols ("yyyy-MM-dd", "EEEE"), in the current
// locale and time zone; one that yields "" for a pattern that cannot be used.
DateFormatter makeDateFormatter(const std::string& pattern);

// A new random (version 4) UUID in upper-case hyphenated form.
std::string makeUuidString();

// The text a name stands for, or null. The text must stay put until the expansion returns: its size is
// charged to the work budget before it is read, so a huge text costs nothing once the budget is spent.
using TemplateResolver = std::function<const std::string*(const std::string& name)>;

// Limits that keep one expansion small whatever the snippets say: templates can come from any
// repository's project file, and resolver texts that refer to each other several times grow
// exponentially. Past a limit, placeholders stay as written.
struct TemplateLimits {
    // Bytes that placeholders may add to the text: every built-in insertion and all that resolver texts
    // bring. A placeholder is computed only while some are left, so one large insertion (a big
    // clipboard) always fits; once they are spent the remaining placeholders are kept unread.
    std::size_t maxOutputBytes = 1 << 20;
    // The work of one expansion, in bytes of text it could scan in the same time: reading a
    // placeholder costs 16, a call of the resolver 256, each text the resolver returns its size, a
    // fresh UUID 4 KiB, a new date formatter 64 KiB, and making or using a formatter 256 per byte of
    // its pattern. Once it is spent, the rest stays as written; it keeps any expansion to some tens
    // of milliseconds.
    std::size_t maxWorkBytes = 16 << 20;
};

// Replaces the {{...}} placeholders of `text`: date, date:<pattern>, time, time:<pattern>, clipboard,
// uuid, and names the resolver knows (whose texts are expanded in turn, down to depth 9 and never into
// a name already being expanded). Anything unresolved stays exactly as written. Any thread.
std::string expandTemplate(const std::string& text, const TemplateProviders& providers,
                           const TemplateResolver& resolver = {}, int depth = 0,
                           const std::set<std::string>& expandingNames = {},
                           const TemplateLimits& limits = {});

} // namespace korvane
