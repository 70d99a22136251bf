#include "presentation/searchshellvariant.h"

namespace korvane {

std::string_view toString(SearchShellVariant variant) {
    switch (variant) {
    case SearchShellVariant::scopesOnly:
        return "scopesOnly";
    case SearchShellVariant::mixed:
        return "mixed";
    case SearchShellVariant::scopedEmpty:
        return "scopedEmpty";
    }
    return "mixed";
}

std::optional<SearchShellVariant> searchShellVariantFromString(std::string_view text) {
    for (auto variant :
         {SearchShellVariant::scopesOnly, SearchShellVariant::mixed, SearchShellVariant::scopedEmpty}) {
        if (toString(variant) == text) {
            return variant;
        }
    }
    return std::nullopt;
}

} // namespace korvane
