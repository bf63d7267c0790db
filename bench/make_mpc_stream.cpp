// Writes a realistic MPC stream of at least the given size and prints its
// length in CD frames.
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "tests/mpc_writer.hpp"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_mpc_stream OUTPUT VERSION MEGABYTES\n");
        return 2;
    }
    unsigned version = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 0));
    std::size_t bytes = static_cast<std::size_t>(std::strtod(argv[3], nullptr) * 1e6);
    auto stream = vorlin::test::realisticStream(20261207, version, bytes);
    std::ofstream(argv[1], std::ios::binary)
        .write(stream.bytes.data(), static_cast<std::streamsize>(stream.bytes.size()));
    std::printf("%lld\n", static_cast<long long>(stream.cdFrames));
    return 0;
}
