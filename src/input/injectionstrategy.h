#pragma once

namespace korvane {

// How the text injector puts an expansion into an application: by replacing the typed text through
// the accessibility interface, by deleting it with Backspace and pasting, or by deleting it and
// typing the text as key events.
enum class InjectionStrategy { ax, clipboard, cgEventChunked };

} // namespace korvane
