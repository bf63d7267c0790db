// Which audio file a FILE line names: the name's parts kept, the formats in
// their order, the sheet's folder, and names as Windows wrote them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <string_view>
#include <vector>

#include "cue/audio_lookup.hpp"
#include "tests/test_support.hpp"

using namespace std::string_literals;
using namespace vorlin;
using namespace vorlin::test;

namespace {

// What a FILE line resolves to in `directory`: the path to measure, or
// "malformed", or "not found".
std::string resolve(std::string_view line, const std::string& directory = "") {
    std::string_view name, rest;
    if (!fileLineName(line, name, rest)) return "malformed";
    FolderListings listings;
    AudioFile found;
    return findAudioFile(found, name, directory, listings) ? found.path : "not found";
}

} // namespace

TEST(ResolveAudioPath, KeepsTheBaseNameAndPrefersWavThenMpc) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    for (const char* name : {"01.wav", "a.b.wav", "both.wav", "both.mpc", "only.mpc"})
        writeFile(name, "");
    ::chmod("01.wav", 0); // existence alone counts
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"FILE \"01.wav\" WAVE\n", "01.wav"},
        {"FILE 01.wav WAVE\n", "01.wav"},
        {"FILE \"dir\\sub\\01.flac\" WAVE\n", "01.wav"},
        {"FILE \"../dir/sub\\01\" WAVE\n", "01.wav"},
        {"FILE \"C:01.wav\" WAVE\n", "01.wav"},
        {"FILE \"D:\\music/01.ape\" WAVE\n", "01.wav"},
        {"FILE \"a.b.wav\" WAVE\n", "a.b.wav"},
        {"FILE \"a.b\" WAVE\n", "not found"},
        {"FILE \"both.mp+\" WAVE\n", "both.wav"},
        {"FILE \"only.wav\" WAVE\n", "only.mpc"},
        {"FILE \"none.wav\" WAVE\n", "not found"},
        {"FILE \"" + std::string(251, 'x') + ".wav\" WAVE\n", "not found"},
        {"FILE \"01.wav WAVE\n", "malformed"},
        {"FILE 01.wav\n", "malformed"},
        {"FILE \"" + std::string(252, 'x') + ".wav\" WAVE\n", "malformed"},
        {"FILE \"0\0 1.wav\" WAVE\n"s, "malformed"},
    };
    for (const auto& [line, path] : cases) EXPECT_EQ(resolve(line), path) << line;
}

TEST(ResolveAudioPath, TriesTheOtherFormatsAfterTheMpcNames) {
    struct Case {
        std::vector<std::string> present;
        std::string path;
    };
    const std::vector<Case> cases = {
        {{"t.wav", "t.flac"}, "t.wav"}, {{"t.mpc", "t.flac"}, "t.mpc"},
        {{"t.mp+", "t.flac"}, "t.mp+"}, {{"t.flac", "t.wv"}, "t.flac"},
        {{"t.wv", "t.ape"}, "t.wv"},    {{"t.ape", "t.tta"}, "t.ape"},
        {{"t.tta", "t.aiff"}, "t.tta"}, {{"t.aiff", "t.aif"}, "t.aiff"},
        {{"t.aif", "t.aifc"}, "t.aif"}, {{"t.aifc", "t.ogg"}, "t.aifc"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        for (const auto& name : c.present) writeFile(dir.file(name), "");
        EXPECT_EQ(resolve("FILE \"t.wav\" WAVE\n", dir.path() + "/"), dir.file(c.path))
            << c.present.front();
    }
}

TEST(ResolveAudioPath, LooksInTheSheetsDirectory) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    writeFile("01.wav", "");
    writeFile("02.mpc", "");
    ::mkdir("sub", 0755);
    writeFile("sub/01.wav", "");
    EXPECT_EQ(resolve("FILE \"x\\01.mpc\" WAVE\n", "sub/"), "sub/01.wav");
    EXPECT_EQ(resolve("FILE \"02.wav\" WAVE\n", "sub/"), "not found");
}

// Names as Windows wrote them: other letter cases, code pages, subfolders.
// Each step is tried only when the ones before it found nothing.
TEST(ResolveAudioPath, FindsFilesByCaseThenCodePageThenFolder) {
    VORLIN_SKIP_ON_WINDOWS("file system telling letter case apart, nor names in a code page");
    const std::string privet1251 = "\xCF\xF0\xE8\xE2\xE5\xF2"; // "Привет" in CP1251
    const std::string privet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"; // in UTF-8
    struct Case {
        std::vector<std::string> present;
        std::string name;
        std::string found; // relative to the sheet's folder; "" for none
    };
    const std::vector<Case> cases = {
        {{"01.WAV"}, "01.wav", "01.WAV"},
        {{"01.wAV", "01.Wav"}, "01.wav", "01.Wav"},  // matching entries in byte order
        {{"01.WAV", "01.mpc"}, "01.ogg", "01.mpc"},  // every exact name before any case
        {{"01.FLAC", "01.Mpc"}, "01.ogg", "01.Mpc"}, // candidates in their order
        // The name as written first, then with case ignored, then the others.
        {{"01.wav", "01.mpc"}, "01.mpc", "01.mpc"},
        {{"01.WAV", "01.mpc"}, "01.wav", "01.WAV"},
        {{"01.FLAC", "01.Mpc", "01.wav"}, "01.flac", "01.FLAC"},
        {{"01.tta", "01.wav"}, "01.TTA", "01.tta"},
        {{"01.wav", "01.ogg"}, "01.ogg", "01.wav"}, // not an extension the tool measures
        {{privet + ".wav", privet + ".ape"}, privet1251 + ".APE", privet + ".ape"},
        {{"CD1/01.wav", "CD1/01.aif"}, "CD1\\01.aif", "CD1/01.aif"},
        {{privet + ".wav"}, privet1251 + ".wav", privet + ".wav"},
        {{privet + ".WAV"}, privet1251 + ".flac", privet + ".WAV"},
        {{"\xE8\xA1\xA8.wav"}, "\x95\x5C.wav", "\xE8\xA1\xA8.wav"}, // CP932: 0x5C is not a '\'
        // CP1252 is tried before CP1251, and the name's own bytes before both.
        {{"Choub\xC3\xA8ne.wav", "Choub\xD0\xB8ne.wav"}, "Choub\xE8ne.wav", "Choub\xC3\xA8ne.wav"},
        {{"choub\xE8ne.WAV", "Choub\xC3\xA8ne.wav"}, "Choub\xE8ne.wav", "choub\xE8ne.WAV"},
        {{"CD1/01.wav"}, "CD1\\01.wav", "CD1/01.wav"},
        {{"CD1/01.wav", "01.wav"}, "CD1\\01.wav", "01.wav"}, // the sheet's own folder first
        {{"CD1/01.Wav"}, "C:CD1\\01.flac", "CD1/01.Wav"},
        {{"CD1/" + privet + ".wav"},
         "cd\\..\\CD1\\" + privet1251 + ".wav",
         "cd/../CD1/" + privet + ".wav"},
        {{"Music/01.wav"}, "C:\\Music\\01.wav", ""}, // not below the sheet's folder
        {{"Music/01.wav"}, "/Music/01.wav", ""},
        {{"01.wav.txt", "01.og"}, "01.wav", ""},
    };
    for (const auto& c : cases) {
        TempDir dir;
        for (const auto& name : c.present) {
            if (std::size_t slash = name.rfind('/'); slash != std::string::npos)
                ::mkdir(dir.file(name.substr(0, slash)).c_str(), 0755);
            writeFile(dir.file(name), "");
        }
        ::mkdir(dir.file("cd").c_str(), 0755);
        FolderListings listings;
        AudioFile found;
        const bool hit = findAudioFile(found, c.name, dir.path() + "/", listings);
        EXPECT_EQ(hit ? found.name : "", c.found) << c.name;
        if (hit) {
            EXPECT_EQ(found.path, dir.file(c.found));
        }
    }
}

// After a few failed tests a folder is read once and only its names are
// tested: the answers stay those of testing every name.
TEST(ResolveAudioPath, ManyLookupsInOneFolderGiveTheSameAnswers) {
    VORLIN_SKIP_ON_WINDOWS("symbolic links");
    TempDir dir;
    for (int i = 0; i < 20; ++i) writeFile(dir.file("t" + std::to_string(i) + ".flac"), "");
    ::symlink("gone", dir.file("t7.wav").c_str()); // listed, but leads nowhere
    writeFile(dir.file("t9.MPC"), "");             // the exact t9.flac comes first
    FolderListings listings;
    AudioFile found;
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 20; ++i) {
            const std::string t = "t" + std::to_string(i);
            ASSERT_TRUE(findAudioFile(found, t + ".wav", dir.path() + "/", listings)) << t;
            EXPECT_EQ(found.name, t + ".flac");
        }
        EXPECT_FALSE(findAudioFile(found, "t20.wav", dir.path() + "/", listings));
    }
}
