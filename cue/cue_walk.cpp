#include "cue/cue_walk.hpp"

#include <cstdio>

#include "cue/cue_time.hpp"
#include "cue/replace.hpp"

namespace vorlin {

const char* SinkPair::line(std::string_view text, std::uint64_t origin) {
    if (const char* failure = first_.line(text, origin)) return failure;
    return second_.line(text, origin);
}

const char* SinkPair::audioFile(std::string_view text, std::uint64_t origin, const AudioFile& file,
                                CdFrames start, CdFrames length) {
    if (const char* failure = first_.audioFile(text, origin, file, start, length)) return failure;
    return second_.audioFile(text, origin, file, start, length);
}

const char* SinkPair::index(std::string_view head, CdFrames position, std::uint64_t origin) {
    if (const char* failure = first_.index(head, position, origin)) return failure;
    return second_.index(head, position, origin);
}

const char* SinkPair::pregap(std::string_view head, CdFrames start, std::uint64_t origin) {
    if (const char* failure = first_.pregap(head, start, origin)) return failure;
    return second_.pregap(head, start, origin);
}

const char* SinkPair::indexAsWritten(std::string_view text, CdFrames position) {
    if (const char* failure = first_.indexAsWritten(text, position)) return failure;
    return second_.indexAsWritten(text, position);
}

const char* SinkPair::finish() {
    if (const char* failure = first_.finish()) return failure;
    return second_.finish();
}

namespace {

// A line's INDEX number and time text sit at fixed distances from its first
// "INDEX ": the number 6 characters on, the time 9 characters on.
constexpr std::size_t timeOffset = 9;
// An INDEX 00 line that opens a file is limited to this many bytes, line end
// included.
constexpr std::size_t maxIndex00Line = 1023;

bool isIndex00(std::string_view line, std::size_t at) {
    return at + 7 < line.size() && line[at + 6] == '0' && line[at + 7] == '0';
}

std::string_view timeText(std::string_view line, std::size_t at) {
    return line.size() - at < timeOffset ? std::string_view() : line.substr(at + timeOffset);
}

int fail(const char* message) {
    std::fputs(message, stdout);
    return 1;
}

int readFailed(const std::string& path) {
    std::printf("Failed to read '%s'.\n", path.c_str());
    return 1;
}

} // namespace

int walkCue(const std::string& path, CueReader& reader, WalkSink& sink) {
    const std::string directory = directoryOf(path);
    FolderListings listings;
    CdFrames offset = 0;        // length of all audio files before the current one
    CdFrames currentLength = 0; // length of the current audio file
    CdFrames gap = 0;           // the pregap at the start of the current file
    bool fileHasIndex = false;  // an INDEX line came since the current audio FILE line
    bool inDataFile = false;    // the last FILE line is not an audio one
    AudioFile file;
    std::string index00; // an opening INDEX 00 line up to its time text
    std::string_view line;
    while (reader.next(line)) {
        const char* failure = nullptr;
        if (isAudioFileLine(line)) {
            gap = 0;
            fileHasIndex = false;
            inDataFile = false;
            std::string_view name, rest;
            if (!fileLineName(line, name, rest)) return fail("Fixing failed, invalid cue.\n");
            if (!findAudioFile(file, name, directory, listings)) {
                std::printf("'%.*s': audio file not found\n", static_cast<int>(name.size()),
                            name.data());
                return fail("Fixing failed, error with audio files.\n");
            }
            offset += currentLength;
            currentLength = audioLengthFrames(file.path);
            if (currentLength <= 0) return fail("Fixing failed, error with audio files.\n");
            failure = sink.audioFile(line, reader.rawLine(), file, offset, currentLength);
        } else if (inDataFile || isFileLine(line)) {
            // Times under a data file count in that file, not in the range.
            inDataFile = true;
            failure = sink.line(line, reader.rawLine());
        } else if (std::size_t at = line.find("INDEX "); at != std::string_view::npos) {
            if (!fileHasIndex && isIndex00(line, at)) {
                // The file opens with its track's pregap: read up to the next INDEX line.
                CdFrames u = parseCueTime(timeText(line, at));
                if (u < 0) return fail("Fixing failed, error with INDEX conversion (1)\n");
                if (line.size() > maxIndex00Line) return fail("Fixing failed, invalid cue.\n");
                if ((failure = sink.indexAsWritten(line, offset + u))) return fail(failure);
                index00.assign(line.substr(0, at + timeOffset));
                const std::uint64_t index00Line = reader.rawLine();
                if (!reader.next(line)) {
                    if (reader.failed()) return readFailed(path);
                    return fail("Fixing failed, invalid cue.\n");
                }
                at = line.find("INDEX ");
                if (at == std::string_view::npos) return fail("Fixing failed, invalid cue.\n");
                CdFrames w = parseCueTime(timeText(line, at));
                if (w < 0) return fail("Fixing failed, error with INDEX conversion (2)\n");
                gap = w - u;
                if (gap < 0) return fail("Fixing failed, error with INDEX conversion (3)\n");
                failure = sink.pregap(index00, offset + u - gap, index00Line);
                if (failure) return fail(failure);
            }
            fileHasIndex = true;
            CdFrames t = parseCueTime(timeText(line, at));
            if (t < 0) return fail("Fixing failed, error with INDEX conversion (6)\n");
            if ((failure = sink.indexAsWritten(line, offset + t))) return fail(failure);
            CdFrames position = offset + t - gap;
            if (position < 0) return fail("Fixing failed, error with INDEX conversion (7)\n");
            failure = sink.index(line.substr(0, at + timeOffset), position, reader.rawLine());
        } else {
            failure = sink.line(line, reader.rawLine());
        }
        if (failure) return fail(failure);
    }
    // A read error must not pass for the end of the sheet: the sheet would
    // be rewritten without its remaining lines.
    if (reader.failed()) return readFailed(path);
    if (const char* failure = sink.finish()) return fail(failure);
    return 0;
}

} // namespace vorlin
