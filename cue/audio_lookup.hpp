// Finds the audio file that a FILE line names.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace vorlin {

// File names of this many characters or more are refused.
inline constexpr std::size_t maxNameLength = 256;

// The file name of a line beginning with "FILE ": the text between double
// quotes, or up to the first blank when unquoted; `rest` is what follows it
// (after the closing quote). False when the name is malformed: no closing
// quote or blank, too long, or holding a NUL byte.
bool fileLineName(std::string_view line, std::string_view& name, std::string_view& rest);

// The folders a sheet's audio files are looked for in, each read at most
// once for the sheet being rewritten.
class FolderListings {
  public:
    // The folder's entries in byte order (read now if they were not yet).
    const std::vector<std::string>& of(const std::string& folder);

    // Whether `name` exists in `folder` (a link must lead somewhere). Each
    // name is tested by itself until the folder has cost a few tests; then a
    // folder of modest size is read once, and only the names it holds that
    // are not regular files are tested.
    bool exists(const std::string& folder, const std::string& name);

  private:
    struct Folder {
        bool tooLarge = false; // reading it would cost more than the tests it saves
        unsigned tests = 0;    // names tested by themselves
        std::vector<std::string> names;
        std::unordered_set<std::string_view> listed;     // the names, to look up
        std::unordered_set<std::string_view> notRegular; // of them: links and others, tested
        bool isListed = false;
    };
    Folder& list(const std::string& folder, Folder& f);

    std::map<std::string, Folder> folders_;
};

struct AudioFile {
    std::string path; // the sheet's folder and `name`, to open
    std::string name; // relative to the sheet's folder, '/' between folders
    // The Windows code page the FILE name was read in to find it; none when
    // it was found by its bytes as written.
    const char* codePage = nullptr;
};

// Looks in `directory` (the sheet's folder, "" or ending in '/') for the
// audio file called `name` in a FILE line. Its base name counts, tried first
// with its own extension when that is one of those below (as written, then
// with ASCII case ignored), then with the extensions .wav, .mpc, .mp+, .flac,
// .wv, .ape, .tta, .aiff, .aif, .aifc in this order; the first that exists wins.
// When none does, in this order:
// the same names with ASCII letter case ignored among the folder's entries;
// for a name that is not UTF-8, the name read in each Windows code page
// (exactly, then with case ignored); and for a name with a relative folder
// part, all of these in that folder, '\' read as '/'. False when nothing is
// found.
bool findAudioFile(AudioFile& found, std::string_view name, const std::string& directory,
                   FolderListings& listings);

// Whether `name`, a FILE line's name as written, taken as a path from
// `directory` (the sheet's folder, "" or ending in '/'), is an existing
// regular file (after links; looked at without opening it, so a FIFO never
// blocks). Also tried with '\' read as '/'. For a file the lookup does not
// find: one of a format that is not read.
bool namesRegularFile(std::string_view name, const std::string& directory);

} // namespace vorlin
