#pragma once

#include "platform/thumbnaildecoder.h"

#include <atomic>

namespace korvane {

// A decoder for tests: bytes starting with "IMG" give a 2 × 1 image, anything else none. Counts its
// calls. Any thread.
class FakeThumbnailDecoder final : public ThumbnailDecoder {
public:
    std::optional<DecodedImage> decodeThumbnail(std::string bytes, int) const override {
        ++calls_;
        if (!bytes.starts_with("IMG")) {
            return std::nullopt;
        }
        return DecodedImage{2, 1, {0xff000000u, 0xffffffffu}};
    }
    int calls() const { return calls_; }

private:
    mutable std::atomic<int> calls_{0};
};

} // namespace korvane
