#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace korvane {

// Walks the extended grapheme clusters of a UTF-8 text by byte offset, without normalising, reusing
// one break iterator so that short texts cost no allocation. Not shared between threads: each owner
// (a trigger detector, a query buffer, one per thread) keeps its own and serialises its calls.
class GraphemeScanner {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    GraphemeScanner();
    ~GraphemeScanner();
    GraphemeScanner(const GraphemeScanner&) = delete;
    GraphemeScanner& operator=(const GraphemeScanner&) = delete;

    // Starts a walk over `text`, which must stay alive and unchanged until the walk ends.
    void start(std::string_view text);
    // The byte offset at which the next cluster ends, or npos once the text is exhausted.
    std::size_t next();

    // The number of bytes of the last cluster of `text` (0 for an empty text).
    std::size_t lastClusterLength(std::string_view text);
    // The number of clusters of `text`.
    std::size_t clusterCount(std::string_view text);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace korvane
