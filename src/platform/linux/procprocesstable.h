#pragma once

#include "platform/processtable.h"

#include <mutex>
#include <optional>
#include <sys/types.h>
#include <unordered_map>

namespace korvane {

// The process table read from /proc: parents, names, jobs and controlling terminals from
// /proc/<pid>/stat, a process's children from /proc/<pid>/task/<tid>/children where the kernel
// provides it, the working directory from the /proc/<pid>/cwd link, arguments and environment from
// /proc/<pid>/cmdline and environ, reads from /proc/<pid>/io, the executable and mount namespace from the
// /proc/<pid>/exe and ns/mnt links, the open files from the /proc/<pid>/fd links, terminal names by matching
// device numbers against /dev/pts and /dev, and a socket's listener from the peer credentials of a
// connection. Processes of other users whose directory or environment the kernel hides drop out. Any
// thread: the main thread's detection and a background reading of a terminal's tabs share one table.
class ProcProcessTable final : public ProcessTable {
public:
    // Bytes read at most of a process's arguments or of its environment: a process sets their length (a
    // few kilobytes as a shell hands them on), and one past this is not read at all.
    static constexpr std::size_t listLimit = 256 * 1024;

    explicit ProcProcessTable(std::string procRoot = "/proc", std::string devRoot = "/dev");

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

    // The fields of one line of /proc/<pid>/stat that the table reads: the name, the parent id, the
    // process group, the terminal device number (`tty_nr`) and its foreground group (`tpgid`).
    struct StatFields {
        std::string name;
        std::int32_t parentPid = 0;
        std::int32_t processGroup = 0;
        std::int64_t ttyNumber = 0;
        std::int32_t foregroundGroup = -1;

        bool operator==(const StatFields&) const = default;
    };
    static std::optional<StatFields> parseStat(std::string_view line);
    // The read calls ("syscr") and bytes read ("rchar") of a /proc/<pid>/io text.
    static std::optional<ProcessReads> parseIo(std::string_view text);

private:
    std::optional<StatFields> readStat(std::int32_t pid) const;
    std::optional<std::string> terminalName(std::int64_t ttyNumber);
    std::optional<std::vector<std::string>> readList(std::int32_t pid, const char* file) const;
    std::optional<std::string> readLink(const std::string& link) const;
    std::optional<FileIdentity> identityOf(std::int32_t pid, const char* link) const;
    std::optional<std::string> deviceName(dev_t device);
    std::optional<std::string> findDevice(const std::string& directory, const std::string& prefix, dev_t device);

    std::string procRoot_;
    std::string devRoot_;
    // Guards the two caches below, never held while a file is read.
    std::mutex cacheMutex_;
    // Whether the kernel lists each thread's children; known after the first look.
    std::optional<bool> listsChildren_;
    // Device numbers already matched to a name; the name of a device number does not change.
    std::unordered_map<dev_t, std::string> deviceNames_;
};

} // namespace korvane
