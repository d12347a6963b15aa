// The window requests: look-up by the name in the caller's memory, bytes through a kernel buffer.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "deviceWindow/deviceWindowDispatcher.h"
#include "deviceWindow/memoryWindow.h"
#include "deviceWindow/statusCodes.h"
#include "kal/sim/user.h"
#include "kzRegiTools/statusCodes.h"
#include "kzapal/protons/userMemory.h"

namespace {

using devicewindow::DeviceWindowDispatcher;
using kzvorn_driver::nKZAPAL000::tEventDescriptor;
using nKZAPALS100::tStatus;

// Bytes in the caller's memory (a name carries no terminator).
struct CallerMemory {
    explicit CallerMemory(std::vector<uint8_t> content)
        : bytes(std::move(content)), memory(bytes.data(), bytes.size()) {}
    explicit CallerMemory(const std::string& text) : CallerMemory(std::vector<uint8_t>(text.begin(), text.end())) {}
    uint64_t address() const { return reinterpret_cast<uint64_t>(bytes.data()); }
    uint64_t length() const { return bytes.size(); }

    std::vector<uint8_t> bytes;
    kal::sim::UserMemory memory;
};

struct WindowRequests : ::testing::Test {
    WindowRequests() {
        for (uint64_t i = 0; i < 64; ++i) {
            const char value = static_cast<char>(i);
            device.write(&value, i, 1, status);
        }
        registry.add("NisoFpgaWindow", window, status);
        EXPECT_TRUE(status.isSuccess());
    }

    std::vector<uint8_t> get(const std::string& name, uint64_t offset, uint64_t size, tStatus& s,
                             bool refresh = false) {
        CallerMemory caller(name), out(std::vector<uint8_t>(size, 0xEE));
        if (refresh) {
            registry.read(request, caller.address(), caller.length(), offset, size, out.address(), s);
        } else {
            registry.get(request, caller.address(), caller.length(), offset, size, out.address(), s);
        }
        return out.bytes;
    }
    void set(const std::string& name, uint64_t source, uint64_t offset, uint64_t size, tStatus& s, bool flush = false) {
        CallerMemory caller(name);
        if (flush) {
            registry.write(request, caller.address(), caller.length(), source, offset, size, false, s);
        } else {
            registry.set(request, caller.address(), caller.length(), source, offset, size, s);
        }
    }
    uint8_t deviceByte(uint64_t index) {
        char value = 0;
        tStatus s;
        device.read(index, 1, &value, s);
        return static_cast<uint8_t>(value);
    }

    tStatus status;
    devicewindow::MemoryAccessor device{64, status};
    devicewindow::MemoryWindow window{device, status};
    DeviceWindowDispatcher registry;
    tEventDescriptor request{};
};

TEST_F(WindowRequests, MoveBytesBetweenTheCallerAndTheNamedWindow) {
    tStatus s;
    EXPECT_EQ(get("NisoFpgaWindow", 4, 3, s), (std::vector<uint8_t>{4, 5, 6}));
    CallerMemory bytes(std::vector<uint8_t>{0xA0, 0xA1});
    set("NisoFpgaWindow", bytes.address(), 10, 2, s);
    EXPECT_EQ(deviceByte(10), 10);  // set changes the cache only
    CallerMemory caller("NisoFpgaWindow");
    registry.flush(request, caller.address(), caller.length(), 10, 2, false, s);
    EXPECT_EQ(deviceByte(11), 0xA1);
    set("NisoFpgaWindow", bytes.address(), 20, 1, s, true);
    EXPECT_EQ(deviceByte(20), 0xA0);

    const char changed = 0x77;
    device.write(&changed, 5, 1, s);
    EXPECT_EQ(get("NisoFpgaWindow", 5, 1, s), std::vector<uint8_t>{5});  // cached
    registry.refresh(request, caller.address(), caller.length(), 5, 1, s);
    EXPECT_EQ(get("NisoFpgaWindow", 5, 1, s), std::vector<uint8_t>{0x77});
    device.write(reinterpret_cast<const char*>("\x78"), 5, 1, s);
    EXPECT_EQ(get("NisoFpgaWindow", 4, 2, s, true), (std::vector<uint8_t>{4, 0x78}));
    EXPECT_EQ(registry.getSizeInBytes(request, caller.address(), caller.length(), s), 64u);
    EXPECT_TRUE(s.isSuccess());
}

TEST_F(WindowRequests, RefuseBadNamesRangesAndCallerMemoryBeforeTouchingTheWindow) {
    struct Case {
        const char* name;
        uint64_t offset, size;
        int64_t code;
    };
    for (const Case& c : {Case{"flashWindow", 0, 4, kzregitools::kStatusNameNotFound},
                          Case{"NisoFpgaWindow_Ver1.0.0d0", 0, 4, kzregitools::kStatusVersionNotSupported},
                          // Far beyond the window: refused by its range check, never allocated.
                          Case{"NisoFpgaWindow", 0, uint64_t{1} << 40, devicewindow::kStatusRangeOutsideWindow},
                          Case{"NisoFpgaWindow", 60, 5, devicewindow::kStatusRangeOutsideWindow},
                          Case{"NisoFpgaWindow", 2, UINT64_MAX, devicewindow::kStatusRangeOutsideWindow},
                          Case{"NisoFpgaWindow", 0, 0, devicewindow::kStatusNullPointer}}) {
        tStatus getStatus, setStatus;
        CallerMemory name(c.name), bytes(std::vector<uint8_t>(8, 0x11));
        registry.get(request, name.address(), name.length(), c.offset, c.size, bytes.address(), getStatus);
        set(c.name, bytes.address(), c.offset, c.size, setStatus, true);
        EXPECT_EQ(getStatus.code, c.code) << c.name << " " << c.offset << " " << c.size;
        EXPECT_EQ(setStatus.code, c.code) << c.name << " " << c.offset << " " << c.size;
        EXPECT_EQ(bytes.bytes, std::vector<uint8_t>(8, 0x11));
    }
    tStatus unknown;
    CallerMemory name("nothing");
    EXPECT_EQ(registry.getSizeInBytes(request, name.address(), name.length(), unknown), 0u);
    EXPECT_EQ(unknown.code, kzregitools::kStatusNameNotFound);

    // Caller memory that is not the caller's: nothing reaches the window.
    tStatus wild;
    uint8_t notRegistered[4] = {9, 9, 9, 9};
    set("NisoFpgaWindow", reinterpret_cast<uint64_t>(notRegistered), 0, 4, wild, true);
    EXPECT_TRUE(wild.isFatal());
    EXPECT_EQ(deviceByte(0), 0);
    tStatus after;
    EXPECT_EQ(get("NisoFpgaWindow", 0, 4, after), (std::vector<uint8_t>{0, 1, 2, 3}));
}

}  // namespace
