#include "base/diagnostics.h"

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

void openJournal() {
    static std::once_flag once;
    std::call_once(once, [] { openlog("korvane", LOG_PID, LOG_USER); });
}

} // namespace

void diagnostic(std::string_view message) {
    std::string line = "[Korvane] ";
    line.append(message);
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
    std::lock_guard lock(hookMutex());
    if (performanceHook()) {
        performanceHook()(category, message);
        return;
    }
    openJournal();
    syslog(LOG_INFO, "[com.korvane.app:%.*s] %.*s", static_cast<int>(category.size()), category.data(),
           static_cast<int>(message.size()), message.data());
}

void errorLog(std::string_view category, std::string_view message) {
    std::lock_guard lock(hookMutex());
    if (performanceHook()) {
        performanceHook()(category, message);
        return;
    }
    openJournal();
    syslog(LOG_ERR, "[com.korvane.app:%.*s] %.*s", static_cast<int>(category.size()), category.data(),
           static_cast<int>(message.size()), message.data());
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
