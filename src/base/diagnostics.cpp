#include "base/diagnostics.h"

#include "base/unicode.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <syslog.h>

namespace korvane {
namespace {

std::mutex& hookMutex() {
    static std::mutex mutex;
    return mutex;
}

DiagnosticHook& diagnosticHook() {
    static DiagnosticHook hook;
    return hook;
}

PerformanceHook& performanceHook() {
    static PerformanceHook hook;
    return hook;
}

void appendHex(std::string& out, const char* prefix, unsigned value, int digits) {
    static constexpr char hex[] = "0123456789ABCDEF";
    out.append(prefix);
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        out.push_back(hex[(value >> shift) & 0xF]);
    }
}

// `message` with everything a terminal could act on written out as text: C0 and C1 control
// characters and DEL as escapes such as \n, \x1B and \u009B, and bytes that are not UTF-8 as \xFF.
// Messages carry text from files and other programs, which must neither start a line of their
// own nor reach the terminal as escape sequences; nor may they turn the rest of a line around or hide
// part of it, so what reorders or hides text is written as \u202E or \U000E0041 too.
void appendEscaped(std::string& out, std::string_view message) {
    std::size_t offset = 0;
    while (offset < message.size()) {
        const std::size_t start = offset;
        const std::int32_t codePoint = nextCodePoint(message, offset);
        if (codePoint < 0) {
            for (std::size_t i = start; i < offset; ++i) {
                appendHex(out, "\\x", static_cast<unsigned char>(message[i]), 2);
            }
        } else if (codePoint == '\n') {
            out.append("\\n");
        } else if (codePoint == '\r') {
            out.append("\\r");
        } else if (codePoint == '\t') {
            out.append("\\t");
        } else if (codePoint < 0x20 || codePoint == 0x7F) {
            appendHex(out, "\\x", static_cast<unsigned>(codePoint), 2);
        } else if (codePoint >= 0x80 && codePoint < 0xA0) {
            appendHex(out, "\\u", static_cast<unsigned>(codePoint), 4);
        } else if (codePoint >= 0xA0 && reordersOrHidesText(codePoint)) {
            const bool wide = codePoint > 0xFFFF;
            appendHex(out, wide ? "\\U" : "\\u", static_cast<unsigned>(codePoint), wide ? 8 : 4);
        } else {
            out.append(message.substr(start, offset - start));
        }
    }
}

void openJournal() {
    static std::once_flag once;
    std::call_once(once, [] { openlog("korvane", LOG_PID, LOG_USER); });
}

// Journal lines carry folder names and paths as well: they are escaped as diagnostic lines are.
void journal(int priority, std::string_view category, std::string_view message) {
    std::string escaped;
    appendEscaped(escaped, message);
    std::lock_guard lock(hookMutex());
    if (performanceHook()) {
        performanceHook()(category, escaped);
        return;
    }
    openJournal();
    syslog(priority, "[com.korvane.app:%.*s] %.*s", static_cast<int>(category.size()), category.data(),
           static_cast<int>(escaped.size()), escaped.data());
}

} // namespace

void diagnostic(std::string_view message) {
    std::string line = "[Korvane] ";
    appendEscaped(line, message);
    std::lock_guard lock(hookMutex());
    if (diagnosticHook()) {
        diagnosticHook()(line);
        return;
    }
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

void performanceLog(std::string_view category, std::string_view message) {
    journal(LOG_INFO, category, message);
}

void errorLog(std::string_view category, std::string_view message) {
    journal(LOG_ERR, category, message);
}

void setDiagnosticHook(DiagnosticHook hook) {
    std::lock_guard lock(hookMutex());
    diagnosticHook() = std::move(hook);
}

void setPerformanceHook(PerformanceHook hook) {
    std::lock_guard lock(hookMutex());
    performanceHook() = std::move(hook);
}

} // namespace korvane
