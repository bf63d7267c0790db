// The rewriting of one cue sheet: checked, walked, written in the layout asked
// for, and put in place of the old one (or shown as a diff).
#pragma once

#include <string>

namespace vorlin {

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
