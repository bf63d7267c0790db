// FLAC files measured from the total of sample frames in their STREAMINFO
// block, read straight from the file.
#pragma once

#include <cstdint>
#include <string>

#include "audio/length.hpp"

namespace vorlin {

struct FlacStreamInfo {
    std::uint64_t sampleFrames = 0; // 0: unknown, or no usable STREAMINFO block
    std::uint32_t sampleRate = 0;
};

// Finds the STREAMINFO block of the FLAC stream in the open regular file
// `descriptor` of `size` bytes and reads its counts; the audio is not read.
// The stream is found and its metadata walked as the measurer has always
// taken them (through TagLib before this reader, whose verdicts it keeps):
// - ID3v2 tags at the very start, one after another, are passed over by
//   their stated sizes; the stream starts at the first "fLaC" after them
//   (or after the file's start), wherever it lies;
// - the first metadata block must be STREAMINFO, no block but PADDING and
//   SEEKTABLE may be empty, and every block up to the one marked last must
//   be whole within the file;
// otherwise the result is all zeros, as it is when STREAMINFO is shorter
// than its counts (18 bytes).
FlacStreamInfo readFlacStreamInfo(int descriptor, std::int64_t size);

// Measures a FLAC file: audioOpenFailed for a file that is missing or not
// regular, unrecognizedFormat when no STREAMINFO is found, it records 0
// sample frames or a rate below 8000 Hz.
AudioLength flacLengthFrames(const std::string& path);

} // namespace vorlin
