// CRC-32 over the bytes a 4 KiB storage map's checksum covers (all but the stored checksum),
// against zlib's crc32 over the same bytes.
#include <zlib.h>

#include <vector>

#include "benchSupport.h"
#include "storageMap/checksum.h"

namespace {

constexpr size_t kCoveredBytes = 4096 - 4;

const std::vector<uint8_t>& mapBytes() {
    static const std::vector<uint8_t> bytes = [] {
        std::vector<uint8_t> b(kCoveredBytes);
        for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 131 + 7);
        return b;
    }();
    return bytes;
}

void BM_Crc32Checksum(benchmark::State& state) {
    storagemap::CRC32Checksum crc;
    const std::vector<uint8_t>& bytes = mapBytes();
    for (auto _ : state) {
        nKZAPALS100::tStatus status;
        benchmark::DoNotOptimize(crc.calculate(bytes.data(), bytes.size(), status));
        if (status.isFatal()) state.SkipWithError("checksum failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

void BM_ZlibCrc32(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = mapBytes();
    for (auto _ : state)
        benchmark::DoNotOptimize(crc32(crc32(0, nullptr, 0), bytes.data(), static_cast<uInt>(bytes.size())));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

BENCHMARK(BM_Crc32Checksum)->Apply(bench::repeated);
BENCHMARK(BM_ZlibCrc32)->Apply(bench::repeated);

}  // namespace

int main(int argc, char** argv) {
    {
        // Both must agree before either is timed.
        nKZAPALS100::tStatus status;
        const std::vector<uint8_t>& bytes = mapBytes();
        if (storagemap::CRC32Checksum().calculate(bytes.data(), bytes.size(), status) !=
            crc32(0, bytes.data(), static_cast<uInt>(bytes.size()))) {
            std::fprintf(stderr, "the checksum differs from zlib's\n");
            return 1;
        }
    }
    return bench::runBenchmarks(argc, argv, [](const bench::MedianReporter& r) {
        const double ours = r.median("BM_Crc32Checksum");
        const double zlib = r.median("BM_ZlibCrc32");
        std::printf("median: CRC-32 of %zu bytes %.1f ns (%.2f GB/s), zlib %.1f ns (%.2f GB/s)\n", kCoveredBytes, ours,
                    ours > 0 ? kCoveredBytes / ours : 0.0, zlib, zlib > 0 ? kCoveredBytes / zlib : 0.0);
        bench::printRatioGoal("CRC-32 throughput against zlib (zlib time / ours)", ours, zlib, 1.0, false);
    });
}
