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
    // The rest of STREAMINFO, read with the counts; for a total of 0.
    bool found = false; // the metadata walked whole and STREAMINFO read
    std::uint32_t minBlockSize = 0;
    std::uint32_t maxBlockSize = 0;
    std::uint32_t maxFrameSize = 0; // 0: unknown
    std::uint32_t channels = 0;
    std::uint32_t bitsPerSample = 0;
    std::int64_t audioStart = 0; // where the frames begin, after the metadata
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

// The sample frames of a stream whose STREAMINFO total is 0 (an encoder that
// wrote to a pipe could not go back to fill it in), counted from its last
// whole frame: searched back from the end of the file (past an ID3v1 tag
// and an APEv2 tag), a frame header (sync code, reserved bits clear, a CRC-8
// that matches) whose frame runs to a CRC-16 footer that matches, at the end
// of the stream or at the next frame header. Its first sample (its coded
// sample number, or its frame number times the stream's fixed block size)
// plus its block size is the count. Only the tail is read, a few frames'
// worth (bounded by STREAMINFO's largest frame, or by its largest block
// stored verbatim); 0 when it holds no whole frame.
std::uint64_t countFlacFrames(int descriptor, std::int64_t size, const FlacStreamInfo& info);

// Measures a FLAC file: audioOpenFailed for a file that is missing or not
// regular, unrecognizedFormat when no STREAMINFO is found, it records 0
// sample frames and no whole frame is found at the end (countFlacFrames), or
// a rate below 8000 Hz.
AudioLength flacLengthFrames(const std::string& path);

} // namespace vorlin
