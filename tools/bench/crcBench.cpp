// CRC-32 over the bytes a 4 KiB storage map's checksum covers (all but the stored checksum) and
// over 64 KiB, against zlib's crc32 over the same bytes, interleaved repetition by repetition.
#include <zlib.h>

#include <vector>

#include "benchSupport.h"
#include "storageMap/checksum.h"

namespace {

constexpr size_t kMapBytes = 4096 - 4;
constexpr size_t kLargeBytes = 64 * 1024;

const std::vector<uint8_t>& bytes() {
    static const std::vector<uint8_t> b = [] {
        std::vector<uint8_t> made(kLargeBytes);
        for (size_t i = 0; i < made.size(); ++i) made[i] = static_cast<uint8_t>(i * 131 + 7 + (i >> 9));
        return made;
    }();
    return b;
}

volatile uint32_t gSink;

bool ours(size_t size) {
    nKZAPALS100::tStatus status;
    gSink = storagemap::CRC32Checksum().calculate(bytes().data(), size, status);
    return status.isNotFatal();
}

bool zlib(size_t size) {
    gSink = static_cast<uint32_t>(crc32(0, bytes().data(), static_cast<uInt>(size)));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Both must agree before either is timed, and the check value must hold.
    nKZAPALS100::tStatus status;
    if (storagemap::CRC32Checksum().calculate("123456789", 9, status) != 0xCBF43926u) {
        std::fprintf(stderr, "crc-bench: the check value of \"123456789\" is not 0xCBF43926\n");
        return 1;
    }
    for (size_t size : {kMapBytes, kLargeBytes}) {
        if (storagemap::CRC32Checksum().calculate(bytes().data(), size, status) !=
            crc32(0, bytes().data(), static_cast<uInt>(size))) {
            std::fprintf(stderr, "crc-bench: the checksum of %zu bytes differs from zlib's\n", size);
            return 1;
        }
    }
    if (bench::underValgrind()) {
        // Instructions a byte, ours and zlib's (zlib is "the rest").
        const bool ok = bench::countInstructions("crc-4092 per=4092", 100, [] { return ours(kMapBytes); }) &&
                        bench::countInstructions("zlib-crc-4092 per=4092", 100, [] { return zlib(kMapBytes); });
        return ok ? 0 : 1;
    }
    bench::Runner runner(argc, argv, "crc-bench");
    for (size_t size : {kMapBytes, kLargeBytes}) {
        const std::string figure = "CRC-32 throughput against zlib's at " + std::to_string(size) + " bytes";
        const std::vector<double> ns =
            runner.interleave(figure.c_str(), {[size] { return ours(size); }, [size] { return zlib(size); }});
        if (ns[0] > 0)
            std::printf("median: CRC-32 of %zu bytes %.1f ns (%.2f GB/s), zlib %.1f ns (%.2f GB/s)\n", size, ns[0],
                        double(size) / ns[0], ns[1], double(size) / ns[1]);
        // Throughput: zlib's time over ours.
        const std::string goal = figure + " (zlib time / ours)";
        bench::printRatioGoal(goal.c_str(), runner, 1, 0, 1.0, false);
    }
    return runner.exitCode();
}
