#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace korvane {

// A folder opened for reading its entries, below an opened folder and never through a symbolic link;
// owns the descriptor. Any thread.
class DirectoryReader {
public:
    DirectoryReader(int parent, const char* name) {
        const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            dir_ = ::fdopendir(fd);
            if (!dir_) {
                ::close(fd);
            }
        }
    }
    ~DirectoryReader() {
        if (dir_) {
            ::closedir(dir_);
        }
    }
    DirectoryReader(const DirectoryReader&) = delete;
    DirectoryReader& operator=(const DirectoryReader&) = delete;

    bool isOpen() const { return dir_ != nullptr; }
    int fd() const { return ::dirfd(dir_); }
    struct dirent* next() {
        return ::readdir(dir_);
    }

private:
    DIR* dir_ = nullptr;
};

} // namespace korvane
