#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace korvane {

// Which provider produced a snippet. A custom source carries the id of its provider; two custom
// sources are equal only when their ids are.
class SnippetSource {
public:
    enum class Kind { manual, claudeSkill, aiDoc, envVar, gitRef, gitRemote, npmScript, makeTarget, filePath, custom };

    static SnippetSource manual() { return SnippetSource(Kind::manual); }
    static SnippetSource claudeSkill() { return SnippetSource(Kind::claudeSkill); }
    static SnippetSource aiDoc() { return SnippetSource(Kind::aiDoc); }
    static SnippetSource envVar() { return SnippetSource(Kind::envVar); }
    static SnippetSource gitRef() { return SnippetSource(Kind::gitRef); }
    static SnippetSource gitRemote() { return SnippetSource(Kind::gitRemote); }
    static SnippetSource npmScript() { return SnippetSource(Kind::npmScript); }
    static SnippetSource makeTarget() { return SnippetSource(Kind::makeTarget); }
    static SnippetSource filePath() { return SnippetSource(Kind::filePath); }
    static SnippetSource custom(std::string id) { return SnippetSource(Kind::custom, std::move(id)); }

    Kind kind() const { return kind_; }
    bool isCustom() const { return kind_ == Kind::custom; }
    // The provider id of a custom source; empty for every other kind.
    const std::string& customId() const { return customId_; }

    // The label a row's badge shows when the snippet has no badge text of its own.
    std::string_view badgeLabel() const;

    bool operator==(const SnippetSource&) const = default;
    std::size_t hash() const;

private:
    explicit SnippetSource(Kind kind, std::string customId = {}) : kind_(kind), customId_(std::move(customId)) {}

    Kind kind_;
    std::string customId_;
};

} // namespace korvane

template <>
struct std::hash<korvane::SnippetSource> {
    std::size_t operator()(const korvane::SnippetSource& source) const noexcept { return source.hash(); }
};
