#pragma once

#include "platform/urlopener.h"

#include <vector>

namespace korvane {

// Records the addresses it is asked to open. Main thread.
class FakeUrlOpener final : public UrlOpener {
public:
    bool open(const std::string& url) override {
        opened_.push_back(url);
        return succeeds_;
    }

    const std::vector<std::string>& opened() const { return opened_; }
    // Makes open() report that no opener could be started (the address is still recorded).
    void setSucceeds(bool succeeds) { succeeds_ = succeeds; }

private:
    std::vector<std::string> opened_;
    bool succeeds_ = true;
};

} // namespace korvane
