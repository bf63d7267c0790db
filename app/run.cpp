#include "app/run.hpp"

#include <cerrno>
#include <cstdio>

#include "app/options.hpp"
#include "app/patterns.hpp"
#include "cue/messages.hpp"
#include "platform/platform.hpp"

namespace vorlin {

void RunTally::addSheet(SheetResult result) {
    ++sheets;
    total += exitValue(result);
    if (result == SheetResult::failed || result == SheetResult::refused) {
        anyNonZero = true;
        ++failed;
    } else if (result == SheetResult::fixed) {
        ++fixed;
    } else {
        ++unchanged;
    }
}

void RunTally::addNothingFound() {
    // Something named that is not there is a failure: `vorlin a.cue && ...` must not go on.
    total += 1;
    anyNonZero = true;
    ++failed;
}

int RunTally::exitStatus() const {
    // The shell sees the status modulo 256; a run with failures must not read as success.
    if (anyNonZero && total % 256 == 0) return 1;
    // Nor may a run whose messages or diff were lost.
    if (total == 0 && outputError != 0) return 1;
    return static_cast<int>(total);
}

namespace {

// Reports on standard error, once, that standard output lost some of what
// was printed; with `last` (after each sheet and at the end of the run)
// once what is left is flushed.
void checkOutput(RunTally& tally, bool last) {
    if (tally.outputError != 0 || (!last && !std::ferror(stdout))) return;
    // A write that failed since the last check has left the error flag, but
    // errno has moved on: flushing what was printed after it meets the same
    // fault again and tells which it is.
    errno = 0;
    if (std::fflush(stdout) != 0)
        tally.outputError = errno != 0 ? errno : EIO;
    else if (last && std::ferror(stdout))
        tally.outputError = EIO; // nothing was left to write, and the fault went unnamed
    else
        return; // all well, or nothing left to write yet: a later check tells
    printWriteError(tally.outputError);
}

void processSheet(const std::string& path, const FixOptions& options, RunTally& tally) {
    tally.addSheet(fixCue(path, options));
    // Each sheet's messages leave at once: a run ended by a signal has
    // told what it did to the sheets before.
    checkOutput(tally, true);
}

} // namespace

void processPattern(const std::string& argument, const FixOptions& options, bool recursive,
                    RunTally& tally) {
    const std::string pattern = platform::fromDriveFolder(argument);
    PatternMatches matches = expandPattern(pattern, recursive);
    if (!matches.anyEntry) {
        printOutcome({Problem::nothingFound, pattern});
        tally.addNothingFound();
        return;
    }
    for (const PatternMatch& match : matches.entries) {
        if (match.notRegular) {
            // A FIFO, device, socket or dangling link named: nothing is read,
            // and saying nothing would read as success.
            printOutcome({Problem::notRegular, match.path});
            tally.addNothingFound();
        } else if (!match.folder) {
            processSheet(match.path, options, tally);
        } else if (recursive) {
            walkFolder(
                match.path, [&](const std::string& sheet) { processSheet(sheet, options, tally); },
                [&](const std::string& folder) {
                    printOutcome({Problem::folderUnreadable, folder});
                    tally.addNothingFound();
                });
        } else {
            // Named, so meant: saying nothing would read as "no sheet needed fixing".
            printOutcome({Problem::folderNamed, match.path});
            tally.addNothingFound();
        }
    }
}

void holdClosingWindow() {
    if (!platform::consoleClosesWithProgram()) return;
    printClosePrompt();
    std::fflush(stdout);
    platform::waitForEnter();
}

int runVorlin(int argc, char** argv) {
    RunTally tally;
    if (argc < 2) {
        printUsage();
        checkOutput(tally, true);
        return tally.exitStatus();
    }
    const CommandLine line = readCommandLine(argc, argv);
    switch (line.action) {
    case CommandLine::Action::help:
    case CommandLine::Action::version:
        if (line.action == CommandLine::Action::help)
            printUsage();
        else
            printVersion();
        checkOutput(tally, true);
        return tally.exitStatus();
    case CommandLine::Action::unknownOption:
        printUnknownOption(line.unknown);
        return 2;
    case CommandLine::Action::fix:
        break;
    }
    FixOptions options;
    options.dryRun = line.dryRun;
    options.perFile = line.perFile;
    forEachPattern(line, argc, argv, [&](const char* pattern, bool force) {
        options.force = force;
        processPattern(pattern, options, line.recursive, tally);
    });
    // Before the summary, so that it stays the last line of a batch.
    checkOutput(tally, true);
    // One line for a batch, on standard error so that standard output stays
    // as scripts know it, after it so that a terminal shows them in order.
    if (tally.sheets >= 2) printSummary(options.dryRun, tally.fixed, tally.unchanged, tally.failed);
    return tally.exitStatus();
}

} // namespace vorlin
