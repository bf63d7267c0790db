#include "cue/fix_cue.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <new>

#include "cue/classify.hpp"
#include "cue/cue_reader.hpp"
#include "cue/line_list.hpp"
#include "cue/replace.hpp"
#include "cue/resolve.hpp"
#include "cue/sheet_diff.hpp"

namespace vorlin {

std::int64_t parseCueTime(std::string_view text) {
    // Three unsigned fields of at most two characters each, separated by ':'.
    // As with scanf's %2u: white space before a field is skipped, a sign is
    // allowed and counts toward the width, and a negative value wraps modulo 2^32.
    auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::uint32_t field[3];
    std::size_t i = 0;
    for (int k = 0; k < 3; ++k) {
        if (k > 0) {
            if (i >= text.size() || text[i] != ':') return -1;
            ++i;
        }
        while (i < text.size() && isSpace(text[i])) ++i;
        int width = 2;
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            negative = text[i] == '-';
            ++i;
            --width;
        }
        std::uint32_t value = 0;
        int digits = 0;
        for (; width > 0 && i < text.size() && isDigit(text[i]); ++i, --width, ++digits)
            value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
        if (digits == 0) return -1;
        field[k] = negative ? 0u - value : value;
    }
    return (static_cast<std::int64_t>(field[0]) * 60 + field[1]) * 75 + field[2];
}

std::string formatCueTime(CdFrames position) {
    char buffer[48];
    std::int64_t seconds = position / 75;
    std::snprintf(buffer, sizeof buffer, "%02" PRId64 ":%02u:%02u\n", seconds / 60,
                  static_cast<unsigned>(seconds % 60), static_cast<unsigned>(position % 75));
    return buffer;
}

namespace {

// A line's INDEX number and time text sit at fixed distances from its first
// "INDEX ": the number 6 characters on, the time 9 characters on.
constexpr std::size_t timeOffset = 9;
// Copies of INDEX 00 lines are limited to this many bytes, line end included.
constexpr std::size_t maxIndex00Line = 1023;

bool isIndex00(std::string_view line, std::size_t at) {
    return at + 7 < line.size() && line[at + 6] == '0' && line[at + 7] == '0';
}

std::string_view timeText(std::string_view line, std::size_t at) {
    return line.size() - at < timeOffset ? std::string_view() : line.substr(at + timeOffset);
}

bool isReadOnly(const std::string& path) {
    struct stat st;
    return ::access(path.c_str(), W_OK) != 0 || ::stat(path.c_str(), &st) != 0 ||
           (st.st_mode & S_IWUSR) == 0;
}

int fail(const char* message) {
    std::fputs(message, stdout);
    return 1;
}

int readFailed(const std::string& path) {
    std::printf("Failed to read '%s'.\n", path.c_str());
    return 1;
}

// Reads the whole sheet and collects its rewritten lines in `list`. Returns 0,
// or 1 after printing why the sheet cannot be rewritten.
int rewriteLines(const std::string& path, CueReader& reader, LineList& list) {
    const std::string directory = directoryOf(path);
    unsigned fileCount = 0;
    CdFrames offset = 0;        // length of all audio files before the current one
    CdFrames currentLength = 0; // length of the current audio file
    CdFrames gap = 0;           // the current track's pregap
    std::string audioPath;
    std::string index00;   // an INDEX 00 line up to its time text
    std::string rewritten; // the current INDEX line with its new time
    std::string_view line;
    while (reader.next(line)) {
        if (isAudioFileLine(line)) {
            gap = 0;
            ++fileCount;
            if (resolveAudioPath(audioPath, line, directory) != 0)
                return fail("Fixing failed, invalid cue.\n");
            offset += currentLength;
            currentLength = audioLengthFrames(audioPath);
            if (currentLength <= 0) return fail("Fixing failed, error with audio files.\n");
            if (fileCount > 1) continue;
            line = "FILE \"Range.wav\" WAVE\n";
        } else if (std::size_t at = line.find("INDEX "); at != std::string_view::npos) {
            if (isIndex00(line, at)) {
                CdFrames u = parseCueTime(timeText(line, at));
                if (u < 0) return fail("Fixing failed, error with INDEX conversion (1)\n");
                if (line.size() > maxIndex00Line) return fail("Fixing failed, invalid cue.\n");
                index00.assign(line.substr(0, at + timeOffset));
                const std::uint64_t index00Line = reader.rawLine(); // its output stays its own
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
                CdFrames start = offset + u - gap;
                int appended = 0;
                if (start >= 0) {
                    index00 += formatCueTime(start);
                    appended = list.append(index00, index00Line);
                } else {
                    // The pregap begins before the range: it becomes a PREGAP line.
                    appended = list.append("    PREGAP " + formatCueTime(-start), index00Line);
                }
                if (!appended) return fail("Fixing failed, insufficient memory.\n");
            }
            CdFrames t = parseCueTime(timeText(line, at));
            if (t < 0) return fail("Fixing failed, error with INDEX conversion (6)\n");
            CdFrames position = offset + t - gap;
            if (position < 0) return fail("Fixing failed, error with INDEX conversion (7)\n");
            rewritten.assign(line.substr(0, at + timeOffset));
            rewritten += formatCueTime(position);
            line = rewritten;
        }
        if (!list.append(line, reader.rawLine()))
            return fail("Fixing failed, insufficient memory.\n");
    }
    // A read error must not pass for the end of the sheet: the sheet would
    // be rewritten without its remaining lines.
    if (reader.failed()) return readFailed(path);
    return 0;
}

// Where a real run replaces the sheet, a dry run shows the change instead. It
// fails where the replacement would fail whatever the file system: on an
// empty new sheet.
int showChange(const std::string& path, std::string_view oldSheet, const LineList& list) {
    if (list.count() == 0) {
        std::printf("Failed to write new cue.\n");
        return -1;
    }
    try {
        writeSheetDiff(stdout, path, oldSheet, list);
    } catch (const std::bad_alloc&) { // thrown before anything is written
        return fail("Fixing failed, insufficient memory.\n");
    }
    std::printf("not written (dry run).\n");
    return 0;
}

} // namespace

int fixCue(const std::string& path, const FixOptions& options, bool* rewritten) {
    if (rewritten) *rewritten = false;
    const bool dryRun = options.dryRun;
    if (!options.force) {
        int verdict = classifyCue(path);
        if (verdict < 0) return -1;
        if (verdict == 0) return 0;
    }
    if (isReadOnly(path)) {
        std::printf("File '%s' is read only.\n", path.c_str());
        return -1;
    }
    LineList list(dryRun);
    std::string oldSheet; // the sheet's bytes as read, for a dry run's diff
    {
        CueReader reader(path);
        if (!reader.isOpen()) {
            std::printf("Failed to open '%s'.\n", path.c_str());
            return -1;
        }
        std::printf("Fixing cue '%s'...\n", path.c_str());
        try {
            if (dryRun) reader.keepRawBytes(&oldSheet);
            if (int result = rewriteLines(path, reader, list); result != 0) return result;
        } catch (const std::bad_alloc&) {
            return fail("Fixing failed, insufficient memory.\n");
        }
    } // the sheet is closed before it is replaced
    const int result = dryRun ? showChange(path, oldSheet, list) : replaceCue(path, list);
    if (rewritten) *rewritten = result == 0;
    return result;
}

} // namespace vorlin
