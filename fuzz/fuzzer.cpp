// libFuzzer target: arbitrary bytes through one entry point of fuzz/entries,
// chosen when the target is built (VORLIN_FUZZ_ENTRY, e.g. runMpc).
#include <cstdio>
#include <cstdlib>

#include "fuzz/entries.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The tool's messages would drown the fuzzer's own report.
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (const char* broken = vorlin::fuzz::VORLIN_FUZZ_ENTRY(data, size)) {
        std::fprintf(stderr, "broken promise: %s\n", broken);
        std::abort();
    }
    return 0;
}
