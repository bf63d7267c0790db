// Finds the audio file that a FILE line names.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vorlin {

// The parts of a path as a Windows path splitter sees them: a leading drive
// ("C:"), a directory ending at the last '/' or '\', a base name, and an
// extension starting at the base's last '.'.
struct PathParts {
    std::string_view drive;
    std::string_view directory;
    std::string_view base;
    std::string_view extension;
};

PathParts splitPath(std::string_view path);

// File names of this many characters or more are refused.
inline constexpr std::size_t maxNameLength = 256;

// The file name of a line beginning with "FILE ": the text between double
// quotes, or up to the first blank when unquoted; `rest` is what follows it
// (after the closing quote). False when the name is malformed: no closing
// quote or blank, too long, or holding a NUL byte.
bool fileLineName(std::string_view line, std::string_view& name, std::string_view& rest);

// The entries of folders, each read once for the sheet being rewritten, in
// byte order.
class FolderListings {
  public:
    const std::vector<std::string>& of(const std::string& folder);

  private:
    std::map<std::string, std::vector<std::string>> listings_;
};

struct AudioFile {
    std::string path; // the sheet's folder and `name`, to open
    std::string name; // relative to the sheet's folder, '/' between folders
};

// Looks in `directory` (the sheet's folder, "" or ending in '/') for the
// audio file called `name` in a FILE line. Only its base name counts, tried
// with the extensions .wav, .mpc, .mp+, .flac, .wv, .ape, .tta, .aiff, .aif
// in this order; the first that exists wins. When none does, in this order:
// the same names with ASCII letter case ignored among the folder's entries;
// for a name that is not UTF-8, the name read in each Windows code page
// (exactly, then with case ignored); and for a name with a relative folder
// part, all of these in that folder, '\' read as '/'. False when nothing is
// found.
bool findAudioFile(AudioFile& found, std::string_view name, const std::string& directory,
                   FolderListings& listings);

} // namespace vorlin
