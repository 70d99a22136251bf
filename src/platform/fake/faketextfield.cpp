#include "platform/fake/faketextfield.h"

#include "base/graphemescanner.h"
#include "base/unicode.h"

#include <algorithm>

namespace korvane {
namespace {

std::u32string decode(std::string_view utf8) {
    std::u32string out;
    for (std::size_t offset = 0; offset < utf8.size();) {
        const std::int32_t codePoint = nextCodePoint(utf8, offset);
        out.push_back(codePoint < 0 ? U'\uFFFD' : static_cast<char32_t>(codePoint));
    }
    return out;
}

std::string encode(std::u32string_view text) {
    std::string out;
    char buffer[4];
    for (char32_t codePoint : text) {
        out.append(buffer, encodeUtf8(codePoint, buffer));
    }
    return out;
}

} // namespace

FakeTextField::FakeTextField(std::string_view before, std::string_view after)
    : text_(decode(before) + decode(after))
    , selection_{decode(before).size(), 0} {}

std::string FakeTextField::text() const {
    return encode(text_);
}

std::string FakeTextField::beforeCaret() const {
    return encode(std::u32string_view(text_).substr(0, selection_.location));
}

std::string FakeTextField::afterCaret() const {
    return encode(std::u32string_view(text_).substr(selection_.location + selection_.length));
}

void FakeTextField::select(TextSpan span) {
    span.location = std::min(span.location, text_.size());
    span.length = std::min(span.length, text_.size() - span.location);
    selection_ = span;
}

void FakeTextField::type(std::string_view text) {
    const std::u32string inserted = decode(text);
    text_.replace(selection_.location, selection_.length, inserted);
    selection_ = {selection_.location + inserted.size(), 0};
}

void FakeTextField::backspace() {
    if (selection_.length > 0) {
        text_.erase(selection_.location, selection_.length);
        selection_.length = 0;
        return;
    }
    const std::size_t start = previousBoundary(selection_.location);
    text_.erase(start, selection_.location - start);
    selection_.location = start;
}

void FakeTextField::left() {
    if (selection_.length == 0) {
        selection_.location = previousBoundary(selection_.location);
    }
    selection_.length = 0;
}

std::size_t FakeTextField::previousBoundary(std::size_t offset) const {
    if (offset == 0) {
        return 0;
    }
    const std::string before = encode(std::u32string_view(text_).substr(0, offset));
    GraphemeScanner scanner;
    const std::size_t lastBytes = scanner.lastClusterLength(before);
    const std::u32string last = decode(std::string_view(before).substr(before.size() - lastBytes));
    return offset - last.size();
}

} // namespace korvane
