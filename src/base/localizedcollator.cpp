#include "base/localizedcollator.h"

#include "base/unicode.h"

#include <string>
#include <unicode/coll.h>
#include <unicode/unistr.h>
#include <vector>

namespace korvane {
namespace {

icu::UnicodeString toUnicode(std::string_view text) {
    return icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
}

} // namespace

LocalizedCollator::LocalizedCollator(std::string_view locale) {
    const icu::Locale chosen = locale.empty() ? icu::Locale::getDefault()
                                              : icu::Locale::createCanonical(std::string(locale).c_str());
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> created(icu::Collator::createInstance(chosen, status));
    if (U_FAILURE(status) || !created) {
        status = U_ZERO_ERROR;
        created.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    }
    if (U_SUCCESS(status) && created) {
        created->setStrength(icu::Collator::SECONDARY);
        collator_ = std::move(created);
    }
}

LocalizedCollator::~LocalizedCollator() = default;
LocalizedCollator::LocalizedCollator(LocalizedCollator&&) noexcept = default;
LocalizedCollator& LocalizedCollator::operator=(LocalizedCollator&&) noexcept = default;

int LocalizedCollator::compare(std::string_view a, std::string_view b) const {
    if (!collator_) {
        return lowercased(a).compare(lowercased(b));
    }
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result =
        collator_->compareUTF8(icu::StringPiece(a.data(), static_cast<std::int32_t>(a.size())),
                               icu::StringPiece(b.data(), static_cast<std::int32_t>(b.size())), status);
    if (U_FAILURE(status)) {
        return lowercased(a).compare(lowercased(b));
    }
    return static_cast<int>(result);
}

std::string LocalizedCollator::sortKey(std::string_view text) const {
    if (!collator_) {
        return lowercased(text);
    }
    const icu::UnicodeString unicode = toUnicode(text);
    std::vector<std::uint8_t> key(64 + 4 * static_cast<std::size_t>(unicode.length()));
    std::int32_t needed = collator_->getSortKey(unicode, key.data(), static_cast<std::int32_t>(key.size()));
    if (needed > static_cast<std::int32_t>(key.size())) {
        key.resize(static_cast<std::size_t>(needed));
        needed = collator_->getSortKey(unicode, key.data(), needed);
    }
    // The key ends with a zero byte that adds nothing to the order.
    const std::size_t length = needed > 0 ? static_cast<std::size_t>(needed) - 1 : 0;
    return std::string(reinterpret_cast<const char*>(key.data()), length);
}

} // namespace korvane
