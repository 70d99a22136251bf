#include "registry/historyfilewriter.h"

#include "base/diagnostics.h"
#include "base/fileio.h"

#include <system_error>

namespace korvane {

namespace fs = std::filesystem;

HistoryFileWriter::HistoryFileWriter(fs::path historyPath, fs::path setAsidePath)
    : historyPath_(std::move(historyPath))
    , setAsidePath_(std::move(setAsidePath)) {}

void HistoryFileWriter::requireSetAside(SetAside setAside) {
    const std::lock_guard lock(mutex_);
    setAside_ = std::move(setAside);
}

bool HistoryFileWriter::write(std::uint64_t saveNumber, const UsageHistory& history) {
    const std::lock_guard lock(mutex_);
    if (saveNumber <= writtenSave_) {
        return true; // a newer save is already on disk
    }
    const auto text = history.encode();
    if (!text || !setAsideOldFile()) {
        return false; // the old file stays in place; the next save tries again
    }
    if (auto written = writeFileAtomically(historyPath_, *text); !written) {
        reportWriteFailure(written.error());
        return false;
    }
    reportedWriteFailures_.clear();
    writtenSave_ = saveNumber;
    return true;
}

bool HistoryFileWriter::setAsideOldFile() {
    if (const auto* copy = std::get_if<CopyAside>(&setAside_)) {
        if (auto written = writeFileAtomically(setAsidePath_, copy->bytes); !written) {
            reportWriteFailure(written.error());
            return false;
        }
    } else if (std::holds_alternative<MoveAside>(setAside_)) {
        std::error_code error;
        fs::rename(historyPath_, setAsidePath_, error);
        if (error && error != std::errc::no_such_file_or_directory) {
            return false;
        }
    }
    setAside_ = std::monostate{};
    return true;
}

void HistoryFileWriter::reportWriteFailure(const std::string& message) {
    // The messages end in the system's reason; the part before it names a temporary file.
    const auto reason = message.rfind(": ");
    const std::string kind = reason == std::string::npos ? message : message.substr(reason + 2);
    if (reportedWriteFailures_.insert(kind).second) {
        diagnostic("Could not save usage history: " + message);
    }
}

} // namespace korvane
