// The built tool run from the command line: usage, options, wildcard
// patterns and the exit status.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "tests/cue_samples.hpp"
#include "tests/test_support.hpp"

using namespace vorlin;
using namespace vorlin::test;

namespace {

const std::string singleFile = singleFileSheet;
const std::string failing = failingSheet;
const std::string failedRun = "Fixing failed, error with INDEX conversion (3)\n";

// A directory with the audio files that the sheets above name.
struct Album {
    TempDir dir;
    Album() {
        writeFile(dir.file("01.wav"), wavOfCdFrames(twoTrackFirstLength));
        writeFile(dir.file("02.wav"), wavOfCdFrames(9000));
    }
};

} // namespace

TEST(Driver, UsageVersionAndForceAlone) {
    Album a;
    writeFile(a.dir.file("a.cue"), twoTrackSheet);
    const std::string usage = "Vorlin v0.6\nUsage: vorlin [options] <file>\nPossible options:\n"
                              " --force : modify any cue\n"
                              " -n, --dry-run : show what would change, write nothing\n"
                              " --per-file : keep a FILE line per audio file, pregaps in the "
                              "previous file\n"
                              " -r, --recursive : fix the sheets in folders and their subfolders\n"
                              " --help : show this help\n"
                              " --version : show the version\n";
    // The first of --help and --version counts, wherever it stands; nothing
    // else is done.
    const std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
        {{}, usage},
        {{"a.cue", "missing.cue", "--help", "--version"}, usage},
        {{"--force", "a.cue", "--version", "--help"}, "Vorlin v0.6\n"},
        {{"--force"}, ""},
    };
    for (const auto& [args, output] : runs) {
        RunResult r = runVorlin(args, a.dir.path());
        EXPECT_EQ(r.output, output);
        EXPECT_EQ(r.exitStatus, 0);
    }
    EXPECT_EQ(readFile(a.dir.file("a.cue")), twoTrackSheet);
}

TEST(Driver, OptionsStopAtDoubleDashAndDryRunHoldsForTheWholeRun) {
    Album a;
    writeFile(a.dir.file("a.cue"), singleFile);
    writeFile(a.dir.file("-x.cue"), singleFile);
    writeFile(a.dir.file("two.cue"), twoTrackSheet);
    writeFile(a.dir.file("empty.cue"), "");
    // After "--" every argument is a pattern; before it, an unknown option is one too.
    RunResult r = runVorlin({"-x.cue", "--", "--help", "-n", "--force", "a.cue"}, a.dir.path());
    EXPECT_EQ(r.output, "'-x.cue': only one audio file, no fixing needed.\n"
                        "Can't find file '--help'\nCan't find file '-n'\n"
                        "Can't find file '--force'\n"
                        "'a.cue': only one audio file, no fixing needed.\n");
    EXPECT_EQ(r.exitStatus, 3);

    // -n given last, or --dry-run after --force, still covers every sheet.
    const std::string forcedDiff = "--- a.cue\n+++ a.cue\n@@ -1,3 +1,3 @@\n"
                                   "-FILE \"01.wav\" WAVE\n+FILE \"Range.wav\" WAVE\n"
                                   "   TRACK 01 AUDIO\n     INDEX 01 00:00:00\n";
    r = runVorlin({"--force", "a.cue", "-n"}, a.dir.path());
    EXPECT_EQ(r.output, "Fixing cue 'a.cue'...\n" + forcedDiff + "not written (dry run).\n");
    EXPECT_EQ(r.exitStatus, 0);
    r = runVorlin({"two.cue", "--force", "--dry-run", "empty.cue"}, a.dir.path());
    EXPECT_TRUE(r.output.ends_with("not written (dry run).\nFixing cue 'empty.cue'...\n"
                                   "Failed to write new cue.\n"))
        << r.output;
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_EQ(readFile(a.dir.file("a.cue")), singleFile);
    EXPECT_EQ(readFile(a.dir.file("two.cue")), twoTrackSheet);
    EXPECT_EQ(listDir(a.dir.path()), (std::vector<std::string>{"-x.cue", "01.wav", "02.wav",
                                                               "a.cue", "empty.cue", "two.cue"}));
}

TEST(Driver, ForceAppliesOnlyToLaterArguments) {
    Album a;
    writeFile(a.dir.file("a.cue"), singleFile);
    writeFile(a.dir.file("b.cue"), singleFile);
    RunResult r = runVorlin({"a.cue", "--force", "b.cue", "--FORCE"}, a.dir.path());
    EXPECT_EQ(r.output, "'a.cue': only one audio file, no fixing needed.\n"
                        "Fixing cue 'b.cue'...\ndone.\n"
                        "Can't find file '--FORCE'\n");
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(readFile(a.dir.file("a.cue")), singleFile);
    EXPECT_EQ(readFile(a.dir.file("b.cue")),
              "FILE \"Range.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
}

TEST(Driver, PatternsSkipDirectoriesHiddenEntriesAndFifos) {
    VORLIN_SKIP_ON_WINDOWS("FIFOs or symbolic links");
    Album a;
    ::mkdir(a.dir.file("d.cue").c_str(), 0755);
    writeFile(a.dir.file(".h.cue"), failing);
    ASSERT_EQ(::mkfifo(a.dir.file("f.cue").c_str(), 0644), 0);
    RunResult r = runVorlin({"*.cue"}, a.dir.path());
    EXPECT_EQ(r.output, ""); // matched, but nothing to process
    EXPECT_EQ(r.exitStatus, 0);

    for (const char* name : {"b.cue", "B.cue", "a.cue", "_.cue", "[1].cue", "x.cuex"})
        writeFile(a.dir.file(name), failing);
    ASSERT_EQ(::symlink("a.cue", a.dir.file("link.cue").c_str()), 0);
    r = runVorlin({"*.cue"}, a.dir.path());
    std::string expected;
    for (const char* name : {"B.cue", "[1].cue", "_.cue", "a.cue", "b.cue", "link.cue"})
        expected += "Fixing cue '" + std::string(name) + "'...\n" + failedRun;
    EXPECT_EQ(r.output, expected);
    EXPECT_EQ(r.exitStatus, 6);

    r = runVorlin({"[1].cue", "?1?.cue", "*.CUE", "nothing*", "0?.wav/*.cue", ".h.cu?"},
                  a.dir.path());
    EXPECT_EQ(r.output, "Fixing cue '[1].cue'...\n" + failedRun + "Fixing cue '[1].cue'...\n" +
                            failedRun + "Can't find file '*.CUE'\nCan't find file 'nothing*'\n" +
                            "Can't find file '0?.wav/*.cue'\n");
    EXPECT_EQ(r.exitStatus, 5); // two sheets failed, three patterns found nothing
}

TEST(Driver, WildcardsMatchNamesHoldingWildcardCharacters) {
    VORLIN_SKIP_ON_WINDOWS("'*' or '?' in file names");
    TempDir dir;
    writeFile(dir.file("a*b.cue"), singleFile);
    writeFile(dir.file("x?.cue"), singleFile);
    RunResult r = runVorlin({"a*", "*a*", "a?b.cue", "*?.cue", "a**b*"}, dir.path());
    const std::string ab = "'a*b.cue': only one audio file, no fixing needed.\n";
    const std::string x = "'x?.cue': only one audio file, no fixing needed.\n";
    EXPECT_EQ(r.output, ab + ab + ab + ab + x + ab);
    EXPECT_EQ(r.exitStatus, 0);
}

TEST(Driver, SubdirectoryPatternKeepsThePath) {
    Album a;
    // A decoy 01.wav of another length in the current directory.
    writeFile(a.dir.file("01.wav"), wavOfCdFrames(75));
    ::mkdir(a.dir.file("sub").c_str(), 0755);
    writeFile(a.dir.file("sub/01.wav"), wavOfCdFrames(twoTrackFirstLength));
    writeFile(a.dir.file("sub/02.wav"), wavOfCdFrames(9000));
    writeFile(a.dir.file("sub/a.cue"), twoTrackSheet);
    RunResult r = runVorlin({"sub/*.cue"}, a.dir.path());
    EXPECT_EQ(r.output, "Fixing cue 'sub/a.cue'...\ndone.\n");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(readFile(a.dir.file("sub/a.cue")), twoTrackFixed);
    EXPECT_EQ(listDir(a.dir.file("sub")), (std::vector<std::string>{"01.wav", "02.wav", "a.cue"}));
}

TEST(Driver, ExitStatusSumsTheResults) {
    Album a;
    writeFile(a.dir.file("empty1.cue"), "");
    writeFile(a.dir.file("empty2.cue"), "");
    writeFile(a.dir.file("fail.cue"), failing);
    const std::string invalid = "File 'empty1.cue' is not a valid cue sheet.\n";
    RunResult r = runVorlin({"empty1.cue"}, a.dir.path());
    EXPECT_EQ(r.output, invalid);
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_EQ(runVorlin({"empty*.cue"}, a.dir.path()).exitStatus, 254);
    // 1 + (-1) cancels out, but a failure never exits with 0.
    r = runVorlin({"fail.cue", "empty1.cue"}, a.dir.path());
    EXPECT_EQ(r.output, "Fixing cue 'fail.cue'...\n" + failedRun + invalid);
    EXPECT_EQ(r.exitStatus, 1);
    // A pattern that finds nothing fails, and cancels out no better.
    EXPECT_EQ(runVorlin({"missing.cue"}, a.dir.path()).exitStatus, 1);
    EXPECT_EQ(runVorlin({"missing.cue", "nothing*"}, a.dir.path()).exitStatus, 2);
    EXPECT_EQ(runVorlin({"missing.cue", "empty1.cue"}, a.dir.path()).exitStatus, 1);
    writeFile(a.dir.file("two.cue"), twoTrackSheet);
    r = runVorlin({"two.cue", "missing.cue"}, a.dir.path());
    EXPECT_EQ(r.output, "Fixing cue 'two.cue'...\ndone.\nCan't find file 'missing.cue'\n");
    EXPECT_EQ(r.exitStatus, 1);

    TempDir many;
    writeFile(many.file("01.wav"), wavOfCdFrames(100));
    writeFile(many.file("02.wav"), wavOfCdFrames(100));
    for (int i = 0; i < 256; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "%03d.cue", i);
        writeFile(many.file(name), failing);
    }
    EXPECT_EQ(runVorlin({"*.cue"}, many.path()).exitStatus, 1); // 256 wraps to 0
    EXPECT_EQ(runVorlin({"00?.cue"}, many.path()).exitStatus, 10);
}
