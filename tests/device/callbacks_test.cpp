#include "fixture.h"

namespace devicetest {
namespace {

using Callbacks = DeviceFixture;

TEST_F(Callbacks, SessionLifeThroughTheKernel) {
    add();
    ASSERT_TRUE(addStatus_.isSuccess());
    int32_t result = -1;
    auto session = kernel_.open("test_kzvorn", &result);
    ASSERT_EQ(result, 0);
    ASSERT_TRUE(session);
    EXPECT_EQ(device_->getOpenSessionCount(), 1u);

    char text[16] = {};
    uint64_t count = 0;
    EXPECT_EQ(session.read(text, sizeof(text), count), 0);
    EXPECT_EQ(count, 7u);
    EXPECT_STREQ(text, "kzvorn");

    const uint8_t bytes[3] = {1, 2, 3};
    EXPECT_EQ(session.write(bytes, sizeof(bytes), count), 0);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(device_->written, (std::vector<uint8_t>{1, 2, 3}));

    script_.ioControlResult = 4;
    uint32_t input = 0x0F0F0F0F, output = 0;
    auto reply = session.ioctl(0xC0205A01, &input, 4, &output, 4);
    EXPECT_EQ(reply.result, 0);
    EXPECT_EQ(reply.bytesReturned, 4u);
    EXPECT_EQ(output, 0xF0F0F0F0u);
    EXPECT_EQ(device_->lastCode, 0xC0205A01u);

    session.close();
    EXPECT_EQ(device_->getOpenSessionCount(), 0u);
    EXPECT_EQ(script_.calls.back(), "closeAndFreeSession");
}

TEST_F(Callbacks, ResultsAreTranslatedForTheKernel) {
    add();
    auto session = kernel_.open("test_kzvorn");
    ASSERT_TRUE(session);
    char buffer[8];
    uint64_t count = 0;
    uint32_t value = 0;
    struct Row {
        int64_t status;
        int32_t kernel;
    };
    // A warning is a failure for the kernel; a time-out is -51550, not -51400.
    for (Row row : {Row{0, 0}, Row{17, -51001}, Row{-52007, -51550}, Row{-52000, -51352},
                    Row{KZ_DEVICE_CODE(0xBFFA4303), -51001}, Row{-52022, -51001}, Row{-89124, -51001}}) {
        script_.requestCode = row.status;
        EXPECT_EQ(session.read(buffer, sizeof(buffer), count), row.kernel) << row.status;
        EXPECT_EQ(session.write(buffer, sizeof(buffer), count), row.kernel) << row.status;
        EXPECT_EQ(session.ioctl(1, &value, 4, &value, 4).result, row.kernel) << row.status;
    }
}

TEST(ToKernelCode, EveryRowAndTheRest) {
    const std::pair<int64_t, int32_t> rows[] = {
        {0, 0},           {-52000, -51352}, {-52001, -51353}, {-52002, -51256}, {-52003, -51150},
        {-52005, -51009}, {-52006, -51101}, {-52007, -51550}, {-52008, -51202}, {-52010, -51104},
        {-52013, -51000}, {-52018, -51152}, {-52019, -51409}, {-52020, -51300}, {-52023, -51405},
        {-52024, -51401}, {-52031, -51106}, {-52009, -51001}, {-52017, -51001}, {-52025, -51001},
        {240000, -51001}, {-240008, -51001}, {1, -51001},
    };
    for (auto [status, kernel] : rows) EXPECT_EQ(toKernelCode(status), kernel) << status;
}

TEST_F(Callbacks, AWarningDoesNotUndoAnOpenOrAMap) {
    add();
    script_.openCode = 42;
    int32_t result = -1;
    auto session = kernel_.open("test_kzvorn", &result);
    EXPECT_EQ(result, 0);
    ASSERT_TRUE(session);
    EXPECT_EQ(device_->getOpenSessionCount(), 1u);

    script_.supportsMapping = true;
    script_.mapCode = 42;
    kal::sim::UserMapRequest request;
    request.size = 0x1000;
    request.accessMode = 2;
    void* map = nullptr;
    uint32_t flag = 0;
    EXPECT_EQ(session.map(request, 3, map, flag), 0);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(flag, 1u);
    auto* userMap = static_cast<tUserMemoryMap*>(map);
    EXPECT_EQ(userMap->getAccess(), 16u);
    EXPECT_EQ(userMap->getArgument(), 3u);
    ASSERT_EQ(request.physical.size(), 1u);
    EXPECT_EQ(request.physical[0].address, function_->record.bars[0].address);
    session.unmap(map);
}

TEST_F(Callbacks, AFailedOpenStoresAndCountsNothing) {
    add();
    const int64_t before = kal::sim::liveAllocations();
    int32_t result = 0;
    {
        kal::sim::FailAllocations fail(1);
        EXPECT_FALSE(kernel_.open("test_kzvorn", &result));
    }
    EXPECT_EQ(result, -51352);
    EXPECT_EQ(device_->getOpenSessionCount(), 0u);
    EXPECT_EQ(kal::sim::liveAllocations(), before);
    {
        kal::sim::FailKernelCall refuse("createSpinLock");
        EXPECT_FALSE(kernel_.open("test_kzvorn", &result));
    }
    EXPECT_EQ(result, -51352);
    EXPECT_EQ(kal::sim::liveAllocations(), before);
}

TEST_F(Callbacks, MappingFailures) {
    add();
    auto session = kernel_.open("test_kzvorn");
    ASSERT_TRUE(session);
    kal::sim::UserMapRequest request;
    request.size = 0x1000;
    void* map = nullptr;
    uint32_t flag = 0;
    // No mapping by default.
    EXPECT_EQ(session.map(request, 0, map, flag), -51256);
    EXPECT_EQ(map, nullptr);
    EXPECT_EQ(flag, 0u);
    // The map object cannot be allocated: a failure, not a success with nothing stored.
    script_.supportsMapping = true;
    const int64_t before = kal::sim::liveAllocations();
    {
        kal::sim::FailAllocations fail(1);
        EXPECT_EQ(session.map(request, 0, map, flag), -51352);
    }
    EXPECT_EQ(map, nullptr);
    EXPECT_EQ(flag, 0u);
    EXPECT_EQ(kal::sim::liveAllocations(), before);
}

TEST_F(Callbacks, IoctlEnvelopeRules) {
    add();
    auto session = kernel_.open("test_kzvorn");
    ASSERT_TRUE(session);
    uint32_t input = 0, output = 0;
    // Decoding reports nothing: the caller's bytes-returned field is left as it was.
    script_.ioControlResult = 0;
    EXPECT_EQ(session.ioctl(7, &input, 4, &output, 4, 0xDEAD).bytesReturned, 0xDEADu);
    // Only the low 32 bits are written back.
    script_.ioControlResult = 0x100000008ull;
    EXPECT_EQ(session.ioctl(7, &input, 4, &output, 4, 0xDEAD).bytesReturned, 8u);
    // An envelope that cannot be copied in: the copy's own code, and the device is not called.
    device_->lastCode = 0;
    EXPECT_EQ(session.ioctlRaw(9, 0x1234), -51009);
    EXPECT_EQ(device_->lastCode, 0u);
    {
        kal::sim::FailKernelCall refuse("replicateInboundIOControlBuffer", 1, 1, -51353);
        EXPECT_EQ(session.ioctl(9, &input, 4, &output, 4).result, -51353);
    }
    EXPECT_EQ(device_->lastCode, 0u);
    // Records outside user memory fail in the device's copies: a transport failure.
    script_.ioControlResult = 4;
    uint64_t wild[4] = {0x10, 0x20, 4 | (uint64_t{4} << 32), 0};
    kal::sim::UserMemory user(wild, sizeof(wild));
    EXPECT_EQ(session.ioctlRaw(9, reinterpret_cast<uint64_t>(wild)), -51009);
}

TEST_F(Callbacks, IONotifierRequests) {
    add();
    auto session = kernel_.open("test_kzvorn");
    ASSERT_TRUE(session);
    EXPECT_EQ(session.destroyIONotifier(3), 0);
    EXPECT_EQ(session.createIONotifier(0x1122, 4000, 3), -51256);
    // A block outside user memory: the copy's code, translated twice.
    EXPECT_EQ(session.ioctlRaw(kCreateIONotifierCode, 0x40), -51009);
}

TEST_F(Callbacks, RemoveAndDelete) {
    add();
    auto before = kal::sim::interfaces();
    ASSERT_EQ(before.size(), 2u);
    kernel_.removeDevice(*function_);
    EXPECT_EQ(script_.calls, (std::vector<std::string>{"start", "suspend1", "stop", "remove"}));
    EXPECT_EQ(device_->getPnPState(), tDeviceCore::kPnPStateNotPresent);
    EXPECT_EQ(device_->getIOState(), tDeviceCore::kIOStateClosed);
    for (const auto& entry : kal::sim::interfaces()) EXPECT_FALSE(entry.live) << entry.name;
    for (const auto& entry : kal::sim::properties()) EXPECT_FALSE(entry.live) << entry.name;
    // A second removal does nothing (and unregisters nothing twice).
    kernel_.removeDevice(*function_);
    EXPECT_EQ(script_.calls.size(), 4u);
    kernel_.deleteDevice(*function_);
    EXPECT_EQ(kernel_.device(*function_), nullptr);
    nKZAPAL200_deleteDevice(nullptr);
}

TEST_F(Callbacks, DescriptionLineNamesTheStates) {
    add();
    char text[256];
    kzsdbg_VarLineToBuffer line({__FILE__, __LINE__, nullptr}, "<", ">", text, sizeof(text));
    device_->printDescription(line);
    char expected[256];
    std::snprintf(expected, sizeof(expected), "<tDevice(%p,kalDev:%p,pdo:%p) (kPnPStateReady from kPnPStateNotStarted)>",
                  static_cast<void*>(static_cast<tDevice*>(device_)), static_cast<void*>(&function_->record),
                  static_cast<void*>(nullptr));
    EXPECT_STREQ(text, expected);
}

TEST_F(Callbacks, RemovalWaitsForRequestsInFlightAndRefusesNewOnes) {
    add();
    auto session = kernel_.open("test_kzvorn");
    ASSERT_TRUE(session);
    script_.holdReads = true;
    char text[8];
    uint64_t count = 0;
    int32_t inFlight = -1;
    std::thread request([&] { inFlight = session.read(text, sizeof(text), count); });
    while (!script_.readInside) std::this_thread::yield();
    std::atomic<bool> removed{false};
    std::thread removal([&] {
        kernel_.removeDevice(*function_);
        removed = true;
    });
    while (device_->getIOState() != tDeviceCore::kIOStateClosed) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(removed);
    // The gate is closed: a new request is refused, -52022 reaching the kernel as -51001.
    char other[8];
    uint64_t none = 1;
    EXPECT_EQ(session.read(other, sizeof(other), none), -51001);
    EXPECT_EQ(none, 0u);
    script_.holdReads = false;
    request.join();
    removal.join();
    EXPECT_EQ(inFlight, 0);
    EXPECT_EQ(count, 7u);
    EXPECT_EQ(script_.calls, (std::vector<std::string>{"start", "suspend1", "stop", "remove"}));
    session.close();
    EXPECT_EQ(device_->getOpenSessionCount(), 0u);
}

TEST_F(Callbacks, RemovingADeviceThatNeverStartedRunsRemoveOnly) {
    tStatus status;
    device_ = build(status);
    ASSERT_TRUE(status.isSuccess());
    kernel_.adoptDevice(*function_, static_cast<tDevice*>(device_));
    device_->buildBusProperties();
    device_->registerBusProperties(status);
    device_->registerDeviceProperties(status);
    kernel_.removeDevice(*function_);
    EXPECT_EQ(script_.calls, (std::vector<std::string>{"remove"}));
    EXPECT_EQ(device_->getPreviousPnPState(), tDeviceCore::kPnPStateNotStarted);
    for (const auto& entry : kal::sim::properties()) EXPECT_FALSE(entry.live) << entry.name;
}

TEST_F(Callbacks, ARequestWaitingForOutputCopyFailsWithBadArgument) {
    tStatus status;
    uint32_t value = 5;
    nKZAPAL200_copyIoctlOutBufferForCodegen(0x10, &value, 4, status);
    EXPECT_EQ(status.getCode(), -52005);
    tStatus empty;
    nKZAPAL200_copyIoctlOutBufferForCodegen(0x10, &value, 0, empty);
    EXPECT_TRUE(empty.isSuccess());
    uint32_t target = 0;
    kal::sim::UserMemory user(&target, sizeof(target));
    tStatus good;
    nKZAPAL200_copyIoctlOutBufferForCodegen(reinterpret_cast<uint64_t>(&target), &value, 4, good);
    EXPECT_TRUE(good.isSuccess());
    EXPECT_EQ(target, 5u);
}

}  // namespace
}  // namespace devicetest
