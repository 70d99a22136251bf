#include "config/builtinsnippets.h"

namespace korvane {

const std::vector<ManualSnippet>& builtInSnippets() {
    // The shrug is spelled in bytes so that neither the source encoding nor the backslash can change it.
    static const std::vector<ManualSnippet> snippets{
        {.key = "date", .expand = "{{date:yyyy-MM-dd}}", .description = "Today's date (ISO format)"},
        {.key = "now", .expand = "{{date:yyyy-MM-dd HH:mm}}", .description = "Current date and time"},
        {.key = "uuid", .expand = "{{uuid}}", .description = "Random UUID v4"},
        {.key = "paste", .expand = "{{clipboard}}", .description = "Inserts current clipboard text"},
        {.key = "shrug",
         .expand = "\xC2\xAF\x5C\x5F\x28\xE3\x83\x84\x29\x5F\x2F\xC2\xAF",
         .description = "Shrug emoticon"},
    };
    return snippets;
}

} // namespace korvane
