#include "config/textcase.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace korvane {

std::string lowercased(std::string_view text) {
    icu::UnicodeString unicode =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    unicode.toLower(icu::Locale::getRoot());
    std::string result;
    unicode.toUTF8String(result);
    return result;
}

} // namespace korvane
