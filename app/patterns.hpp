// Which sheets the arguments name: wildcard patterns and the folder walk.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

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

// Walks `folder` depth first: its sheets (regular files, or links to them,
// named *.cue in any letter case) in byte-wise order of their names, then its
// subfolders in the same order, giving each sheet's path to `sheet` as it is
// met. Hidden entries and links to folders are skipped. A folder that cannot
// be read is given to `unreadable`, and the walk goes on.
void walkFolder(const std::string& folder, const std::function<void(const std::string&)>& sheet,
                const std::function<void(const std::string&)>& unreadable);

} // namespace vorlin
