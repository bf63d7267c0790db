// The CDDB (freedb) disc ID of a rewritten sheet, checked against the one the
// ripper recorded in a "REM DISCID" line.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cue/cue_walk.hpp"
#include "cue/messages.hpp"
#include "cue/new_sheet.hpp"

namespace vorlin {

// The ID of a disc from its tracks' start offsets and its lead-out, in CD
// frames from the start of the disc (the first track of an audio CD starts at
// 150): the sum of the digit sums of every start in seconds, modulo 255, in
// the top byte; then the playing time in seconds from the first track to the
// lead-out; then the number of tracks. Wraps to 32 bits.
std::uint32_t cddbDiscId(const std::vector<std::int64_t>& trackStarts, std::int64_t leadOut);

// Follows the walk of a sheet and gathers what its disc ID is made of: every
// TRACK's INDEX 01 position in the range, the PREGAP and POSTGAP lines, and
// the lengths of the audio files. It gathers the same for the sheet as it
// stands: every INDEX 01 where its time puts it in the files played back to
// back, no pregap moved, and only the gaps written as lines.
class DiscIdCheck : public WalkSink {
  public:
    Problem line(std::string_view text, std::uint64_t origin) override;
    Problem audioFile(const FileLine& line, std::uint64_t origin, const AudioFile& file,
                      CdFrames start, CdFrames length) override;
    Problem index(const IndexLine& line, CdFrames position, std::uint64_t origin) override;
    Problem pregap(std::string_view head, CdFrames start, std::uint64_t origin) override;
    Problem indexAsWritten(const IndexLine& line, CdFrames position) override;

    // After the walk: whether the ID of the new sheet matches its first
    // "REM DISCID XXXXXXXX" line. Silent when the sheet has no such line, a
    // track has no INDEX 01 in the range, or a PREGAP or POSTGAP time does
    // not read. Unless `newOnly`, the ID of the sheet as it stands is
    // compared too; matchesOld says that one matches and the new one does
    // not: the sheet is right as it is, and must be left alone.
    DiscIdReport report(bool newOnly) const;

    // Whether the first audio file opens with an INDEX 00 line (a pregap()
    // call while in it).
    bool firstFileOpensWithIndex00() const { return firstFilePregap_; }

  private:
    struct Track {
        bool seenIndex01 = false; // its first INDEX 01, in the range or not
        bool inRange = false;     // that INDEX 01 lies in the range
        CdFrames index01 = 0;
        CdFrames index01AsWritten = 0;
        CdFrames gapsBefore = 0;     // PREGAPs up to this track's, POSTGAPs of earlier tracks
        CdFrames lineGapsBefore = 0; // the same, counting only PREGAP and POSTGAP lines
    };
    void startTrack();
    void addGap(CdFrames length, bool isPregap, bool isLine);
    std::uint32_t discId(bool asWritten) const;

    std::optional<std::string> recorded_; // the 8 digits as written
    std::vector<Track> tracks_;
    CdFrames audioEnd_ = 0;
    CdFrames gaps_ = 0;           // every PREGAP and POSTGAP so far
    CdFrames lineGaps_ = 0;       // of them, those written as lines in the sheet
    bool index01Pending_ = false; // the INDEX line in hand is its track's INDEX 01
    bool unreadable_ = false;
    int audioFiles_ = 0;
    bool firstFilePregap_ = false;
};

// How a sheet is rewritten.
struct RewriteOptions {
    bool perFile = false; // PerFileWriter, else RangeWriter
    bool force = false;   // the sheet as it stands is not compared, no second reading
};

// Walks the sheet `reader` reads, writing the new sheet into `list` (empty:
// its settings are those of the new sheet) in the layout asked for, and
// checks its disc ID (`report`). When that ID differs (not forced: neither
// the new sheet nor the sheet as it stands matches) and the first audio file
// opens with an INDEX 00 line, the sheet is walked once more, as
// `readAgain()` reads it, with the first file's pregap kept in its file
// (walkCue's keepFirstPregap) and the audio files as the first walk found
// and measured them. When that reading's ID is the recorded one, it is the
// new sheet, and the verdict matchesFirstPregap.
Outcome rewriteWithDiscId(CueReader& reader,
                          const std::function<std::unique_ptr<CueReader>()>& readAgain,
                          AudioSource& audio, NewSheet& list, const RewriteOptions& options,
                          DiscIdReport& report);

} // namespace vorlin
