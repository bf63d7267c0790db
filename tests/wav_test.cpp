// Audio lengths from WAV headers, and the choice of measurer by extension.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "audio/length.hpp"
#include "tests/measure_cases.hpp"
#include "tests/test_support.hpp"

using namespace vorlin;
using namespace vorlin::test;

namespace {

const std::string riffWave = "RIFF" + le32(0) + "WAVE";
// A PCM format chunk of 16 bytes for 16-bit stereo at 44100 Hz.
const std::string fmt16 =
    "fmt " + le32(16) + le16(1) + le16(2) + le32(44100) + le32(176400) + le16(4) + le16(16);

} // namespace

TEST(WavLength, SizesAndSampleFormats) {
    expectMeasures({
        {"a.wav", wavHeader(176400), 75, ""},
        {"a.wav", wavHeader(176401), 0, ""},
        {"a.wav", wavHeader(176402), 0, ""},
        {"a.wav", wavHeader(192000, 2, 16, 48000), 81, ""}, // the declared rate is ignored
        {"a.wav", wavHeader(587 * 4), 0, ""},
        {"a.wav", wavHeader(588 * 4), 1, ""},
        {"a.wav", wavHeader(44100 * 3, 1, 24), 75, ""},
        {"a.wav", wavHeader(176400, 2, 12), 75, ""},
        {"a.wav", wavHeader(44100 * 2 * 8192, 2, 0xFFFF), 75, ""},
        {"a.wav", wavHeader(0), 0, ""},
        {"a.wav", wavHeader(0xFFFFFEFC), 1826091, ""},
        {"a.wav", wavHeader(0xFFFFFF00), 0, ""},
        {"a.wav", wavHeader(0xFFFFFFFF), 0, ""},
        {"a.wav", wavHeader(176400, 0, 16), 0, ""},
        {"a.wav", wavHeader(176400, 2, 0), 0, ""},
    });
}

TEST(WavLength, HeaderChecksAndTheDataScan) {
    const std::string data = "data" + le32(176400);
    const std::string invalid = "'a.wav': invalid WAV\n";
    expectMeasures({
        {"a.wav", riffWave + fmt16 + data, 75, ""},
        // A format chunk of 18 bytes and chunks before the data are passed over.
        {"a.wav",
         riffWave + "fmt " + le32(18) + le16(1) + le16(2) + le32(44100) + le32(176400) + le16(4) +
             le16(16) + le16(0) + data,
         75, ""},
        {"a.wav", riffWave + fmt16 + "LIST" + le32(4) + "INFO" + "fact" + le32(4) + le32(9) + data,
         75, ""},
        // The first "data" at an even offset wins, even inside another chunk.
        {"a.wav", riffWave + fmt16 + "LIST" + le32(8) + "data" + le32(2352) + data, 1, ""},
        // Odd offsets are never looked at.
        {"a.wav", riffWave + fmt16 + "LIST" + le32(3) + "abc" + data, 0, ""},
        {"a.wav", riffWave + fmt16 + "LIST" + le32(3) + "abc" + data + "x" + data, 75, ""},
        // A "da" pair followed by another one hides a marker that starts there.
        {"a.wav", riffWave + fmt16 + "da" + data, 0, ""},
        {"a.wav", riffWave + fmt16 + "da" + data + data, 75, ""},
        {"a.wav", riffWave + fmt16 + "data", 0, ""},
        {"a.wav", riffWave + fmt16 + "data" + le16(0), 0, ""},
        {"a.wav", riffWave + fmt16, 0, ""},
        {"a.wav", riffWave + "JUNK" + le32(4) + "abcd" + fmt16 + data, 0, invalid},
        {"a.wav", "RIFX" + le32(0) + "WAVE" + fmt16 + data, 0, invalid},
        {"a.wav", "RIFF" + le32(0) + "AVI " + fmt16 + data, 0, invalid},
        {"a.wav", riffWave + "fmt " + le32(16) + le16(3) + fmt16.substr(10) + data, 0, invalid},
        {"a.wav", riffWave + "fmt " + le32(40) + le16(0xFFFE) + fmt16.substr(10) + data, 0,
         invalid},
        {"a.wav", riffWave + "fmt " + le32(16) + "\x01", 0, invalid},
        {"a.wav", "", 0, invalid},
    });
}
