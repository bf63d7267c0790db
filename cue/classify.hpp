// Decides, read-only, whether a cue sheet has the layout that the rewriting
// pass repairs.
#pragma once

#include <string>

namespace vorlin {

// 1: needs fixing; 0: valid, needs no fixing; -1: cannot or should not be
// fixed. Every verdict but 1 prints why.
int classifyCue(const std::string& path);

} // namespace vorlin
