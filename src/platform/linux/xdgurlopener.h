#pragma once

#include "platform/urlopener.h"

#include <string>
#include <string_view>

namespace korvane {

// Opens addresses with the desktop's `xdg-open`, found on PATH and started without a shell in a
// process group of its own, its standard streams on the null device. It is not waited for (it may
// run as long as the application it starts); a thread of its own reaps it when it ends. Any thread.
class XdgUrlOpener final : public UrlOpener {
public:
    explicit XdgUrlOpener(std::string program = "xdg-open");

    // False for a refused address, or when the program could not be started.
    bool open(const std::string& url) override;

    // Whether `url` may be handed over: not empty, not starting with "-" (it would read as an option)
    // and without control characters.
    static bool isAcceptable(std::string_view url);

private:
    std::string program_;
};

} // namespace korvane
