// Helpers shared by the tests: real temporary directories, files, captured
// standard output and runs of the built tool.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/cd_frames.hpp"
#include "cue/fix_cue.hpp"

namespace vorlin::test {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it
// when the object goes away.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(std::string_view name) const;

  private:
    std::string path_;
};

// Changes the working directory for the lifetime of the object.
class ScopedCwd {
  public:
    explicit ScopedCwd(const std::string& dir);
    ~ScopedCwd();
    ScopedCwd(const ScopedCwd&) = delete;
    ScopedCwd& operator=(const ScopedCwd&) = delete;

  private:
    std::string previous_;
};

void writeFile(const std::string& path, std::string_view bytes);
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);
// Names in a directory, sorted, without "." and "..".
std::vector<std::string> listDir(const std::string& dir);

// Skips the test on Windows, where `mechanism` (fork, FIFOs, POSIX modes,
// ...) does not exist.
#ifdef _WIN32
#define VORLIN_SKIP_ON_WINDOWS(mechanism) GTEST_SKIP() << "no " << mechanism << " on Windows"
#else
#define VORLIN_SKIP_ON_WINDOWS(mechanism) static_cast<void>(0)
#endif

// Runs `body` and returns what it printed to standard output.
std::string captureStdout(const std::function<void()>& body);

struct ChildRun {
    int result = 99; // body's result, read back as a signed byte
    int signal = 0;  // the signal that ended the child, if one did
    std::string output;
};

// Runs `body` in a forked child with its standard output piped back (POSIX only).
ChildRun runInChild(const std::function<int()>& body);

struct RunResult {
    int exitStatus = -1; // the process's exit status (0..255), or -1 if it did not exit
    std::string output;  // its standard output
    std::string errors;  // its standard error, when asked for
};

// Runs the built vorlin binary with `args` in directory `cwd`. Its standard
// error goes to the test's own unless `captureErrors` is set.
RunResult runVorlin(const std::vector<std::string>& args, const std::string& cwd,
                    bool captureErrors = false);

// A canonical 44-byte WAV header (PCM, "fmt " of 16 bytes, then "data") whose
// data chunk states `dataSize` bytes; the data itself is not written.
std::string wavHeader(std::uint32_t dataSize, std::uint16_t channels = 2,
                      std::uint16_t bitsPerSample = 16, std::uint32_t sampleRate = 44100);

// A WAV header whose data size stands for exactly `frames` CD frames of
// 16-bit stereo audio at 44100 Hz (588 sample frames each).
std::string wavOfCdFrames(std::int64_t frames);

struct Fixed {
    int result = 99;
    std::string output;
    std::string sheet; // a.cue after the run
};

using Audio = std::vector<std::pair<std::string, std::string>>; // file name, bytes

// Writes `sheet` as a.cue next to `audio` (names may hold a folder) in a fresh
// directory and runs fixCue on it there.
Fixed fixSheet(const std::string& sheet, const Audio& audio, const FixOptions& options);

// Measures the audio file at `path` into `frames` and gives the message its
// problem prints ("" when it measures, or is of no usable length).
std::string measureMessage(const std::string& path, CdFrames& frames);

// `text` with every LF written as CR LF.
std::string withCrLf(std::string_view text);

std::string le16(std::uint16_t v);
std::string le32(std::uint32_t v);

} // namespace vorlin::test
