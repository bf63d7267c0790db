// Benchmarks of the MPC measurement's inner parts and of a whole stream.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>

#include "audio/length.hpp"
#include "mpc/frame_chain.hpp"
#include "mpc/frame_scanner.hpp"
#include "mpc/mpc_length.hpp"
#include "tests/mpc_writer.hpp"

using namespace vorlin;

namespace {

// A scanner whose ring holds `bytes` from the start, read from bit 0.
struct LoadedScanner {
    explicit LoadedScanner(const std::string& bytes)
        : stream(bytes.data(), bytes.size()), scanner(new FrameScanner(stream)) {
        scanner->bits().startAt(0, 0);
    }
    void rewind() {
        scanner->bits().resetBits();
        scanner->bits().currentWord = scanner->bits().ring[0];
    }
    MemoryByteStream stream;
    std::unique_ptr<FrameScanner> scanner;
};

const CodeTable& tableByIndex(FrameScanner& s, int index) {
    const CodeTable* sv46[12] = {
        &s.tables().sv6RegionA,    &s.tables().sv6RegionB,    &s.tables().sv6RegionC,
        &s.tables().sv6ScfiBundle, &s.tables().sv6ScaleDelta, &s.tables().sv6Quant[0],
        &s.tables().sv6Quant[1],   &s.tables().sv6Quant[2],   &s.tables().sv6Quant[3],
        &s.tables().sv6Quant[4],   &s.tables().sv6Quant[5],   &s.tables().sv6Quant[6]};
    if (index < 12) return *sv46[index];
    index -= 12;
    if (index == 0) return s.tables().sv7ResolutionDelta;
    if (index == 1) return s.tables().sv7Scfi;
    if (index == 2) return s.tables().sv7ScaleDelta;
    index -= 3;
    return s.tables().sv7Quant[index / 2][index % 2];
}

std::string tableName(int index) {
    return index < 12 ? sv46Listings[index].name : sv7Listings[index - 12].name;
}

// One code of one table, over random bits (every code as often as a random
// stream holds it).
void BM_HuffDecode(benchmark::State& state) {
    std::mt19937 rng(1);
    std::string bytes(65536, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    LoadedScanner loaded(bytes);
    FrameScanner& s = *loaded.scanner;
    const CodeTable& table = tableByIndex(s, static_cast<int>(state.range(0)));
    state.SetLabel(tableName(static_cast<int>(state.range(0))));
    std::int64_t codes = 0;
    for (auto _ : state) {
        loaded.rewind();
        for (int i = 0; i < 4096; ++i) benchmark::DoNotOptimize(s.huffDecode(table));
        codes += 4096;
    }
    state.SetItemsProcessed(codes);
}
BENCHMARK(BM_HuffDecode)->DenseRange(0, 28);

// One realistic frame body, parsed again and again from the same place.
void BM_FrameBody(benchmark::State& state) {
    const unsigned version = static_cast<unsigned>(state.range(0));
    std::mt19937 rng(2);
    test::StreamShape shape{version, true, 31};
    test::BitWriter body;
    test::FrameContent content =
        version == 7 ? test::realisticSv7Frame(rng, shape) : test::realisticSv46Frame(rng, shape);
    if (version == 7)
        test::writeSv7Body(body, content, shape);
    else
        test::writeSv46Body(body, content, shape);
    LoadedScanner loaded(body.bytes());
    FrameScanner& s = *loaded.scanner;
    s.setShape(true, 31);
    const bool fast = state.range(1) != 0;
    for (auto _ : state) {
        loaded.rewind();
        if (version == 7)
            fast ? s.parseFrameSv7Fast() : s.parseFrameSv7();
        else
            fast ? s.parseFrameSv46Fast() : s.parseFrameSv46();
        if (s.bits().bitsConsumed() != body.bitCount()) state.SkipWithError("wrong frame length");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(body.bitCount() / 8));
    state.SetLabel(std::string(version == 7 ? "SV7" : "SV4-6") +
                   (fast ? " fast" : " code by code"));
}
BENCHMARK(BM_FrameBody)->Args({7, 0})->Args({7, 1})->Args({6, 0})->Args({6, 1});

// A whole realistic stream of 8 MB measured from memory: the frame walk
// through the ring (threads 0), or the frame chain on 1 or 2 threads.
void BM_MeasureStream(benchmark::State& state) {
    const unsigned version = static_cast<unsigned>(state.range(0));
    const unsigned threads = static_cast<unsigned>(state.range(1));
    static const test::RealisticStream sv7 = test::realisticStream(3, 7, 8'000'000);
    static const test::RealisticStream sv6 = test::realisticStream(3, 6, 8'000'000);
    const test::RealisticStream& stream = version == 7 ? sv7 : sv6;
    const std::int64_t expected = stream.cdFrames;
    for (auto _ : state) {
        MemoryByteStream memory(stream.bytes.data(), stream.bytes.size());
        StreamHeader header;
        readStreamHeader(header, memory);
        const std::int64_t samples =
            threads ? chainSamples(memory, header, {threads}) : ringWalkSamples(memory, header);
        if (samplesToCdFrames(samples) != expected) state.SkipWithError("wrong length");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(stream.bytes.size()));
    state.SetLabel(std::string(version == 7 ? "SV7" : "SV4-6") +
                   (threads ? ", chain on " + std::to_string(threads) + " thread(s)" : ", ring"));
}
BENCHMARK(BM_MeasureStream)
    ->ArgsProduct({{7, 6}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same through mpcLengthFrames from a file (in the page cache after the
// first round): opening, reading the ring's blocks, walking.
void BM_MpcLengthFrames(benchmark::State& state) {
    const unsigned version = static_cast<unsigned>(state.range(0));
    const test::RealisticStream stream = test::realisticStream(4, version, 8'000'000);
    char path[] = "/tmp/vorlin-bench-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0 || ::write(fd, stream.bytes.data(), stream.bytes.size()) !=
                      static_cast<ssize_t>(stream.bytes.size())) {
        state.SkipWithError("cannot write the stream file");
        return;
    }
    ::close(fd);
    for (auto _ : state)
        if (mpcLengthFrames(openRegularFile(path)).frames != stream.cdFrames)
            state.SkipWithError("wrong length");
    ::unlink(path);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(stream.bytes.size()));
    state.SetLabel(version == 7 ? "SV7" : "SV4-6");
}
BENCHMARK(BM_MpcLengthFrames)->Arg(7)->Arg(6)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
