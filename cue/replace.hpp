// Puts a rewritten cue sheet in place of the old one through a backup that
// exists only while the new sheet is written.
#pragma once

#include <string>

#include "cue/line_list.hpp"

namespace vorlin {

// The file operations the replacement depends on; tests swap in failing ones.
struct ReplaceOps {
    int (*renameFile)(const char* from, const char* to);
};
extern ReplaceOps replaceOps;

// The directory part of a path ("" for a bare name), separator included.
std::string directoryOf(const std::string& path);

// Replaces the sheet at `cuePath` with `lines`. Prints "done.\n" and returns 0
// on success; prints the failure and returns -1 otherwise, with the old
// sheet back under its name (or, if even that fails, under the backup name,
// which is printed).
int replaceCue(const std::string& cuePath, const LineList& lines);

} // namespace vorlin
