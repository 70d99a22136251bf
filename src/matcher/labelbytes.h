#pragma once

#include "base/smallvector.h"

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

namespace korvane {

// The lower-cased bytes of a prepared label. Labels of up to `inlineCapacity` bytes, nearly all of
// them, live inside the object, so matching a record reads no memory beyond the record itself; longer
// ones go to the heap. Reads like a std::string. Plain value: threads may read one concurrently.
class LabelBytes {
public:
    static constexpr std::size_t inlineCapacity = 120;

    LabelBytes() = default;
    LabelBytes(std::string_view bytes) { assign(bytes); }
    LabelBytes(const std::string& bytes) { assign(bytes); }
    LabelBytes(const char* bytes) { assign(bytes); }

    LabelBytes& operator=(std::string_view bytes) {
        assign(bytes);
        return *this;
    }
    LabelBytes& operator=(const std::string& bytes) { return *this = std::string_view(bytes); }
    LabelBytes& operator=(const char* bytes) { return *this = std::string_view(bytes); }

    // `bytes` may point into this object.
    void assign(std::string_view bytes) { bytes_.assign(bytes.data(), bytes.size()); }
    void clear() { bytes_.clear(); }

    std::size_t size() const { return bytes_.size(); }
    std::size_t length() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }
    const char* data() const { return bytes_.data(); }
    const char* begin() const { return bytes_.begin(); }
    const char* end() const { return bytes_.end(); }
    char operator[](std::size_t index) const { return bytes_[index]; }
    char front() const { return bytes_.front(); }
    char back() const { return bytes_.back(); }

    std::string_view view() const { return std::string_view(data(), size()); }
    operator std::string_view() const { return view(); }
    operator std::string() const { return std::string(view()); }

    friend bool operator==(const LabelBytes& a, const LabelBytes& b) { return a.view() == b.view(); }
    friend bool operator==(const LabelBytes& a, std::string_view b) { return a.view() == b; }
    friend bool operator==(const LabelBytes& a, const std::string& b) { return a.view() == b; }
    friend bool operator==(const LabelBytes& a, const char* b) { return a.view() == b; }
    friend std::ostream& operator<<(std::ostream& out, const LabelBytes& bytes);

private:
    SmallVector<char, inlineCapacity> bytes_;
};

} // namespace korvane
