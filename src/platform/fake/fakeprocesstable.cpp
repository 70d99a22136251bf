#include "platform/fake/fakeprocesstable.h"

namespace korvane {

void FakeProcessTable::addProcess(std::int32_t pid, std::int32_t parentPid, std::optional<std::string> tty,
                                  std::optional<std::string> cwd) {
    if (auto known = processes_.find(pid); known != processes_.end()) {
        childrenOf_[known->second.parentPid].erase(pid);
    }
    processes_[pid] = Process{parentPid,
                              std::move(tty),
                              std::move(cwd),
                              pid,
                              {},
                              std::vector<std::string>{},
                              std::vector<std::string>{},
                              std::nullopt,
                              std::nullopt};
    childrenOf_[parentPid].insert(pid);
}

void FakeProcessTable::setProcessGroup(std::int32_t pid, std::int32_t group) {
    processes_.at(pid).group = group;
}

void FakeProcessTable::setForegroundGroup(const std::string& ttyName, std::int32_t group) {
    foregroundGroups_[ttyName] = group;
}

void FakeProcessTable::setName(std::int32_t pid, std::string name) {
    processes_.at(pid).name = std::move(name);
}

void FakeProcessTable::setCommandLine(std::int32_t pid, std::optional<std::vector<std::string>> arguments) {
    processes_.at(pid).arguments = std::move(arguments);
}

void FakeProcessTable::setEnvironment(std::int32_t pid, std::optional<std::vector<std::string>> environment) {
    processes_.at(pid).environment = std::move(environment);
}

void FakeProcessTable::setExecutable(std::int32_t pid, std::optional<FileIdentity> file) {
    if (file) {
        executables_[pid] = *file;
    } else {
        executables_.erase(pid);
    }
}

void FakeProcessTable::setMountNamespace(std::int32_t pid, std::optional<FileIdentity> space) {
    namespaces_[pid] = space;
}

void FakeProcessTable::setSocketListener(const std::string& path, std::optional<SocketListener> listener) {
    if (listener) {
        listeners_[path] = *listener;
    } else {
        listeners_.erase(path);
    }
}

void FakeProcessTable::setOpenFiles(std::int32_t pid, std::optional<std::vector<std::string>> files) {
    processes_.at(pid).openFiles = std::move(files);
}

void FakeProcessTable::setReads(std::int32_t pid, std::optional<ProcessReads> reads) {
    processes_.at(pid).reads = reads;
}

void FakeProcessTable::setAccessTime(const std::string& ttyName,
                                     std::optional<std::chrono::system_clock::time_point> time) {
    if (time) {
        accessTimes_[ttyName] = *time;
    } else {
        accessTimes_.erase(ttyName);
    }
}

std::map<std::int32_t, std::vector<std::int32_t>> FakeProcessTable::allProcessParents() {
    ++listings_;
    std::map<std::int32_t, std::vector<std::int32_t>> children;
    for (const auto& [pid, process] : processes_) {
        children[process.parentPid].push_back(pid);
    }
    return children;
}

std::optional<std::vector<std::int32_t>> FakeProcessTable::childProcesses(std::int32_t pid) {
    ++lookups_;
    if (!listsChildren_) {
        return std::nullopt;
    }
    const auto found = childrenOf_.find(pid);
    return found == childrenOf_.end() ? std::vector<std::int32_t>()
                                      : std::vector<std::int32_t>(found->second.begin(), found->second.end());
}

std::optional<ProcessStatus> FakeProcessTable::status(std::int32_t pid) {
    ++lookups_;
    auto found = processes_.find(pid);
    if (found == processes_.end()) {
        return std::nullopt;
    }
    const Process& process = found->second;
    std::int32_t foreground = -1;
    if (process.tty) {
        if (auto group = foregroundGroups_.find(*process.tty); group != foregroundGroups_.end()) {
            foreground = group->second;
        }
    }
    return ProcessStatus{process.name, process.tty, process.group, foreground};
}

std::optional<std::string> FakeProcessTable::currentDirectory(std::int32_t pid) {
    ++lookups_;
    auto found = processes_.find(pid);
    return found == processes_.end() ? std::nullopt : found->second.cwd;
}

std::optional<std::vector<std::string>> FakeProcessTable::commandLine(std::int32_t pid) {
    auto found = processes_.find(pid);
    return found == processes_.end() ? std::nullopt : found->second.arguments;
}

std::optional<std::vector<std::string>> FakeProcessTable::environment(std::int32_t pid) {
    auto found = processes_.find(pid);
    return found == processes_.end() ? std::nullopt : found->second.environment;
}

std::optional<FileIdentity> FakeProcessTable::executable(std::int32_t pid) {
    const auto found = executables_.find(pid);
    return found == executables_.end() ? std::nullopt : std::optional(found->second);
}

std::optional<FileIdentity> FakeProcessTable::mountNamespace(std::int32_t pid) {
    const auto found = namespaces_.find(pid);
    return found == namespaces_.end() ? std::optional(sharedNamespace) : found->second;
}

std::optional<SocketListener> FakeProcessTable::socketListener(const std::string& path) {
    const auto found = listeners_.find(path);
    return found == listeners_.end() ? std::nullopt : std::optional(found->second);
}

std::optional<std::vector<std::string>> FakeProcessTable::openFiles(std::int32_t pid) {
    auto found = processes_.find(pid);
    return found == processes_.end() ? std::nullopt : found->second.openFiles;
}

std::optional<ProcessReads> FakeProcessTable::reads(std::int32_t pid) {
    ++readsAsked_;
    ++lookups_;
    auto found = processes_.find(pid);
    return found == processes_.end() ? std::nullopt : found->second.reads;
}

std::optional<std::chrono::system_clock::time_point> FakeProcessTable::deviceAccessTime(const std::string& ttyName) {
    auto found = accessTimes_.find(ttyName);
    return found == accessTimes_.end() ? std::nullopt : std::optional(found->second);
}

} // namespace korvane
