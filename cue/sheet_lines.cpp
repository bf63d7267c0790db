#include "cue/sheet_lines.hpp"

#include "cue/cue_reader.hpp"

namespace vorlin {

namespace {

// An INDEX line's number and time sit at fixed distances from its first
// "INDEX ": the number 6 bytes on, the time 9 bytes on.
constexpr std::size_t numberOffset = 6;
constexpr std::size_t timeOffset = 9;

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The 8 hex digits of a line that is exactly "REM DISCID " and them (and
// LF); empty for any other line.
std::string_view recordedDiscId(std::string_view line) {
    constexpr std::string_view prefix = "REM DISCID ";
    if (!line.starts_with(prefix)) return {};
    line.remove_prefix(prefix.size());
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (line.size() != 8) return {};
    for (char c : line)
        if (!isHexDigit(c)) return {};
    return line;
}

} // namespace

SheetLine readSheetLine(std::string_view text) {
    SheetLine line;
    line.text = text;
    line.track = text.find("TRACK ");
    line.index = text.find("INDEX ");
    if (!line.holdsTrack() && !line.holdsIndex()) {
        line.pregap = text.find("PREGAP ");
        if (line.pregap == SheetLine::none) line.postgap = text.find("POSTGAP ");
    }
    if (line.holdsIndex()) {
        const std::size_t at = line.index;
        line.number = text.substr(at + numberOffset, 2);
        line.head = text.substr(0, at + timeOffset);
        if (text.size() - at > timeOffset) line.time = text.substr(at + timeOffset);
    }
    if (isAudioFileLine(text))
        line.kind = LineKind::audioFile;
    else if (isFileLine(text))
        line.kind = LineKind::otherFile;
    else if (line.holdsIndex())
        line.kind = LineKind::index;
    else if (line.holdsTrack())
        line.kind = LineKind::track;
    else if (line.pregap != SheetLine::none)
        line.kind = LineKind::pregap;
    else if (line.postgap != SheetLine::none)
        line.kind = LineKind::postgap;
    else if (line.discId = recordedDiscId(text); !line.discId.empty()) // holds none of them
        line.kind = LineKind::discId;
    return line;
}

bool SheetLine::index00Spaced() const {
    return holdsIndex() && text.find("INDEX 00 ", index) != std::string_view::npos;
}

bool SheetLines::next(SheetLine& line) {
    std::string_view piece;
    if (!reader_.next(piece)) return false;
    line = readSheetLine(piece);
    return true;
}

bool isFileLine(std::string_view line) {
    return line.starts_with("FILE ");
}

bool isAudioFileLine(std::string_view line) {
    if (!isFileLine(line) || line.back() != '\n') return false;
    line.remove_suffix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    for (std::string_view type : {" WAVE", " AIFF", " FLAC"})
        if (line.ends_with(type)) return true;
    return false;
}

} // namespace vorlin
