// The one entry of the module that reads WavPack, Monkey's Audio, TTA and
// AIFF headers (and FLAC, for the tests) through TagLib. The tool loads the
// module only when a sheet names such a file, so that neither TagLib nor the
// C++ runtime it needs are loaded when it starts; the tests link it in.
#pragma once

#include <cstdint>

extern "C" {

enum VorlinTaglibResult {
    vorlinTaglibRead = 0,        // counts set; 0 when TagLib could not parse the file
    vorlinTaglibOpenFailed = 1,  // TagLib could not take the descriptor
    vorlinTaglibOutOfMemory = 2, // no memory for TagLib's reading
};

// Reads the sample frames and rate recorded by the file open for reading as
// `descriptor` in the format `format` (a vorlin::TaglibFormat), whatever its
// content. Takes the descriptor over: it is closed when the call returns.
int vorlinTaglibSampleCount(int descriptor, int format, std::uint64_t* frames, int* rate);

using VorlinTaglibSampleCountFunction = int (*)(int, int, std::uint64_t*, int*);
}
