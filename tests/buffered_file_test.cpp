// Reading through the buffer: a walk over many small chunks makes few reads.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "audio/buffered_file.hpp"
#include "tests/measure_cases.hpp"
#include "tests/test_support.hpp"

using namespace vorlin;
using namespace vorlin::test;

namespace {

std::string fixture(const std::string& name) {
    return readFile(std::string(VORLIN_SOURCE_DIR) + "/tests/data/formats/" + name);
}

} // namespace

// Every header walk reads through a buffer: an AIFF file of a million empty
// chunks (8 MB of chunk headers) is walked in a few hundred reads, not a
// million.
TEST(HeaderFormats, ChunkWalksReadThroughABuffer) {
    const std::string tone = fixture("encoders/aiff-8bit.aiff");
    // Its chunks after "FORM", the size and "AIFF", with the empty ones
    // put in front of them.
    std::string chunks;
    chunks.reserve(8'000'100);
    for (int i = 0; i < 1'000'000; ++i) chunks.append("NONE\0\0\0\0", 8);
    chunks += tone.substr(12);
    std::string aiff = "FORM";
    for (int shift = 24; shift >= 0; shift -= 8)
        aiff += static_cast<char>((chunks.size() + 4) >> shift & 0xFF);
    aiff += "AIFF" + chunks;
    const std::uint64_t before = BufferedFile::readsMade();
    expectMeasures({{"many.aiff", aiff, 3, ""}});
    const std::uint64_t reads = BufferedFile::readsMade() - before;
    EXPECT_LT(reads, 1000u);
    EXPECT_GT(reads, 0u);
}
