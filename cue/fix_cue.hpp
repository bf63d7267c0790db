// The rewriting pass: one multi-file cue sheet becomes a single-range sheet.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "audio/length.hpp"

namespace vorlin {

// Reads mm:ss:ff exactly as sscanf("%2u:%2u:%2u") would and returns
// (mm * 60 + ss) * 75 + ff, or -1 when fewer than three fields convert.
std::int64_t parseCueTime(std::string_view text);

// "mm:ss:ff\n" for a non-negative position; minutes take as many digits as
// they need, at least two.
std::string formatCueTime(CdFrames position);

// How one sheet is handled.
struct FixOptions {
    bool force = false;   // skip the check of whether the sheet needs fixing
    bool dryRun = false;  // show the change as a diff, write nothing
    bool perFile = false; // keep a FILE line per audio file instead of Range.wav
};

// 0: fixed or nothing to fix; 1: the rewriting failed, sheet unchanged;
// -1: refused, or the replacement failed. A dry run does everything but the
// replacement: it prints the change as a unified diff and
// "not written (dry run).\n" instead, and leaves the file system as it was.
// `rewritten`, when given, is set to whether the sheet was replaced (or, in a
// dry run, its change shown).
int fixCue(const std::string& path, const FixOptions& options, bool* rewritten = nullptr);

inline int fixCue(const std::string& path, bool force, bool dryRun = false) {
    return fixCue(path, FixOptions{force, dryRun, false});
}

} // namespace vorlin
