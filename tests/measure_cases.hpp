// Measures audio files case by case, each written into a fresh folder.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "audio/length.hpp"
#include "tests/test_support.hpp"

namespace vorlin::test {

struct MeasureCase {
    std::string name;
    std::string bytes;
    CdFrames frames;
    std::string message; // what the measurement prints
};

// Writes each case's bytes under its name in a temporary working folder
// (which also holds an empty folder "dir.x"), measures the file and checks
// the length, the message and that the file's bytes are unchanged.
inline void expectMeasures(const std::vector<MeasureCase>& cases) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    ::mkdir("dir.x", 0755);
    for (const auto& c : cases) {
        writeFile(c.name, c.bytes);
        CdFrames frames = -1;
        EXPECT_EQ(measureMessage(c.name, frames), c.message) << c.name;
        EXPECT_EQ(frames, c.frames) << c.name;
        EXPECT_EQ(readFile(c.name), c.bytes) << c.name << " was changed";
        ::unlink(c.name.c_str());
    }
}

} // namespace vorlin::test
