#include "app/driver.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "cue/messages.hpp"
#include "platform/platform.hpp"

namespace vorlin {

namespace {

// The length of the character at `at`: a whole UTF-8 sequence, or one byte
// of anything else.
std::size_t characterLength(std::string_view text, std::size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    const std::size_t length = byte >= 0xF0 && byte < 0xF8 ? 4
                               : byte >= 0xE0              ? 3
                               : byte >= 0xC0              ? 2
                                                           : 1;
    if (at + length > text.size()) return 1;
    for (std::size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 1;
    return length;
}

// What one step of the matching takes: a character where letter case is
// ignored, otherwise a byte.
std::size_t unitLength(std::string_view text, std::size_t at) {
    return platform::wildcardsIgnoreCase ? characterLength(text, at) : 1;
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool sameUnit(std::string_view a, std::string_view b) {
    if (a == b) return true;
    if (!platform::wildcardsIgnoreCase) return false;
    if (a.size() == 1 && b.size() == 1) return asciiLower(a[0]) == asciiLower(b[0]);
    // Beyond ASCII the system knows which letters pair up.
    return a.size() > 1 && b.size() > 1 && platform::sameIgnoringCase(a, b);
}

} // namespace

bool wildcardMatch(std::string_view pattern, std::string_view name) {
    // Greedy matching with one backtrack point: the last '*' seen and the
    // name position it has absorbed up to.
    std::size_t p = 0, n = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        // A '*' in the pattern is a wildcard even where the name holds one.
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
            continue;
        }
        if (p < pattern.size()) {
            const std::size_t inPattern = unitLength(pattern, p), inName = unitLength(name, n);
            if (pattern[p] == '?' ||
                sameUnit(pattern.substr(p, inPattern), name.substr(n, inName))) {
                p += pattern[p] == '?' ? 1 : inPattern;
                n += inName;
                continue;
            }
        }
        if (starP == std::string_view::npos) return false;
        p = starP + 1;
        starN += unitLength(name, starN);
        n = starN;
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

namespace {

bool hasWildcards(std::string_view name) {
    return name.find_first_of("*?") != std::string_view::npos;
}

// "Music" and "a.cue" give "Music/a.cue" ("Music\\a.cue" on Windows);
// "Music/" does not double the slash. The separator is the folder's own.
std::string joinPath(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (path.empty() || !platform::isSeparator(path.back())) path += platform::separatorFor(path);
    path += name;
    return path;
}

// Ends in ".cue" in any letter case.
bool isSheetName(std::string_view name) {
    if (name.size() < 4) return false;
    const std::string_view end = name.substr(name.size() - 4);
    return end[0] == '.' && (end[1] | 0x20) == 'c' && (end[2] | 0x20) == 'u' &&
           (end[3] | 0x20) == 'e';
}

} // namespace

PatternMatches expandPattern(const std::string& pattern, bool folders) {
    const std::string directory = pattern.substr(0, platform::folderPartLength(pattern));
    const std::string namePattern = pattern.substr(directory.size());

    // A name that an entry has exactly means that entry alone: its '*' and
    // '?' are wildcards only when nothing is called so. The shell (or find
    // -exec) has already expanded the patterns the user meant.
    if (const platform::FileType own = platform::typeOf(pattern, false);
        own != platform::FileType::missing) {
        // Named, so meant: a hidden sheet is fixed like any other, and
        // anything but a regular file (after following links) or a folder is
        // reported, never opened. A folder named as such is that folder,
        // whatever its name ("." and ".." too): walked with -r, refused
        // without; a link to a folder is not followed ("link/" names the
        // folder itself). Deciding takes only the entry's status.
        PatternMatches matches{true, {}};
        const platform::FileType type = platform::typeOf(pattern);
        if (type == platform::FileType::directory && own != platform::FileType::link)
            matches.entries.push_back({pattern, true});
        else if (type == platform::FileType::regular)
            matches.entries.push_back({pattern, false});
        else
            matches.entries.push_back({pattern, false, true});
        return matches;
    }
    if (!hasWildcards(namePattern)) return {};

    std::vector<std::pair<std::string, bool>> names; // name, hidden
    {
        std::vector<platform::FolderEntry> entries;
        (void)platform::listFolder(directory, entries);
        for (platform::FolderEntry& entry : entries)
            if (wildcardMatch(namePattern, entry.name))
                names.emplace_back(std::move(entry.name), entry.hidden);
        std::sort(names.begin(), names.end()); // byte-wise: char_traits compares as unsigned
    }

    PatternMatches matches;
    matches.anyEntry = !names.empty();
    for (const auto& [name, hidden] : names) {
        if (hidden) continue;
        std::string path = directory + name;
        // Only regular files (after following links): never a FIFO or device,
        // and a directory only when folders are walked.
        const platform::FileType type = platform::typeOf(path);
        const bool folder = type == platform::FileType::directory;
        if (type == platform::FileType::regular || (folders && folder))
            matches.entries.push_back({std::move(path), folder});
    }
    return matches;
}

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

// Reads the names of the sheets and subfolders of `folder`, each list sorted
// byte-wise; false when the folder cannot be read.
bool listFolder(const std::string& folder, std::vector<std::string>& sheets,
                std::vector<std::string>& subfolders) {
    std::vector<platform::FolderEntry> entries;
    const bool complete = platform::listFolder(folder, entries);
    for (platform::FolderEntry& entry : entries) {
        if (entry.hidden) continue;
        if (entry.type == platform::FileType::directory) {
            subfolders.push_back(std::move(entry.name)); // never a link to one: no loops
        } else if (isSheetName(entry.name)) {
            // A link to a sheet is processed, as a pattern naming it would be.
            if (entry.type == platform::FileType::regular ||
                (entry.type == platform::FileType::link &&
                 platform::typeOf(joinPath(folder, entry.name)) == platform::FileType::regular))
                sheets.push_back(std::move(entry.name));
        }
    }
    std::sort(sheets.begin(), sheets.end());
    std::sort(subfolders.begin(), subfolders.end());
    return complete;
}

} // namespace

void walkFolder(const std::string& folder, const FixOptions& options, RunTally& tally) {
    // Only this folder's names are held while its subfolders are walked, so
    // memory grows with the depth of the tree, not with its size.
    std::vector<std::string> subfolders;
    {
        std::vector<std::string> sheets;
        if (!listFolder(folder, sheets, subfolders)) {
            printOutcome({Problem::folderUnreadable, folder});
            tally.addNothingFound();
            return;
        }
        for (const std::string& name : sheets) processSheet(joinPath(folder, name), options, tally);
    }
    for (const std::string& name : subfolders) walkFolder(joinPath(folder, name), options, tally);
}

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
            walkFolder(match.path, options, tally);
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

namespace {

// "-nr", "-rn", "-rr": two or more of the one-letter run options written together.
bool isOptionCluster(std::string_view argument) {
    return argument.size() >= 3 && argument[0] == '-' &&
           argument.find_first_not_of("nr", 1) == std::string_view::npos;
}

bool isDryRun(std::string_view argument) {
    return argument == "-n" || argument == "--dry-run" ||
           (isOptionCluster(argument) && argument.find('n') != std::string_view::npos);
}

bool isRecursive(std::string_view argument) {
    return argument == "-r" || argument == "--recursive" ||
           (isOptionCluster(argument) && argument.find('r') != std::string_view::npos);
}

// Options that hold for the whole run wherever they stand before "--".
bool isRunOption(std::string_view argument) {
    return isDryRun(argument) || argument == "--per-file" || isRecursive(argument);
}

bool isHelp(std::string_view argument) {
    return argument == "--help" || argument == "-h";
}

bool isVersion(std::string_view argument) {
    return argument == "--version" || argument == "-V";
}

// An argument before "--" that looks like an option, is none, and names no
// entry (exactly, or as a pattern that matches one: "-x.cue" and "-x*" still
// reach a sheet named -x.cue). Such a typo must stop the run before it
// writes anything.
bool isUnknownOption(const std::string& argument) {
    if (argument.size() < 2 || argument[0] != '-') return false;
    if (argument == "--force" || isRunOption(argument) || isHelp(argument) || isVersion(argument))
        return false;
    return !expandPattern(argument, true).anyEntry;
}

} // namespace

int runVorlin(int argc, char** argv) {
    RunTally tally;
    if (argc < 2) {
        printUsage();
        checkOutput(tally, true);
        return tally.exitStatus();
    }
    // The options that hold for the whole run, wherever they stand before "--":
    // a dry run asked for last still protects the sheets named before it.
    FixOptions options;
    bool recursive = false;
    int optionsEnd = argc; // the "--" argument, if any
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--") {
            optionsEnd = i;
            break;
        }
        if (isHelp(argument) || isVersion(argument)) {
            if (isHelp(argument))
                printUsage();
            else
                printVersion();
            checkOutput(tally, true);
            return tally.exitStatus();
        }
        if (isDryRun(argument)) options.dryRun = true;
        if (argument == "--per-file") options.perFile = true;
        if (isRecursive(argument)) recursive = true;
    }
    for (int i = 1; i < optionsEnd; ++i) {
        if (isUnknownOption(argv[i])) {
            printUnknownOption(argv[i]);
            return 2;
        }
    }
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (i < optionsEnd) {
            if (argument == "--force") {
                options.force = true; // applies to every later argument
                continue;
            }
            if (isRunOption(argument)) continue;
        } else if (i == optionsEnd) {
            continue;
        }
        processPattern(argv[i], options, recursive, tally);
    }
    // Before the summary, so that it stays the last line of a batch.
    checkOutput(tally, true);
    // One line for a batch, on standard error so that standard output stays
    // as scripts know it, after it so that a terminal shows them in order.
    if (tally.sheets >= 2) printSummary(options.dryRun, tally.fixed, tally.unchanged, tally.failed);
    return tally.exitStatus();
}

} // namespace vorlin
