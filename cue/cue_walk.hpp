// The walk over a sheet's lines that computes where everything lies in the
// range: all audio files played back to back in sheet order. It finds and
// measures every audio file through an AudioSource and hands each line, with
// its position, to a sink; the sinks write the new sheet in one layout or
// check it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "audio/length.hpp"
#include "base/outcome.hpp"
#include "cue/audio_lookup.hpp"
#include "cue/cue_reader.hpp"

namespace vorlin {

// Where the walk gets its audio files from.
class AudioSource {
  public:
    virtual ~AudioSource() = default;
    // The file a FILE line's name stands for; false when there is none.
    virtual bool find(std::string_view name, AudioFile& found) = 0;
    // How long `file` plays, or why that is not known.
    virtual AudioLength measure(const AudioFile& file) = 0;
    // For a name find() does not find: whether it is there all the same,
    // as a file of a format that is not read.
    virtual bool unreadFormat(std::string_view) { return false; }
};

// The audio files of a sheet on disk: looked up beside it (findAudioFile)
// and measured (audioLengthFrames).
class FolderAudio : public AudioSource {
  public:
    // `sheetPath` is the sheet's path; its folder is looked in.
    explicit FolderAudio(const std::string& sheetPath);
    bool find(std::string_view name, AudioFile& found) override;
    AudioLength measure(const AudioFile& file) override;
    // The name as written is a regular file (namesRegularFile).
    bool unreadFormat(std::string_view name) override;

  private:
    std::string directory_;
    FolderListings listings_;
};

// Another source seen through a record of what it answered, in the order it
// was asked. A second walk of the same sheet asks the same questions in the
// same order: after replay() each is answered again from the record, so no
// file is looked up or measured twice. A question out of that order goes to
// the source. Kept in order rather than by name, so that the first walk, the
// one every sheet takes, pays no more than a copy of each answer.
class RememberedAudio : public AudioSource {
  public:
    explicit RememberedAudio(AudioSource& source) : source_(source) {}
    bool find(std::string_view name, AudioFile& found) override;
    AudioLength measure(const AudioFile& file) override;
    bool unreadFormat(std::string_view name) override { return source_.unreadFormat(name); }
    // Answers the questions again from the first.
    void replay() {
        replaying_ = true;
        next_ = 0;
    }

  private:
    struct Answer {
        std::string name; // as the FILE line gives it
        bool found = false;
        AudioFile file;
        bool measured = false;
        AudioLength length;
    };
    static constexpr std::size_t noAnswer = static_cast<std::size_t>(-1);

    AudioSource& source_;
    std::vector<Answer> answers_;
    bool replaying_ = false;
    std::size_t next_ = 0;        // when replaying, the answer to give next
    std::size_t last_ = noAnswer; // the answer to the last find, its file to measure
};

// An audio FILE line as the walk has read it.
struct FileLine {
    std::string_view text; // the whole line
    std::string_view name; // the file name, without its quotes
    std::string_view rest; // what follows the name (after the closing quote)
};

// An INDEX line in the range as the walk has read it.
struct IndexLine {
    std::string_view text;   // the whole line
    std::string_view head;   // up to its time ("    INDEX 01 ")
    std::string_view number; // the two characters after "INDEX " ("01")
    bool holdsTrack = false; // "TRACK " is in the line as well
};

// Each call returns none, or the problem the sheet's rewriting fails with.
// `origin` is the line of the old sheet the call comes from (CueReader::rawLine).
class WalkSink {
  public:
    virtual ~WalkSink() = default;
    // A line that keeps its text.
    virtual Problem line(std::string_view text, std::uint64_t origin) = 0;
    // An audio FILE line naming `file`, which plays from `start` for `length`.
    virtual Problem audioFile(const FileLine& line, std::uint64_t origin, const AudioFile& file,
                              CdFrames start, CdFrames length) = 0;
    // An INDEX line at `position` in the range.
    virtual Problem index(const IndexLine& line, CdFrames position, std::uint64_t origin) = 0;
    // The INDEX 00 line that opens a file, `head` its text up to the time:
    // the start of the pregap that belongs at the end of the previous file,
    // before the range when negative.
    virtual Problem pregap(std::string_view head, CdFrames start, std::uint64_t origin) = 0;
    // An INDEX line in the range as the sheet has it, just before its index()
    // or pregap() call: its position with no pregap moved (the length of all
    // earlier audio files plus its time as written).
    virtual Problem indexAsWritten(const IndexLine&, CdFrames) { return Problem::none; }
    // After the last line.
    virtual Problem finish() { return Problem::none; }
};

// Hands every call to two sinks, the first one first.
class SinkPair : public WalkSink {
  public:
    SinkPair(WalkSink& first, WalkSink& second) : first_(first), second_(second) {}
    Problem line(std::string_view text, std::uint64_t origin) override;
    Problem audioFile(const FileLine& line, std::uint64_t origin, const AudioFile& file,
                      CdFrames start, CdFrames length) override;
    Problem index(const IndexLine& line, CdFrames position, std::uint64_t origin) override;
    Problem pregap(std::string_view head, CdFrames start, std::uint64_t origin) override;
    Problem indexAsWritten(const IndexLine& line, CdFrames position) override;
    Problem finish() override;

  private:
    WalkSink& first_;
    WalkSink& second_;
};

// Reads the sheet through `reader` to its end: none when every line reached
// `sink` and it finished, or why the sheet cannot be rewritten. An audio
// file's problem names the file (the FILE line's name when it is not found,
// audioNotSupported when the source says it is there all the same; the path
// measured otherwise); the others have no subject, a read error
// (sheetReadFailed) included: it is the sheet's.
//
// position = (length of all earlier audio files) + (the time as written) - gap,
// where a file's gap is the distance from its INDEX 00 to the INDEX line after
// it when that INDEX 00 is the first INDEX line of the file (the pregap at the
// start of the file, whose audio is taken to lie at the end of the previous
// one), and 0 otherwise.
//
// The lines are read as SheetLines reads them (the walk's order: audio FILE,
// other FILE, INDEX). A FILE line of another type (BINARY, MP3...) is not measured: the lines
// under it, its INDEX lines too, keep their text, up to the next audio FILE
// line.
//
// With `keepFirstPregap`, the first audio file's INDEX lines keep their times
// as written: an INDEX 00 that opens it is an INDEX line like any other (an
// index() call at its time, no pregap() call), its gap 0. This reads a rip
// whose first file holds the first track's pregap (a hidden track); every
// later file is read as without it.
Outcome walkCue(CueReader& reader, AudioSource& audio, WalkSink& sink,
                bool keepFirstPregap = false);

} // namespace vorlin
