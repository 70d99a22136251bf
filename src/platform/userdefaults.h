#pragma once

#include <string>

namespace korvane {

// Small per-user flags that outlive the process (whether the onboarding was completed), kept apart
// from the configuration files. Main thread.
class UserDefaults {
public:
    virtual ~UserDefaults() = default;
    // False when the key was never written or cannot be read.
    virtual bool boolForKey(const std::string& key) const = 0;
    virtual void setBool(const std::string& key, bool value) = 0;
};

} // namespace korvane
