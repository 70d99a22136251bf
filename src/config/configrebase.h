#pragma once

#include "config/appconfig.h"

namespace korvane {

// Lays the changes that `ours` made to `base` over `theirs`, a newer version of the same file
// written by someone else: every top-level key, and every key of "settings", whose value differs
// between `base` and `ours` takes the value of `ours`; every other key keeps the value of `theirs`.
// The snippet list and the application list are merged entry by entry instead (by snippet key and
// by application id, see ListPairing), so that a snippet saved from the popup or an editor meanwhile
// is kept; an application that both sides changed is merged member by member and its snippets entry
// by entry. Where a repeated id leaves open which entry a side changed, both sides' entries stay.
// An absent list counts as an empty one, a list that `ours` left as it was keeps the version of
// `theirs`, and a merged list left empty is absent. Used by the settings window so that an edit of
// the file made meanwhile is not written over.
AppConfig rebaseConfig(const AppConfig& theirs, const AppConfig& base, const AppConfig& ours);

} // namespace korvane
