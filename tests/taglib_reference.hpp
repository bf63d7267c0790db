// TagLib, the common library for reading audio file headers, as the
// reference the tool's own header readers are compared with: it measured
// these formats before they had readers of their own.
#pragma once

#include <ostream>
#include <string>

#include "audio/formats.hpp"

namespace vorlin::test {

// Measures `path` as `format` through TagLib, under the tool's rules: the
// same messages, "unrecognized format" when TagLib cannot parse the file,
// finds 0 sample frames or a rate below 8000 Hz.
CdFrames taglibLengthFrames(const std::string& path, FormatId format);

// What a measurer makes of a file: its length and its message, if any.
struct Verdict {
    CdFrames frames = -1;
    std::string message;
    bool operator==(const Verdict&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Verdict& v) {
    return out << v.frames << " \"" << v.message << "\"";
}

} // namespace vorlin::test
