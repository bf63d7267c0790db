// The two layouts a rewritten sheet can take. Both are written from the same
// walk (cue/cue_walk.hpp) into a NewSheet.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cue/cue_walk.hpp"
#include "cue/new_sheet.hpp"

namespace vorlin {

// One FILE "Range.wav" WAVE line for all the audio files played back to
// back; every INDEX time a position in that range, and a pregap that starts
// before the range a PREGAP line. A data file may come before the audio files
// or after them, not between them.
class RangeWriter : public WalkSink {
  public:
    explicit RangeWriter(NewSheet& list) : list_(list) {}
    Problem line(std::string_view text, std::uint64_t origin) override;
    Problem audioFile(const FileLine& line, std::uint64_t origin, const AudioFile& file,
                      CdFrames start, CdFrames length) override;
    Problem index(const IndexLine& line, CdFrames position, std::uint64_t origin) override;
    Problem pregap(std::string_view head, CdFrames start, std::uint64_t origin) override;

  private:
    NewSheet& list_;
    bool sawFile_ = false;
    bool dataAfterRange_ = false; // a FILE line of another type came after the range's
};

// A FILE line for every audio file, naming the file that was measured, with
// each pregap in the previous file: a FILE line whose first INDEX lies before
// the file's start waits until an INDEX reaches it, so that INDEX times count
// from the start of the last FILE line written. A data file's FILE line stays
// where it is; an INDEX in the range that would come under it fails.
class PerFileWriter : public WalkSink {
  public:
    explicit PerFileWriter(NewSheet& list) : list_(list) {}
    Problem line(std::string_view text, std::uint64_t origin) override;
    Problem audioFile(const FileLine& line, std::uint64_t origin, const AudioFile& file,
                      CdFrames start, CdFrames length) override;
    Problem index(const IndexLine& line, CdFrames position, std::uint64_t origin) override;
    Problem pregap(std::string_view head, CdFrames start, std::uint64_t origin) override;
    // Writes the FILE lines still waiting.
    Problem finish() override;

  private:
    struct Held {
        bool isFile;
        std::string text;
        CdFrames start; // of a FILE line's file
        std::uint64_t origin;
    };
    // Places the held lines before an INDEX at `position`.
    Problem reachIndex(CdFrames position, std::uint64_t origin);
    Problem writeFile(const Held& file, std::uint64_t origin);
    Problem writeWaiting(CdFrames upTo, std::uint64_t origin);
    Problem append(std::string_view text, std::uint64_t origin);
    Problem writeIndex(std::string_view head, CdFrames position, std::uint64_t origin);

    NewSheet& list_;
    bool sawFile_ = false;
    CdFrames lastStart_ = 0; // the start of the last FILE line written
    bool dataLast_ = false;  // the last FILE line written is a data file's
    std::uint64_t lastOrigin_ = 0;
    std::vector<Held> held_;    // a FILE line not yet placed and the lines after it
    std::vector<Held> waiting_; // FILE lines whose INDEX lines came before their start
};

} // namespace vorlin
