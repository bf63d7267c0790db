// The built tool run from the command line: usage, options, wildcard
// patterns and the exit status.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#endif

#include <csignal>
#include <cstdio>
#include <string>

#include "cue/messages.hpp"
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

#ifndef _WIN32
struct LostRun {
    int exitStatus = -1; // or -1 when a signal ended the run
    int signal = 0;
    std::string errors;
};

// Runs the built tool in `cwd` with its standard output on `out` and SIGPIPE
// ignored or not, and returns what it wrote on standard error.
LostRun runWithOutput(const std::vector<std::string>& args, const std::string& cwd, int out,
                      bool ignorePipeSignal = false) {
    std::FILE* errors = std::tmpfile();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out, STDOUT_FILENO);
        ::dup2(fileno(errors), STDERR_FILENO);
        std::signal(SIGPIPE, ignorePipeSignal ? SIG_IGN : SIG_DFL);
        if (::chdir(cwd.c_str()) != 0) ::_exit(127);
        std::vector<std::string> copies = args;
        std::string binary = VORLIN_BINARY;
        std::vector<char*> argv = {binary.data()};
        for (std::string& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(binary.c_str(), argv.data());
        ::_exit(127);
    }
    LostRun r;
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status)) r.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    std::rewind(errors);
    for (int c; (c = std::fgetc(errors)) != EOF;) r.errors += static_cast<char>(c);
    std::fclose(errors);
    return r;
}

#endif

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

TEST(Driver, ANameThatExistsMeansItselfAlone) {
    VORLIN_SKIP_ON_WINDOWS("'?' in file names");
    TempDir dir;
    for (const char* name : {"Who Are You?.cue", "Who Are You!.cue", "Who Are Youz.cue"})
        writeFile(dir.file(name), singleFile);
    auto noFixing = [](const std::string& name) {
        return "'" + name + "': only one audio file, no fixing needed.\n";
    };
    RunResult r = runVorlin({"Who Are You?.cue", "Who Are Yo??.cue"}, dir.path());
    EXPECT_EQ(r.output, noFixing("Who Are You?.cue") + noFixing("Who Are You!.cue") +
                            noFixing("Who Are You?.cue") + noFixing("Who Are Youz.cue"));
    EXPECT_EQ(r.exitStatus, 0);
}

// /dev/full, pipes and SIGPIPE: POSIX mechanisms.
#ifndef _WIN32
TEST(Driver, LostOutputIsReportedOnceAndFailsTheRun) {
    Album a;
    writeFile(a.dir.file("a.cue"), twoTrackSheet);
    writeFile(a.dir.file("empty.cue"), "");
    const std::string full = "vorlin: write error on standard output: No space left on device\n";
    const int devFull = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(devFull, 0);
    struct Case {
        std::vector<std::string> args;
        int exitStatus;
    };
    const std::vector<Case> cases = {
        {{"-n", "a.cue"}, 1}, {{"--help"}, 1}, {{"empty.cue"}, 255}, {{"a.cue"}, 1}};
    for (const Case& c : cases) {
        LostRun r = runWithOutput(c.args, a.dir.path(), devFull);
        EXPECT_EQ(r.errors, full) << c.args[0];
        EXPECT_EQ(r.exitStatus, c.exitStatus) << c.args[0];
    }
    EXPECT_EQ(readFile(a.dir.file("a.cue")), twoTrackFixed); // the sheet itself was written

    // Diffs far past a buffer: the first lost write is named, once, before the summary.
    for (int i = 0; i < 100; ++i)
        writeFile(a.dir.file("s" + std::to_string(i) + ".cue"), twoTrackSheet);
    LostRun r = runWithOutput({"-n", "s*.cue"}, a.dir.path(), devFull);
    EXPECT_EQ(r.errors, full + "vorlin: 100 sheets: 100 to fix, 0 need no fixing, 0 failed.\n");
    EXPECT_EQ(r.exitStatus, 1);
    ::close(devFull);

    // A closed pipe ends the run by its signal, once the sheet in hand is
    // replaced; with the signal ignored, it is a write error like any other.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    r = runWithOutput({"s0.cue"}, a.dir.path(), fds[1]);
    EXPECT_EQ(r.signal, SIGPIPE);
    EXPECT_EQ(readFile(a.dir.file("s0.cue")), twoTrackFixed);
    r = runWithOutput({"s1.cue"}, a.dir.path(), fds[1], true);
    EXPECT_EQ(r.errors, "vorlin: write error on standard output: Broken pipe\n");
    EXPECT_EQ(r.exitStatus, 1);
    ::close(fds[1]);
}
#endif

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

// FIFOs, sockets and symbolic links: POSIX mechanisms.
#ifndef _WIN32
TEST(Driver, WildcardsAndWalksSkipWhatIsNoSheetButNamesMeanIt) {
    Album a;
    ::mkdir(a.dir.file("d.cue").c_str(), 0755);
    writeFile(a.dir.file(".h.cue"), twoTrackSheet);
    writeFile(a.dir.file(".g.cue"), singleFile);
    ASSERT_EQ(::mkfifo(a.dir.file("f.cue").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("nowhere.cue", a.dir.file("l.cue").c_str()), 0);
    ASSERT_EQ(::symlink("/dev/null", a.dir.file("n.cue").c_str()), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string sockPath = a.dir.file("s.cue");
    ASSERT_LT(sockPath.size(), sizeof address.sun_path);
    sockPath.copy(address.sun_path, sockPath.size());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"*.cue"}, {"-r", "."}}) {
        RunResult r = runVorlin(args, a.dir.path());
        EXPECT_EQ(r.output, "") << args[0]; // matched, but nothing to process
        EXPECT_EQ(r.exitStatus, 0) << args[0];
    }
    EXPECT_EQ(readFile(a.dir.file(".h.cue")), twoTrackSheet);

    // Named exactly, each is meant: a hidden sheet is fixed like any other,
    // the rest fail without being opened (a FIFO opened would hang the run).
    RunResult r =
        runVorlin({"f.cue", "l.cue", "n.cue", "s.cue", ".h.cue", ".g.cue"}, a.dir.path(), true);
    std::string refused;
    for (const char* name : {"f.cue", "l.cue", "n.cue", "s.cue"})
        refused += "'" + std::string(name) + "' is not a regular file.\n";
    EXPECT_EQ(r.output, refused + "Fixing cue '.h.cue'...\ndone.\n" +
                            "'.g.cue': only one audio file, no fixing needed.\n");
    EXPECT_EQ(r.errors, "vorlin: 6 sheets: 1 fixed, 1 needed no fixing, 4 failed.\n");
    EXPECT_EQ(r.exitStatus, 4);
    EXPECT_EQ(readFile(a.dir.file(".h.cue")), twoTrackFixed);
    ::close(sock);

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
#endif

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
