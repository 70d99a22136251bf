#include "model/snippet.h"

#include "base/controlcharacters.h"

#include <array>

namespace korvane {

std::string_view toString(SnippetScope scope) {
    switch (scope) {
    case SnippetScope::app:
        return "app";
    case SnippetScope::global:
        return "global";
    case SnippetScope::project:
        return "project";
    }
    return "global";
}

std::optional<SnippetScope> snippetScopeFromString(std::string_view text) {
    for (auto scope : {SnippetScope::app, SnippetScope::global, SnippetScope::project}) {
        if (toString(scope) == text) {
            return scope;
        }
    }
    return std::nullopt;
}

std::string_view SnippetSource::badgeLabel() const {
    static constexpr std::array<std::string_view, 10> labels{"User", "Skill", "Doc", "Env",  "Git",
                                                             "Git",  "npm",   "Make", "File", "Custom"};
    return labels[static_cast<std::size_t>(kind_)];
}

std::size_t SnippetSource::hash() const {
    const auto discriminator = static_cast<std::size_t>(kind_);
    if (kind_ != Kind::custom) {
        return discriminator;
    }
    return discriminator ^ (std::hash<std::string>{}(customId_) + 0x9e3779b97f4a7c15ULL + (discriminator << 6));
}

std::string Snippet::badge() const {
    return badgeText ? *badgeText : std::string(source.badgeLabel());
}

bool Snippet::hasPlainName() const {
    return !ControlCharacters::holdsControlOrLineBreak(label) &&
           !(displayName && ControlCharacters::holdsControlOrLineBreak(*displayName));
}

} // namespace korvane
