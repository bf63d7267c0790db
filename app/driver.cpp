#include "app/driver.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

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

PatternMatches expandPattern(const std::string& pattern) {
    std::size_t slash = pattern.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : pattern.substr(0, slash + 1);
    const std::string namePattern = pattern.substr(directory.size());

    std::vector<std::string> names;
    if (namePattern.find_first_of("*?") == std::string::npos) {
        struct stat st;
        if (!namePattern.empty() && ::lstat(pattern.c_str(), &st) == 0)
            names.push_back(namePattern);
    } else if (DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            std::string_view name = entry->d_name;
            if (name == "." || name == "..") continue;
            if (wildcardMatch(namePattern, name)) names.emplace_back(name);
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end()); // byte-wise: char_traits compares as unsigned
    }

    PatternMatches matches;
    matches.anyEntry = !names.empty();
    for (const std::string& name : names) {
        if (name[0] == '.') continue; // hidden
        std::string path = directory + name;
        struct stat st;
        // Only regular files (after following links): never a directory, FIFO or device.
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            matches.files.push_back(std::move(path));
    }
    return matches;
}

int processPattern(const std::string& pattern, const FixOptions& options, bool* anyNonZero) {
    PatternMatches matches = expandPattern(pattern);
    if (!matches.anyEntry) {
        // A sheet that is not there is a failure: `vorlin a.cue && ...` must not go on.
        std::printf("Can't find file '%s'\n", pattern.c_str());
        if (anyNonZero) *anyNonZero = true;
        return 1;
    }
    int sum = 0;
    for (const std::string& path : matches.files) {
        int result = fixCue(path, options);
        sum += result;
        if (result != 0 && anyNonZero) *anyNonZero = true;
    }
    return sum;
}

namespace {

const char usage[] = "Vorlin v0.6\n"
                     "Usage: vorlin [options] <file>\n"
                     "Possible options:\n"
                     " --force : modify any cue\n"
                     " -n, --dry-run : show what would change, write nothing\n"
                     " --per-file : keep a FILE line per audio file, pregaps in the previous file\n"
                     " --help : show this help\n"
                     " --version : show the version\n";

bool isDryRun(std::string_view argument) {
    return argument == "-n" || argument == "--dry-run";
}

// Options that hold for the whole run wherever they stand before "--".
bool isRunOption(std::string_view argument) {
    return isDryRun(argument) || argument == "--per-file";
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
    }
    bool inOptions = true; // until "--"
    bool anyNonZero = false;
    std::int64_t total = 0;
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
        total += processPattern(argv[i], options, &anyNonZero);
    }
    // The shell sees the status modulo 256; a run with failures must not read as success.
    if (anyNonZero && total % 256 == 0) return 1;
    return static_cast<int>(total);
}

} // namespace vorlin
