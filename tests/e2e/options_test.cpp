// The built tool run from the command line: usage, version, the options and
// where they hold.
#include <gtest/gtest.h>

#include <string>

#include "cue/messages.hpp"
#include "tests/cue_samples.hpp"
#include "tests/test_support.hpp"

using namespace vorlin;
using namespace vorlin::test;

namespace {

const std::string singleFile = singleFileSheet;

} // namespace

TEST(Driver, UsageVersionAndForceAlone) {
    Album a;
    writeFile(a.dir.file("a.cue"), twoTrackSheet);
    const std::string usage(usageText());
    // Scripts read the first lines and the option names; every option is listed.
    EXPECT_EQ(usage.rfind("Vorlin v" VORLIN_VERSION "\nUsage: vorlin [options] <file>\n", 0), 0u);
    for (const char* option : {"\n --force : ", "\n -n, --dry-run : ", "\n --per-file : ",
                               "\n -r, --recursive : ", "\n -h, --help : ", "\n -V, --version : "})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    // The command line's page shows it as printed.
    std::string shown;
    for (std::size_t at = 0; at < usage.size();) {
        const std::size_t end = usage.find('\n', at) + 1;
        shown += "    " + usage.substr(at, end - at);
        at = end;
    }
    EXPECT_NE(readFile(std::string(VORLIN_SOURCE_DIR) + "/docs/command-line.md").find(shown),
              std::string::npos)
        << "docs/command-line.md does not show the usage text";
    // The first of --help and --version counts, wherever it stands; nothing
    // else is done.
    const std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
        {{}, usage},
        {{"a.cue", "missing.cue", "--help", "--version"}, usage},
        {{"--force", "a.cue", "--version", "--help"}, "Vorlin v" VORLIN_VERSION "\n"},
        {{"-V", "--help"}, "Vorlin v" VORLIN_VERSION "\n"},
        {{"--bogus", "a.cue", "-h", "-V"}, usage}, // over an unknown option too
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
    // After "--" every argument is a pattern; before it, one that names an entry is one too.
    RunResult r = runVorlin({"-x.cue", "--", "--help", "-n", "--force", "a.cue"}, a.dir.path());
    EXPECT_EQ(r.output, "'-x.cue': only one audio file, no fixing needed.\n"
                        "Can't find file '--help'\nCan't find file '-n'\n"
                        "Can't find file '--force'\n"
                        "'a.cue': only one audio file, no fixing needed.\n");
    EXPECT_EQ(r.exitStatus, 3);

    // -n given last, or --dry-run after --force, still covers every sheet.
    const std::string forcedDiff = "--- a.cue\t\n+++ a.cue\t\n@@ -1,3 +1,3 @@\n"
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

TEST(Driver, UnknownOptionStopsTheRunBeforeAnySheet) {
    Album a;
    writeFile(a.dir.file("a.cue"), twoTrackSheet);
    writeFile(a.dir.file("-x.cue"), singleFile);
    // Wherever it stands, after sheets or with a real option's letters; only
    // the first is named.
    const std::vector<std::pair<std::vector<std::string>, std::string>> typos = {
        {{"--dryrun", "a.cue"}, "--dryrun"},
        {{"a.cue", "--dry"}, "--dry"},
        {{"-n=1", "a.cue"}, "-n=1"},
        {{"--per_file", "a.cue"}, "--per_file"},
        {{"a.cue", "-p", "-q"}, "-p"},
        {{"-nrx", "a.cue"}, "-nrx"},
        {{"-N", "a.cue"}, "-N"},
        {{"a.cue", "--force", "-x", "--", "-y"}, "-x"},
    };
    for (const auto& [args, name] : typos) {
        RunResult r = runVorlin(args, a.dir.path(), true);
        EXPECT_EQ(r.errors, "vorlin: unknown option '" + name +
                                "'; a file name that starts with '-' goes after --\n");
        EXPECT_EQ(r.output, "") << name;
        EXPECT_EQ(r.exitStatus, 2) << name;
    }
    EXPECT_EQ(readFile(a.dir.file("a.cue")), twoTrackSheet);

    // A name of an entry, exact or matched, and a lone "-" are patterns.
    RunResult r = runVorlin({"-x.cue", "-x*", "-", "-nr", "a.cue"}, a.dir.path(), true);
    EXPECT_TRUE(r.output.starts_with("'-x.cue': only one audio file, no fixing needed.\n"
                                     "'-x.cue': only one audio file, no fixing needed.\n"
                                     "Can't find file '-'\nFixing cue 'a.cue'...\n"))
        << r.output;
    EXPECT_TRUE(r.output.ends_with("not written (dry run).\n")) << r.output; // -nr: -n and -r
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(readFile(a.dir.file("a.cue")), twoTrackSheet);
}

TEST(Driver, ForceAppliesOnlyToLaterArguments) {
    Album a;
    writeFile(a.dir.file("a.cue"), singleFile);
    writeFile(a.dir.file("b.cue"), singleFile);
    RunResult r = runVorlin({"a.cue", "--force", "b.cue", "--", "--FORCE"}, a.dir.path());
    EXPECT_EQ(r.output, "'a.cue': only one audio file, no fixing needed.\n"
                        "Fixing cue 'b.cue'...\ndone.\n"
                        "Can't find file '--FORCE'\n");
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(readFile(a.dir.file("a.cue")), singleFile);
    EXPECT_EQ(readFile(a.dir.file("b.cue")),
              "FILE \"Range.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
}
