// Formats whose headers record their length in sample frames: WavPack,
// Monkey's Audio, TTA and AIFF (and FLAC, which has its own file,
// audio/flac.hpp). Each has its own small reader of the fields it needs; the
// audio itself is never read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "audio/length.hpp"

namespace vorlin {

// What a header records: 0 frames when it is not found or not whole.
struct RecordedCount {
    std::uint64_t sampleFrames = 0;
    std::uint32_t sampleRate = 0;
};

// Each reads the open regular file `descriptor` of `size` bytes as its format,
// whatever its content.
//
// WavPack: the blocks from the start of the file, each a 32-byte header
// ("wvpk", a size of 24 bytes to 1 MiB past its first 8 bytes, a version
// from 0x402 to 0x410); blocks of no samples, or that do not start a frame,
// are passed over. The first block of samples gives the total (40 bits; the
// low 32 all ones: unknown) and the rate (its flags' index, or the sample
// rate sub-block of a custom rate, the block then whole within the file).
// When the total is unknown, the block headers are walked to the end of the
// blocks and the samples of every block that starts a frame are added up.
// A stream of DSD audio (the DSD flag, the top bit of the block's flags)
// gives 0 frames: its counts are of DSD samples, not of PCM sample frames.
RecordedCount readWavPackCount(int descriptor, std::int64_t size);

// Monkey's Audio: "MAC " at the start of the file or after ID3v2 tags,
// then the descriptor and header of version 3.98 and later, or the single
// header of older versions (the frame size from the version and level).
// The total is (frames - 1) x samples per frame + the final frame's samples.
RecordedCount readMonkeysAudioCount(int descriptor, std::int64_t size);

// TTA: the "TTA1" header at the start of the file or after ID3v2 tags: its
// sample count and rate (its CRC is not checked).
RecordedCount readTrueAudioCount(int descriptor, std::int64_t size);

// AIFF and AIFF-C: the "FORM" container's chunks walked by their sizes (each
// whole within the file, odd sizes padded; a name outside ASCII ends them);
// the first "COMM" chunk gives the sample frames and the 80-bit extended
// rate, and there must be a "SSND" chunk.
RecordedCount readAiffCount(int descriptor, std::int64_t size);

// Each measures `path`, read as its format whatever its content:
// audioOpenFailed for a file that is missing or not regular,
// unrecognizedFormat when its header is not found, records 0 frames or
// declares a rate below minimumSampleRate or of 2^31 Hz and more (a
// misread header).
AudioLength wavPackLengthFrames(const std::string& path);
AudioLength monkeysAudioLengthFrames(const std::string& path);
AudioLength trueAudioLengthFrames(const std::string& path);
AudioLength aiffLengthFrames(const std::string& path);

} // namespace vorlin
