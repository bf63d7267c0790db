// The CDDB (freedb) disc ID of a rewritten sheet, checked against the one the
// ripper recorded in a "REM DISCID" line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cue/cue_walk.hpp"

namespace vorlin {

// The ID of a disc from its tracks' start offsets and its lead-out, in CD
// frames from the start of the disc (the first track of an audio CD starts at
// 150): the sum of the digit sums of every start in seconds, modulo 255, in
// the top byte; then the playing time in seconds from the first track to the
// lead-out; then the number of tracks. Wraps to 32 bits.
std::uint32_t cddbDiscId(const std::vector<std::int64_t>& trackStarts, std::int64_t leadOut);

// Follows the walk of a sheet and gathers what its disc ID is made of: every
// TRACK's INDEX 01 position in the range, the PREGAP and POSTGAP lines, and
// the lengths of the audio files.
class DiscIdCheck : public WalkSink {
  public:
    const char* line(std::string_view text, std::uint64_t origin) override;
    const char* audioFile(std::string_view text, std::uint64_t origin, const AudioFile& file,
                          CdFrames start, CdFrames length) override;
    const char* index(std::string_view head, CdFrames position, std::uint64_t origin) override;
    const char* pregap(std::string_view head, CdFrames start, std::uint64_t origin) override;

    // After the walk: prints whether the ID of the new sheet matches its
    // first "REM DISCID XXXXXXXX" line. Prints nothing when the sheet has no
    // such line, a track has no INDEX 01, or a PREGAP or POSTGAP time does
    // not read.
    void report() const;

  private:
    struct Track {
        std::optional<CdFrames> index01;
        CdFrames gapsBefore = 0; // PREGAPs up to this track's, POSTGAPs of earlier tracks
    };
    void addGap(CdFrames length, bool isPregap);

    std::optional<std::string> recorded_; // the 8 digits as written
    std::vector<Track> tracks_;
    CdFrames audioEnd_ = 0;
    CdFrames gaps_ = 0; // every PREGAP and POSTGAP so far
    bool unreadable_ = false;
};

} // namespace vorlin
