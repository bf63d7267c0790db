#include "app/patterns.hpp"

#include <algorithm>

#include "platform/paths.hpp"
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

namespace {

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

void walkFolder(const std::string& folder, const std::function<void(const std::string&)>& sheet,
                const std::function<void(const std::string&)>& unreadable) {
    // Only this folder's names are held while its subfolders are walked, so
    // memory grows with the depth of the tree, not with its size.
    std::vector<std::string> subfolders;
    {
        std::vector<std::string> sheets;
        if (!listFolder(folder, sheets, subfolders)) {
            unreadable(folder);
            return;
        }
        for (const std::string& name : sheets) sheet(joinPath(folder, name));
    }
    for (const std::string& name : subfolders)
        walkFolder(joinPath(folder, name), sheet, unreadable);
}

} // namespace vorlin
