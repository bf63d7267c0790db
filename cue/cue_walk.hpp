// The walk over a sheet's lines that computes where everything lies in the
// range: all audio files played back to back in sheet order. It measures
// every audio file and hands each line, with its position, to a sink; the
// sinks write the new sheet in one layout or check it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "audio/length.hpp"
#include "cue/cue_reader.hpp"
#include "cue/resolve.hpp"

namespace vorlin {

// Each call returns nullptr, or the message the sheet's rewriting fails with.
// `origin` is the line of the old sheet the call comes from (CueReader::rawLine).
class WalkSink {
  public:
    virtual ~WalkSink() = default;
    // A line that keeps its text.
    virtual const char* line(std::string_view text, std::uint64_t origin) = 0;
    // An audio FILE line naming `file`, which plays from `start` for `length`.
    virtual const char* audioFile(std::string_view text, std::uint64_t origin,
                                  const AudioFile& file, CdFrames start, CdFrames length) = 0;
    // An INDEX line at `position` in the range; `head` is its text up to the
    // time ("    INDEX 01 ").
    virtual const char* index(std::string_view head, CdFrames position, std::uint64_t origin) = 0;
    // The INDEX 00 line that opens a file: the start of the pregap that
    // belongs at the end of the previous file, before the range when negative.
    virtual const char* pregap(std::string_view head, CdFrames start, std::uint64_t origin) = 0;
    // An INDEX line in the range as the sheet has it, just before its index()
    // or pregap() call: its whole text, and its position with no pregap moved
    // (the length of all earlier audio files plus its time as written).
    virtual const char* indexAsWritten(std::string_view, CdFrames) { return nullptr; }
    // After the last line.
    virtual const char* finish() { return nullptr; }
};

// Hands every call to two sinks, the first one first.
class SinkPair : public WalkSink {
  public:
    SinkPair(WalkSink& first, WalkSink& second) : first_(first), second_(second) {}
    const char* line(std::string_view text, std::uint64_t origin) override;
    const char* audioFile(std::string_view text, std::uint64_t origin, const AudioFile& file,
                          CdFrames start, CdFrames length) override;
    const char* index(std::string_view head, CdFrames position, std::uint64_t origin) override;
    const char* pregap(std::string_view head, CdFrames start, std::uint64_t origin) override;
    const char* indexAsWritten(std::string_view text, CdFrames position) override;
    const char* finish() override;

  private:
    WalkSink& first_;
    WalkSink& second_;
};

// Reads the sheet at `path` to its end through `reader`: 0 when every line
// reached `sink` and it finished, or 1 after printing why the sheet cannot be
// rewritten.
//
// position = (length of all earlier audio files) + (the time as written) - gap,
// where a file's gap is the distance from its INDEX 00 to the INDEX line after
// it when that INDEX 00 is the first INDEX line of the file (the pregap at the
// start of the file, whose audio is taken to lie at the end of the previous
// one), and 0 otherwise.
//
// A FILE line of another type (BINARY, MP3...) is not measured: the lines
// under it, its INDEX lines too, keep their text, up to the next audio FILE
// line.
int walkCue(const std::string& path, CueReader& reader, WalkSink& sink);

} // namespace vorlin
