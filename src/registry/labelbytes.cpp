#include "registry/labelbytes.h"

#include <cstring>
#include <ostream>

namespace korvane {

LabelBytes& LabelBytes::operator=(const LabelBytes& other) {
    if (this != &other) {
        assign(other.view());
    }
    return *this;
}

LabelBytes& LabelBytes::operator=(LabelBytes&& other) noexcept {
    if (this != &other) {
        release();
        take(other);
    }
    return *this;
}

LabelBytes& LabelBytes::operator=(std::string_view bytes) {
    assign(bytes);
    return *this;
}

void LabelBytes::assign(std::string_view bytes) {
    // Copy before releasing: `bytes` may point into this object.
    if (bytes.size() <= inlineCapacity) {
        char copy[inlineCapacity];
        if (!bytes.empty()) {
            std::memcpy(copy, bytes.data(), bytes.size());
        }
        release();
        if (!bytes.empty()) {
            std::memcpy(inline_, copy, bytes.size());
        }
        size_ = bytes.size();
        return;
    }
    char* stored = new char[bytes.size()];
    std::memcpy(stored, bytes.data(), bytes.size());
    release();
    heap_ = stored;
    size_ = bytes.size();
}

void LabelBytes::clear() {
    release();
    size_ = 0;
}

void LabelBytes::release() {
    if (!isInline()) {
        delete[] heap_;
        size_ = 0;
    }
}

void LabelBytes::take(LabelBytes& other) noexcept {
    if (other.isInline()) {
        std::memcpy(inline_, other.inline_, other.size_);
    } else {
        heap_ = other.heap_;
    }
    size_ = other.size_;
    other.size_ = 0;
}

std::ostream& operator<<(std::ostream& out, const LabelBytes& bytes) {
    return out << bytes.view();
}

} // namespace korvane
