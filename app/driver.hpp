// The command line: options and wildcard patterns, run cue by cue.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cue/fix_cue.hpp"

namespace vorlin {

// Matches `name` against `pattern`, where '*' stands for any run of bytes and
// '?' for one byte; every other byte stands for itself. Case-sensitive on
// POSIX; on Windows, where names are matched as the system's own tools match
// them, '?' stands for one character and letter case is ignored (ASCII here,
// every other script through the system's comparison).
bool wildcardMatch(std::string_view pattern, std::string_view name);

struct PatternMatch {
    std::string path;
    bool folder = false;     // a folder to walk (only when folders were asked for)
    bool notRegular = false; // named exactly, but neither a regular file nor a folder
};

struct PatternMatches {
    bool anyEntry = false;             // something matched, even if skipped
    std::vector<PatternMatch> entries; // what to process, in order
};

// Expands `pattern` (wildcards only in its last component) into the regular,
// non-hidden files it matches, in byte-wise order, each with the pattern's
// directory part kept. A pattern that some entry has as its exact name is
// that entry alone, '*' and '?' included: a hidden file too, and an entry
// that is neither a regular file nor a directory after following links (a
// FIFO, device, socket or dangling link) is kept as notRegular, never opened.
// With `folders`, the directories a wildcard matches are kept too, in their
// place; what else a wildcard matches and is not a regular file is left out.
// A pattern that names a directory ("." and "dir/" included, or a link to
// one) is that directory, with `folders` or without.
PatternMatches expandPattern(const std::string& pattern, bool folders = false);

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

// Walks `folder` depth first: its sheets (regular files, or links to them,
// named *.cue in any letter case) in byte-wise order of their names, then its
// subfolders in the same order. Hidden entries and links to folders are
// skipped. A folder that cannot be read is reported as
// "Can't read folder '%s'\n" and counted as nothing found; the walk goes on.
void walkFolder(const std::string& folder, const FixOptions& options, RunTally& tally);

// Runs fixCue on every match (a pattern starting with a drive and no
// separator after its colon starts from that drive's current folder); with
// `recursive` walks every folder matched, and without it refuses a folder
// named ("'%s' is a folder: -r fixes the sheets in it.\n", counted as a
// failure). An entry named exactly that is not a regular file (a link to a
// folder included) gets "'%s' is not a regular file.\n", counted as a
// failure. "Can't find file '%s'\n" when nothing matched.
void processPattern(const std::string& pattern, const FixOptions& options, bool recursive,
                    RunTally& tally);

// When the console window would close with the program before its user has
// read it (Windows, started from Explorer), prints "Press Enter to close this
// window." and waits for Enter; otherwise, and always on POSIX, nothing.
void holdClosingWindow();

// The whole program; returns the exit status. Before a "--" argument,
// "--force" (from there on), "-n", "--dry-run", "--per-file", "-r",
// "--recursive" and "-" followed by two or more of the letters n and r (for
// the whole run), "--help", "-h", "--version" and "-V" (the first of them is
// printed, nothing else done) are options. Any other argument before "--"
// that starts with '-' and names no entry stops the run with status 2 before
// anything is done; every other argument is a pattern. A failed write to
// standard output is reported on standard error and fails the run.
int runVorlin(int argc, char** argv);

} // namespace vorlin
