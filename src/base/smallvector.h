#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>

namespace korvane {

// A vector of plain values that keeps up to `InlineCapacity` of them inside the object and moves to
// the heap only past that. Matching builds one list of highlight ranges per match, thousands per
// keystroke, and nearly all of them hold one range. Reads like a std::vector; plain value.
template <class T, std::size_t InlineCapacity> class SmallVector {
    static_assert(std::is_trivially_copyable_v<T>, "elements are copied as bytes");
    static_assert(InlineCapacity > 0);

public:
    using value_type = T;
    using size_type = std::size_t;
    using reference = T&;
    using const_reference = const T&;
    using iterator = T*;
    using const_iterator = const T*;

    SmallVector() = default;
    SmallVector(std::initializer_list<T> values) { assign(values.begin(), values.size()); }
    SmallVector(const SmallVector& other) { assign(other.data(), other.size()); }
    SmallVector(SmallVector&& other) noexcept { take(other); }
    ~SmallVector() { release(); }

    SmallVector& operator=(const SmallVector& other) {
        if (this != &other) {
            size_ = 0;
            assign(other.data(), other.size());
        }
        return *this;
    }
    SmallVector& operator=(SmallVector&& other) noexcept {
        if (this != &other) {
            release();
            take(other);
        }
        return *this;
    }

    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    bool empty() const { return size_ == 0; }

    T* data() { return isInline() ? std::launder(reinterpret_cast<T*>(inline_)) : heap_; }
    const T* data() const { return isInline() ? std::launder(reinterpret_cast<const T*>(inline_)) : heap_; }
    T* begin() { return data(); }
    T* end() { return data() + size_; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + size_; }

    T& operator[](std::size_t index) { return data()[index]; }
    const T& operator[](std::size_t index) const { return data()[index]; }
    T& front() { return data()[0]; }
    const T& front() const { return data()[0]; }
    T& back() { return data()[size_ - 1]; }
    const T& back() const { return data()[size_ - 1]; }

    void reserve(std::size_t wanted) {
        if (wanted <= capacity_) {
            return;
        }
        T* grown = new T[wanted];
        std::copy_n(data(), size_, grown);
        release();
        heap_ = grown;
        capacity_ = static_cast<std::uint32_t>(wanted);
    }

    void push_back(const T& value) {
        if (size_ == capacity_) {
            // The value may live in this vector, so copy it before growing.
            const T copy = value;
            reserve(2 * capacity_);
            data()[size_++] = copy;
            return;
        }
        data()[size_++] = value;
    }

    void clear() { size_ = 0; }

    // Replaces the elements with the `count` values at `values`, which may lie in this vector.
    void assign(const T* values, std::size_t count) {
        if (count <= capacity_) {
            if (count > 0) {
                std::memmove(static_cast<void*>(data()), values, count * sizeof(T));
            }
        } else {
            T* grown = new T[count];
            std::memcpy(static_cast<void*>(grown), values, count * sizeof(T));
            release();
            heap_ = grown;
            capacity_ = static_cast<std::uint32_t>(count);
        }
        size_ = static_cast<std::uint32_t>(count);
    }

    friend bool operator==(const SmallVector& a, const SmallVector& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    bool isInline() const { return capacity_ == InlineCapacity; }

    void release() {
        if (!isInline()) {
            delete[] heap_;
            capacity_ = InlineCapacity;
        }
    }

    // Takes over `other`'s elements and leaves it empty and inline.
    void take(SmallVector& other) noexcept {
        if (other.isInline()) {
            // The whole buffer: a copy of known size compiles to a few moves, not a library call.
            std::memcpy(inline_, other.inline_, sizeof inline_);
        } else {
            heap_ = other.heap_;
            capacity_ = other.capacity_;
            other.capacity_ = InlineCapacity;
        }
        size_ = other.size_;
        other.size_ = 0;
    }

    std::uint32_t size_ = 0;
    std::uint32_t capacity_ = InlineCapacity;
    // Raw bytes rather than an array of T, so that T's member initialisers cost nothing here.
    union {
        alignas(T) unsigned char inline_[InlineCapacity * sizeof(T)];
        T* heap_;
    };
};

} // namespace korvane
