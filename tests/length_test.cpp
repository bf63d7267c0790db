// The choice of measurer by extension, and what is never opened to measure.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "audio/length.hpp"
#include "tests/measure_cases.hpp"
#include "tests/test_support.hpp"

using namespace vorlin;
using namespace vorlin::test;

TEST(AudioLength, ChoosesTheMeasurerByTheLastDot) {
    const std::string wav = wavHeader(176400);
    expectMeasures({
        {"a.WAV", wav, 75, ""},
        {"a.Wav", wav, 75, ""},
        {"a.wav.bak", wav, 0, ""},
        {"a", wav, 0, ""},
        {"dir.x/track", wav, 0, ""},
    });
}

TEST(AudioLength, OpensOnlyRegularFiles) {
    VORLIN_SKIP_ON_WINDOWS("FIFOs");
    TempDir dir;
    ScopedCwd cwd(dir.path());
    CdFrames frames = -1;
    EXPECT_EQ(measureMessage("gone.wav", frames), "'gone.wav': file open failed\n");
    EXPECT_EQ(frames, 0);
    ::mkdir("d.wav", 0755);
    EXPECT_EQ(measureMessage("d.wav", frames), "'d.wav': file open failed\n");
    EXPECT_EQ(frames, 0);
    // A full header waits in the FIFO, so a measurer that wrongly opens it
    // returns a length instead of hanging.
    ASSERT_EQ(::mkfifo("f.wav", 0644), 0);
    int fifo = ::open("f.wav", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fifo, 0);
    const std::string header = wavHeader(176400);
    ASSERT_EQ(::write(fifo, header.data(), header.size()), static_cast<ssize_t>(header.size()));
    EXPECT_EQ(measureMessage("f.wav", frames), "'f.wav': file open failed\n");
    EXPECT_EQ(frames, 0);
    ::close(fifo);
}
