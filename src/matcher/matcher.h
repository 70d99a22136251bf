#pragma once

// The text matcher. Which entry point to use:
// - matchIndexed(PreparedQuery, IndexedSnippet) for many labels kept between searches (the registry's
//   index, a project's file list): prepare each label once as an IndexedSnippet and the query once
//   per pass as a PreparedQuery; a plain ASCII query then allocates nothing per label.
// - fuzzyMatch(query, text, caseSensitive) for one-off strings: it prepares the text on each call and
//   keeps the last query prepared per thread, so a pass with one query over many texts stays cheap.
// Both give the same MatchResult for the same query and text. The numbers that tune the results are in
// matchtuning.h.

#include "matcher/fuzzymatch.h"
#include "matcher/indexedsnippet.h"
#include "matcher/matchresult.h"
#include "matcher/matchtuning.h"
#include "matcher/preparedquery.h"
