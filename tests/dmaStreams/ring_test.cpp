// Continuous lists through the dispatcher: a ring started, stopped, given more buffers and started
// again plays each of its buffers once per lap, in the order they were added, both to and from
// the device, with the board's smallest links and its default ones.
#include <algorithm>
#include <ostream>
#include <string>

#include "fixture.h"

namespace dmastreams {
namespace {

using dmatest::UserPages;

constexpr uint32_t kContinuous = 1;
constexpr uint64_t kPage = 4096;

struct RingCase {
    unsigned linkSizeLog2;
    uint32_t stream;  // even: from the device, odd: to it
};

void PrintTo(const RingCase& c, std::ostream* out) {
    *out << "links of " << (1u << c.linkSizeLog2) << " bytes, stream " << c.stream;
}

std::string ringName(const ::testing::TestParamInfo<RingCase>& info) {
    return std::string(info.param.stream % 2 == 0 ? "Measure" : "Source") + "Links" +
           std::to_string(1u << info.param.linkSizeLog2);
}

board::ProductOptions withLinkSize(unsigned log2) {
    board::ProductOptions options = kzmaps::configuredAtStart();
    options.bridgeCore.sglLinkSizeLog2 = log2;
    return options;
}

class Rings : public Streams, public ::testing::WithParamInterface<RingCase> {
public:
    Rings() : Streams(withLinkSize(GetParam().linkSizeLog2)) {}
};

// Buffers of distinct sizes and contents, each on a page of its own.
struct Buffer {
    uint64_t offset;
    uint64_t size;
};

TEST_P(Rings, EachBufferPlaysOncePerLapInTheOrderAdded) {
    const uint32_t stream = GetParam().stream;
    const bool fromDevice = stream % 2 == 0;
    UserPages user(3);
    if (fromDevice) std::fill(user.data(), user.data() + user.size(), 0);
    const Buffer buffers[] = {{0, 96}, {kPage, 48}, {2 * kPage, 32}};
    const uint64_t lap = 96 + 48 + 32;
    tStatus status = add(stream, kContinuous, user.address(buffers[0].offset), buffers[0].size);
    dispatcher->startDMA(stream, true, session, status);
    dispatcher->writeStreamAdditiveTransferCount(stream, 1 << 20, status);
    EXPECT_EQ(engine.pump(stream, 2 * 96), 2 * 96u);
    dispatcher->stopDMA(stream, session, status);
    for (const Buffer& b : {buffers[1], buffers[2]})
        nKZAPALS100::merge(status, add(stream, kContinuous, user.address(b.offset), b.size));
    const uint64_t restart = dispatcher->getTransferCount(stream, status);
    dispatcher->startDMA(stream, true, session, status);
    dispatcher->writeStreamAdditiveTransferCount(stream, 1 << 20, status);
    ASSERT_EQ(status.code, 0);

    for (uint64_t laps = 1; laps <= 3; ++laps) {
        SCOPED_TRACE(::testing::Message() << "lap " << laps);
        ASSERT_EQ(engine.pump(stream, lap), lap);
        // The sink holds every byte the stream moved, the count's position on.
        const auto sink = engine.sink(stream);
        uint64_t position = restart + (laps - 1) * lap;
        for (const Buffer& b : buffers) {
            for (uint64_t i = 0; i < b.size; ++i) {
                const uint8_t expected =
                    fromDevice ? board::dmaPatternByte(stream, position + i) : user.data()[b.offset + i];
                const uint8_t seen = fromDevice ? user.data()[b.offset + i] : sink.at(position + i);
                ASSERT_EQ(seen, expected) << "buffer at " << b.offset << ", byte " << i;
            }
            position += b.size;
        }
    }
    session.cleanup(st);
    EXPECT_EQ(st.code, 0);
}

INSTANTIATE_TEST_SUITE_P(BothDirectionsAndLinkSizes, Rings,
                         ::testing::Values(RingCase{5, 0}, RingCase{5, 1}, RingCase{9, 0}, RingCase{9, 1}),
                         ringName);

}  // namespace
}  // namespace dmastreams
