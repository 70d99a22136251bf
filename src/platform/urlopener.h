#pragma once

#include <string>

namespace korvane {

// Opens a web address or a file URL with the user's preferred application, without a shell and without
// waiting for that application. Main thread.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // False when no opener could be started.
    virtual bool open(const std::string& url) = 0;
};

} // namespace korvane
