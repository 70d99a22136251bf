#pragma once

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
    LabelBytes(const LabelBytes& other) { assign(other.view()); }
    LabelBytes(LabelBytes&& other) noexcept { take(other); }
    ~LabelBytes() { release(); }

    LabelBytes& operator=(const LabelBytes& other);
    LabelBytes& operator=(LabelBytes&& other) noexcept;
    LabelBytes& operator=(std::string_view bytes);
    LabelBytes& operator=(const std::string& bytes) { return *this = std::string_view(bytes); }
    LabelBytes& operator=(const char* bytes) { return *this = std::string_view(bytes); }

    void assign(std::string_view bytes);
    void clear();

    std::size_t size() const { return size_; }
    std::size_t length() const { return size_; }
    bool empty() const { return size_ == 0; }
    const char* data() const { return isInline() ? inline_ : heap_; }
    const char* begin() const { return data(); }
    const char* end() const { return data() + size_; }
    char operator[](std::size_t index) const { return data()[index]; }
    char front() const { return data()[0]; }
    char back() const { return data()[size_ - 1]; }

    std::string_view view() const { return std::string_view(data(), size_); }
    operator std::string_view() const { return view(); }
    operator std::string() const { return std::string(view()); }

    friend bool operator==(const LabelBytes& a, const LabelBytes& b) { return a.view() == b.view(); }
    friend bool operator==(const LabelBytes& a, std::string_view b) { return a.view() == b; }
    friend bool operator==(const LabelBytes& a, const std::string& b) { return a.view() == b; }
    friend bool operator==(const LabelBytes& a, const char* b) { return a.view() == b; }
    friend std::ostream& operator<<(std::ostream& out, const LabelBytes& bytes);

private:
    bool isInline() const { return size_ <= inlineCapacity; }
    void release();
    void take(LabelBytes& other) noexcept;

    std::size_t size_ = 0;
    union {
        char inline_[inlineCapacity];
        char* heap_;
    };
};

} // namespace korvane
