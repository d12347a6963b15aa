#include <gtest/gtest.h>

#include <cstring>

#include "kal/sim/faults.h"
#include "kal/sim/user.h"
#include "kzapal/protons/ioNotifier.h"
#include "kzapal/protons/userMemory.h"

namespace {

using namespace kzvorn_driver::nKZAPAL000;
using nKZAPALS100::tStatus;

struct Notifier : ::testing::Test {
    void SetUp() override { kal::sim::clearSocketMessages(); }
    void TearDown() override { EXPECT_EQ(kal::sim::liveSocketBuffers(), buffersBefore); }

    tIONotifier notifier;
    size_t buffersBefore = kal::sim::liveSocketBuffers();
};

uint64_t cookieOf(const kal::sim::SocketMessage& m) {
    uint64_t cookie;
    std::memcpy(&cookie, m.bytes.data(), 8);
    return cookie;
}
uint32_t lengthOf(const kal::sim::SocketMessage& m) {
    uint32_t length;
    std::memcpy(&length, m.bytes.data() + 8, 4);
    return length;
}

TEST_F(Notifier, MessagesCarryCookieLengthAndPayload) {
    tStatus status;
    notifier.open({0x1122334455667788ull, 4100}, status);
    ASSERT_TRUE(notifier.isOpen());
    const uint8_t payload[5] = {9, 8, 7, 6, 5};
    notifier.notify(payload, sizeof(payload), status);
    notifier.notify(nullptr, 0, status);
    EXPECT_TRUE(status.isSuccess());
    notifier.close();
    notifier.close();
    EXPECT_FALSE(notifier.isOpen());
    auto messages = kal::sim::socketMessages();
    ASSERT_EQ(messages.size(), 3u);
    for (const auto& m : messages) {
        EXPECT_EQ(m.port, 4100u);
        EXPECT_EQ(m.bytes.size(), 48u);
        EXPECT_EQ(cookieOf(m), 0x1122334455667788ull);
    }
    EXPECT_EQ(messages[0].type, 1u);
    EXPECT_EQ(lengthOf(messages[0]), 5u);
    EXPECT_EQ(std::vector<uint8_t>(messages[0].bytes.begin() + 12, messages[0].bytes.begin() + 17),
              std::vector<uint8_t>(payload, payload + 5));
    EXPECT_EQ(lengthOf(messages[1]), 0u);
    // One closing message, however often it is closed.
    EXPECT_EQ(messages[2].type, 2u);
    EXPECT_EQ(lengthOf(messages[2]), 0u);
}

TEST_F(Notifier, ReopeningClosesTheOldListenerFirst) {
    tStatus status;
    notifier.open({1, 100}, status);
    notifier.open({2, 200}, status);
    EXPECT_TRUE(status.isSuccess());
    notifier.close();
    auto messages = kal::sim::socketMessages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].port, 100u);
    EXPECT_EQ(messages[0].type, 2u);
    EXPECT_EQ(cookieOf(messages[0]), 1u);
    EXPECT_EQ(messages[1].port, 200u);
    EXPECT_EQ(cookieOf(messages[1]), 2u);
}

TEST_F(Notifier, OversizedPayloadSendsNothing) {
    tStatus status;
    notifier.open({1, 2}, status);
    uint8_t payload[33] = {};
    notifier.notify(payload, 33, status);
    EXPECT_EQ(status.getCode(), -52005);
    EXPECT_TRUE(kal::sim::socketMessages().empty());
    notifier.close();
}

TEST_F(Notifier, FailedSendsGiveTheirBuffersBack) {
    tStatus status;
    notifier.open({1, 2}, status);
    {
        kal::sim::FailKernelCall refuse("kernelSocketSend", 1, 2);
        notifier.notify("x", 1, status);
        EXPECT_EQ(status.getCode(), -52008);
        // A closing message that cannot be sent releases the kept buffer.
        notifier.close();
    }
    EXPECT_FALSE(notifier.isOpen());
    EXPECT_TRUE(kal::sim::socketMessages().empty());
}

TEST_F(Notifier, BuffersThatCannotBeMade) {
    tStatus status;
    {
        kal::sim::FailKernelCall refuse("createKernelSocketBuffer");
        notifier.open({1, 2}, status);
    }
    EXPECT_EQ(status.getCode(), -52000);
    EXPECT_FALSE(notifier.isOpen());
    tStatus second;
    notifier.open({1, 2}, second);
    {
        kal::sim::FailKernelCall refuse("createKernelSocketBuffer");
        notifier.notify("x", 1, second);
    }
    EXPECT_EQ(second.getCode(), -52000);
    notifier.close();
}

TEST(UserBuffer, CopiesAtAnOffsetAndTranslatesRefusals) {
    tStatus status;
    tEventDescriptor event{nullptr};
    uint8_t memory[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    kal::sim::UserMemory user(memory, sizeof(memory));
    // The recorded size is not consulted: only the caller's memory bounds the copy.
    tUserBuffer buffer(event, reinterpret_cast<uint64_t>(memory), 2, status);
    uint8_t read[4] = {};
    buffer.readFromBuffer(8, read, 4, status);
    EXPECT_EQ(read[0], 8);
    EXPECT_EQ(read[3], 11);
    const uint8_t written[2] = {0xAA, 0xBB};
    buffer.writeToBuffer(14, written, 2, status);
    EXPECT_EQ(memory[15], 0xBB);
    EXPECT_TRUE(status.isSuccess());
    buffer.readFromBuffer(14, read, 4, status);
    EXPECT_EQ(status.getCode(), -52005);
    tStatus empty;
    tUserBuffer nowhere(event, 0x10, 0, empty);
    nowhere.readFromBuffer(0, read, 0, empty);
    EXPECT_TRUE(empty.isSuccess());
}

TEST(UserMemoryMap, PageListsAndPhysicalAddressesArePageAligned) {
    kal::sim::UserMapRequest request;
    request.size = 0x3000;
    request.virtualAddress = 0x7F0000000000ull;
    request.accessMode = 1;
    tUserMemoryMap map(nullptr, &request, 0x12);
    EXPECT_EQ(map.getSize(), 0x3000u);
    EXPECT_EQ(map.getAccess(), 8u);
    EXPECT_EQ(map.getVirtualAddress(), 0x7F0000000000ull);
    tStatus status;
    int pageList = 0;
    map.mapPageList(&pageList, 4096, 1, status);
    map.mapPageList(&pageList, 0, 4097, status);
    ASSERT_EQ(request.pageLists.size(), 2u);
    EXPECT_EQ(request.pageLists[0].firstPage, 1u);
    EXPECT_EQ(request.pageLists[0].pageCount, 1u);
    EXPECT_EQ(request.pageLists[1].pageCount, 2u);
    map.mapPhysicalAddress(0x100000000ull, 0x2000, 7, status);
    ASSERT_EQ(request.physical.size(), 1u);
    EXPECT_EQ(request.physical[0].mode, 0u);
    EXPECT_TRUE(status.isSuccess());
    tStatus tooMany;
    map.mapPageList(&pageList, 0, 0x3001, tooMany);
    EXPECT_EQ(tooMany.getCode(), -52005) << "four pages do not fit a three-page mapping";
    map.mapPageList(&pageList, 100, 1, status);
    EXPECT_EQ(status.getCode(), -52005);
    tStatus unaligned;
    map.mapPhysicalAddress(0x100000010ull, 0x10, 1, unaligned);
    EXPECT_EQ(unaligned.getCode(), -52005);
    EXPECT_EQ(request.pageLists.size(), 2u);
    EXPECT_EQ(request.physical.size(), 1u);
}

}  // namespace
