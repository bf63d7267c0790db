// Every message the tool prints, and the only place that formats them. The
// layers below return an Outcome (base/outcome.hpp); fixCue and the driver
// print through these functions, on standard output unless said otherwise.
// A path or name in a message (the subject below, the sheet of printFixing,
// the argument of printUnknownOption) is shown with each byte below 0x20 and
// the byte 0x7F written as a backslash and three octal digits ("\012"), every
// other byte as it is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/outcome.hpp"

namespace vorlin {

// The line a problem prints about `subject`, line end included; "" for none
// and for an audio file of no usable length, which print nothing of their own.
std::string problemMessage(Problem problem, std::string_view subject = {});

// Prints the outcome's line; a problem with an audio file is followed by
// "Fixing failed, error with audio files.".
void printOutcome(const Outcome& outcome);

// Progress of a sheet's rewriting.
void printFixing(std::string_view sheet); // before the walk
void printDone();                         // the new sheet is in place
void printNotWritten();                   // after a dry run's diff

// What the disc ID check found (cue/disc_id.hpp).
enum class DiscIdVerdict {
    silent,             // nothing to compare, or something does not read
    matchesNew,         // the rewritten sheet's ID is the recorded one
    differs,            // neither is
    matchesOld,         // only the sheet as it stands matches: it is right as it is
    matchesBoth,        // both match: the ID cannot tell where the gaps lie
    matchesFirstPregap, // only the sheet read with the first track's pregap in its file matches
};
struct DiscIdReport {
    DiscIdVerdict verdict = DiscIdVerdict::silent;
    std::uint32_t id = 0; // of the rewritten sheet (matchesOld: the recorded one)
    std::string recorded; // the 8 digits as the sheet writes them
};
void printDiscId(const DiscIdReport& report);

// The command line's own lines. The usage text lists every option (the
// tests and docs/command-line.md show it as it is here).
std::string_view usageText();
void printUsage();
void printVersion();
// On standard error: an argument that looks like an option and is none.
void printUnknownOption(std::string_view argument);
// Before the console window closes (Windows, started from Explorer), with
// no line end: the user's Enter ends the line.
void printClosePrompt();
// On standard error: standard output lost some of what was printed (`error`
// is the errno of the failure).
void printWriteError(int error);
// On standard error: the closing summary of a batch.
void printSummary(bool dryRun, std::int64_t fixed, std::int64_t unchanged, std::int64_t failed);

} // namespace vorlin
