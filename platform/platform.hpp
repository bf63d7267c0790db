// Everything the tool asks of the operating system: files read by offset,
// folders listed, a file replaced durably, text in a code page converted,
// processors counted and threads placed. platform/posix.cpp and
// platform/windows.cpp implement it; the rest of the tool is portable C++.
//
// Paths and names are UTF-8 on both systems (converted to UTF-16 at the
// Windows API). Files are named by the C runtime's descriptors, read in
// binary mode, with 64-bit sizes and offsets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorlin::platform {

// ---- Paths ----

// Whether `c` separates folders in a path: '/' everywhere, '\' too on Windows.
constexpr bool isSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

// The length of the folder part of `path`, separator included: "a/b.cue"
// gives 2, "b.cue" 0. On Windows a drive ("C:b.cue") counts as a folder.
std::size_t folderPartLength(std::string_view path);

// The separator to put between `folder` and a name joined to it, so that a
// path keeps the separator of the argument it came from: the last one in
// `folder`. On Windows '\' when `folder` has none, and always for a "\\?\"
// path (which takes no '/'); '/' on POSIX.
char separatorFor(std::string_view folder);

// On Windows, a path with a drive and no separator after its colon ("D:",
// "D:album.cue", "D:*.cue") is relative to that drive's current folder: it
// is given from that folder ("D:\Music", "D:\Music\album.cue"). Any other
// path, and every path on POSIX, is returned as it is.
std::string fromDriveFolder(const std::string& path);

// ---- Names ----

// Whether wildcards match names with letter case ignored, as the system's
// own tools do (Windows); on POSIX case matters.
#ifdef _WIN32
constexpr bool wildcardsIgnoreCase = true;
#else
constexpr bool wildcardsIgnoreCase = false;
#endif

// Whether the UTF-8 texts `a` and `b` are the same with letter case ignored
// as the system compares names (Windows: its ordinal comparison, for every
// script); on POSIX, whether they are the same bytes.
bool sameIgnoringCase(std::string_view a, std::string_view b);

// ---- Files ----

enum class FileType { missing, regular, directory, link, other };

// Opens `path` for reading in binary mode; returns a descriptor, or -1.
// With `regularOnly`, anything but a regular file is refused, and a FIFO
// never blocks the open. `size`, when given, receives the file's size.
int openForReading(const std::string& path, bool regularOnly = false, std::int64_t* size = nullptr);
void closeFile(int fd);

// Reads up to `count` bytes at the descriptor's position, in one read
// (retried when interrupted); returns the bytes read, 0 at the end, -1 on
// an error.
std::int64_t readNext(int fd, void* into, std::size_t count);

// Reads up to `count` bytes at byte `offset`, in one read, leaving the
// descriptor's position where it was; returns as readNext() does.
std::int64_t readAt(int fd, void* into, std::size_t count, std::int64_t offset);

// Writes all of `bytes`; false when a write fails.
bool writeAll(int fd, std::string_view bytes);

// The size of the regular file open as `fd`, or -1 for anything else.
std::int64_t fileSize(int fd);

// Cuts or extends the file to `length` bytes.
bool truncateFile(int fd, std::int64_t length);

// A stdio stream over `fd` for binary reading, owning it; nullptr on failure
// (the descriptor is then still the caller's).
std::FILE* streamOf(int fd);
// The descriptor under a stdio stream.
int descriptorOf(std::FILE* stream);

// The type of what `path` names, after following links or not.
FileType typeOf(const std::string& path, bool followLinks = true);

// Whether something is there by that name (a link must lead somewhere). On
// a file system that ignores letter case another spelling finds it.
bool exists(const std::string& path);

// The name `name` has in the listing of `folder`, where the file system
// found it under another spelling of its letters; `name` otherwise.
std::string spellingInFolder(const std::string& folder, const std::string& name);

// Whether the file at `path` is hidden: its name starts with '.', or on
// Windows it has the hidden attribute.
bool isHidden(const std::string& path);

// Read-only: the user may not write to it (POSIX: no write access or no
// owner write bit; Windows: the read-only attribute or no write access).
// A missing file counts as read-only.
bool isReadOnly(const std::string& path);

struct FolderEntry {
    std::string name;
    FileType type; // of the entry itself: a link is a link
    bool hidden;   // a name starting with '.', or on Windows the hidden attribute
};

// Lists `folder` ("" for the working folder), without "." and "..", in the
// system's order. False when it cannot be opened, or the listing stopped on
// an error (the entries read so far stay).
bool listFolder(const std::string& folder, std::vector<FolderEntry>& entries);

// The size of a folder's own listing on disk, -1 when unknown (a folder is
// read whole only when small).
std::int64_t folderSize(const std::string& folder);

// ---- A sheet opened once ----

// What tells one state of a file from another: POSIX the device, the
// inode, the size and the modification time in nanoseconds; Windows the
// volume serial number, the file index, the size and the last write time.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    std::int64_t size = -1;
    std::int64_t modified = 0;
    bool operator==(const FileIdentity&) const = default;
};

// A sheet opened once, from reading to replacing: its bytes read whole, the
// identity of the file they were read from, and the folder it lies in held
// open, so that nothing is looked up again by the path given.
struct OpenedSheet {
    OpenedSheet() = default;
    ~OpenedSheet(); // closes the file and the folder
    OpenedSheet(const OpenedSheet&) = delete;
    OpenedSheet& operator=(const OpenedSheet&) = delete;

    std::string bytes;     // the whole file as read
    FileIdentity identity; // as it was while read (size -1 when it changed meanwhile)
    bool readOnly = false; // the user may not write to it (as isReadOnly() judges)
    // POSIX: the file's name in `folder`, the file and the folder open,
    // and the owner, group and mode the new file takes. Windows: the
    // file's full path (a link's final target), `folder` the folder's
    // handle held without delete sharing, so that it cannot be renamed.
    std::string name;
    int file = -1;
    std::intptr_t folder = -1;
    std::uint32_t owner = 0, group = 0, mode = 0644;
};

enum class SheetOpened {
    ok,
    openFailed,  // missing, not a regular file, a link that cannot be resolved
    foreignLink, // a link neither the user's nor its target's owner's
    outOfMemory, // too large to hold
    readFailed,  // a read error
};

// Opens the sheet at `path` without blocking (a FIFO or device is refused
// once open, never read) and reads it whole. A symbolic link, or a chain of
// them, is followed only when every link in it belongs to the user running
// the tool or to the owner of the file it finally leads to (the kernel's
// protected-symlinks rule); the final file is then the one read and later
// replaced, beside itself. On Windows a reparse point counts as a link.
SheetOpened openSheet(const std::string& path, OpenedSheet& sheet);

// ---- Replacing a file ----

// The operations the replacement depends on; tests swap in failing or
// watching ones.
struct ReplaceOps {
    // Renames `from` over `to`, both names in `folder` (POSIX: the folder's
    // descriptor; Windows: -1, the names full paths); 0, or -1 on failure.
    int (*renameFile)(std::intptr_t folder, const char* from, const char* to);
    int (*syncFile)(int fd); // the new file, then (POSIX) its folder; 0 or -1
    // Tests only (nullptr otherwise): called once the new file is written,
    // just before the sheet is checked for a change and replaced.
    void (*beforeCheck)();
};
extern ReplaceOps replaceOps;

enum class Replaced { done, notCreated, notWritten, changed };

// Replaces the opened sheet with the bytes `write` writes to a descriptor.
// The new file is created exclusively in the sheet's folder as
// `temporaryTemplate` (a name ending in "XXXXXX", which becomes a unique
// suffix; on Windows a full path) and hidden, takes the old file's owner
// (when the user may give it), mode and extended attributes, is written,
// flushed to disk, then renamed over the sheet, so that the name always
// holds a complete file, old or new. Right before the rename the name is
// looked up again in the folder: a file other than the one read, or the
// same one changed (size or modification time), gives `changed` and is left
// as it is. Interruptions by the user (signals on POSIX, Ctrl-C on Windows)
// wait until the files are in their final state. On failure the old file is
// untouched and nothing is left behind.
Replaced replaceSheet(OpenedSheet& sheet, std::string temporaryTemplate,
                      const std::function<bool(int fd)>& write);

// ---- Text ----

// `text` read in the Windows code page named "CP<number>", converted to
// UTF-8; nothing when the code page is unknown or has no character for
// some byte.
std::optional<std::string> convertCodePage(std::string_view text, const char* codePage);

// `text` in UTF-8 converted to the Windows code page named "CP<number>";
// nothing when the code page is unknown or has no byte for some character.
std::optional<std::string> convertToCodePage(std::string_view text, const char* codePage);

// ---- Processors ----

// The processors this process may run on (their numbers); empty when unknown.
std::vector<int> allowedCpus();
// The processor the calling thread is on, or -1.
int currentCpu();
// Keeps the calling thread to the processors `cpus`; false when refused.
bool keepThreadTo(const std::vector<int>& cpus);
// A thread started by startThread, until joinThread.
using ThreadHandle = std::uintptr_t;
// Starts a thread running body(argument), kept to processor `cpu` from its
// first instruction when `cpu` is not -1 (anywhere, should the system
// refuse that), so that it never begins beside its starter on a busy
// processor. False when no thread can be started.
bool startThread(ThreadHandle& thread, int cpu, void (*body)(void*), void* argument);
// Waits for the thread to end.
void joinThread(ThreadHandle thread);
// Identifies this process (a fork's child has another number).
long processId();

// ---- The program ----

// Sets the standard streams to binary mode and the console's output to
// UTF-8 (Windows); on POSIX ignores SIGXFSZ, so that a write past the file
// size limit fails (EFBIG) instead of ending the run. The console's input
// and output code pages are put back as they were when the program ends, by
// returning, by exit() or by Ctrl-C.
void prepareStandardStreams();

// The number of processes attached to this process's console, 0 when it has
// none (always on POSIX). Tests put another function in its place.
extern unsigned (*consoleProcessCount)();

// Whether the console window closes as the program ends, before its user has
// read it: this process is the only one attached to the console (Explorer
// opened it for a double click or a file dropped on the program, not cmd or
// PowerShell), and standard input and output are that console, not
// redirected. Never on POSIX.
bool consoleClosesWithProgram();

// Waits until the user presses Enter (or standard input ends).
void waitForEnter();

#ifdef _WIN32
// The program's arguments given as UTF-16, in UTF-8.
std::vector<std::string> argumentsInUtf8(int argc, wchar_t** argv);
#endif

} // namespace vorlin::platform
