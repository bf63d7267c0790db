#include "cue/audio_lookup.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "audio/formats.hpp"
#include "cue/text_encoding.hpp"
#include "platform/paths.hpp"
#include "platform/platform.hpp"

namespace vorlin {

bool fileLineName(std::string_view line, std::string_view& name, std::string_view& rest) {
    rest = line.substr(5);
    if (!rest.empty() && rest[0] == '"') {
        std::size_t close = rest.find('"', 1);
        if (close == std::string_view::npos) return false;
        name = rest.substr(1, close - 1);
        rest.remove_prefix(close + 1);
    } else {
        std::size_t blank = rest.find(' ');
        if (blank == std::string_view::npos) return false;
        name = rest.substr(0, blank);
        rest.remove_prefix(blank);
    }
    return name.size() < maxNameLength && name.find('\0') == std::string_view::npos;
}

namespace {

// A folder is read for its names after this many tests of a name in it (a
// sheet over many files, or a name tried with several extensions), when it
// is no larger than this: larger ones are tested name by name, so that a
// sheet in a huge folder does not read all of it.
constexpr unsigned testsBeforeListing = 16;
constexpr std::int64_t maxListedFolderBytes = 64 * 1024;

} // namespace

FolderListings::Folder& FolderListings::list(const std::string& folder, Folder& f) {
    f.isListed = true;
    std::vector<std::pair<std::string, bool>> entries; // name, is a regular file
    std::vector<platform::FolderEntry> listed;
    (void)platform::listFolder(folder, listed);
    entries.reserve(listed.size());
    for (platform::FolderEntry& e : listed)
        entries.emplace_back(std::move(e.name), e.type == platform::FileType::regular);
    std::sort(entries.begin(), entries.end());
    f.names.reserve(entries.size());
    for (auto& entry : entries) f.names.push_back(std::move(entry.first));
    // The sets point into the names, which stay as they are from here on.
    for (std::size_t i = 0; i < f.names.size(); ++i) {
        f.listed.insert(f.names[i]);
        if (!entries[i].second) f.notRegular.insert(f.names[i]);
    }
    return f;
}

const std::vector<std::string>& FolderListings::of(const std::string& folder) {
    Folder& f = folders_[folder];
    return f.isListed ? f.names : list(folder, f).names;
}

bool FolderListings::exists(const std::string& folder, const std::string& name) {
    Folder& f = folders_[folder];
    if (!f.isListed && !f.tooLarge && f.tests >= testsBeforeListing) {
        if (const std::int64_t bytes = platform::folderSize(folder);
            bytes >= 0 && bytes <= maxListedFolderBytes)
            list(folder, f);
        else
            f.tooLarge = true;
    }
    if (f.isListed) {
        if (!f.listed.contains(name)) return false;
        if (!f.notRegular.contains(name)) return true; // a link must lead somewhere
    }
    ++f.tests;
    return platform::exists(folder + name);
}

namespace {

bool sameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

// One reading of the FILE name: its folder part ('/' separated, "" for none),
// base name and extension, and the code page it was read in (none for the
// name as written).
struct Reading {
    std::string folder;
    std::string base;
    std::string extension;
    const char* codePage = nullptr;
};

// Whether `extension` is one of those measured, ASCII case ignored.
bool isMeasuredExtension(std::string_view extension) {
    return audioFormatOf(extension) != nullptr;
}

// `base` with each measured extension, in the format table's order.
std::vector<std::string> candidateNames(const std::string& base) {
    std::vector<std::string> names;
    for (const AudioFormat& format : audioFormats())
        for (std::string_view extension : format.extensions) {
            names.push_back(base);
            names.back() += extension;
        }
    return names;
}

class Search {
  public:
    Search(const std::string& directory, FolderListings& listings, AudioFile& found)
        : directory_(directory), listings_(listings), found_(found) {}

    // In `folder`: the name with its own extension when that is a measured
    // one, as written, then with case ignored; then every candidate name of
    // the base as written, then with case ignored.
    bool in(const std::string& folder, const Reading& reading) {
        if (isMeasuredExtension(reading.extension)) {
            const std::string name = reading.base + reading.extension;
            if (listings_.exists(directory_ + folder, name))
                return takeAsListed(folder, name, reading);
            if (ignoringCase(folder, name, reading)) return true;
        }
        const std::vector<std::string> candidates = candidateNames(reading.base);
        for (const std::string& name : candidates)
            if (listings_.exists(directory_ + folder, name))
                return takeAsListed(folder, name, reading);
        for (const std::string& name : candidates)
            if (ignoringCase(folder, name, reading)) return true;
        return false;
    }

  private:
    bool ignoringCase(const std::string& folder, const std::string& name, const Reading& reading) {
        for (const std::string& entry : listings_.of(directory_ + folder))
            if (sameIgnoringAsciiCase(entry, name) && platform::exists(directory_ + folder + entry))
                return take(folder, entry, reading);
        return false;
    }

    // A file system that ignores letter case finds a name under another
    // spelling; the name is written as the folder listing spells it.
    bool takeAsListed(const std::string& folder, const std::string& name, const Reading& reading) {
        return take(folder, platform::spellingInFolder(directory_ + folder, name), reading);
    }

    bool take(const std::string& folder, const std::string& entry, const Reading& reading) {
        found_.name = folder + entry;
        // The path to open and to show takes the separator of the sheet's own.
        std::string local = folder;
        std::replace(local.begin(), local.end(), '/', platform::separatorFor(directory_));
        found_.path = directory_ + local + entry;
        found_.codePage = reading.codePage;
        return true;
    }

    const std::string& directory_;
    FolderListings& listings_;
    AudioFile& found_;
};

} // namespace

bool findAudioFile(AudioFile& found, std::string_view name, const std::string& directory,
                   FolderListings& listings) {
    // The name as written and, when it is not UTF-8, as each code page reads it;
    // a name is split only once it is UTF-8 (a code page character's second
    // byte may be '\').
    std::vector<Reading> readings;
    auto addReading = [&](std::string_view text, const char* codePage) {
        const PathParts parts = splitPath(text);
        Reading reading{std::string(parts.directory), std::string(parts.base),
                        std::string(parts.extension), codePage};
        std::replace(reading.folder.begin(), reading.folder.end(), '\\', '/');
        // Only a folder below the sheet's own is looked in.
        if (!reading.folder.empty() && reading.folder[0] == '/') reading.folder.clear();
        readings.push_back(std::move(reading));
    };
    addReading(name, nullptr);
    if (!isValidUtf8(name)) {
        for (const char* codePage : windowsCodePages)
            if (std::optional<std::string> converted = codePageToUtf8(name, codePage))
                addReading(*converted, codePage);
    }
    Search search(directory, listings, found);
    for (const Reading& reading : readings)
        if (search.in("", reading)) return true;
    for (const Reading& reading : readings)
        if (!reading.folder.empty() && search.in(reading.folder, reading)) return true;
    return false;
}

bool namesRegularFile(std::string_view name, const std::string& directory) {
    std::string path = directory + std::string(name);
    if (platform::typeOf(path) == platform::FileType::regular) return true;
    std::replace(path.begin() + static_cast<std::ptrdiff_t>(directory.size()), path.end(), '\\',
                 '/');
    return name.find('\\') != std::string_view::npos &&
           platform::typeOf(path) == platform::FileType::regular;
}

} // namespace vorlin
