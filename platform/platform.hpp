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

// The file `path` finally names: through a symbolic link, or a chain of
// them, the file the last one points to; `path` itself when it is no link
// or leads nowhere.
std::string finalTarget(const std::string& path);

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

// ---- Replacing a file ----

// The operations the replacement depends on; tests swap in failing or
// watching ones.
struct ReplaceOps {
    int (*renameFile)(const char* from, const char* to); // 0, or -1 on failure
    int (*syncFile)(int fd); // the new file, then (POSIX) its folder; 0 or -1
};
extern ReplaceOps replaceOps;

enum class Replaced { done, notCreated, notWritten };

// Replaces `target` with the bytes `write` writes to a descriptor. The new
// file is created exclusively as `temporaryTemplate` (a path ending in
// "XXXXXX", which becomes a unique suffix) and hidden, takes the old file's
// permissions, is written, flushed to disk, then renamed over `target`, so
// that the name always holds a complete file, old or new. Interruptions by
// the user (signals on POSIX, Ctrl-C on Windows) wait until the files are in
// their final state. On failure the old file is untouched and nothing is
// left behind.
Replaced replaceFileDurably(const std::string& target, std::string temporaryTemplate,
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
// UTF-8 (Windows); nothing to do on POSIX. The console's input and output
// code pages are put back as they were when the program ends, by returning,
// by exit() or by Ctrl-C.
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
