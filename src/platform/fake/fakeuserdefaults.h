#pragma once

#include "platform/userdefaults.h"

#include <map>

namespace korvane {

// Flags kept in memory. Main thread.
class FakeUserDefaults final : public UserDefaults {
public:
    bool boolForKey(const std::string& key) const override {
        auto found = values_.find(key);
        return found != values_.end() && found->second;
    }
    void setBool(const std::string& key, bool value) override { values_[key] = value; }

    // Every flag written, for tests that check what was stored.
    const std::map<std::string, bool>& values() const { return values_; }

private:
    std::map<std::string, bool> values_;
};

} // namespace korvane
