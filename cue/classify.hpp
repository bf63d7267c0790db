// Decides, read-only, whether a cue sheet has the layout that the rewriting
// pass repairs.
#pragma once

#include <string>

#include "base/outcome.hpp"
#include "cue/cue_reader.hpp"

namespace vorlin {

enum class Verdict {
    needsFixing,
    noFixNeeded, // valid as it stands
    refused,     // cannot or should not be fixed
};

struct Classified {
    Verdict verdict = Verdict::refused;
    // Why, for every verdict but needsFixing (the sheet's path its subject).
    Outcome why;
};

// Reads the sheet at `path` itself.
Classified classifyCue(const std::string& path);
// The sheet read already, whole; `path` is what the messages name.
Classified classifyCue(const std::string& path, SheetBytes sheet);

} // namespace vorlin
