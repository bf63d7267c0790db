// The command line: options and wildcard patterns, run cue by cue.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cue/fix_cue.hpp"

namespace vorlin {

// Matches `name` against `pattern`, where '*' stands for any run of bytes and
// '?' for one byte; every other byte stands for itself. Case-sensitive.
bool wildcardMatch(std::string_view pattern, std::string_view name);

struct PatternMatches {
    bool anyEntry = false;          // something matched, even if skipped
    std::vector<std::string> files; // regular files to process, as paths
};

// Expands `pattern` (wildcards only in its last component) into the regular,
// non-hidden files it matches, in byte-wise order, each with the pattern's
// directory part kept.
PatternMatches expandPattern(const std::string& pattern);

// Runs fixCue on every match; returns the sum of the results, or 1 after
// "Can't find file '%s'\n" when nothing matched. `anyNonZero` is set when
// some cue returned non-zero or nothing matched.
int processPattern(const std::string& pattern, const FixOptions& options,
                   bool* anyNonZero = nullptr);

// The whole program; returns the exit status. Before a "--" argument,
// "--force" (from there on), "-n", "--dry-run" and "--per-file" (for the whole run),
// "--help" and "--version" (the first of them is printed, nothing else done)
// are options; every other argument is a pattern.
int runVorlin(int argc, char** argv);

} // namespace vorlin
