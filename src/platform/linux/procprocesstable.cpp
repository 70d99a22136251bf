#include "platform/linux/procprocesstable.h"

#include "platform/linux/uniquefd.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace korvane {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// A /proc file is generated on read; one read of a few kilobytes holds a whole stat line.
std::optional<std::string> readProcFile(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        return std::nullopt;
    }
    std::string text(4096, '\0');
    ssize_t count;
    do {
        count = ::read(fd.get(), text.data(), text.size());
    } while (count < 0 && errno == EINTR);
    if (count <= 0) {
        return std::nullopt;
    }
    text.resize(static_cast<std::size_t>(count));
    return text;
}

template <typename Number> std::optional<Number> parseNumber(std::string_view text) {
    Number value{};
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// A /proc file read whole (a children list grows with the children); absent when it cannot be opened
// or holds more than `limit` bytes.
std::optional<std::string> readWholeProcFile(const std::string& path,
                                             std::size_t limit = std::numeric_limits<std::size_t>::max()) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        if (static_cast<std::size_t>(count) > limit - text.size()) {
            return std::nullopt;
        }
        text.append(buffer, static_cast<std::size_t>(count));
    }
    return text;
}

// The numeric entries of a /proc directory.
std::vector<std::int32_t> numericEntries(const std::string& directory) {
    std::vector<std::int32_t> numbers;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(directory.c_str()));
    if (!dir) {
        return numbers;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        if (auto number = parseNumber<std::int32_t>(entry->d_name); number && *number >= 1) {
            numbers.push_back(*number);
        }
    }
    return numbers;
}

} // namespace

ProcProcessTable::ProcProcessTable(std::string procRoot, std::string devRoot)
    : procRoot_(std::move(procRoot))
    , devRoot_(std::move(devRoot)) {}

std::optional<ProcProcessTable::StatFields> ProcProcessTable::parseStat(std::string_view line) {
    // The command name in parentheses may itself hold spaces and ")", so the fields are counted
    // from the last ")": state, parent, process group, session, terminal, terminal's foreground group.
    const std::size_t open = line.find('(');
    const std::size_t close = line.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
        return std::nullopt;
    }
    std::string_view rest = line.substr(close + 1);
    constexpr std::size_t count = 6;
    std::string_view fields[count];
    std::size_t found = 0;
    std::size_t position = 0;
    while (found < count) {
        position = rest.find_first_not_of(" \n", position);
        if (position == std::string_view::npos) {
            return std::nullopt;
        }
        std::size_t end = rest.find_first_of(" \n", position);
        fields[found++] = rest.substr(position, end == std::string_view::npos ? rest.npos : end - position);
        if (end == std::string_view::npos) {
            break;
        }
        position = end;
    }
    if (found < count) {
        return std::nullopt;
    }
    auto parent = parseNumber<std::int32_t>(fields[1]);
    auto group = parseNumber<std::int32_t>(fields[2]);
    auto tty = parseNumber<std::int64_t>(fields[4]);
    auto foreground = parseNumber<std::int32_t>(fields[5]);
    if (!parent || !group || !tty || !foreground) {
        return std::nullopt;
    }
    return StatFields{std::string(line.substr(open + 1, close - open - 1)), *parent, *group, *tty,
                      *foreground};
}

std::optional<ProcProcessTable::StatFields> ProcProcessTable::readStat(std::int32_t pid) const {
    auto line = readProcFile(procRoot_ + "/" + std::to_string(pid) + "/stat");
    return line ? parseStat(*line) : std::nullopt;
}

std::map<std::int32_t, std::vector<std::int32_t>> ProcProcessTable::allProcessParents() {
    std::map<std::int32_t, std::vector<std::int32_t>> children;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(procRoot_.c_str()));
    if (!dir) {
        return children;
    }
    std::vector<std::int32_t> pids;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (auto pid = parseNumber<std::int32_t>(entry->d_name); pid && *pid >= 1) {
            pids.push_back(*pid);
        }
    }
    std::sort(pids.begin(), pids.end());
    for (std::int32_t pid : pids) {
        // A process that ended since the listing is left out.
        if (auto fields = readStat(pid)) {
            children[fields->parentPid].push_back(pid);
        }
    }
    return children;
}

std::optional<std::vector<std::int32_t>> ProcProcessTable::childProcesses(std::int32_t pid) {
    std::optional<bool> lists;
    {
        const std::lock_guard lock(cacheMutex_);
        lists = listsChildren_;
    }
    if (!lists) {
        // Kernels built without it have no children file even for the thread asking.
        lists = ::access((procRoot_ + "/thread-self/children").c_str(), R_OK) == 0;
        const std::lock_guard lock(cacheMutex_);
        listsChildren_ = lists;
    }
    if (!*lists) {
        return std::nullopt;
    }
    // A child is listed under the thread that started it, so every thread of the process is read.
    const std::string tasks = procRoot_ + "/" + std::to_string(pid) + "/task";
    std::vector<std::int32_t> children;
    for (std::int32_t thread : numericEntries(tasks)) {
        // A thread or process that ended since the listing has no children left.
        const auto listed = readWholeProcFile(tasks + "/" + std::to_string(thread) + "/children");
        if (!listed) {
            continue;
        }
        std::string_view rest = *listed;
        while (!rest.empty()) {
            const std::size_t start = rest.find_first_not_of(" \n");
            if (start == std::string_view::npos) {
                break;
            }
            rest.remove_prefix(start);
            const std::size_t end = std::min(rest.find_first_of(" \n"), rest.size());
            if (auto child = parseNumber<std::int32_t>(rest.substr(0, end)); child && *child >= 1) {
                children.push_back(*child);
            }
            rest.remove_prefix(end);
        }
    }
    std::sort(children.begin(), children.end());
    children.erase(std::unique(children.begin(), children.end()), children.end());
    return children;
}

std::optional<ProcessStatus> ProcProcessTable::status(std::int32_t pid) {
    auto fields = readStat(pid);
    if (!fields) {
        return std::nullopt;
    }
    return ProcessStatus{std::move(fields->name), terminalName(fields->ttyNumber), fields->processGroup,
                         fields->foregroundGroup};
}

std::optional<std::string> ProcProcessTable::terminalName(std::int64_t ttyNumber) {
    if (ttyNumber == 0) {
        return std::nullopt;
    }
    auto number = static_cast<std::uint64_t>(ttyNumber);
    auto major = static_cast<unsigned>((number >> 8) & 0xfff);
    auto minor = static_cast<unsigned>((number & 0xff) | ((number >> 12) & 0xfff00));
    return deviceName(makedev(major, minor));
}

std::optional<std::string> ProcProcessTable::deviceName(dev_t device) {
    {
        const std::lock_guard lock(cacheMutex_);
        if (auto known = deviceNames_.find(device); known != deviceNames_.end()) {
            return known->second;
        }
    }
    // Pseudo-terminals use majors 136 to 143, 256 numbers each; check that guess before listing.
    unsigned ptsNumber = major(device) >= 136 && major(device) <= 143 ? (major(device) - 136) * 256 + minor(device)
                                                                       : minor(device);
    std::string guess = "pts/" + std::to_string(ptsNumber);
    struct stat info{};
    std::optional<std::string> name;
    if (::stat((devRoot_ + "/" + guess).c_str(), &info) == 0 && S_ISCHR(info.st_mode) && info.st_rdev == device) {
        name = guess;
    } else {
        name = findDevice(devRoot_ + "/pts", "pts/", device);
        if (!name) {
            name = findDevice(devRoot_, "", device);
        }
    }
    if (name) {
        const std::lock_guard lock(cacheMutex_);
        deviceNames_.emplace(device, *name);
    }
    return name;
}

std::optional<std::string> ProcProcessTable::findDevice(const std::string& directory, const std::string& prefix,
                                                        dev_t device) {
    std::unique_ptr<DIR, DirCloser> dir(::opendir(directory.c_str()));
    if (!dir) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (entry->d_type == DT_CHR || entry->d_type == DT_UNKNOWN) {
            names.emplace_back(entry->d_name);
        }
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        struct stat info{};
        if (::lstat((directory + "/" + name).c_str(), &info) == 0 && S_ISCHR(info.st_mode) &&
            info.st_rdev == device) {
            return prefix + name;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ProcProcessTable::currentDirectory(std::int32_t pid) {
    auto target = readLink(procRoot_ + "/" + std::to_string(pid) + "/cwd");
    if (!target || target->ends_with(" (deleted)") || target->front() != '/') {
        return std::nullopt;
    }
    return target;
}

std::optional<std::vector<std::string>> ProcProcessTable::openFiles(std::int32_t pid) {
    const std::string folder = procRoot_ + "/" + std::to_string(pid) + "/fd";
    std::unique_ptr<DIR, DirCloser> directory(::opendir(folder.c_str()));
    if (!directory) {
        return std::nullopt;
    }
    std::vector<std::string> files;
    while (const dirent* entry = ::readdir(directory.get())) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        // A descriptor closed since the listing is simply gone.
        if (auto target = readLink(folder + "/" + entry->d_name)) {
            files.push_back(std::move(*target));
        }
    }
    return files;
}

// The target of a /proc link; absent for another user's process (most often) or a target that does
// not fit a path.
std::optional<std::string> ProcProcessTable::readLink(const std::string& link) const {
    std::string target(4096, '\0');
    ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) {
        return std::nullopt;
    }
    target.resize(static_cast<std::size_t>(length));
    return target;
}

std::optional<std::vector<std::string>> ProcProcessTable::commandLine(std::int32_t pid) {
    return readList(pid, "cmdline");
}

std::optional<std::vector<std::string>> ProcProcessTable::environment(std::int32_t pid) {
    return readList(pid, "environ");
}

// The zero-separated entries of a /proc file such as cmdline or environ, up to the limit.
std::optional<std::vector<std::string>> ProcProcessTable::readList(std::int32_t pid, const char* file) const {
    const auto text = readWholeProcFile(procRoot_ + "/" + std::to_string(pid) + "/" + file, listLimit);
    if (!text) {
        return std::nullopt;
    }
    std::vector<std::string> entries;
    for (std::string_view rest = *text; !rest.empty();) {
        const std::size_t end = std::min(rest.find('\0'), rest.size());
        entries.emplace_back(rest.substr(0, end));
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return entries;
}

std::optional<FileIdentity> ProcProcessTable::executable(std::int32_t pid) {
    return identityOf(pid, "exe");
}

std::optional<FileIdentity> ProcProcessTable::mountNamespace(std::int32_t pid) {
    return identityOf(pid, "ns/mnt");
}

// The file a /proc/<pid> link leads to, as the kernel follows it (to a deleted file too).
std::optional<FileIdentity> ProcProcessTable::identityOf(std::int32_t pid, const char* link) const {
    struct stat info{};
    if (::stat((procRoot_ + "/" + std::to_string(pid) + "/" + link).c_str(), &info) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

std::optional<SocketListener> ProcProcessTable::socketListener(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return std::nullopt;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    // Non-blocking: a listener whose queue is full is not waited for. The kernel completes the
    // connection itself, so a listener that is stopped is still described.
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid() ||
        ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return std::nullopt;
    }
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof peer ||
        peer.pid < 1) {
        return std::nullopt;
    }
    return SocketListener{peer.pid, peer.uid};
}

std::optional<ProcessReads> ProcProcessTable::parseIo(std::string_view text) {
    std::optional<std::uint64_t> calls;
    std::optional<std::uint64_t> bytes;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        const std::size_t colon = line.find(": ");
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string_view key = line.substr(0, colon);
        if (key == "syscr") {
            calls = parseNumber<std::uint64_t>(line.substr(colon + 2));
        } else if (key == "rchar") {
            bytes = parseNumber<std::uint64_t>(line.substr(colon + 2));
        }
    }
    if (!calls || !bytes) {
        return std::nullopt;
    }
    return ProcessReads{*calls, *bytes};
}

std::optional<ProcessReads> ProcProcessTable::reads(std::int32_t pid) {
    // Readable for the user's own processes only; the kernel refuses another user's. The main thread's
    // own counts: the process's whole counts take in every child it has reaped, so a shell back at its
    // prompt would read as having read all that its last command's program did.
    const std::string id = std::to_string(pid);
    const auto text = readProcFile(procRoot_ + "/" + id + "/task/" + id + "/io");
    return text ? parseIo(*text) : std::nullopt;
}

std::optional<std::chrono::system_clock::time_point> ProcProcessTable::deviceAccessTime(const std::string& ttyName) {
    if (ttyName.empty() || ttyName.find("..") != std::string::npos) {
        return std::nullopt;
    }
    struct stat info{};
    if (::stat((devRoot_ + "/" + ttyName).c_str(), &info) != 0) {
        return std::nullopt;
    }
    auto since = std::chrono::seconds(info.st_atim.tv_sec) + std::chrono::nanoseconds(info.st_atim.tv_nsec);
    return std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(since));
}

} // namespace korvane
