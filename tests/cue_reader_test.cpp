// Sheets as Windows rippers and editors write them: byte-order marks, UTF-16
// and CR LF line ends, read as text and written back in their form.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <string>
#include <vector>

#include "tests/cue_samples.hpp"
#include "tests/test_support.hpp"

using namespace std::string_literals;
using namespace vorlin;
using namespace vorlin::test;

namespace {

const Audio twoFiles = {{"01.wav", wavOfCdFrames(twoTrackFirstLength)},
                        {"02.wav", wavOfCdFrames(20000)}};
const FixOptions asNeeded{}, forced{true, false, false};

#ifdef _WIN32
// `utf8` converted by Windows to "UTF-16LE" or "UTF-16BE" (no mark added).
std::string iconvTo(const char* encoding, const std::string& utf8) {
    std::wstring wide(utf8.size() + 1, L'\0');
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.c_str(), -1,
                                        wide.data(), static_cast<int>(wide.size()));
    EXPECT_GT(n, 0);
    std::string out;
    for (int i = 0; i + 1 < n; ++i) {
        const char low = static_cast<char>(wide[i] & 0xFF), high = static_cast<char>(wide[i] >> 8);
        out +=
            std::string(encoding) == "UTF-16BE" ? std::string{high, low} : std::string{low, high};
    }
    return out;
}
#else
// `utf8` converted by the C library's iconv to `encoding` (no mark added).
std::string iconvTo(const char* encoding, const std::string& utf8) {
    iconv_t cd = ::iconv_open(encoding, "UTF-8");
    std::string in = utf8, out(4 * utf8.size() + 8, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    EXPECT_NE(::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft), static_cast<std::size_t>(-1));
    ::iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}
#endif

} // namespace

TEST(SheetForms, Utf8MarkIsNotPartOfTheFirstLineAndIsWrittenBack) {
    const std::string mark = "\xEF\xBB\xBF";
    // Tracks start at 3 s and 183 s (INDEX 01 plus track 1's PREGAP of 75 plus
    // 150): digit sums 3 + 12 = 0x0F; the lead-out at 33500 + 75 + 150 frames,
    // 449 s, is 446 s = 0x01BE after the first track; 2 tracks.
    const std::string discId = "REM DISCID 0F01BE02\n";
    struct Case {
        std::string sheet, output, fixed;
    };
    const std::vector<Case> cases = {
        {mark + twoTrackSheet, "done.\n", mark + twoTrackFixed},
        {mark + discId + twoTrackSheet, "Disc ID 0f01be02 matches the sheet.\ndone.\n",
         mark + discId + twoTrackFixed},
        {mark + withCrLf(twoTrackSheet), "done.\n", mark + withCrLf(twoTrackFixed)},
    };
    for (const auto& c : cases) {
        Fixed f = fixSheet(c.sheet, twoFiles, asNeeded);
        EXPECT_EQ(f.output, "Fixing cue 'a.cue'...\n" + c.output) << c.sheet;
        EXPECT_EQ(f.result, 0);
        EXPECT_EQ(f.sheet, c.fixed);
    }
}

TEST(SheetForms, Utf16SheetsAreReadAsTextAndWrittenBackInTheirForm) {
    const std::string title =
        "TITLE \"Wond\xE2\x80\x99ring \xF0\x9F\x8E\xB5\"\r\n"; // U+2019, U+1F3B5
    const std::string text = title + withCrLf(twoTrackSheet);
    const std::string fixed = title + withCrLf(twoTrackFixed);
    struct Case {
        const char* encoding;
        std::string mark;
    };
    for (const Case& c : {Case{"UTF-16LE", "\xFF\xFE"}, Case{"UTF-16BE", "\xFE\xFF"}}) {
        Fixed f = fixSheet(c.mark + iconvTo(c.encoding, text), twoFiles, asNeeded);
        EXPECT_EQ(f.output, "Fixing cue 'a.cue'...\ndone.\n") << c.encoding;
        EXPECT_EQ(f.sheet, c.mark + iconvTo(c.encoding, fixed)) << c.encoding;
        // A dry run shows the change in the decoded text.
        f = fixSheet(c.mark + iconvTo(c.encoding, text), twoFiles, {false, true, false});
        EXPECT_NE(f.output.find("-FILE \"01.wav\" WAVE\r\n+FILE \"Range.wav\" WAVE\r\n"),
                  std::string::npos)
            << f.output;
    }
}

TEST(SheetForms, Utf16ThatDoesNotDecodeIsNotACueSheet) {
    const std::string le = "\xFF\xFE" + iconvTo("UTF-16LE", twoTrackSheet);
    const std::vector<std::string> sheets = {
        le + "x",                 // an odd number of bytes
        le + "\x3D\xD8",          // a high surrogate at the end
        le + "\x3D\xD8" + "A\0"s, // a high surrogate before an ordinary unit
        le + "\x00\xDC"s,         // a low surrogate alone
        "\xFE\xFF\xDC\x00" + iconvTo("UTF-16BE", twoTrackSheet),
    };
    for (const std::string& sheet : sheets) {
        for (const FixOptions& options : {asNeeded, forced}) {
            Fixed f = fixSheet(sheet, twoFiles, options);
            EXPECT_EQ(f.output, "File 'a.cue' is not a valid cue sheet.\n");
            EXPECT_EQ(f.result, -1);
            EXPECT_EQ(f.sheet, sheet);
        }
    }
}
