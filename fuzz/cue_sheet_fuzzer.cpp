// libFuzzer target: arbitrary bytes through vorlin::fuzz::runCueSheet.
#include <cstdio>
#include <cstdlib>

#include "fuzz/entries.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The tool's messages would drown the fuzzer's own report.
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (const char* broken = vorlin::fuzz::runCueSheet(data, size)) {
        std::fprintf(stderr, "broken promise: %s\n", broken);
        std::abort();
    }
    return 0;
}
