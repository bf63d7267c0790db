// The four input surfaces of the tool, each run on one arbitrary input and
// checked against the promises the tool makes for it. The libFuzzer targets
// and the test that replays the kept inputs share these entry points.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorlin::fuzz {

// Each returns nullptr when every promise held, or a description of the one
// that broke. They print what the tool prints.

// The first byte's lowest bit is the --force switch; the rest is a cue sheet,
// fixed in place beside a small album of real audio files of known length,
// under a name made of its first line (line feed and any control bytes
// included). A dry run comes first: it must change nothing, and its diff,
// applied to the sheet, must give exactly what the real run writes. The
// messages of both runs hold no control byte but their line ends, and the
// diff's header lines name the sheet exactly.
const char* runCueSheet(const std::uint8_t* data, std::size_t size);

// The bytes as a WAV file, measured through an open stdio stream and compared
// with a plain two-bytes-at-a-time reading of the header.
const char* runWav(const std::uint8_t* data, std::size_t size);

// The bytes as an MPC file, measured from memory and from a real file, which
// must agree (stream version 8 by its packet reader, older versions by their
// frames), and walked with the fast frame walk and the code-by-code parse,
// which must consume the same bits frame by frame, and measured by its frame
// chain, which must give the ring walk's answer.
const char* runMpc(const std::uint8_t* data, std::size_t size);

// The bytes after the first as a FLAC, WavPack, Monkey's Audio, TTA or AIFF
// file (the first byte chooses), measured from its header, twice, with the
// same answer.
const char* runHeaders(const std::uint8_t* data, std::size_t size);

// The third check of runMpc on its own: the frame chain, hopped and checked
// with 1 to 8 threads in chunks of several sizes, against the walk through
// the ring.
const char* compareMpcChain(const std::uint8_t* data, std::size_t size);

// The second check of runMpc on its own; `frames` receives the frames walked.
const char* compareMpcWalks(const std::uint8_t* data, std::size_t size, int* frames = nullptr);

} // namespace vorlin::fuzz
