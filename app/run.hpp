// The run: every pattern's sheets fixed in turn, and the tally that gives
// the exit status and the closing summary.
#pragma once

#include <cstdint>
#include <string>

#include "cue/fix_cue.hpp"

namespace vorlin {

// What a run has done so far; its exit status and closing summary come from it.
struct RunTally {
    std::int64_t total = 0;     // sum of the results
    bool anyNonZero = false;    // some result was not 0
    std::int64_t sheets = 0;    // sheets processed
    std::int64_t fixed = 0;     // fixed, or a dry run's diff shown
    std::int64_t unchanged = 0; // nothing rewritten
    std::int64_t failed = 0;    // failed or refused, patterns or folders that found nothing,
                                // folders named without -r, and entries named that are not
                                // regular files
    int outputError = 0;        // errno of the first failed write to standard output

    void addSheet(SheetResult result);
    void addNothingFound(); // counts 1, as a failure
    // The sum as the shell sees it, never 0 when something failed or
    // standard output lost some of the run's messages.
    int exitStatus() const;
};

// Runs fixCue on every match (a pattern starting with a drive and no
// separator after its colon starts from that drive's current folder); with
// `recursive` walks every folder matched, and without it refuses a folder
// named ("'%s' is a folder: -r fixes the sheets in it.\n", counted as a
// failure). An entry named exactly that is not a regular file (a link to a
// folder included) gets "'%s' is not a regular file.\n", counted as a
// failure. "Can't find file '%s'\n" when nothing matched. A folder walked
// that cannot be read is reported as "Can't read folder '%s'\n" and counted
// as nothing found; the walk goes on.
void processPattern(const std::string& pattern, const FixOptions& options, bool recursive,
                    RunTally& tally);

// When the console window would close with the program before its user has
// read it (Windows, started from Explorer), prints "Press Enter to close this
// window." and waits for Enter; otherwise, and always on POSIX, nothing.
void holdClosingWindow();

// The whole program; returns the exit status. The arguments are read as
// readCommandLine (app/options.hpp) says: "--help" and "--version" print and
// do nothing else, an unknown option stops the run with status 2 before
// anything is done, and every pattern is processed in turn. A failed write
// to standard output is reported on standard error and fails the run.
int runVorlin(int argc, char** argv);

} // namespace vorlin
