#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "../kzhtl/failures.h"
#include "deviceWindow/memoryWindow.h"
#include "deviceWindow/statusCodes.h"
#include "kal/sim/faults.h"
#include "kzapal/protons/statusCodes.h"

namespace {

using devicewindow::MemoryAccessor;
using devicewindow::MemoryWindow;
using nKZAPALS100::tStatus;

constexpr int64_t kDeviceFault = -77;

// RAM-backed device that logs every call and can fail the next read or write.
class RecordingAccessor : public MemoryAccessor {
public:
    RecordingAccessor(uint64_t size, tStatus& status) : MemoryAccessor(size, status) {}

    void beginRead(tStatus&) override { log.push_back("beginRead"); }
    void beginWrite(tStatus& status) override {
        log.push_back("beginWrite");
        if (failBeginWrite) KZ_SET_CODE(status, kDeviceFault);
    }
    void endRead(tStatus&) override { log.push_back("endRead"); }
    void endWrite(tStatus&) override { log.push_back("endWrite"); }
    void read(uint64_t index, uint64_t count, char* destination, tStatus& status) override {
        log.push_back("read " + std::to_string(index) + " " + std::to_string(count));
        if (failNextRead) {
            failNextRead = false;
            KZ_SET_CODE(status, kDeviceFault);
            return;
        }
        MemoryAccessor::read(index, count, destination, status);
    }
    void write(const char* source, uint64_t index, uint64_t count, tStatus& status) override {
        log.push_back("write " + std::to_string(index) + " " + std::to_string(count));
        if (failNextWrite) {
            failNextWrite = false;
            KZ_SET_CODE(status, kDeviceFault);
            return;
        }
        MemoryAccessor::write(source, index, count, status);
    }

    // Changes the device behind the window's back.
    void poke(uint64_t index, uint8_t value) {
        tStatus status;
        MemoryAccessor::write(reinterpret_cast<const char*>(&value), index, 1, status);
    }
    uint8_t peek(uint64_t index) {
        tStatus status;
        char value = 0;
        MemoryAccessor::read(index, 1, &value, status);
        return static_cast<uint8_t>(value);
    }
    std::vector<std::string> takeLog() { return std::exchange(log, {}); }

    std::vector<std::string> log;
    bool failNextRead = false;
    bool failNextWrite = false;
    bool failBeginWrite = false;
};

struct WindowFixture : ::testing::Test {
    WindowFixture() {
        for (uint64_t i = 0; i < 64; ++i) device.poke(i, static_cast<uint8_t>(i));
        EXPECT_TRUE(status.isSuccess());
    }
    std::vector<uint8_t> get(uint64_t offset, uint64_t size) {
        std::vector<uint8_t> bytes(size);
        window.get(offset, size, reinterpret_cast<char*>(bytes.data()), status);
        return bytes;
    }
    void set(uint64_t offset, std::vector<uint8_t> bytes) {
        window.set(reinterpret_cast<const char*>(bytes.data()), offset, bytes.size(), status);
    }

    tStatus status;
    RecordingAccessor device{64, status};
    MemoryWindow window{device, status};
};

using Log = std::vector<std::string>;

TEST(MemoryAccessorBuffer, StartsErasedOrAsACopyAndRefusesRangesOutsideIt) {
    tStatus status;
    MemoryAccessor erased(4, status);
    const char source[3] = {1, 2, 3};
    MemoryAccessor copied(source, 3, status);
    ASSERT_TRUE(status.isSuccess());
    EXPECT_EQ(erased.getSize(), 4u);
    char bytes[4] = {};
    erased.read(0, 4, bytes, status);
    EXPECT_EQ(std::vector<char>(bytes, bytes + 4), std::vector<char>(4, '\xFF'));
    copied.write(source + 2, 0, 1, status);
    copied.read(0, 3, bytes, status);
    EXPECT_EQ(std::vector<char>(bytes, bytes + 3), (std::vector<char>{3, 2, 3}));
    ASSERT_TRUE(status.isSuccess());
    copied.read(2, 2, bytes, status);
    EXPECT_EQ(status.code, nKZAPALS100::kStatusBadParameter);
}

TEST_F(WindowFixture, GetFetchesOnlyWhatTheCacheLacks) {
    EXPECT_EQ(get(4, 4), (std::vector<uint8_t>{4, 5, 6, 7}));
    EXPECT_EQ(device.takeLog(), (Log{"beginRead", "read 4 4", "endRead"}));
    get(4, 4);
    EXPECT_EQ(device.takeLog(), Log{});
    // Two invalid runs around the cached bytes: one transaction, two reads.
    EXPECT_EQ(get(2, 8), (std::vector<uint8_t>{2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(device.takeLog(), (Log{"beginRead", "read 2 2", "read 8 2", "endRead"}));
    EXPECT_TRUE(status.isSuccess());
}

TEST_F(WindowFixture, UnforcedFlushWritesEachChangedRunInOneTransaction) {
    get(0, 8);
    device.takeLog();
    set(2, {0xA2});
    set(5, {0xA5, 6});  // byte 6 is set to the value it holds and stays clean
    set(0, {0});
    window.flush(0, 8, false, status);
    EXPECT_EQ(device.takeLog(), (Log{"beginWrite", "write 2 1", "write 5 1", "endWrite"}));
    EXPECT_EQ(device.peek(2), 0xA2);
    EXPECT_EQ(device.peek(5), 0xA5);
    window.flush(0, 8, false, status);
    EXPECT_EQ(device.takeLog(), Log{});
    EXPECT_TRUE(status.isSuccess());
}

TEST_F(WindowFixture, ForcedFlushOfAnUnreadRangeReadsItThenWritesItOnce) {
    window.flush(10, 6, true, status);
    EXPECT_EQ(device.takeLog(), (Log{"beginRead", "read 10 6", "endRead", "beginWrite", "write 10 6", "endWrite"}));
    window.write(reinterpret_cast<const char*>("\x0B"), 11, 1, true, status);
    EXPECT_EQ(device.takeLog(), (Log{"beginWrite", "write 11 1", "endWrite"}));
    EXPECT_TRUE(status.isSuccess());
}

TEST_F(WindowFixture, ReadReplacesUnflushedChangesWithTheDevicesBytes) {
    set(3, {0xEE, 0xEF});
    device.poke(4, 0x44);
    std::vector<uint8_t> bytes(3);
    window.read(2, 3, reinterpret_cast<char*>(bytes.data()), status);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{2, 3, 0x44}));
    EXPECT_EQ(device.takeLog(), (Log{"beginRead", "read 2 3", "endRead"}));
    window.flush(0, 64, false, status);  // nothing left to write
    EXPECT_EQ(device.takeLog(), (Log{"beginRead", "read 0 2", "read 5 59", "endRead"}));
    EXPECT_TRUE(status.isSuccess());
}

TEST_F(WindowFixture, FailedWriteInvalidatesItsRunStopsTheFlushAndClosesTheTransaction) {
    get(0, 8);
    set(1, {0xA1});
    set(4, {0xA4});
    device.takeLog();
    device.failNextWrite = true;
    window.flush(0, 8, false, status);
    EXPECT_EQ(status.code, kDeviceFault);
    EXPECT_EQ(device.takeLog(), (Log{"beginWrite", "write 1 1", "endWrite"}));
    status.clear();
    // The failed byte is read again; the unwritten change is still pending.
    EXPECT_EQ(get(0, 8), (std::vector<uint8_t>{0, 1, 2, 3, 0xA4, 5, 6, 7}));
    EXPECT_EQ(device.takeLog(), (Log{"beginRead", "read 1 1", "endRead"}));
    window.flush(0, 8, false, status);
    EXPECT_EQ(device.takeLog(), (Log{"beginWrite", "write 4 1", "endWrite"}));

    device.failBeginWrite = true;
    set(2, {0xA2});
    window.flush(0, 8, false, status);
    EXPECT_EQ(status.code, kDeviceFault);
    EXPECT_EQ(device.takeLog(), Log{"beginWrite"});  // never opened, so never closed
}

TEST_F(WindowFixture, FailedReadLeavesTheCacheAndStillClosesTheTransaction) {
    set(2, {0xA2});
    device.failNextRead = true;
    std::vector<uint8_t> bytes(4, 0x55);
    window.read(0, 4, reinterpret_cast<char*>(bytes.data()), status);
    EXPECT_EQ(status.code, kDeviceFault);
    EXPECT_EQ(bytes, std::vector<uint8_t>(4, 0x55));
    EXPECT_EQ(device.takeLog(), (Log{"beginRead", "read 0 4", "endRead"}));
    status.clear();
    window.flush(2, 1, false, status);
    EXPECT_EQ(device.takeLog(), (Log{"beginWrite", "write 2 1", "endWrite"}));
    EXPECT_EQ(device.peek(2), 0xA2);
}

TEST_F(WindowFixture, ChecksPointerBeforeRangeAndDoNothingAfterAnError) {
    char byte = 0;
    struct Case {
        const char* pointer;
        uint64_t offset, size;
        int64_t code;
    };
    for (const Case& c : {Case{nullptr, 0, 0, devicewindow::kStatusNullPointer},
                          Case{nullptr, 100, 1, devicewindow::kStatusNullPointer},
                          Case{&byte, 64, 0, 0}, Case{&byte, 63, 1, 0}, Case{&byte, 63, 2, -240015},
                          Case{&byte, 65, 0, -240015}, Case{&byte, 2, UINT64_MAX, -240015}}) {
        for (int op = 0; op < 4; ++op) {
            tStatus s;
            switch (op) {
                case 0: window.get(c.offset, c.size, &byte, s); break;
                case 1: window.set(c.pointer == nullptr ? nullptr : &byte, c.offset, c.size, s); break;
                case 2: window.read(c.offset, c.size, c.pointer == nullptr ? nullptr : &byte, s); break;
                case 3: window.write(c.pointer, c.offset, c.size, false, s); break;
            }
            if (op == 0 && c.pointer == nullptr) continue;  // get was given a real pointer
            EXPECT_EQ(s.code, c.code) << "op " << op << " offset " << c.offset << " size " << c.size;
        }
    }
    tStatus outside;
    window.flush(64, 1, true, outside);
    EXPECT_EQ(outside.code, devicewindow::kStatusRangeOutsideWindow);
    device.takeLog();
    tStatus s;
    KZ_SET_CODE(s, -5);
    window.get(0, 1, &byte, s);
    window.flush(0, 64, true, s);
    EXPECT_EQ(s.code, -5);
    EXPECT_EQ(device.takeLog(), Log{});
}

TEST(MemoryWindow, DestroyingAWindowWithChangesWritesNothing) {
    tStatus status;
    RecordingAccessor device(8, status);
    {
        MemoryWindow window(device, status);
        window.set("\x01", 3, 1, status);
    }
    EXPECT_EQ(device.log, Log{});
    EXPECT_EQ(device.peek(3), 0xFF);
}

TEST(MemoryWindow, AllocationFailuresGiveMemoryFullAndLeakNothing) {
    kzhtl_test::sweepAllocationFailures([](uint64_t failAt) {
        tStatus status;
        MemoryAccessor device(16, status);  // logs nothing: a log would allocate too
        bool failed = kzhtl_test::failing(failAt, status, [&](tStatus& s) {
            MemoryWindow window(device, s);
            char bytes[4];
            window.get(0, 4, bytes, s);
            window.write(bytes, 0, 4, true, s);
        });
        EXPECT_EQ(status.code, failed ? nKZAPALS100::kStatusMemoryFull : 0);
        return failed;
    });
    tStatus status;
    MemoryAccessor device(16, status);
    kal::sim::FailKernelCall noMutex("createMutex");
    MemoryWindow window(device, status);
    EXPECT_EQ(status.code, nKZAPALS100::kStatusMemoryFull);
}

}  // namespace
