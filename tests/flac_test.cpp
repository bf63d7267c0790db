// FLAC files are measured by their own reader of the STREAMINFO block. It
// must give what TagLib, which measured them before, gives: for the encoded
// fixtures, for headers damaged in known ways, and for thousands of cut and
// corrupted variants, compared one by one.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "audio/flac.hpp"
#include "audio/length.hpp"
#include "platform/platform.hpp"
#include "tests/measure_cases.hpp"
#include "tests/taglib_reference.hpp"
#include "tests/test_support.hpp"

using namespace vorlin;
using namespace vorlin::test;

namespace {

std::string sourceFile(const std::string& name) {
    return readFile(std::string(VORLIN_SOURCE_DIR) + "/" + name);
}

std::string plainFlac() {
    return sourceFile("tests/data/formats/plain.flac");
}

// What the tool measures for `bytes` as a .flac file, and what TagLib does.
std::pair<Verdict, Verdict> measureBoth(const std::string& bytes) {
    writeFile("t.flac", bytes);
    Verdict ours, taglib;
    ours.message = measureMessage("t.flac", ours.frames);
    taglib.message =
        captureStdout([&] { taglib.frames = taglibLengthFrames("t.flac", FormatId::flac); });
    return {ours, taglib};
}

std::string be24(std::uint32_t v) {
    return {static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

// A metadata block header: type, the last-block flag, the length.
std::string blockHeader(unsigned type, bool last, std::uint32_t length) {
    return static_cast<char>(type | (last ? 0x80 : 0)) + be24(length);
}

// An ID3v2.4 tag of `size` bytes after its header, filled with `fill`.
// A footer (flag 0x10) follows the tag when asked for; `stated` replaces the
// size in the header when given.
std::string id3Tag(std::uint32_t size, char fill = '\0', bool footer = false,
                   std::uint32_t stated = 0) {
    std::string header = std::string("ID3\x04\x00", 5) + static_cast<char>(footer ? 0x10 : 0);
    const std::uint32_t sizeField = stated ? stated : size;
    for (int shift = 21; shift >= 0; shift -= 7)
        header += static_cast<char>((sizeField >> shift) & 0x7F);
    std::string tag = header + std::string(size, fill);
    if (footer) tag += "3DI" + header.substr(3);
    return tag;
}

// Where the metadata blocks of a well-formed FLAC file starting with its
// magic end, and where the header of the one marked last is.
struct Metadata {
    std::size_t lastHeader = 0;
    std::size_t end = 0;
};

Metadata metadataOf(const std::string& flac) {
    for (std::size_t at = 4;;) {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(flac.at(i)); };
        const std::size_t next = at + 4 + (byte(at + 1) << 16 | byte(at + 2) << 8 | byte(at + 3));
        if (byte(at) & 0x80) return {at, next};
        at = next;
    }
}

// plain.flac with `blocks` put after its metadata blocks, the last of them
// marked last instead.
std::string withBlocksAtEnd(const std::string& blocks) {
    std::string flac = plainFlac();
    const Metadata metadata = metadataOf(flac);
    flac[metadata.lastHeader] = static_cast<char>(flac[metadata.lastHeader] & 0x7F);
    return flac.substr(0, metadata.end) + blocks + flac.substr(metadata.end);
}

constexpr CdFrames toneFrames = 30;

} // namespace

TEST(Flac, FixturesMeasureAsBefore) {
    const struct {
        const char* file;
        CdFrames frames;
    } fixtures[] = {
        {"tests/data/formats/plain.flac", toneFrames},
        {"tests/data/formats/id3.flac", toneFrames},
        {"tests/data/formats/picture.flac", toneFrames},
        {"examples/flac_album/01 Morning.flac", 900},
        {"examples/flac_album/02 Tide.flac", 1500},
        {"examples/flac_album/03 Dunes.flac", 600},
        {"examples/flac_album/04 Evening.flac", 1125},
    };
    TempDir dir;
    ScopedCwd cwd(dir.path());
    for (const auto& fixture : fixtures) {
        const auto [ours, taglib] = measureBoth(sourceFile(fixture.file));
        EXPECT_EQ(ours, (Verdict{fixture.frames, ""})) << fixture.file;
        EXPECT_EQ(taglib, ours) << fixture.file;
    }
}

TEST(Flac, HeadersFoundAndWalkedAsBefore) {
    const std::string flac = plainFlac();
    const std::string unrecognized = "'t.flac': unrecognized format\n";
    const std::string garbage4094(4094, 'x');
    const Metadata metadata = metadataOf(flac);
    const std::string unterminated = withBlocksAtEnd("");
    const std::string bigBlock = blockHeader(2, true, 100'000) + std::string(100'000, 'a');
    const struct {
        const char* label;
        std::string bytes;
        CdFrames frames; // -1: unrecognized
    } cases[] = {
        {"empty", "", -1},
        {"the magic alone", "fLaC", -1},
        {"cut inside STREAMINFO", flac.substr(0, 30), -1},
        {"cut after the metadata", flac.substr(0, metadata.end), toneFrames},
        {"PADDING before STREAMINFO",
         "fLaC" + blockHeader(1, false, 4) + std::string(4, '\0') + flac.substr(4), -1},
        {"STREAMINFO of 17 bytes", "fLaC" + blockHeader(0, true, 17) + flac.substr(8, 17), -1},
        {"an empty VORBIS_COMMENT block", withBlocksAtEnd(blockHeader(4, true, 0)), -1},
        {"an empty PADDING block", withBlocksAtEnd(blockHeader(1, true, 0)), toneFrames},
        {"an empty SEEKTABLE block", withBlocksAtEnd(blockHeader(3, true, 0)), toneFrames},
        {"a last block longer than the file", withBlocksAtEnd(blockHeader(2, true, 10'000'000)),
         -1},
        {"a block of 100 KB, past the first read", withBlocksAtEnd(bigBlock), toneFrames},
        {"a block header of 1 byte at the end of the file",
         unterminated.substr(0, metadata.end) + "\x81", -1},
        {"a block header of 3 bytes at the end of the file",
         unterminated.substr(0, metadata.end) + std::string("\x81\0\0", 3), -1},
        {"a last empty PADDING block at the end of the file",
         unterminated.substr(0, metadata.end) + blockHeader(1, true, 0), toneFrames},
        {"no block marked last", unterminated, -1},
        {"bytes before the magic", "garbage" + flac, toneFrames},
        {"the magic across the first read's end", garbage4094 + flac, toneFrames},
        {"the magic across a later read's end", garbage4094 + std::string(65'533 - 2, 'y') + flac,
         toneFrames},
        {"no magic in 200 KB", std::string(200'000, 'z'), -1},
        {"an ID3v2 tag", id3Tag(100) + flac, toneFrames},
        {"an ID3v2 tag of 70 KB", id3Tag(70'000) + flac, toneFrames},
        {"an ID3v2 tag with a footer", id3Tag(100, '\0', true) + flac, toneFrames},
        {"an ID3v2 tag flagging a footer it lacks", id3Tag(100, '\0', true).substr(0, 110) + flac,
         -1},
        {"two ID3v2 tags", id3Tag(50) + id3Tag(60) + flac, toneFrames},
        {"an ID3v2 tag holding the magic", id3Tag(60, 'f') + flac, toneFrames},
        {"an ID3v2 tag whose size has a byte over 127",
         std::string("ID3\x04\x00\x00\x00\x00\x80\x00", 10) + flac, toneFrames},
        {"an ID3v2 tag stating more than the file", id3Tag(10, '\0', false, 1'000'000) + flac, -1},
        {"an ID3v2 header cut short", std::string("ID3\x04\x00", 5), -1},
    };
    TempDir dir;
    ScopedCwd cwd(dir.path());
    for (const auto& c : cases) {
        const auto [ours, taglib] = measureBoth(c.bytes);
        const Verdict expected = c.frames < 0 ? Verdict{0, unrecognized} : Verdict{c.frames, ""};
        EXPECT_EQ(ours, expected) << c.label;
        EXPECT_EQ(taglib, ours) << c.label;
    }
}

TEST(Flac, DamagedVariantsGetTaglibsVerdicts) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    const std::string plain = plainFlac();
    const std::string picture = sourceFile("tests/data/formats/picture.flac");
    const std::string tagged = sourceFile("tests/data/formats/id3.flac");
    int measured = 0;
    const auto compare = [&](const std::string& bytes, const std::string& label) {
        const auto [ours, taglib] = measureBoth(bytes);
        EXPECT_EQ(ours, taglib) << label;
        measured += ours.frames > 0;
        return ours == taglib;
    };

    // Cut at every byte of the metadata and a little after.
    for (std::size_t size = 0; size < 100; ++size)
        compare(plain.substr(0, size), "plain.flac cut to " + std::to_string(size));
    for (std::size_t size = 0; size < 160; ++size)
        compare(tagged.substr(0, size), "id3.flac cut to " + std::to_string(size));
    for (std::size_t size = 0; size < 24'000; size += 331)
        compare(picture.substr(0, size), "picture.flac cut to " + std::to_string(size));

    // A few bytes of the head replaced, with values that steer the walk
    // (flags, types, lengths) more often than chance would.
    std::mt19937 random(17);
    const unsigned char telling[] = {0x00, 0x01, 0x03, 0x04, 0x06, 0x7F, 0x80,
                                     0x81, 0x83, 0xFF, 'f',  'I',  'D',  '3'};
    for (int round = 0; round < 3000; ++round) {
        std::string bytes = round % 3 == 2 ? tagged : plain;
        const std::size_t head = round % 3 == 2 ? 96 : 64;
        const int changes = 1 + static_cast<int>(random() % 4);
        for (int k = 0; k < changes; ++k) {
            const std::size_t at = random() % head;
            bytes[at] = static_cast<char>(random() % 2 ? telling[random() % sizeof telling]
                                                       : random() % 256);
        }
        if (!compare(bytes, "variant " + std::to_string(round))) break;
    }
    // Most variants still measure; the comparison is not only of failures.
    EXPECT_GT(measured, 1000);
}

// Streams encoded to a pipe by the real flac encoder (raw samples in, so its
// STREAMINFO total stays 0; see tests/data/formats/make_piped_flac.sh) are
// measured from their last whole frame, as `flac -d` decodes them: 18141
// sample frames (30 CD frames) in every block size; 16384 (27 CD frames) when
// the last frame is cut or damaged.
TEST(Flac, PipedStreamsMeasuredFromTheirLastWholeFrame) {
    const auto piped = [](const std::string& name) {
        return sourceFile("tests/data/formats/piped/" + name);
    };
    const std::string unrecognized = "'t.flac': unrecognized format\n";
    const std::string whole = piped("piped-4096.flac");
    const Metadata metadata = metadataOf(whole);
    std::string apeFooter = "APETAGEX" + std::string("\xD0\x07\0\0", 4); // version 2000
    apeFooter += std::string("\x40\0\0\0", 4) + std::string(4, '\0');    // 64 bytes, no items
    apeFooter += std::string("\0\0\0\x80", 4) + std::string(8, '\0');    // has a header
    const std::string apeHeader =
        apeFooter.substr(0, 20) + std::string("\0\0\0\xA0", 4) + std::string(8, '\0');
    const std::string apeTag = apeHeader + std::string(32, '\0') + apeFooter;
    const std::string id3v1 = "TAG" + std::string(125, ' ');
    std::vector<MeasureCase> cases = {
        {"piped-192.flac", piped("piped-192.flac"), toneFrames, ""},
        {"piped-1152.flac", piped("piped-1152.flac"), toneFrames, ""},
        {"piped-4096.flac", whole, toneFrames, ""},
        {"piped-4608.flac", piped("piped-4608.flac"), toneFrames, ""},
        {"piped-mono-24.flac", piped("piped-mono-24.flac"), toneFrames, ""},
        {"piped-cut.flac", piped("piped-cut.flac"), 27, ""},
        {"piped-damaged.flac", piped("piped-damaged.flac"), 27, ""},
        {"id3v1.flac", whole + id3v1, toneFrames, ""},
        {"apev2.flac", whole + apeTag, toneFrames, ""},
        {"apev2-id3v1.flac", whole + apeTag + id3v1, toneFrames, ""},
        {"no-frames.flac", whole.substr(0, metadata.end), 0,
         "'no-frames.flac': unrecognized format\n"},
        {"half-a-frame.flac", whole.substr(0, metadata.end + 10), 0,
         "'half-a-frame.flac': unrecognized format\n"},
        // The first frame (silence: 14 bytes) whole, the next one begun:
        // 4096 sample frames.
        {"first-frame.flac", whole.substr(0, metadata.end + 20), 6, ""},
        {"garbage.flac", whole.substr(0, metadata.end) + std::string(5000, '\xFF'), 0,
         "'garbage.flac': unrecognized format\n"},
    };
    expectMeasures(cases);
}

// The count comes from the tail alone: what lies before it plays no part.
TEST(Flac, PipedStreamsCountedFromTheirTail) {
    const std::string whole = sourceFile("tests/data/formats/piped/piped-4096.flac");
    const Metadata metadata = metadataOf(whole);
    // 8 MB of bytes no frame header starts, then the real frames.
    const std::string big =
        whole.substr(0, metadata.end) + std::string(8'000'000, '\0') + whole.substr(metadata.end);
    TempDir dir;
    ScopedCwd cwd(dir.path());
    writeFile("big.flac", big);
    std::int64_t size = 0;
    const int descriptor = openRegularDescriptor("big.flac", &size);
    ASSERT_GE(descriptor, 0);
    const FlacStreamInfo info = readFlacStreamInfo(descriptor, size);
    EXPECT_EQ(info.sampleFrames, 0u);
    EXPECT_EQ(countFlacFrames(descriptor, size, info), 18141u);
    platform::closeFile(descriptor);
}
