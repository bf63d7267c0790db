// WavPack, Monkey's Audio, TTA and AIFF files are measured by the tool's own
// header readers. They must give what TagLib, which measured them before,
// gives: for files the real encoders wrote in many settings, for headers
// built by hand, and for cut and corrupted variants, compared one by one.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "audio/buffered_file.hpp"
#include "audio/formats.hpp"
#include "audio/header_formats.hpp"
#include "tests/measure_cases.hpp"
#include "tests/taglib_reference.hpp"
#include "tests/test_support.hpp"

using namespace vorlin;
using namespace vorlin::test;

namespace {

const std::string formatsDir = std::string(VORLIN_SOURCE_DIR) + "/tests/data/formats/";

std::string fixture(const std::string& name) {
    return readFile(formatsDir + name);
}

// The encoded fixtures hold 18141 sample frames (30.85 CD frames), the APE
// and TTA ones 3652 (6.21).
constexpr CdFrames toneFrames = 30;
constexpr CdFrames shortFrames = 6;

// plain.flac with the sample rate of its STREAMINFO block (20 bits from byte
// 18) replaced.
std::string flacWithRate(unsigned rate) {
    std::string flac = fixture("plain.flac");
    flac[18] = static_cast<char>(rate >> 12);
    flac[19] = static_cast<char>(rate >> 4);
    flac[20] = static_cast<char>((rate & 0xF) << 4 | (flac[20] & 0xF));
    return flac;
}

// plain.flac stating 0 (unknown) total samples (36 bits from byte 21).
std::string flacWithoutCount() {
    std::string flac = fixture("plain.flac");
    flac[21] = static_cast<char>(flac[21] & 0xF0);
    for (int i = 22; i < 26; ++i) flac[i] = 0;
    return flac;
}

FormatId formatOfName(const std::string& name) {
    return audioFormatOf(name.substr(name.rfind('.')))->id;
}

// What the tool measures for `bytes` under `name`, and what TagLib does.
std::pair<Verdict, Verdict> measureBoth(const std::string& name, const std::string& bytes) {
    writeFile(name, bytes);
    Verdict ours, taglib;
    ours.message = measureMessage(name, ours.frames);
    taglib.message =
        captureStdout([&] { taglib.frames = taglibLengthFrames(name, formatOfName(name)); });
    return {ours, taglib};
}

Verdict unrecognized(const std::string& name) {
    return {0, "'" + name + "': unrecognized format\n"};
}

// A Monkey's Audio header of before version 3.98: frames of `level`'s and
// `version`'s size, the final one of 1000 samples.
std::string oldApe(unsigned version, unsigned level, std::uint32_t frames, std::uint32_t rate) {
    return "MAC " + le16(version) + le16(level) + le16(0) + le16(2) + le32(rate) + le32(44) +
           le32(0) + le32(frames) + le32(1000) + std::string(64, '\0');
}

// An ID3v2.4 tag of `size` zero bytes after its header; with `footer`, the
// header says so and the 10 bytes of the footer ("3DI" and the header's
// fields) follow, outside the stated size.
std::string id3Tag(std::uint32_t size, bool footer = false) {
    std::string fields("\x04\x00", 2);
    fields += static_cast<char>(footer ? 0x10 : 0x00);
    for (int shift = 21; shift >= 0; shift -= 7)
        fields += static_cast<char>((size >> shift) & 0x7F);
    return "ID3" + fields + std::string(size, '\0') + (footer ? "3DI" + fields : "");
}

} // namespace

// Every fixture, each the same for TagLib: the 18141 sample frames of the
// tone (30 CD frames), 0.05 s of it at each rate, and the two real files of
// 3652 sample frames (6). A declared rate of 7000 Hz is refused; 0.05 s at
// 8000 Hz is 400 samples, 0 CD frames.
TEST(HeaderFormats, EncodedFilesMeasureAsTaglibMeasuresThem) {
    const struct {
        const char* file;
        CdFrames frames; // -1: unrecognized
    } fixtures[] = {
        {"lossless.wv", 30},
        {"hybrid.wv", 30},
        {"tone.aiff", 30},
        {"test.ape", 6},
        {"test.tta", 6},
        {"encoders/wv-fast.wv", 30},
        {"encoders/wv-high.wv", 30},
        {"encoders/wv-extra.wv", 3},
        {"encoders/wv-hybrid-correction.wv", 3},
        {"encoders/wv-mono.wv", 3},
        {"encoders/wv-8bit.wv", 3},
        {"encoders/wv-24bit.wv", 3},
        {"encoders/wv-32bit.wv", 3},
        {"encoders/wv-float.wv", 3},
        {"encoders/wv-6ch.wv", 3},
        {"encoders/wv-48000.wv", 4},
        {"encoders/wv-custom-50000.wv", 4},
        {"encoders/wv-custom-7000.wv", -1},
        {"encoders/wv-blocks.wv", 30},
        {"encoders/wv-piped.wv", 30},
        {"encoders/wv-piped-mono.wv", 3},
        {"encoders/aiff-8bit.aiff", 3},
        {"encoders/aiff-16bit.aiff", 3},
        {"encoders/aiff-24bit.aiff", 3},
        {"encoders/aiff-32bit.aiff", 3},
        {"encoders/aiff-mono.aiff", 3},
        {"encoders/aiff-8000.aiff", 0},
        {"encoders/aiff-22050.aiff", 1},
        {"encoders/aiff-48000.aiff", 4},
        {"encoders/aiff-96000.aiff", 8},
        {"encoders/aiff-c.aiff", 3},
    };
    TempDir dir;
    ScopedCwd cwd(dir.path());
    for (const auto& f : fixtures) {
        const std::string name = "t" + std::filesystem::path(f.file).extension().string();
        const auto [ours, taglib] = measureBoth(name, fixture(f.file));
        EXPECT_EQ(ours, f.frames < 0 ? unrecognized(name) : (Verdict{f.frames, ""})) << f.file;
        EXPECT_EQ(taglib, ours) << f.file;
    }
}

TEST(HeaderFormats, HandMadeHeadersMeasureAsTaglibMeasuresThem) {
    const std::string ape = fixture("test.ape");
    const std::string tta = fixture("test.tta");
    const struct {
        const char* label;
        const char* name;
        std::string bytes;
        CdFrames frames; // -1: unrecognized
    } cases[] = {
        // Before 3.98, frames of 9216, 73728 (3.90, or 3.80 at level 4000)
        // and 294912 samples (3.95).
        {"APE 3.70", "t.ape", oldApe(3970 - 270, 2000, 3, 44100), (2 * 9216 + 1000) * 75 / 44100},
        {"APE 3.80 extra high", "t.ape", oldApe(3800, 4000, 3, 44100),
         (2 * 73728 + 1000) * 75 / 44100},
        {"APE 3.80 high", "t.ape", oldApe(3800, 3000, 3, 44100), (2 * 9216 + 1000) * 75 / 44100},
        {"APE 3.90", "t.ape", oldApe(3900, 2000, 3, 44100), (2 * 73728 + 1000) * 75 / 44100},
        {"APE 3.95", "t.ape", oldApe(3950, 2000, 3, 44100), (2 * 294912 + 1000) * 75 / 44100},
        {"APE 3.97, no frames", "t.ape", oldApe(3970, 2000, 0, 44100), -1},
        {"APE 3.97 at 7999 Hz", "t.ape", oldApe(3970, 2000, 3, 7999), -1},
        {"APE after an ID3v2 tag", "t.ape", id3Tag(300) + ape, 6},
        {"APE after two ID3v2 tags", "t.ape", id3Tag(30) + id3Tag(40) + ape, 6},
        {"TTA after an ID3v2 tag", "t.tta", id3Tag(300) + tta, 6},
        // The footer lies outside the tag's stated size.
        {"APE after an ID3v2 tag with a footer", "t.ape", id3Tag(300, true) + ape, 6},
        {"TTA after an ID3v2 tag with a footer", "t.tta", id3Tag(30, true) + tta, 6},
        {"TTA of version 2", "t.tta", "TTA2" + tta.substr(4), -1},
        {"APE as TTA", "t.tta", ape, -1},
        {"TTA as APE", "t.ape", tta, -1},
        {"AIFF as WavPack", "t.wv", fixture("tone.aiff"), -1},
        {"WavPack as AIFF", "t.aiff", fixture("lossless.wv"), -1},
    };
    TempDir dir;
    ScopedCwd cwd(dir.path());
    for (const auto& c : cases) {
        const auto [ours, taglib] = measureBoth(c.name, c.bytes);
        EXPECT_EQ(ours, c.frames < 0 ? unrecognized(c.name) : (Verdict{c.frames, ""})) << c.label;
        EXPECT_EQ(taglib, ours) << c.label;
    }
}

TEST(HeaderFormats, DamagedVariantsGetTaglibsVerdicts) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    int measured = 0, compared = 0;
    const auto compare = [&](const std::string& name, const std::string& bytes,
                             const std::string& label) {
        const auto [ours, taglib] = measureBoth(name, bytes);
        EXPECT_EQ(ours, taglib) << label;
        measured += ours.frames > 0;
        ++compared;
        return ours == taglib;
    };
    // Bytes left as they are, where the rules and TagLib part ways (see
    // RulesWhereTaglibDiffers): the high byte of a WavPack total; in a file
    // of unknown total the first block's size, samples and flags; AIFF's
    // "FORM" and "AIFF"; APE's descriptor size, samples per frame and
    // frames (a product past 32 bits).
    const std::vector<std::size_t> wavPack = {11},
                                   piped = {4, 5, 6, 7, 11, 20, 21, 22, 23, 24, 25, 26, 27},
                                   aiff = {0, 1, 2, 3, 8, 9, 10, 11},
                                   ape = {8, 9, 10, 11, 56, 57, 58, 59, 64, 65, 66, 67};
    const struct {
        const char* file;
        const char* name;
        std::size_t head; // the bytes the reader looks at
        std::vector<std::size_t> kept;
    } bases[] = {
        {"lossless.wv", "t.wv", 64, wavPack},
        {"encoders/wv-custom-50000.wv", "t.wv", 128, wavPack},
        {"encoders/wv-piped.wv", "t.wv", 64, piped},
        {"test.ape", "t.ape", 96, ape},
        {"test.tta", "t.tta", 32, {}},
        {"encoders/aiff-8bit.aiff", "t.aiff", 96, aiff},
        {"encoders/aiff-c.aiff", "t.aiff", 128, aiff},
    };
    std::mt19937 random(23);
    const unsigned char telling[] = {0x00, 0x01, 0x02, 0x04, 0x0F, 0x10, 0x7F, 0x80,
                                     0xFF, 'w',  'M',  'T',  'F',  'C',  'I'};
    for (const auto& base : bases) {
        const std::string bytes = fixture(base.file);
        const std::string label = base.file;
        // Cut at every byte of the head and then every 97 bytes.
        for (std::size_t size = 0; size < bytes.size(); size += size < 2 * base.head ? 1 : 97)
            compare(base.name, bytes.substr(0, size), label + " cut to " + std::to_string(size));
        // A few bytes of the head replaced, with values that steer the
        // readers more often than chance would.
        for (int round = 0; round < 600; ++round) {
            std::string variant = bytes;
            const int changes = 1 + static_cast<int>(random() % 3);
            for (int k = 0; k < changes; ++k) {
                const std::size_t at = random() % base.head;
                if (std::find(base.kept.begin(), base.kept.end(), at) != base.kept.end()) continue;
                variant[at] = static_cast<char>(random() % 2 ? telling[random() % sizeof telling]
                                                             : random() % 256);
            }
            // The DSD flag (the top bit of a WavPack block's flags) is
            // refused, where TagLib measures (DsdWavPackIsRefused).
            if (std::string_view(base.name) == "t.wv")
                variant[27] = static_cast<char>((variant[27] & 0x7F) | (bytes[27] & 0x80));
            if (!compare(base.name, variant, label + " variant " + std::to_string(round))) break;
        }
    }
    // Most variants still measure; the comparison is not only of failures.
    EXPECT_GT(measured, compared / 3);
}

// Where TagLib and the tool's rules part ways, each case with both verdicts.
TEST(HeaderFormats, RulesWhereTaglibDiffers) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    // WavPack totals have 40 bits (the high byte at 11, less the values it
    // skips); TagLib reads the low 32.
    std::string wv = fixture("lossless.wv");
    wv[11] = 1;
    auto [ours, taglib] = measureBoth("t.wv", wv);
    EXPECT_EQ(ours, (Verdict{((std::int64_t{1} << 32) + 18141 - 1) * 75 / 44100, ""}));
    EXPECT_EQ(taglib, (Verdict{30, ""}));

    // Monkey's Audio totals are counted in 64 bits; TagLib's wrap at 2^32.
    // 14566 frames of 294912 samples are over 27 hours.
    std::tie(ours, taglib) = measureBoth("t.ape", oldApe(3970, 2000, 14566, 44100));
    EXPECT_EQ(ours, (Verdict{(std::int64_t{14565} * 294912 + 1000) * 75 / 44100, ""}));
    EXPECT_EQ(taglib,
              (Verdict{(std::int64_t{14565} * 294912 + 1000) % (std::int64_t{1} << 32) * 75 / 44100,
                       ""}));

    // An AIFF file starts "FORM" and is of type "AIFF" or "AIFC"; TagLib
    // reads the chunks of any.
    for (const auto& [at, bytes] : {std::pair{0, "RIFF"}, std::pair{8, "WAVE"}}) {
        std::string aiff = fixture("encoders/aiff-8bit.aiff");
        aiff.replace(at, 4, bytes);
        std::tie(ours, taglib) = measureBoth("t.aiff", aiff);
        EXPECT_EQ(ours, unrecognized("t.aiff")) << bytes;
        EXPECT_EQ(taglib, (Verdict{3, ""})) << bytes;
    }

    // Written to a pipe, a WavPack file's total is the sum of its blocks'
    // own counts; TagLib takes the last block's position plus its count.
    wv = fixture("encoders/wv-piped.wv");
    wv[21] = 0x08; // the first block's 4096 samples now 2048
    std::tie(ours, taglib) = measureBoth("t.wv", wv);
    EXPECT_EQ(ours, (Verdict{(18141 - 2048) * 75 / 44100, ""}));
    EXPECT_EQ(taglib, (Verdict{30, ""}));
}

// DSD audio in WavPack (the DSD flag, the top bit of the block's flags):
// its counts are of 1-bit samples, 8 to 16 times those of the PCM it
// stands for, so it is refused rather than measured too long. wv-dsd.wv
// is 0.1 s of DSD64 from the real encoder; the flag set by hand in a PCM
// file's first block refuses it too.
TEST(HeaderFormats, DsdWavPackIsRefused) {
    std::string flagged = fixture("lossless.wv");
    flagged[27] = static_cast<char>(flagged[27] | 0x80);
    expectMeasures({
        {"dsd.wv", fixture("encoders/wv-dsd.wv"), 0, "'dsd.wv': unrecognized format\n"},
        {"flagged.wv", flagged, 0, "'flagged.wv': unrecognized format\n"},
        {"lossless.wv", fixture("lossless.wv"), 30, ""},
    });
}

TEST(TaglibFormats, MeasureTheSampleFramesTheirHeadersRecord) {
    expectMeasures({
        {"plain.flac", fixture("plain.flac"), toneFrames, ""},
        {"id3.flac", fixture("id3.flac"), toneFrames, ""},
        {"picture.flac", fixture("picture.flac"), toneFrames, ""},
        {"lossless.wv", fixture("lossless.wv"), toneFrames, ""},
        {"hybrid.wv", fixture("hybrid.wv"), toneFrames, ""},
        {"tone.aiff", fixture("tone.aiff"), toneFrames, ""},
        {"tone.aif", fixture("tone.aiff"), toneFrames, ""},
        {"tone.aifc", fixture("encoders/aiff-c.aiff"), 3, ""},
        {"tone.AIFC", fixture("tone.aiff"), toneFrames, ""},
        {"test.ape", fixture("test.ape"), shortFrames, ""},
        {"test.tta", fixture("test.tta"), shortFrames, ""},
        {"UPPER.FLAC", fixture("plain.flac"), toneFrames, ""},
        {"Upper.Aif", fixture("tone.aiff"), toneFrames, ""},
        // No total: counted from the last whole frame (tests/flac_test.cpp).
        {"nocount.flac", flacWithoutCount(), toneFrames, ""},
        // The declared rate plays no part in the conversion.
        {"rate8000.flac", flacWithRate(8000), toneFrames, ""},
    });
}

TEST(TaglibFormats, UnusableFilesAreUnrecognized) {
    const std::string unrecognized = ": unrecognized format\n";
    expectMeasures({
        {"empty.flac", "", 0, "'empty.flac'" + unrecognized},
        {"cut.flac", fixture("plain.flac").substr(0, 30), 0, "'cut.flac'" + unrecognized},
        {"rate7999.flac", flacWithRate(7999), 0, "'rate7999.flac'" + unrecognized},
        // No total and no whole frame: nothing to count.
        {"nocount.flac",
         flacWithoutCount().substr(0, 4) + "\x80" + flacWithoutCount().substr(5, 37), 0,
         "'nocount.flac'" + unrecognized},
        // The extension decides the format, not the content.
        {"ape.tta", fixture("test.ape"), 0, "'ape.tta'" + unrecognized},
        {"flac.wv", fixture("plain.flac"), 0, "'flac.wv'" + unrecognized},
    });
}

TEST(TaglibFormats, OpensOnlyRegularFiles) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    ::mkdir("d.flac", 0755);
    ASSERT_EQ(::symlink("/dev/zero", "z.ape"), 0);
    for (const char* name : {"gone.wv", "d.flac", "z.ape"}) {
        CdFrames frames = -1;
        EXPECT_EQ(measureMessage(name, frames), "'" + std::string(name) + "': file open failed\n");
        EXPECT_EQ(frames, 0);
    }
}
