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

// What became of a sheet.
enum class SheetResult {
    fixed,     // replaced by the new sheet (a dry run: its change shown)
    unchanged, // nothing to fix, or right as it stands
    failed,    // the rewriting failed; the sheet is unchanged
    refused,   // not fixed (unreadable, read only, not a sheet), or the replacement failed
};

// What a result adds to the exit status: 0, 0, 1 and -1.
int exitValue(SheetResult result);

// Fixes the sheet at `path`, printing what happens as it goes. A dry run
// does everything but the replacement: it prints the change as a unified
// diff and "not written (dry run).\n" instead, and leaves the file system as
// it was.
SheetResult fixCue(const std::string& path, const FixOptions& options);

inline SheetResult fixCue(const std::string& path, bool force, bool dryRun = false) {
    return fixCue(path, FixOptions{force, dryRun, false});
}

} // namespace vorlin
