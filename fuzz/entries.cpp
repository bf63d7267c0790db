#include "fuzz/entries.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "audio/formats.hpp"
#include "audio/length.hpp"
#include "audio/wav.hpp"
#include "cue/fix_cue.hpp"
#include "cue/text_encoding.hpp"
#include "mpc/byte_stream.hpp"
#include "mpc/frame_chain.hpp"
#include "mpc/frame_scanner.hpp"
#include "mpc/mpc_length.hpp"
#include "platform/platform.hpp"

namespace vorlin::fuzz {
namespace {

std::string le(std::uint32_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i) s += static_cast<char>(v >> (8 * i) & 0xFF);
    return s;
}

// A 44-byte header of 16-bit stereo PCM whose data size stands for `samples`
// sample frames; the audio itself is not there, as the measurer never reads it.
std::string wavHeader(std::uint32_t samples) {
    return "RIFF" + le(36 + samples * 4, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(2, 2) +
           le(44100, 4) + le(176400, 4) + le(4, 2) + le(16, 2) + "data" + le(samples * 4, 4);
}

// Silent frames of band 0: two of version 7 (2 CD frames), three of version 5
// (5 CD frames), the header padded to the 32 bytes a header read takes.
const unsigned char sv7Stream[] = {0x4d, 0x50, 0x2b, 0x07, 0x02, 0x00, 0x00, 0x00, 0x00,
                                   0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                   0x00, 0x00, 0x00, 0x00, 0x40, 0x06, 0x80, 0x00, 0x00,
                                   0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x80, 0x0c};
const unsigned char sv5Stream[32] = {0x01, 0x28, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x80, 0x64,
                                     0x00, 0x00, 0x00, 0x20, 0x19, 0x00, 0x00, 0x00, 0x48, 0x06};

std::vector<std::string> listDir(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool readWhole(const std::string& path, std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    bytes.clear();
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    std::fclose(f);
    return true;
}

bool writeWhole(const std::string& path, const void* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// The formats the `headers` target measures: every format of the table but
// WAV and MPC, which have targets of their own.
bool measuredByHeaders(const AudioFormat& format) {
    return format.id != FormatId::wav && format.id != FormatId::musepack;
}

// The file extension the first byte of a `headers` input chooses: the first
// extension of each of those formats, in the table's order (.flac, .wv, .ape,
// .tta, .aiff), the byte taken modulo their number.
std::string_view headerExtension(std::uint8_t choice) {
    const auto formats = audioFormats();
    const auto count = std::count_if(formats.begin(), formats.end(), measuredByHeaders);
    auto left = choice % count;
    for (const AudioFormat& format : formats)
        if (measuredByHeaders(format) && left-- == 0) return format.extensions.front();
    return {};
}

// A scratch folder (in memory when /dev/shm exists) holding an album of audio
// files of every kind a FILE line may reach, beside which the sheet under test
// is put, and a probe file for the MPC measurer. Removed when the process ends
// normally.
struct Scratch {
    std::string root, album, probe;
    std::vector<std::pair<std::string, std::string>> audio; // regular files: name, bytes
    std::vector<std::string> expected;                      // the album's names, without a sheet

    Scratch() {
        const char* tmp = std::getenv("TMPDIR");
        std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                           : tmp && *tmp                   ? tmp
                                                           : "/tmp";
        root = base + "/vorlin-fuzz-XXXXXX";
        if (!::mkdtemp(root.data())) std::abort();
        album = root + "/album";
        probe = root + "/probe.mpc";
        ::mkdir(album.c_str(), 0755);
        audio = {{"01.wav", wavHeader(13500 * 588)},
                 {"02.wav", wavHeader(9000 * 588)},
                 {"03.mpc", std::string(std::begin(sv7Stream), std::end(sv7Stream))},
                 {"04.mp+", std::string(std::begin(sv5Stream), std::end(sv5Stream))},
                 {"short.wav", wavHeader(587)},
                 {"bad.wav", "RIFX" + wavHeader(588).substr(4)},
                 {"bad.mpc", "MP+\x08" + std::string(40, '\0')}};
        for (const auto& [name, bytes] : audio) {
            std::string path = album + "/" + name;
            if (!writeWhole(path, bytes.data(), bytes.size())) std::abort();
            ::chmod(path.c_str(), 0444);
        }
        ::mkdir((album + "/dir.wav").c_str(), 0755);
        ::mkdir((album + "/CD1").c_str(), 0755);
        const std::string upper = wavHeader(4500 * 588);
        audio.emplace_back("CD1/05.WAV", upper); // found with case ignored, in a subfolder
        writeWhole(album + "/CD1/05.WAV", upper.data(), upper.size());
        ::mkfifo((album + "/pipe.wav").c_str(), 0644);
        ::symlink("01.wav", (album + "/link.wav").c_str());
        ::symlink("missing.wav", (album + "/dangling.wav").c_str());
        expected = listDir(album);
    }

    ~Scratch() {
        ::unlink((album + "/CD1/05.WAV").c_str());
        for (const std::string& name : listDir(album)) {
            std::string path = album + "/" + name;
            if (::unlink(path.c_str()) != 0) ::rmdir(path.c_str());
        }
        ::rmdir(album.c_str());
        ::unlink(probe.c_str());
        for (const AudioFormat& format : audioFormats())
            if (measuredByHeaders(format))
                ::unlink((root + "/probe" + std::string(format.extensions.front())).c_str());
        ::unlink((root + "/dry-run.txt").c_str());
        ::unlink((root + "/run.txt").c_str());
        ::rmdir(root.c_str());
    }
};

Scratch& scratch() {
    static Scratch s;
    return s;
}

// The WAV header read as the measurer is meant to read it: one value at a
// time, the end-of-file indicator set by any read that comes up short.
struct LeReader {
    const std::uint8_t* data;
    std::size_t size, pos = 0;
    bool eof = false;
    std::uint32_t get(std::size_t n) {
        if (size - pos < n) {
            pos = size;
            eof = true;
            return n == 4 ? 0xFFFFFFFFu : 0xFFFFu;
        }
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < n; ++i)
            v |= static_cast<std::uint32_t>(data[pos + i]) << (8 * i);
        pos += n;
        return v;
    }
};

CdFrames plainWavLength(const std::uint8_t* data, std::size_t size) {
    LeReader r{data, size};
    if (r.get(4) != 0x46464952u) return 0;
    r.get(4);
    if (r.get(4) != 0x45564157u || r.get(4) != 0x20746D66u) return 0;
    r.get(4);
    if (r.get(2) != 1) return 0;
    std::uint32_t channels = r.get(2);
    r.get(4);
    r.get(4);
    r.get(2);
    std::uint32_t frameSize = channels * ((r.get(2) + 7) / 8);
    for (;;) {
        if (r.eof) return 0;
        if (r.get(2) != 0x6164) continue;
        if (r.get(2) == 0x6174) break;
    }
    std::uint32_t dataSize = r.get(4);
    if (r.eof || dataSize == 0 || dataSize >= 0xFFFFFF00u || frameSize == 0 ||
        dataSize % frameSize != 0)
        return 0;
    return samplesToCdFrames(dataSize / frameSize);
}

std::string_view takeLine(std::string_view& text) {
    const std::size_t lf = text.find('\n');
    const std::string_view line = text.substr(0, lf == std::string_view::npos ? lf : lf + 1);
    text.remove_prefix(line.size());
    return line;
}

// A hunk's "start" or "start,count"; the count stays as given when left out.
bool parseRange(const char* text, unsigned long long& start, unsigned long long& count) {
    int used = 0;
    if (std::sscanf(text, "%llu,%llu%n", &start, &count, &used) == 2 && text[used] == '\0')
        return true;
    return std::sscanf(text, "%llu%n", &start, &used) == 1 && text[used] == '\0';
}

// Applies a dry run's diff to `old` as strictly as patch without fuzz: every
// hunk at the lines it names, its context and removed lines as in `old`, its
// counts as stated. False when any of that fails.
bool applyDiff(std::string_view diff, std::string_view old, std::string& out) {
    out.clear();
    if (!diff.empty() &&
        (!takeLine(diff).starts_with("--- ") || !takeLine(diff).starts_with("+++ ")))
        return false;
    unsigned long long oldLine = 0, newLine = 0; // lines taken from `old`, put into `out`
    while (!diff.empty()) {
        const std::string header(takeLine(diff));
        unsigned long long a, b = 1, c, d = 1; // a count left out is 1
        char oldRange[32], newRange[32];
        if (std::sscanf(header.c_str(), "@@ -%31s +%31s @@", oldRange, newRange) != 2 ||
            !parseRange(oldRange, a, b) || !parseRange(newRange, c, d) || (b > 0 && a == 0) ||
            (d > 0 && c == 0))
            return false;
        if (a - (b > 0) < oldLine) return false;
        for (; oldLine < a - (b > 0); ++oldLine, ++newLine) {
            if (old.empty()) return false;
            out += takeLine(old);
        }
        if (c - (d > 0) != newLine) return false;
        while (b > 0 || d > 0) {
            std::string_view line = takeLine(diff);
            if (line.size() < 2) return false;
            const char mark = line[0];
            line.remove_prefix(1);
            if (diff.starts_with("\\ No newline at end of file\n")) {
                takeLine(diff);
                line.remove_suffix(1);
            }
            if (mark != ' ' && mark != '-' && mark != '+') return false;
            if (mark != '+' && (b-- == 0 || takeLine(old) != line)) return false;
            if (mark != '-' && d-- == 0) return false;
            if (mark != '+') ++oldLine;
            if (mark != '-') {
                out += line;
                ++newLine;
            }
        }
    }
    out += old;
    return true;
}

// Whether `text` holds no control byte but line feeds: a name shown in a
// message can neither break its line nor reach a terminal as a control
// sequence.
bool plainLines(std::string_view text) {
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && byte != '\n') || byte == 0x7F;
    });
}

// The name a diff header line gives after its "--- " or "+++ ", read as patch
// reads it: up to the tab that ends it, or in double quotes with C escapes.
std::optional<std::string> headerName(std::string_view line) {
    std::string name;
    if (!line.starts_with('"')) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos || line.substr(tab) != "\t\n") return std::nullopt;
        return std::string(line.substr(0, tab));
    }
    std::size_t at = 1;
    for (; at < line.size() && line[at] != '"'; ++at) {
        if (line[at] != '\\') {
            name += line[at];
            continue;
        }
        if (++at == line.size()) return std::nullopt;
        auto octal = [&](std::size_t i) {
            return i < line.size() && line[i] >= '0' && line[i] <= '7';
        };
        if (octal(at)) {
            int value = 0;
            for (int digits = 0; digits < 3 && octal(at); ++digits, ++at)
                value = value * 8 + (line[at] - '0');
            name += static_cast<char>(value);
            --at;
            continue;
        }
        const std::string_view escapes = "n\nt\tr\ra\ab\bf\fv\v\\\\\"\"";
        const std::size_t found = escapes.find(line[at]);
        if (found == std::string_view::npos || found % 2 != 0) return std::nullopt;
        name += escapes[found + 1];
    }
    if (line.substr(std::min(at, line.size())) != "\"\t\n") return std::nullopt;
    return name;
}

// Runs fixCue with standard output in `file`, whose text goes into `output`.
int runCapturing(const std::string& sheet, const FixOptions& options, const std::string& file,
                 std::string& output) {
    std::fflush(stdout);
    const int savedStdout = ::dup(STDOUT_FILENO);
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (savedStdout < 0 || fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0) std::abort();
    ::close(fd);
    const int result = exitValue(fixCue(sheet, options));
    std::fflush(stdout);
    if (::dup2(savedStdout, STDOUT_FILENO) < 0) std::abort();
    ::close(savedStdout);
    if (!readWhole(file, output)) std::abort();
    return result;
}

// The text a UTF-16 sheet holds, or the bytes of any other.
std::optional<std::string> sheetText(const std::string& bytes, bool utf16) {
    if (!utf16) return bytes;
    if (bytes.size() < 2) return std::nullopt;
    return utf16ToUtf8(std::string_view(bytes).substr(2), bytes[0] == '\xFE');
}

} // namespace

// The first byte chooses how the rest is run: bit 0 --force, bit 1
// --per-file, bit 2 behind a UTF-16 mark (bit 3: big-endian). The sheet is
// named after its first line, line end included ('/' and NUL as '_', at most
// 100 bytes), and ".cue", so that names holding line feeds and other control
// bytes reach the messages and the diff's header.
const char* runCueSheet(const std::uint8_t* data, std::size_t size) {
    Scratch& s = scratch();
    const std::uint8_t how = size > 0 ? data[0] : 0;
    FixOptions options;
    options.force = how & 1;
    options.perFile = how & 2;
    const bool utf16 = how & 4;
    const std::string_view body =
        size > 0 ? std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1) : "";
    std::string sheet = utf16 ? (how & 8 ? "\xFE\xFF" : "\xFF\xFE") : "";
    sheet += body;
    std::string_view firstLine = body.substr(0, body.find('\n'));
    if (firstLine.size() < body.size()) firstLine = body.substr(0, firstLine.size() + 1);
    std::string sheetName(firstLine.substr(0, 100));
    std::replace(sheetName.begin(), sheetName.end(), '/', '_');
    std::replace(sheetName.begin(), sheetName.end(), '\0', '_');
    sheetName += ".cue";
    const std::string path = s.album + "/" + sheetName;
    std::vector<std::string> expected = s.expected;
    expected.insert(std::upper_bound(expected.begin(), expected.end(), sheetName), sheetName);
    struct Removed {
        const std::string& path;
        ~Removed() { ::unlink(path.c_str()); }
    } removed{path};
    if (!writeWhole(path, sheet.data(), sheet.size())) return "could not write the sheet";
    ::chmod(path.c_str(), 0644);

    // First a dry run, its output kept aside: it must change nothing.
    FixOptions dryRun = options;
    dryRun.dryRun = true;
    std::string dry, run, now;
    const int dryResult = runCapturing(path, dryRun, s.root + "/dry-run.txt", dry);
    if (listDir(s.album) != expected || !readWhole(path, now) || now != sheet)
        return "a dry run changed the folder";

    const int result = runCapturing(path, options, s.root + "/run.txt", run);
    std::fwrite(dry.data(), 1, dry.size(), stdout);
    std::fwrite(run.data(), 1, run.size(), stdout);
    std::fflush(stdout);

    if (result < -1 || result > 1) return "a result other than 0, 1 or -1";
    if (dryResult != result) return "a dry run came to another result";
    if (listDir(s.album) != expected) return "a file appeared or went missing beside the sheet";
    if (!readWhole(path, now)) return "the sheet is gone";
    if (result != 0 && now != sheet) return "a failed sheet was changed";
    // Where the sheet was rewritten, the dry run's output ends with its diff,
    // then "not written (dry run).\n"; the messages before it and every
    // message of the real run hold no control byte but their line ends.
    const std::string_view last = "not written (dry run).\n";
    std::string_view messages(dry), diff;
    if (result == 0 && dry.ends_with(last)) {
        messages.remove_suffix(last.size());
        const std::size_t begin = messages.starts_with("--- ") ? 0 : messages.find("\n--- ");
        if (begin != std::string_view::npos) {
            diff = messages.substr(begin + (begin > 0));
            messages = messages.substr(0, begin + (begin > 0));
        }
    }
    if (!plainLines(messages) || !plainLines(run)) return "a message holds a control byte";
    if (result == 0 && !dry.ends_with(last) && now != sheet)
        return "a dry run did not show the change";
    if (result == 0 && dry.ends_with(last)) {
        // Both header lines name the sheet exactly, as patch reads them.
        std::string_view headers = diff;
        for (const std::string_view mark : {"--- ", "+++ "}) {
            std::string_view line = takeLine(headers);
            if (!diff.empty() && (!line.starts_with(mark) ||
                                  headerName(line.substr(mark.size())) != std::optional(path)))
                return "a diff header does not name the sheet";
        }
        // The diff of a UTF-16 sheet is of its text.
        const std::optional<std::string> oldText = sheetText(sheet, utf16);
        const std::optional<std::string> newText = sheetText(now, utf16);
        if (!oldText || !newText) return "a UTF-16 sheet that does not decode was fixed";
        std::string patched;
        if (!applyDiff(diff, *oldText, patched) || patched != *newText)
            return "the dry run's diff does not give the fixed sheet";
    }
    for (const auto& [name, bytes] : s.audio)
        if (!readWhole(s.album + "/" + name, now) || now != bytes) return "an audio file changed";
    return nullptr;
}

const char* runWav(const std::uint8_t* data, std::size_t size) {
    static unsigned char none[1];
    std::FILE* file = ::fmemopen(size ? const_cast<std::uint8_t*>(data) : none, size, "rb");
    if (!file) return "fmemopen failed";
    const CdFrames length = measureWavFile(file).frames;
    std::fclose(file);
    std::fflush(stdout);
    if (length != plainWavLength(data, size))
        return "the measurer disagrees with the plain reading";
    return nullptr;
}

namespace {

// One scanner walking a stream in memory, step by step as the measurement does.
struct MpcWalker {
    MpcWalker(const std::uint8_t* data, std::size_t size, bool reference)
        : stream(data, size), scanner(new FrameScanner(stream)) {
        StreamHeader header;
        accepted = readStreamHeader(header, stream) == 0;
        scanner->useReferenceParse(reference);
        scanner->start(header);
    }
    // One frame; false once the walk ends.
    bool step() {
        samples = scanner->nextFrame();
        return scanner->frameValid() && samples > 0;
    }
    MemoryByteStream stream;
    std::unique_ptr<FrameScanner> scanner;
    bool accepted = false;
    std::int32_t samples = 0;
};

} // namespace

const char* compareMpcWalks(const std::uint8_t* data, std::size_t size, int* frames) {
    MpcWalker fast(data, size, false), reference(data, size, true);
    if (frames) *frames = 0;
    if (!fast.accepted) return nullptr;
    for (;;) {
        const bool goesOn = fast.step();
        reference.step();
        const FrameScanner& a = *fast.scanner;
        const FrameScanner& b = *reference.scanner;
        if (fast.samples != reference.samples || a.frameValid() != b.frameValid() ||
            a.bits().bitsConsumed() != b.bits().bitsConsumed() ||
            a.bits().wordIndex != b.bits().wordIndex ||
            a.bits().currentWord != b.bits().currentWord)
            return "the fast frame walk and the code-by-code parse differ";
        if (!goesOn) return nullptr;
        if (frames) ++*frames;
    }
}

const char* compareMpcChain(const std::uint8_t* data, std::size_t size) {
    MemoryByteStream stream(data, size);
    StreamHeader header;
    if (readStreamHeader(header, stream) != 0) return nullptr;
    const std::int64_t ring = ringWalkSamples(stream, header);
    const ChainOptions variants[] = {{1, 1u << 20}, {2, 4}, {3, 64}, {8, 256}};
    const std::vector<int> before = platform::allowedCpus();
    const bool known = !before.empty();
    for (const ChainOptions& options : variants) {
        if (chainSamples(stream, header, options) != ring)
            return "the frame chain and the walk through the ring differ";
        // The chain binds its threads to processors while it runs, and must
        // leave the caller free again.
        if (known && platform::allowedCpus() != before)
            return "the frame chain left the calling thread bound";
    }
    return nullptr;
}

const char* runMpc(const std::uint8_t* data, std::size_t size) {
    if (const char* differs = compareMpcWalks(data, size)) return differs;
    if (const char* differs = compareMpcChain(data, size)) return differs;
    MemoryByteStream stream(data, size);
    const CdFrames fromMemory = measureMpcStream(stream).frames;
    Scratch& s = scratch();
    if (!writeWhole(s.probe, data, size)) return "could not write the probe file";
    const CdFrames fromFile = audioLengthFrames(s.probe).frames;
    std::fflush(stdout);
    if (fromMemory < 0) return "a negative length";
    if (fromMemory != fromFile) return "memory and file measurements disagree";
    return nullptr;
}

const char* runHeaders(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return nullptr;
    Scratch& s = scratch();
    const std::string path = s.root + "/probe" + std::string(headerExtension(data[0]));
    if (!writeWhole(path, data + 1, size - 1)) return "could not write the probe file";
    const CdFrames first = audioLengthFrames(path).frames;
    const CdFrames second = audioLengthFrames(path).frames;
    std::fflush(stdout);
    if (first < 0) return "a negative length";
    if (first != second) return "two measurements of one file disagree";
    return nullptr;
}

} // namespace vorlin::fuzz
