// Dry runs of the built tool: nothing in the folder changes, and the printed
// diff, applied by patch, gives exactly the sheet a real run writes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/cue_samples.hpp"
#include "tests/test_support.hpp"

using namespace std::string_literals;
using namespace vorlin::test;

namespace {

// Every entry of `dir` and the folder itself: name, inode, mode, size, times
// to the nanosecond, and a file's bytes.
std::vector<std::string> snapshot(const std::string& dir) {
    std::vector<std::string> entries;
    std::vector<std::string> names = listDir(dir);
    names.push_back(".");
    for (const std::string& name : names) {
        struct stat st;
        const std::string path = dir + "/" + name;
        if (::lstat(path.c_str(), &st) != 0) continue;
        std::string entry = name;
        for (long long v : {(long long)st.st_ino, (long long)st.st_mode, (long long)st.st_size,
                            (long long)st.st_mtim.tv_sec, (long long)st.st_mtim.tv_nsec,
                            (long long)st.st_ctim.tv_sec, (long long)st.st_ctim.tv_nsec})
            entry += " " + std::to_string(v);
        if (S_ISREG(st.st_mode)) entry += "\n" + readFile(path);
        entries.push_back(entry);
    }
    return entries;
}

// Puts `sheet` as a.cue beside 01.wav and 02.wav in `dir`.
void writeAlbum(const TempDir& dir, const std::string& sheet) {
    writeFile(dir.file("01.wav"), wavOfCdFrames(twoTrackFirstLength));
    writeFile(dir.file("02.wav"), wavOfCdFrames(9000));
    writeFile(dir.file("a.cue"), sheet);
}

// Runs `vorlin a.cue -n` (and `layout`, if given) on `sheet`, checks that
// nothing changed, and returns the printed diff.
std::string dryRunDiff(const std::string& sheet, const std::string& layout = "") {
    TempDir album;
    writeAlbum(album, sheet);
    ::usleep(20000); // a change made now would show in the (coarse) file times
    const std::vector<std::string> before = snapshot(album.path());
    std::vector<std::string> args = {"a.cue", "-n"};
    if (!layout.empty()) args.push_back(layout);
    RunResult r = runVorlin(args, album.path());
    EXPECT_EQ(snapshot(album.path()), before);
    EXPECT_EQ(r.exitStatus, 0);
    const std::string head = "Fixing cue 'a.cue'...\n", tail = "not written (dry run).\n";
    if (!r.output.starts_with(head) || !r.output.ends_with(tail)) {
        ADD_FAILURE() << r.output;
        return "";
    }
    return r.output.substr(head.size(), r.output.size() - head.size() - tail.size());
}

// The sheet a real run writes from `sheet`.
std::string realRun(const std::string& sheet, const std::string& layout = "") {
    TempDir album;
    writeAlbum(album, sheet);
    std::vector<std::string> args = {"a.cue"};
    if (!layout.empty()) args.push_back(layout);
    EXPECT_EQ(runVorlin(args, album.path()).output, "Fixing cue 'a.cue'...\ndone.\n");
    return readFile(album.file("a.cue"));
}

// `diff` applied to `sheet` by patch, which must find every hunk exactly where
// it says (no offset, no fuzz).
std::string patched(const std::string& sheet, const std::string& diff) {
    TempDir work;
    writeFile(work.file("old.cue"), sheet);
    writeFile(work.file("change.diff"), diff);
    const std::string command = "cd " + work.path() +
                                " && patch --binary --fuzz=0 -o new.cue old.cue change.diff"
                                " > patch.log 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << readFile(work.file("patch.log"));
    EXPECT_EQ(readFile(work.file("patch.log")), "patching file new.cue (read from old.cue)\n");
    return fileExists(work.file("new.cue")) ? readFile(work.file("new.cue")) : "";
}

// What `diff -u` prints for the change from `before` to `after`, both named
// a.cue and without a time stamp after the tab that ends the name.
std::string standardDiff(const std::string& before, const std::string& after) {
    TempDir work;
    writeFile(work.file("old.cue"), before);
    writeFile(work.file("new.cue"), after);
    const std::string command = "cd " + work.path() +
                                " && diff -u --label 'a.cue\t' --label 'a.cue\t' old.cue new.cue"
                                " > change.diff";
    EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);
    return readFile(work.file("change.diff"));
}

} // namespace

TEST(DryRun, ShowsTheWorkedExampleAsAUnifiedDiff) {
    EXPECT_EQ(dryRunDiff(twoTrackSheet), "--- a.cue\t\n"
                                         "+++ a.cue\t\n"
                                         "@@ -1,8 +1,7 @@\n"
                                         "-FILE \"01.wav\" WAVE\n"
                                         "+FILE \"Range.wav\" WAVE\n"
                                         "   TRACK 01 AUDIO\n"
                                         "-    INDEX 00 00:00:00\n"
                                         "-    INDEX 01 00:01:00\n"
                                         "-FILE \"02.wav\" WAVE\n"
                                         "+    PREGAP 00:01:00\n"
                                         "+    INDEX 01 00:00:00\n"
                                         "   TRACK 02 AUDIO\n"
                                         "-    INDEX 00 00:00:00\n"
                                         "-    INDEX 01 00:02:00\n"
                                         "+    INDEX 00 02:58:00\n"
                                         "+    INDEX 01 03:00:00\n");
}

TEST(DryRun, PatchingWithItsDiffGivesTheRealRunsSheet) {
    const std::string sheet = twoTrackSheet;
    std::string rems; // enough unchanged lines between changes to part hunks
    for (int i = 0; i < 8; ++i) rems += "REM " + std::to_string(i) + "\n";
    const std::string longText(5000, 'c');
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"CR LF line ends", withCrLf(sheet)},
        {"no final line end", sheet.substr(0, sheet.size() - 1)},
        {"an unchanged last line without line end", sheet + "REM end"},
        {"PREGAP lines and hunks apart",
         "FILE \"01.wav\" WAVE\n  TRACK 01 AUDIO\n    PREGAP 00:00:10\n    INDEX 00 00:00:00\n"
         "    INDEX 01 00:00:50\n" +
             rems + "  TRACK 02 AUDIO\n    PREGAP 00:00:02\n    INDEX 01 01:00:00\n" + rems +
             "FILE \"02.wav\" WAVE\n  TRACK 03 AUDIO\n    INDEX 00 00:00:00\n"
             "    INDEX 01 00:00:20\n" +
             rems},
        {"long lines",
         // A comment after an INDEX time over 4095 bytes, a long line kept as it
         // is, one with NUL and CR bytes, a long line whose end (an audio FILE
         // line) is dropped, and a long last line without its line end.
         "FILE \"01.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00 " + longText + "\nREM " +
             longText + "\nREM a\0b\rc\n"s + std::string(4095, 'x') +
             "FILE \"02.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 00 00:00:00\n"
             "    INDEX 01 00:02:00 " +
             longText},
    };
    for (const auto& [what, bytes] : cases) {
        for (const std::string layout : {"", "--per-file"}) {
            SCOPED_TRACE(what + " " + layout);
            const std::string diff = dryRunDiff(bytes, layout), fixed = realRun(bytes, layout);
            EXPECT_EQ(patched(bytes, diff), fixed);
            // Line for line what the standard tool writes, hunk headers included.
            EXPECT_EQ(diff, standardDiff(bytes, fixed));
        }
    }
}

TEST(DryRun, ALibrarysDiffAppliesAndUndoesWithPatch) {
    // Spaces in every folder and sheet name; one sheet with CR LF line ends,
    // one behind a byte-order mark, one that needs no fixing.
    const std::vector<std::pair<std::string, std::string>> sheets = {
        {"Music/The Band/First Album/First Album.cue", twoTrackSheet},
        {"Music/The Band/Second Album/Second Album.cue", withCrLf(twoTrackSheet)},
        {"Music/Other Band/Live Set/Live Set.cue", "\xEF\xBB\xBF"s + twoTrackSheet},
        {"Music/Other Band/Live Set/Only One.cue", singleFileSheet},
    };
    for (const std::string layout : {"--per-file", ""}) {
        SCOPED_TRACE(layout);
        TempDir root;
        for (const char* folder :
             {"/Music", "/Music/The Band", "/Music/The Band/First Album",
              "/Music/The Band/Second Album", "/Music/Other Band", "/Music/Other Band/Live Set"})
            ASSERT_EQ(::mkdir((root.path() + folder).c_str(), 0755), 0);
        auto writeLibrary = [&] {
            for (const auto& [path, bytes] : sheets) {
                const std::string folder = root.file(path.substr(0, path.rfind('/')));
                writeFile(folder + "/01.wav", wavOfCdFrames(twoTrackFirstLength));
                writeFile(folder + "/02.wav", wavOfCdFrames(9000));
                writeFile(root.file(path), bytes);
            }
        };
        auto patch = [&](const std::string& how) {
            const std::string command = "cd '" + root.path() + "' && patch " + how +
                                        " --binary --fuzz=0 < changes.diff > patch.log 2>&1";
            EXPECT_EQ(std::system(command.c_str()), 0) << readFile(root.file("patch.log"));
        };
        auto listing = [&] { // every album folder's entries
            std::vector<std::string> names;
            for (const auto& sheet : sheets)
                for (const std::string& name :
                     listDir(root.file(sheet.first.substr(0, sheet.first.rfind('/')))))
                    names.push_back(name);
            return names;
        };
        auto run = [&](std::vector<std::string> args) {
            if (!layout.empty()) args.insert(args.begin(), layout);
            return runVorlin(args, root.path());
        };
        writeLibrary();
        const std::vector<std::string> entries = listing();
        // The dry run's whole output, messages and all, is what patch reads.
        RunResult r = run({"-r", "-n", "Music"});
        EXPECT_EQ(r.exitStatus, 0);
        writeFile(root.file("changes.diff"), r.output);
        patch("-p0");
        std::vector<std::string> patched;
        for (const auto& sheet : sheets) patched.push_back(readFile(root.file(sheet.first)));

        writeLibrary();
        EXPECT_EQ(run({"-r", "Music"}).exitStatus, 0);
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            EXPECT_EQ(readFile(root.file(sheets[i].first)), patched[i]) << sheets[i].first;
            EXPECT_EQ(patched[i] == sheets[i].second, sheets[i].second == singleFileSheet);
        }
        patch("-R -p0");
        for (const auto& [path, bytes] : sheets)
            EXPECT_EQ(readFile(root.file(path)), bytes) << path;
        EXPECT_EQ(listing(), entries); // nothing left behind, no .orig or .rej
    }
}

namespace {

// Every entry under `dir` (its path from there, and a file's bytes), depth first.
std::vector<std::string> tree(const std::string& dir, const std::string& prefix = "") {
    std::vector<std::string> entries;
    for (const std::string& name : listDir(dir + "/" + prefix)) {
        const std::string path = prefix + name;
        struct stat st;
        if (::lstat((dir + "/" + path).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            entries.push_back(path + "/");
            for (std::string& inner : tree(dir, path + "/")) entries.push_back(std::move(inner));
        } else {
            entries.push_back(path + "\n" + readFile(dir + "/" + path));
        }
    }
    return entries;
}

} // namespace

TEST(DryRun, NamesCannotMakeItsDiffWriteOutsideTheLibrary) {
    // Folder and sheet names with line feeds, tabs and ESC; one spells, over
    // three folders, a diff of its own that would add a key to
    // .ssh/authorized_keys beside the library.
    const std::vector<std::pair<std::string, std::string>> albums = {
        {"Music/line\nfeed", "a.cue"},
        {"Music/tab\there\x1B[2J", "esc\x1B]0;title\x07.cue"},
        {"Music/x\n--- .ssh/authorized_keys\t\n+++ .ssh/authorized_keys\t\n@@ -0,0 +1 @@\n"
         "+ssh-ed25519 AAAA attacker\n",
         "a\n--- a.cue\t\n.cue"},
    };
    auto makeLibrary = [&](const TempDir& root) {
        for (const auto& [folder, sheet] : albums) {
            for (std::size_t at = 0; at != std::string::npos;) {
                at = folder.find('/', at + 1);
                ::mkdir(root.file(folder.substr(0, at)).c_str(), 0755);
            }
            writeFile(root.file(folder + "/01.wav"), wavOfCdFrames(twoTrackFirstLength));
            writeFile(root.file(folder + "/02.wav"), wavOfCdFrames(9000));
            writeFile(root.file(folder + "/" + sheet), twoTrackSheet);
        }
    };
    TempDir patchedRoot, fixedRoot, work;
    makeLibrary(patchedRoot);
    makeLibrary(fixedRoot);
    const std::vector<std::string> original = tree(patchedRoot.path());

    RunResult r = runVorlin({"-r", "-n", "Music"}, patchedRoot.path());
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_NE(r.output.find("Fixing cue 'Music/line\\012feed/a.cue'...\n"), std::string::npos);
    writeFile(work.file("changes.diff"), r.output);
    const std::string command = "cd '" + patchedRoot.path() +
                                "' && patch -p0 --binary --fuzz=0 < '" + work.file("changes.diff") +
                                "' > '" + work.file("patch.log") + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << readFile(work.file("patch.log"));

    // Only the sheets changed, each into what a real run writes; nothing
    // else was made (no .ssh, no .orig or .rej).
    EXPECT_EQ(runVorlin({"-r", "Music"}, fixedRoot.path()).exitStatus, 0);
    EXPECT_EQ(tree(patchedRoot.path()), tree(fixedRoot.path()));
    EXPECT_NE(tree(fixedRoot.path()), original);
    EXPECT_FALSE(fileExists(patchedRoot.file(".ssh")));
}
