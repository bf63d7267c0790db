// Paths taken apart and put together, with the separators the system uses.
// Plain string work: nothing here asks the operating system anything.
#pragma once

#include <string>
#include <string_view>

namespace vorlin {

// "Music" and "a.cue" give "Music/a.cue" ("Music\\a.cue" on Windows);
// "Music/" does not double the slash. The separator is the folder's own.
std::string joinPath(const std::string& folder, std::string_view name);

// The directory part of a path ("" for a bare name), separator included.
std::string directoryOf(const std::string& path);

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

} // namespace vorlin
