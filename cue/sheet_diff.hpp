// Shows a rewritten cue sheet as a unified diff against the sheet on disk.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "cue/new_sheet.hpp"

namespace vorlin {

// Writes to `out` a unified diff (three lines of context) that turns
// `oldSheet`, the bytes of the sheet at `path`, into the text of `newSheet`
// byte for byte, as `patch --binary` applies it; nothing when they are equal.
// A tab ends the path on each header line, so that patch reads a path with
// blanks whole.
// `newSheet` must have been built with its origins kept: the rewrite keeps
// the old lines in order and only changes or drops them, so each old line is
// paired with the text made from it and the diff takes time linear in the
// size of the two sheets.
void writeSheetDiff(std::FILE* out, const std::string& path, std::string_view oldSheet,
                    const NewSheet& newSheet);

} // namespace vorlin
