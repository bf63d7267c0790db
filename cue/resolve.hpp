// Turns an audio FILE line into the path of the audio file to measure.
#pragma once

#include <string>
#include <string_view>

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

// For a line beginning with "FILE ": takes the (quoted, or blank-ended) name,
// keeps its base name and looks in `directory` (prefix, "" for the current
// directory) for base.wav, .mpc, .mp+, .flac, .wv, .ape, .tta, .aiff, .aif in
// this order; the first that exists wins, and base.mp+ stands when none does.
// Returns 0 with `path` set, or -1 with `path` empty for a malformed name.
// A line that does not begin with "FILE " gives 0 and leaves `path` alone.
int resolveAudioPath(std::string& path, std::string_view line, std::string_view directory = {});

} // namespace vorlin
