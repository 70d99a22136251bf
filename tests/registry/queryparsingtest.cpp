#include "config/scoperegistry.h"
#include "registry/parsedquery.h"
#include "registry/queryintentresolver.h"

#include <gtest/gtest.h>
#include <ostream>

namespace korvane {

// Readable failure output for the tables below.
std::string name(const SnippetSource& source) {
    return source.isCustom() ? "custom:" + source.customId()
                             : std::to_string(static_cast<int>(source.kind()));
}

std::string name(const ScopeSpec& selection) {
    if (const auto* filter = selection.asFilter()) {
        return *filter == ScopeFilter::appScoped ? "appScoped" : "urlOnly";
    }
    std::string text = selection.asSource() ? name(*selection.asSource()) : "[";
    for (const auto& each :
         selection.asMultiSource() ? *selection.asMultiSource() : std::vector<SnippetSource>{}) {
        text += name(each) + " ";
    }
    return selection.asSource() ? text : text + "]";
}

void PrintTo(const ParsedQuery& parsed, std::ostream* out) {
    const auto* chip = parsed.displayChip ? parsed.displayChip->asSource() : nullptr;
    *out << "{chip="
         << (chip                 ? chip->token + "/" + name(chip->source)
             : parsed.displayChip ? "other"
                                  : "none")
         << " scope=" << (parsed.scope ? name(*parsed.scope) : "none")
         << " scopes=" << (parsed.scopes ? std::to_string(parsed.scopes->size()) : "none")
         << " urlOnly=" << parsed.urlOnly << " appFilter=" << parsed.scopeFilter.has_value() << " query='"
         << parsed.query << "' pending=" << parsed.isScopePending << "}";
}

void PrintTo(const QueryIntent& intent, std::ostream* out) {
    if (const auto* scoped = intent.asScopedSearch()) {
        *out << "scopedSearch(" << name(scoped->scope) << ", '" << scoped->query << "', '"
             << scoped->chipToken << "')";
    } else if (const auto* picker = intent.asScopePicker()) {
        *out << "scopePicker('" << picker->searchTerm << "')";
    } else if (const auto* normal = intent.asNormalSearch()) {
        *out << "normalSearch('" << normal->query << "')";
    } else if (const auto* literal = intent.asLiteralSearch()) {
        *out << "literalSearch('" << literal->query << "')";
    } else {
        *out << "help";
    }
}

namespace {

using S = SnippetSource;
using Intent = QueryIntent;

const std::vector<S> gitSources{S::gitRef(), S::gitRemote()};
const ScopeSpec gitSpec = ScopeSpec::multiSource(gitSources);

ParsedQuery plain(std::string text) {
    return {.query = std::move(text)};
}

const ParsedQuery pending{.isScopePending = true};

ParsedQuery scopedTo(S source, std::string token, std::string query) {
    return {.displayChip = QueryChip::source(std::move(token), source),
            .scope = source,
            .scopes = std::vector<S>{source},
            .query = std::move(query)};
}

ParsedQuery git(std::string token, std::string query) {
    return {.displayChip = QueryChip::source(std::move(token), S::gitRef()),
            .scope = S::gitRef(),
            .scopes = gitSources,
            .query = std::move(query)};
}

struct Row {
    std::string text;
    ParsedQuery parsed;
    QueryIntent intent;
};

void expectRows(const ScopeRegistry& registry, const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        EXPECT_EQ(ParsedQuery::parse(row.text, registry), row.parsed) << "parse '" << row.text << "'";
        EXPECT_EQ(QueryIntentResolver::resolve(row.text, registry), row.intent)
            << "resolve '" << row.text << "'";
    }
}

TEST(QueryParsingTest, BuiltInScopes) {
    const ScopeRegistry registry;
    expectRows(registry, {
                             {"", plain(""), Intent::normalSearch("")},
                             {"hello", plain("hello"), Intent::normalSearch("hello")},
                             {"?", plain("?"), Intent::help()},
                             {"? ", plain("? "), Intent::normalSearch("? ")},
                             {"??", plain("??"), Intent::normalSearch("??")},
                             {"@", pending, Intent::scopePicker("")},
                             {"@gi", pending, Intent::scopePicker("gi")},
                             {"@git", git("git", ""), Intent::scopedSearch(gitSpec, "", "git")},
                             {"@GIT main", git("git", "main"), Intent::scopedSearch(gitSpec, "main", "git")},
                             {"@GIT Main", git("git", "Main"), Intent::scopedSearch(gitSpec, "Main", "git")},
                             {"@f/src/App", scopedTo(S::filePath(), "f", "src/App"),
                              Intent::scopedSearch(ScopeSpec::source(S::filePath()), "src/App", "f")},
                             {"@gfoo", git("g", "foo"), Intent::scopedSearch(gitSpec, "foo", "g")},
                             {"@tagrel", scopedTo(S::gitRef(), "tag", "rel"),
                              Intent::scopedSearch(ScopeSpec::source(S::gitRef()), "rel", "tag")},
                             {"@bmain", plain("@bmain"), Intent::scopePicker("bmain")},
                             {"@x", plain("@x"), Intent::scopePicker("x")},
                             {"@xyz foo", plain("@xyz foo"), Intent::scopePicker("xyz")},
                             {"@gx foo", git("g", "x foo"), Intent::scopePicker("gx")},
                             {"@app hi",
                              {.displayChip = QueryChip::app(),
                               .scope = S::manual(),
                               .scopes = std::vector<S>{S::manual()},
                               .scopeFilter = SnippetScope::app,
                               .query = "hi"},
                              Intent::scopedSearch(ScopeSpec::filter(ScopeFilter::appScoped), "hi", "app")},
                             {"@url docs",
                              {.displayChip = QueryChip::url(), .urlOnly = true, .query = "docs"},
                              Intent::scopedSearch(ScopeSpec::filter(ScopeFilter::urlOnly), "docs", "url")},
                             {"@link/x",
                              {.displayChip = QueryChip::url(), .urlOnly = true, .query = "x"},
                              Intent::scopedSearch(ScopeSpec::filter(ScopeFilter::urlOnly), "x", "link")},
                             {"@@foo", plain("@@foo"), Intent::literalSearch("@foo")},
                             {"@@", plain("@@"), Intent::literalSearch("@")},
                             {"@ foo", plain("@ foo"), Intent::scopePicker("")},
                             {"@/src", plain("@/src"), Intent::scopePicker("")},
                             {"@git  a", git("git", " a"), Intent::scopedSearch(gitSpec, " a", "git")},
                             {"@g/", git("g", ""), Intent::scopedSearch(gitSpec, "", "g")},
                         });
}

TEST(QueryParsingTest, CompactTokens) {
    const ScopeRegistry registry;
    expectRows(registry,
               {
                   {"@gmain", git("g", "main"), Intent::scopedSearch(gitSpec, "main", "g")},
                   {"@GMain", git("g", "Main"), Intent::scopedSearch(gitSpec, "Main", "g")},
                   // A one-character compact token alone is the exact token, with nothing left to search.
                   {"@g", git("g", ""), Intent::scopedSearch(gitSpec, "", "g")},
                   // The longest compact token wins.
                   {"@gitx", git("git", "x"), Intent::scopedSearch(gitSpec, "x", "git")},
                   {"@remoteorigin", scopedTo(S::gitRemote(), "remote", "origin"),
                    Intent::scopedSearch(ScopeSpec::source(S::gitRemote()), "origin", "remote")},
                   {"@filex", scopedTo(S::filePath(), "file", "x"),
                    Intent::scopedSearch(ScopeSpec::source(S::filePath()), "x", "file")},
                   {"@nbuild", scopedTo(S::npmScript(), "n", "build"),
                    Intent::scopedSearch(ScopeSpec::source(S::npmScript()), "build", "n")},
                   // Still the start of "remote", so no compact split into "r" + "em".
                   {"@rem", pending, Intent::scopePicker("rem")},
                   {"@m", scopedTo(S::makeTarget(), "m", ""),
                    Intent::scopedSearch(ScopeSpec::source(S::makeTarget()), "", "m")},
                   {"@mfoo", plain("@mfoo"), Intent::scopePicker("mfoo")},
                   // A tab is an ordinary character, never a separator.
                   {"@git\tmain", git("git", "\tmain"), Intent::scopedSearch(gitSpec, "\tmain", "git")},
               });
}

TEST(QueryParsingTest, CountsUserPerceivedCharacters) {
    const ScopeRegistry registry;
    expectRows(registry,
               {
                   {"@Ä", plain("@Ä"), Intent::scopePicker("ä")},
                   {"@Gé x", git("g", "é x"), Intent::scopePicker("gé")},
                   {"@GIT Ünïcode", git("git", "Ünïcode"), Intent::scopedSearch(gitSpec, "Ünïcode", "git")},
                   // "g" with a combining accent is one character that is not the token "g".
                   {"@g\u0301x", plain("@g\u0301x"), Intent::scopePicker("g\u0301x")},
                   // A space that carries a combining mark is not a separator.
                   {"@git \u0301x", git("git", " \u0301x"), Intent::scopedSearch(gitSpec, " \u0301x", "git")},
               });
}

TEST(QueryParsingTest, CustomProviderScopes) {
    const ScopeRegistry registry({
        {.id = "deploy", .label = "Deploy", .command = "./deploy"},
        {.id = "jira", .label = "Jira", .command = "jira", .scope = "Tickets"},
        {.id = "gh", .label = "GitHub", .command = "gh", .scope = "Git"},
        {.id = "menu", .label = "Menu", .command = "m", .scope = "cafe\u0301"},
    });
    const S deploy = S::custom("deploy");
    const S jira = S::custom("jira");
    expectRows(registry, {
                             {"@deploy", scopedTo(deploy, "deploy", ""),
                              Intent::scopedSearch(ScopeSpec::source(deploy), "", "deploy")},
                             {"@deploy x", scopedTo(deploy, "deploy", "x"),
                              Intent::scopedSearch(ScopeSpec::source(deploy), "x", "deploy")},
                             {"@DEPLOY/Prod", scopedTo(deploy, "deploy", "Prod"),
                              Intent::scopedSearch(ScopeSpec::source(deploy), "Prod", "deploy")},
                             // Custom tokens are never compact.
                             {"@deployx", plain("@deployx"), Intent::scopePicker("deployx")},
                             {"@de", pending, Intent::scopePicker("de")},
                             {"@tickets 12", scopedTo(jira, "tickets", "12"),
                              Intent::scopedSearch(ScopeSpec::source(jira), "12", "tickets")},
                             // A provider with its own scope is not reached through its id.
                             {"@jira 12", plain("@jira 12"), Intent::scopePicker("jira")},
                             // The colliding provider leaves the built-in git scope as it was.
                             {"@git x", git("git", "x"), Intent::scopedSearch(gitSpec, "x", "git")},
                             // "ti" now starts "tickets", so it no longer splits into the tag scope and "i".
                             {"@ti", pending, Intent::scopePicker("ti")},
                             {"@tx", scopedTo(S::gitRef(), "t", "x"),
                              Intent::scopedSearch(ScopeSpec::source(S::gitRef()), "x", "t")},
                             {"@caf", pending, Intent::scopePicker("caf")},
                             // "cafe" is a byte prefix of the token but ends inside its last character.
                             {"@cafe", plain("@cafe"), Intent::scopePicker("cafe")},
                         });

    const ScopeRegistry builtIns;
    EXPECT_EQ(ParsedQuery::parse("@ti", builtIns), scopedTo(S::gitRef(), "t", "i"));
    EXPECT_EQ(ParsedQuery::parse("@de", builtIns), plain("@de"));
}

TEST(QueryParsingTest, ScopeWithoutSources) {
    // A multi-source scope with no sources selects nothing and has no source to show.
    EXPECT_EQ(ParsedQuery::scoped(ScopeSpec::multiSource({}), "x", "q"),
              (ParsedQuery{.scopes = std::vector<S>{}, .query = "q"}));
    EXPECT_EQ(ParsedQuery::scoped(ScopeSpec::multiSource({S::npmScript()}), "x", ""),
              scopedTo(S::npmScript(), "x", ""));
}

TEST(QueryParsingTest, RecordsCompareCaseAndPayload) {
    EXPECT_NE(QueryChip::source("g", S::gitRef()), QueryChip::source("git", S::gitRef()));
    EXPECT_NE(QueryChip::source("x", S::custom("a")), QueryChip::source("x", S::custom("b")));
    EXPECT_NE(QueryChip::app(), QueryChip::url());
    EXPECT_NE(QueryChip::url(), QueryChip::scopePending());
    EXPECT_EQ(QueryChip::source("f", S::filePath()), QueryChip::source("f", S::filePath()));

    EXPECT_NE(Intent::normalSearch("x"), Intent::literalSearch("x"));
    EXPECT_NE(Intent::scopePicker(""), Intent::normalSearch(""));
    EXPECT_NE(Intent::scopedSearch(gitSpec, "q", "g"),
              Intent::scopedSearch(ScopeSpec::multiSource({S::gitRemote(), S::gitRef()}), "q", "g"));
    EXPECT_NE(Intent::scopedSearch(gitSpec, "q", "g"), Intent::scopedSearch(gitSpec, "q", "git"));
    EXPECT_EQ(Intent::help(), Intent::help());
}

} // namespace
} // namespace korvane
