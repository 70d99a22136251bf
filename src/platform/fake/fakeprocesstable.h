#pragma once

#include "platform/processtable.h"

#include <set>

namespace korvane {

// A process table that tests fill by hand: processes with a parent, an optional terminal and an
// optional directory (each its own process group unless set), the foreground group of each terminal,
// names, arguments, environments, executables, open files and reads, the listeners of sockets, and access
// times of terminal devices. Every process, Korvane's own included, shares one mount namespace unless told
// otherwise. Main thread.
class FakeProcessTable final : public ProcessTable {
public:
    // Adds (or replaces) a process; processes are listed in ascending id order like /proc.
    void addProcess(std::int32_t pid, std::int32_t parentPid, std::optional<std::string> tty = {},
                    std::optional<std::string> cwd = {});
    void setProcessGroup(std::int32_t pid, std::int32_t group);
    // The job `ttyName` shows; every process on it reads `group` as its terminal's foreground group.
    void setForegroundGroup(const std::string& ttyName, std::int32_t group);
    void setName(std::int32_t pid, std::string name);
    // Absent: the process's arguments, environment or open files cannot be read (open files: as unset).
    void setCommandLine(std::int32_t pid, std::optional<std::vector<std::string>> arguments);
    void setEnvironment(std::int32_t pid, std::optional<std::vector<std::string>> environment);
    void setExecutable(std::int32_t pid, std::optional<FileIdentity> file);
    // Absent: the namespace cannot be read; any process not named here is in `sharedNamespace`.
    void setMountNamespace(std::int32_t pid, std::optional<FileIdentity> space);
    void setSocketListener(const std::string& path, std::optional<SocketListener> listener);
    void setOpenFiles(std::int32_t pid, std::optional<std::vector<std::string>> files);
    // Absent (as for a process added without): its reads cannot be read.
    void setReads(std::int32_t pid, std::optional<ProcessReads> reads);
    void setAccessTime(const std::string& ttyName, std::optional<std::chrono::system_clock::time_point> time);
    // Whether childProcesses answers, as /proc does where the kernel lists each process's children.
    void setListsChildren(bool lists) { listsChildren_ = lists; }

    std::map<std::int32_t, std::vector<std::int32_t>> allProcessParents() override;
    std::optional<std::vector<std::int32_t>> childProcesses(std::int32_t pid) override;
    std::optional<ProcessStatus> status(std::int32_t pid) override;
    std::optional<std::string> currentDirectory(std::int32_t pid) override;
    std::optional<std::vector<std::string>> commandLine(std::int32_t pid) override;
    std::optional<std::vector<std::string>> environment(std::int32_t pid) override;
    std::optional<FileIdentity> executable(std::int32_t pid) override;
    std::optional<FileIdentity> mountNamespace(std::int32_t pid) override;
    std::optional<SocketListener> socketListener(const std::string& path) override;
    std::optional<std::vector<std::string>> openFiles(std::int32_t pid) override;
    std::optional<ProcessReads> reads(std::int32_t pid) override;
    std::optional<std::chrono::system_clock::time_point> deviceAccessTime(const std::string& ttyName) override;

    static constexpr FileIdentity sharedNamespace{4, 4026531841};

    // How often the whole table was listed.
    int listings() const { return listings_; }
    // How often a process's reads were asked for.
    int readsAsked() const { return readsAsked_; }
    // How often a process's children, status, directory or reads were asked for.
    int lookups() const { return lookups_; }

private:
    struct Process {
        std::int32_t parentPid;
        std::optional<std::string> tty;
        std::optional<std::string> cwd;
        std::int32_t group;
        std::string name;
        std::optional<std::vector<std::string>> arguments;
        std::optional<std::vector<std::string>> environment;
        std::optional<std::vector<std::string>> openFiles;
        std::optional<ProcessReads> reads;
    };
    std::map<std::int32_t, Process> processes_;
    std::map<std::string, std::int32_t> foregroundGroups_;
    std::map<std::int32_t, std::set<std::int32_t>> childrenOf_;
    std::map<std::string, std::chrono::system_clock::time_point> accessTimes_;
    std::map<std::int32_t, FileIdentity> executables_;
    std::map<std::int32_t, std::optional<FileIdentity>> namespaces_;
    std::map<std::string, SocketListener> listeners_;
    int listings_ = 0;
    int readsAsked_ = 0;
    int lookups_ = 0;
    bool listsChildren_ = true;
};

} // namespace korvane
