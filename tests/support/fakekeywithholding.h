#pragma once

#include "input/keywithholding.h"

#include <algorithm>
#include <mutex>
#include <ostream>
#include <vector>

namespace korvane::test {

// A key as a handler or the detector saw it.
struct SeenKey {
    std::uint16_t keyCode;
    std::optional<std::string> characters;
    std::uint64_t flags;
    bool operator==(const SeenKey&) const = default;
};

inline void PrintTo(const SeenKey& key, std::ostream* out) {
    *out << "{" << key.keyCode << ", " << (key.characters ? "\"" + *key.characters + "\"" : "absent")
         << ", 0x" << std::hex << key.flags << std::dec << "}";
}

// A trigger detector's withholding side whose set the test controls; it records delivered keys.
// Any thread.
class FakeKeyWithholding final : public KeyWithholding {
public:
    WithheldKeySet withheldKeys() const override {
        std::lock_guard lock(mutex);
        return keys;
    }
    void setOnWithheldKeysChanged(std::function<void()> callback) override { onChanged = std::move(callback); }
    bool processDeliveredKey(std::uint16_t keyCode, const std::optional<std::string>& characters,
                             std::uint64_t flags) override {
        {
            std::lock_guard lock(mutex);
            delivered.push_back({keyCode, characters, flags});
        }
        if (onDelivered) {
            onDelivered();
        }
        return false;
    }

    // Replaces the set and tells the tap, as the detector does after unlocking.
    void set(WithheldKeySet newKeys) {
        {
            std::lock_guard lock(mutex);
            keys = std::move(newKeys);
        }
        if (onChanged) {
            onChanged();
        }
    }
    bool withholds(std::uint16_t keyCode) const {
        std::lock_guard lock(mutex);
        return std::any_of(keys.begin(), keys.end(), [&](const WithheldKey& key) { return key.keyCode == keyCode; });
    }
    std::vector<SeenKey> deliveredKeys() const {
        std::lock_guard lock(mutex);
        return delivered;
    }

    mutable std::mutex mutex;
    WithheldKeySet keys;
    std::vector<SeenKey> delivered;
    std::function<void()> onChanged;
    // Called, unlocked, for each delivered key; set before keys arrive.
    std::function<void()> onDelivered;
};

} // namespace korvane::test
