// Every kept fuzzing input, the seed corpora and the inputs that once broke a
// promise, replayed through the fuzzers' own entry points.
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/entries.hpp"
#include "test_support.hpp"

namespace vorlin::test {
namespace {

struct Surface {
    const char* name;
    const char* (*run)(const std::uint8_t*, std::size_t);
};

void PrintTo(const Surface& surface, std::ostream* out) {
    *out << surface.name;
}

class FuzzReplay : public ::testing::TestWithParam<Surface> {};

TEST_P(FuzzReplay, KeptInputsKeepEveryPromise) {
    namespace fs = std::filesystem;
    const Surface surface = GetParam();
    int replayed = 0;
    for (const char* kind : {"corpus", "regressions"}) {
        fs::path dir = fs::path(VORLIN_SOURCE_DIR) / "fuzz" / kind / surface.name;
        if (!fs::is_directory(dir)) continue;
        for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
            const std::string bytes = readFile(entry.path().string());
            const char* broken = nullptr;
            captureStdout([&] {
                broken =
                    surface.run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            });
            EXPECT_EQ(broken, nullptr) << entry.path() << ": " << broken;
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 10);
}

INSTANTIATE_TEST_SUITE_P(Surfaces, FuzzReplay,
                         ::testing::Values(Surface{"cue_sheet", fuzz::runCueSheet},
                                           Surface{"wav", fuzz::runWav},
                                           Surface{"mpc", fuzz::runMpc},
                                           Surface{"headers", fuzz::runHeaders}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace vorlin::test
