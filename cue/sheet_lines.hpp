// The one reading of a sheet's lines: what each line of a sheet is, for the
// three passes that read it (classification, the walk and the disc ID check).
//
// A line here is a piece as CueReader delivers it: at most 4095 bytes, ending
// at LF unless the line is longer or the sheet ends. A long line's pieces are
// read each on its own, as the passes have always read them: a keyword split
// between two pieces is in neither, and a later piece beginning with "FILE "
// is a FILE line.
//
// The keywords are found as substrings anywhere in the piece (the first time
// each occurs), not as words at the start of the line: "    INDEX 01" after a
// TITLE or a file name holding "INDEX 01" is an INDEX line all the same, and
// is rewritten. A line may hold several keywords; `kind` gives the one that
// decides the walk, and the positions give the others. The passes test them
// in different orders, each in its own file; the differences are kept on
// purpose, as every one decides which sheets are rewritten and how:
//
// - classification (classify.cpp) reads audio FILE first, then TRACK, then
//   INDEX, and an other FILE line by the keywords it holds. A line holding
//   both TRACK and INDEX counts as a TRACK: its "INDEX 00 " is no gap, and
//   its INDEX does not follow the FILE line. Gaps are index00Spaced() ("INDEX
//   00 " anywhere, the blank included); whether an audio file opens with
//   one is read otherwise: from the first line after the audio FILE line
//   holding "INDEX " (a TRACK line too, not a FILE line), its `number` 00,
//   blank after it or not.
// - the walk (cue_walk.cpp) reads audio FILE, then other FILE (and every
//   line under one up to the next audio FILE), then INDEX, whatever TRACK
//   the line holds. The line after an opening INDEX 00 is read only for its
//   first "INDEX ", whatever its kind.
// - the disc ID check (disc_id.cpp) starts a track at every line holding
//   "TRACK ", an INDEX line or an other FILE line too; a kept line (under
//   an other FILE) whose first "INDEX " has number 01 is its track's INDEX
//   01 unless it is the other FILE line itself; a kept line with neither
//   keyword adds the time after its first "PREGAP ", or else after its
//   first "POSTGAP ", an other FILE line too. Its REM DISCID is the first
//   line of exactly that form, wherever it stands.
#pragma once

#include <cstddef>
#include <string_view>

namespace vorlin {

class CueReader;

enum class LineKind {
    audioFile, // a FILE line of a type whose length is measured
    otherFile, // a FILE line of any other type (BINARY, MP3...)
    index,     // holds "INDEX "
    track,     // holds "TRACK "
    pregap,    // holds "PREGAP "
    postgap,   // holds "POSTGAP "
    discId,    // exactly "REM DISCID " and 8 hex digits
    other,
};

struct SheetLine {
    static constexpr std::size_t none = std::string_view::npos;

    std::string_view text; // the whole piece, its LF included
    // The first of these that holds: audio FILE, other FILE, INDEX, TRACK,
    // PREGAP, POSTGAP, REM DISCID, other.
    LineKind kind = LineKind::other;
    // Where each keyword first occurs, its blank included, or none. A gap
    // is only read from a line holding neither TRACK nor INDEX, and a
    // POSTGAP only from one without PREGAP: they are looked for only there.
    std::size_t track = none;   // "TRACK "
    std::size_t index = none;   // "INDEX "
    std::size_t pregap = none;  // "PREGAP "
    std::size_t postgap = none; // "POSTGAP "
    // After the first "INDEX ": its number, the two characters 6 bytes on
    // (shorter where the piece ends), and the text up to its time (9 bytes
    // on) and from there; empty where there is no INDEX.
    std::string_view number;
    std::string_view head;
    std::string_view time;
    // The 8 hex digits of a REM DISCID line; empty for any other.
    std::string_view discId;

    bool holdsTrack() const { return track != none; }
    bool holdsIndex() const { return index != none; }
    // "INDEX 00 " somewhere in the line, not only at `index`.
    bool index00Spaced() const;
    bool isFile() const { return kind == LineKind::audioFile || kind == LineKind::otherFile; }
};

// What the piece `text` is.
SheetLine readSheetLine(std::string_view text);

// The typed lines of a sheet, in order, as `reader` delivers its pieces.
class SheetLines {
  public:
    explicit SheetLines(CueReader& reader) : reader_(reader) {}
    // The next line; false at the end of the sheet or on a read error
    // (CueReader::failed tells which).
    bool next(SheetLine& line);

  private:
    CueReader& reader_;
};

// A FILE line of any type: the piece begins with "FILE ".
bool isFileLine(std::string_view line);

// An audio FILE line: a FILE line whose piece ends with " WAVE", " AIFF" or
// " FLAC", then any spaces or tabs, then LF (a piece cut short by the reader
// is none).
bool isAudioFileLine(std::string_view line);

} // namespace vorlin
