// Every request through the real ioctl envelope, against a device whose operations have no
// bodies yet: the sizes, the copies, the statuses and the gates of the generated interfaces.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "device/fixture.h"
#include "ioctl/requestIndex.h"
#include "ioctl/operationsDevice.h"

namespace ioctltest {
namespace {

using namespace kzvorn_driver::nKZAPAL000;
using nKZAPALS100::tStatus;

constexpr int32_t kNotSupported = -52002;
constexpr int32_t kNotOnThisDevice = static_cast<int32_t>(0xBFFA4308);
constexpr int32_t kSessionInvalidated = static_cast<int32_t>(0xBFFA9179);
constexpr int32_t kKernelBadParameter = -51009;   // -52005
constexpr int32_t kKernelNotSupported = -51256;   // -52002

// The reached level answered by a body of the test's own; every other request has none.
class LevelDevice : public OperationsDevice {
public:
    using OperationsDevice::OperationsDevice;
    void kzvorn_getSetupLevel(tEventDescriptor& event, const kzvorn_driver::tStatusRecord&,
                              kzvorn_driver::tValue32Record& output, tStatus& status) override {
        output.value = 22;
    }
};

class Envelope : public devicetest::DeviceFixture {
protected:
    void SetUp() override {
        DeviceFixture::SetUp();
        device = addOperationsDevice<LevelDevice>(kernel_, *function_);
        ASSERT_NE(device, nullptr);
    }

    struct Result {
        int32_t transport;
        uint32_t bytesReturned;
        std::vector<uint8_t> output;
    };
    static constexpr uint32_t kUntouched = 0x5A5A5A5A;

    // Sends the input bytes; the output area is prefilled with 0xAA.
    static Result send(kal::sim::Session& session, uint32_t code, const std::vector<uint8_t>& input,
                       uint32_t outputSize) {
        Result result{0, 0, std::vector<uint8_t>(outputSize, 0xAA)};
        auto reply = session.ioctl(code, input.data(), static_cast<uint32_t>(input.size()), result.output.data(),
                                   outputSize, kUntouched);
        result.transport = reply.result;
        result.bytesReturned = reply.bytesReturned;
        return result;
    }
    static std::vector<uint8_t> record(const IndexRow& row, int32_t callerStatus, uint8_t fill = 0) {
        std::vector<uint8_t> bytes(row.inputSize, fill);
        std::memcpy(bytes.data() + row.inputStatusOffset, &callerStatus, 4);
        return bytes;
    }
    static int32_t statusOf(const IndexRow& row, const Result& result) {
        int32_t status = 0;
        std::memcpy(&status, result.output.data() + row.outputStatusOffset, 4);
        return status;
    }

    LevelDevice* device = nullptr;
};

TEST_F(Envelope, EveryCodeCarriesItsExactRecords) {
    auto session = kernel_.open("smu_kzvorn");
    ASSERT_TRUE(session);
    for (const IndexRow& row : kIndex) {
        SCOPED_TRACE(row.name);
        device->gateLevels.clear();
        Result result = send(session, row.code, record(row, 0), row.outputSize);
        ASSERT_EQ(result.transport, 0);
        EXPECT_EQ(result.bytesReturned, row.outputSize);
        if (row.level == kNone) {
            EXPECT_EQ(statusOf(row, result), kNotOnThisDevice);
            EXPECT_TRUE(device->gateLevels.empty());
        } else {
            EXPECT_EQ(statusOf(row, result), row.code == 0x00202B00 ? 0 : kNotSupported);
            EXPECT_EQ(device->gateLevels, std::vector<uint32_t>{row.level});
        }
        // Results and padding are zero.
        std::vector<uint8_t> rest = result.output;
        std::memset(rest.data() + row.outputStatusOffset, 0, 4);
        if (row.code != 0x00202B00) {
            EXPECT_EQ(rest, std::vector<uint8_t>(row.outputSize, 0));
        }
    }
    EXPECT_EQ(device->gateSessions.front(), session.handle());
}

// The status is read where the record keeps it, whatever the padding after it holds.
TEST_F(Envelope, CallerStatusComesBackFromEveryCode) {
    auto session = kernel_.open("smu_kzvorn");
    ASSERT_TRUE(session);
    for (const IndexRow& row : kIndex) {
        SCOPED_TRACE(row.name);
        for (int32_t caller : {-1, -7}) {
            Result result = send(session, row.code, record(row, caller, 0x11), row.outputSize);
            ASSERT_EQ(result.transport, 0);
            EXPECT_EQ(statusOf(row, result), caller);
        }
    }
}

TEST_F(Envelope, SizesOffByOneAreRefusedAndWriteNothing) {
    auto session = kernel_.open("smu_kzvorn");
    ASSERT_TRUE(session);
    for (const IndexRow& row : kIndex) {
        SCOPED_TRACE(row.name);
        const struct {
            uint32_t in, out;
        } cases[] = {{row.inputSize - 1, row.outputSize},
                     {row.inputSize + 1, row.outputSize},
                     {row.inputSize, row.outputSize - 1},
                     {row.inputSize, row.outputSize + 1}};
        for (const auto& sizes : cases) {
            std::vector<uint8_t> input(sizes.in, 0);
            Result result = send(session, row.code, input, sizes.out);
            EXPECT_EQ(result.transport, kKernelBadParameter);
            EXPECT_EQ(result.bytesReturned, kUntouched);
            EXPECT_EQ(result.output, std::vector<uint8_t>(sizes.out, 0xAA));
        }
    }
    EXPECT_TRUE(device->gateLevels.empty());
}

TEST_F(Envelope, UnknownCodesAreNotSupported) {
    auto session = kernel_.open("smu_kzvorn");
    ASSERT_TRUE(session);
    // Unassigned operation bytes, a known operation with another direction or size, an empty family.
    for (uint32_t code : {0x00208106u, 0x00208107u, 0x00208009u, 0x00202700u, 0x00208400u, 0x80208401u,
                          0x00102B00u, 0x00208700u, 0x002081B6u, 0u}) {
        SCOPED_TRACE(code);
        Result result = send(session, code, std::vector<uint8_t>(8, 0), 8);
        EXPECT_EQ(result.transport, kKernelNotSupported);
        EXPECT_EQ(result.bytesReturned, kUntouched);
        EXPECT_EQ(result.output, std::vector<uint8_t>(8, 0xAA));
    }
}

TEST_F(Envelope, CoolingInterfaceAnswersOnlyItsTwoCodes) {
    auto session = kernel_.open("nPXICOOLING_17_2_pxiCooling");
    ASSERT_TRUE(session);
    for (const IndexRow& row : kIndex) {
        SCOPED_TRACE(row.name);
        Result result = send(session, row.code, record(row, 0), row.outputSize);
        if (row.code == kGetRequestedCoolingMode || row.code == kSetCoolingMode) {
            ASSERT_EQ(result.transport, 0);
            EXPECT_EQ(statusOf(row, result), kNotSupported);
        } else {
            EXPECT_EQ(result.transport, kKernelNotSupported);
            EXPECT_EQ(result.output, std::vector<uint8_t>(row.outputSize, 0xAA));
        }
    }
    EXPECT_EQ(device->gateLevels, (std::vector<uint32_t>{22, 22}));
}

// A refused gate reaches the operation status; the two operations without a body pass no gate.
TEST_F(Envelope, GateRefusalIsTheOperationStatus) {
    auto session = kernel_.open("smu_kzvorn");
    ASSERT_TRUE(session);
    device->gateCode = kSessionInvalidated;
    for (const IndexRow& row : kIndex) {
        SCOPED_TRACE(row.name);
        Result result = send(session, row.code, record(row, 0), row.outputSize);
        ASSERT_EQ(result.transport, 0);
        EXPECT_EQ(statusOf(row, result), row.level == kNone ? kNotOnThisDevice : kSessionInvalidated);
    }
}

TEST_F(Envelope, BodyResultsAndWarnings) {
    auto session = kernel_.open("smu_kzvorn");
    ASSERT_TRUE(session);
    const IndexRow& level = *std::find_if(std::begin(kIndex), std::end(kIndex),
                                          [](const IndexRow& row) { return row.code == 0x00202B00; });
    Result result = send(session, level.code, record(level, 5), 8);
    ASSERT_EQ(result.transport, 0);
    EXPECT_EQ(result.output, (std::vector<uint8_t>{22, 0, 0, 0, 5, 0, 0, 0}));
    // A warning from the caller does not stop an operation that records an error.
    const IndexRow& reset = *std::find_if(std::begin(kIndex), std::end(kIndex),
                                          [](const IndexRow& row) { return row.code == 0x00208600; });
    result = send(session, reset.code, record(reset, 5), 4);
    EXPECT_EQ(statusOf(reset, result), kNotSupported);
}

// Output fields that start as the caller's input keep it when the operation does not set them.
TEST_F(Envelope, InOutFieldsStartAsTheCallersValue) {
    auto session = kernel_.open("smu_kzvorn");
    ASSERT_TRUE(session);
    const struct {
        uint32_t code;
        uint32_t inputSize, inputOffset;
        uint32_t outputSize, outputOffset;
        uint32_t width;
    } cases[] = {
        {0x00208208, 32, 24, 8, 0, 1},   // waitUntilBytesTransferred: the timed-out flag
        {0x00208111, 48, 20, 8, 0, 4},   // getRegisterFormat: the field count
        {0x00208003, 24, 16, 8, 0, 4},   // reserveRoute: the capacity
        {0x00208007, 24, 16, 8, 0, 4},   // getRouteTerminalPath: the capacity
        {0x00208001, 56, 48, 12, 4, 4},  // calculateRoute: the route capacity, as the count
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        std::vector<uint8_t> input(c.inputSize, 0);
        const uint32_t value = 0x01020301;
        std::memcpy(input.data() + c.inputOffset, &value, c.width);
        Result result = send(session, c.code, input, c.outputSize);
        ASSERT_EQ(result.transport, 0);
        uint32_t echoed = 0;
        std::memcpy(&echoed, result.output.data() + c.outputOffset, c.width);
        EXPECT_EQ(echoed, c.width == 1 ? 1u : value);
        int32_t status = 0;
        std::memcpy(&status, result.output.data() + c.outputSize - 4, 4);
        EXPECT_EQ(status, kNotSupported);
    }
}

TEST_F(Envelope, RefusedCopiesAreTheTransportStatus) {
    auto session = kernel_.open("smu_kzvorn");
    ASSERT_TRUE(session);
    const IndexRow& row = kIndex[0];
    {
        // The callback's copy of the envelope comes first, then the record's.
        kal::sim::FailKernelCall fail("replicateInboundIOControlBuffer", 2, 1, -51352);
        Result result = send(session, row.code, record(row, 0), row.outputSize);
        EXPECT_EQ(result.transport, -51352);
        EXPECT_EQ(result.bytesReturned, kUntouched);
        EXPECT_EQ(result.output, std::vector<uint8_t>(row.outputSize, 0xAA));
    }
    EXPECT_TRUE(device->gateLevels.empty());
    {
        kal::sim::FailKernelCall fail("replicateOutboundIOControlBuffer", 1, 1);
        Result result = send(session, row.code, record(row, 0), row.outputSize);
        EXPECT_EQ(result.transport, kKernelBadParameter);
        EXPECT_EQ(result.output, std::vector<uint8_t>(row.outputSize, 0xAA));
    }
    // Records outside the caller's memory are refused by the copies, not followed.
    std::vector<uint8_t> output(row.outputSize, 0xAA);
    for (uint64_t input : {uint64_t{0x1000}, ~uint64_t{0}}) {
        tIOControlEnvelope envelope{input, reinterpret_cast<uint64_t>(output.data()), row.inputSize, row.outputSize,
                                    0, 0};
        kal::sim::UserMemory user(&envelope, sizeof(envelope));
        kal::sim::UserMemory userOutput(output.data(), output.size());
        EXPECT_EQ(session.ioctlRaw(row.code, reinterpret_cast<uint64_t>(&envelope)), kKernelBadParameter);
        EXPECT_EQ(envelope.bytesReturned, 0u);
    }
    EXPECT_EQ(output, std::vector<uint8_t>(row.outputSize, 0xAA));
}

}  // namespace
}  // namespace ioctltest
