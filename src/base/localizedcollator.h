#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class Collator;
U_NAMESPACE_END

namespace korvane {

// Localized case-insensitive ordering of texts such as snippet labels: collation at secondary
// strength, so accents count and letter case does not. Use one instance from one thread at a time.
class LocalizedCollator {
public:
    // `locale` is a locale name such as "de_DE" or "sv"; empty means the user's locale from the
    // environment. An unknown name falls back to the root collation order.
    explicit LocalizedCollator(std::string_view locale = {});
    ~LocalizedCollator();
    LocalizedCollator(LocalizedCollator&&) noexcept;
    LocalizedCollator& operator=(LocalizedCollator&&) noexcept;

    // Negative, zero or positive as `a` sorts before, together with, or after `b`.
    int compare(std::string_view a, std::string_view b) const;

    // Bytes whose plain byte order (std::string comparison) is the collation order of the texts;
    // sorting many times by one key each is much cheaper than comparing texts.
    std::string sortKey(std::string_view text) const;

private:
    std::unique_ptr<icu::Collator> collator_;
};

} // namespace korvane
