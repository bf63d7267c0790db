#include "app/driver.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/platform.hpp"

namespace vorlin {

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
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

namespace {

bool hasWildcards(std::string_view name) {
    return name.find_first_of("*?") != std::string_view::npos;
}

// "Music" and "a.cue" give "Music/a.cue"; "Music/" does not double the slash.
std::string joinPath(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (path.empty() || !platform::isSeparator(path.back())) path += '/';
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

    std::vector<std::pair<std::string, bool>> names; // name, hidden
    if (!hasWildcards(namePattern)) {
        // A folder named as such is walked, whatever its name ("." and ".." too).
        if (folders && platform::typeOf(pattern) == platform::FileType::directory)
            return {true, {{pattern, true}}};
        if (!namePattern.empty() && platform::typeOf(pattern, false) != platform::FileType::missing)
            names.emplace_back(namePattern, platform::isHidden(pattern));
    } else {
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

void RunTally::addSheet(int result, bool rewritten) {
    ++sheets;
    total += result;
    if (result != 0) {
        anyNonZero = true;
        ++failed;
    } else if (rewritten) {
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
    return static_cast<int>(total);
}

namespace {

void processSheet(const std::string& path, const FixOptions& options, RunTally& tally) {
    bool rewritten = false;
    const int result = fixCue(path, options, &rewritten);
    tally.addSheet(result, rewritten);
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
            std::printf("Can't read folder '%s'\n", folder.c_str());
            tally.addNothingFound();
            return;
        }
        for (const std::string& name : sheets) processSheet(joinPath(folder, name), options, tally);
    }
    for (const std::string& name : subfolders) walkFolder(joinPath(folder, name), options, tally);
}

void processPattern(const std::string& pattern, const FixOptions& options, bool recursive,
                    RunTally& tally) {
    PatternMatches matches = expandPattern(pattern, recursive);
    if (!matches.anyEntry) {
        std::printf("Can't find file '%s'\n", pattern.c_str());
        tally.addNothingFound();
        return;
    }
    for (const PatternMatch& match : matches.entries) {
        if (match.folder)
            walkFolder(match.path, options, tally);
        else
            processSheet(match.path, options, tally);
    }
}

namespace {

const char usage[] = "Vorlin v0.6\n"
                     "Usage: vorlin [options] <file>\n"
                     "Possible options:\n"
                     " --force : modify any cue\n"
                     " -n, --dry-run : show what would change, write nothing\n"
                     " --per-file : keep a FILE line per audio file, pregaps in the previous file\n"
                     " -r, --recursive : fix the sheets in folders and their subfolders\n"
                     " --help : show this help\n"
                     " --version : show the version\n";

bool isDryRun(std::string_view argument) {
    return argument == "-n" || argument == "--dry-run";
}

bool isRecursive(std::string_view argument) {
    return argument == "-r" || argument == "--recursive";
}

// Options that hold for the whole run wherever they stand before "--".
bool isRunOption(std::string_view argument) {
    return isDryRun(argument) || argument == "--per-file" || isRecursive(argument);
}

} // namespace

int runVorlin(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(usage, stdout);
        return 0;
    }
    // The options that hold for the whole run, wherever they stand before "--":
    // a dry run asked for last still protects the sheets named before it.
    FixOptions options;
    bool recursive = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--") break;
        if (argument == "--help") {
            std::fputs(usage, stdout);
            return 0;
        }
        if (argument == "--version") {
            std::fputs("Vorlin v0.6\n", stdout);
            return 0;
        }
        if (isDryRun(argument)) options.dryRun = true;
        if (argument == "--per-file") options.perFile = true;
        if (isRecursive(argument)) recursive = true;
    }
    bool inOptions = true; // until "--"
    RunTally tally;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (inOptions) {
            if (argument == "--") {
                inOptions = false;
                continue;
            }
            if (argument == "--force") {
                options.force = true; // applies to every later argument
                continue;
            }
            if (isRunOption(argument)) continue;
        }
        processPattern(argv[i], options, recursive, tally);
    }
    // One line for a batch, on standard error so that standard output stays
    // as scripts know it, after it so that a terminal shows them in order.
    if (tally.sheets >= 2) {
        std::fflush(stdout);
        std::fprintf(stderr,
                     "vorlin: %lld sheets: %lld fixed, %lld needed no fixing, %lld failed.\n",
                     static_cast<long long>(tally.fixed + tally.unchanged + tally.failed),
                     static_cast<long long>(tally.fixed), static_cast<long long>(tally.unchanged),
                     static_cast<long long>(tally.failed));
    }
    return tally.exitStatus();
}

} // namespace vorlin
