#include "cue/cue_walk.hpp"

#include "cue/cue_time.hpp"
#include "cue/replace.hpp"
#include "cue/sheet_lines.hpp"
#include "platform/paths.hpp"

namespace vorlin {

FolderAudio::FolderAudio(const std::string& sheetPath) : directory_(directoryOf(sheetPath)) {}

bool FolderAudio::find(std::string_view name, AudioFile& found) {
    return findAudioFile(found, name, directory_, listings_);
}

AudioLength FolderAudio::measure(const AudioFile& file) {
    return audioLengthFrames(file.path);
}

bool FolderAudio::unreadFormat(std::string_view name) {
    return namesRegularFile(name, directory_);
}

bool RememberedAudio::find(std::string_view name, AudioFile& found) {
    if (replaying_) {
        if (next_ < answers_.size() && answers_[next_].name == name) {
            last_ = next_++;
            if (answers_[last_].found) found = answers_[last_].file;
            return answers_[last_].found;
        }
        last_ = noAnswer;
        return source_.find(name, found);
    }
    Answer& answer = answers_.emplace_back();
    answer.name = name;
    answer.found = source_.find(name, found);
    if (answer.found) answer.file = found;
    last_ = answers_.size() - 1;
    return answer.found;
}

AudioLength RememberedAudio::measure(const AudioFile& file) {
    if (last_ == noAnswer || !answers_[last_].found || answers_[last_].file.path != file.path)
        return source_.measure(file);
    Answer& answer = answers_[last_];
    if (!answer.measured) {
        answer.length = source_.measure(file);
        answer.measured = true;
    }
    return answer.length;
}

Problem SinkPair::line(std::string_view text, std::uint64_t origin) {
    if (Problem problem = first_.line(text, origin); problem != Problem::none) return problem;
    return second_.line(text, origin);
}

Problem SinkPair::audioFile(const FileLine& line, std::uint64_t origin, const AudioFile& file,
                            CdFrames start, CdFrames length) {
    if (Problem problem = first_.audioFile(line, origin, file, start, length);
        problem != Problem::none)
        return problem;
    return second_.audioFile(line, origin, file, start, length);
}

Problem SinkPair::index(const IndexLine& line, CdFrames position, std::uint64_t origin) {
    if (Problem problem = first_.index(line, position, origin); problem != Problem::none)
        return problem;
    return second_.index(line, position, origin);
}

Problem SinkPair::pregap(std::string_view head, CdFrames start, std::uint64_t origin) {
    if (Problem problem = first_.pregap(head, start, origin); problem != Problem::none)
        return problem;
    return second_.pregap(head, start, origin);
}

Problem SinkPair::indexAsWritten(const IndexLine& line, CdFrames position) {
    if (Problem problem = first_.indexAsWritten(line, position); problem != Problem::none)
        return problem;
    return second_.indexAsWritten(line, position);
}

Problem SinkPair::finish() {
    if (Problem problem = first_.finish(); problem != Problem::none) return problem;
    return second_.finish();
}

namespace {

// An INDEX 00 line that opens a file is limited to this many bytes, line end
// included.
constexpr std::size_t maxIndex00Line = 1023;

IndexLine indexLine(const SheetLine& line) {
    return {line.text, line.head, line.number, line.holdsTrack()};
}

Outcome failed(Problem problem) {
    return {problem, {}};
}

} // namespace

Outcome walkCue(CueReader& reader, AudioSource& audio, WalkSink& sink, bool keepFirstPregap) {
    constexpr CdFrames maxRangeFrames = CdFrames{1} << 53;
    CdFrames offset = 0;        // length of all audio files before the current one
    CdFrames currentLength = 0; // length of the current audio file
    CdFrames gap = 0;           // the pregap at the start of the current file
    bool fileHasIndex = false;  // an INDEX line came since the current audio FILE line
    bool inDataFile = false;    // the last FILE line is not an audio one
    int audioFiles = 0;         // audio FILE lines so far, up to 2
    AudioFile file;
    std::string index00; // an opening INDEX 00 line up to its time text
    SheetLines lines(reader);
    SheetLine line;
    while (lines.next(line)) {
        Problem problem = Problem::none;
        if (line.kind == LineKind::audioFile) {
            gap = 0;
            fileHasIndex = false;
            if (audioFiles < 2) ++audioFiles;
            inDataFile = false;
            FileLine fileLine{line.text, {}, {}};
            if (!fileLineName(line.text, fileLine.name, fileLine.rest))
                return failed(Problem::invalidSheet);
            if (!audio.find(fileLine.name, file))
                return {audio.unreadFormat(fileLine.name) ? Problem::audioNotSupported
                                                          : Problem::audioNotFound,
                        std::string(fileLine.name)};
            offset += currentLength;
            const AudioLength length = audio.measure(file);
            if (length.problem != Problem::none || length.frames <= 0)
                return {length.problem != Problem::none ? length.problem : Problem::unusableAudio,
                        file.path};
            // No disc plays for millions of years: lengths whose sum would
            // pass this are misread headers, and would overflow the positions.
            if (length.frames > maxRangeFrames - offset) return {Problem::unusableAudio, file.path};
            currentLength = length.frames;
            problem = sink.audioFile(fileLine, reader.rawLine(), file, offset, currentLength);
        } else if (inDataFile || line.kind == LineKind::otherFile) {
            // Times under a data file count in that file, not in the range.
            inDataFile = true;
            problem = sink.line(line.text, reader.rawLine());
        } else if (line.kind == LineKind::index) {
            IndexLine index = indexLine(line);
            if (!fileHasIndex && index.number == "00" && !(keepFirstPregap && audioFiles == 1)) {
                // The file opens with its track's pregap: read up to the next INDEX line.
                const CdFrames u = parseCueTime(line.time);
                if (u < 0) return failed(Problem::index00Unreadable);
                if (line.text.size() > maxIndex00Line) return failed(Problem::invalidSheet);
                if ((problem = sink.indexAsWritten(index, offset + u)) != Problem::none)
                    return failed(problem);
                index00.assign(index.head);
                const std::uint64_t index00Line = reader.rawLine();
                if (!lines.next(line)) {
                    if (reader.failed()) return failed(Problem::sheetReadFailed);
                    return failed(Problem::invalidSheet);
                }
                // Whatever else it is (a FILE line too), the line's first
                // INDEX ends the pregap.
                if (!line.holdsIndex()) return failed(Problem::invalidSheet);
                index = indexLine(line);
                const CdFrames w = parseCueTime(line.time);
                if (w < 0) return failed(Problem::indexAfter00Unreadable);
                gap = w - u;
                if (gap < 0) return failed(Problem::negativePregap);
                if ((problem = sink.pregap(index00, offset + u - gap, index00Line)) !=
                    Problem::none)
                    return failed(problem);
            }
            fileHasIndex = true;
            const CdFrames t = parseCueTime(line.time);
            if (t < 0) return failed(Problem::indexUnreadable);
            if ((problem = sink.indexAsWritten(index, offset + t)) != Problem::none)
                return failed(problem);
            const CdFrames position = offset + t - gap;
            if (position < 0) return failed(Problem::negativePosition);
            problem = sink.index(index, position, reader.rawLine());
        } else {
            problem = sink.line(line.text, reader.rawLine());
        }
        if (problem != Problem::none) return failed(problem);
    }
    // A read error must not pass for the end of the sheet: the sheet would
    // be rewritten without its remaining lines.
    if (reader.failed()) return failed(Problem::sheetReadFailed);
    return failed(sink.finish());
}

} // namespace vorlin
