#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <string>

namespace korvane {

class Pasteboard;

// Where the placeholders of a template get the current time, the clipboard text and fresh UUIDs.
struct TemplateProviders {
    std::function<std::chrono::system_clock::time_point()> now;
    std::function<std::string()> clipboard;
    std::function<std::string()> uuid;
};

// The system clock, the given pasteboard's text ("" when it holds none) and random upper-case UUIDs.
// The pasteboard must outlive the providers.
TemplateProviders defaultTemplateProviders(const Pasteboard& pasteboard);

// A new random (version 4) UUID in upper-case hyphenated form.
std::string makeUuidString();

using TemplateResolver = std::function<std::optional<std::string>(const std::string& name)>;

// Limits that keep one expansion small whatever the snippets say: templates can come from any
// repository's project file, and resolver texts that refer to each other several times grow
// exponentially. Past a limit, placeholders stay as written.
struct TemplateLimits {
    // Bytes that placeholders may add to the text: every built-in insertion and all that resolver texts
    // bring. A placeholder is computed only while some are left, so one large insertion (a big
    // clipboard) always fits; once they are spent the remaining placeholders are kept unread.
    std::size_t maxOutputBytes = 1 << 20;
    // Work spent on resolver names, in bytes: each call of the resolver costs 64, and each text it
    // returns costs its size before it is expanded.
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
