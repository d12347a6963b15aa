// The storage-map requests: look-up by the name in the caller's memory, element data through a
// kernel buffer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kal/sim/faults.h"
#include "kal/sim/user.h"
#include "maps_fixture.h"

namespace storagemap_test {
namespace {

using kzvorn_driver::nKZAPAL000::tEventDescriptor;

// Text in the caller's memory, without a terminator.
class CallerName {
public:
    explicit CallerName(const std::string& text)
        : text_(new char[text.size() + 1]), length_(text.size()), memory_(text_.get(), text.size()) {
        std::memcpy(text_.get(), text.data(), text.size());
    }
    uint64_t address() const { return reinterpret_cast<uint64_t>(text_.get()); }
    uint64_t length() const { return length_; }

private:
    std::unique_ptr<char[]> text_;
    uint64_t length_;
    kal::sim::UserMemory memory_;
};

// A buffer in the caller's memory.
struct CallerBuffer {
    explicit CallerBuffer(size_t size, uint8_t fill = 0xEE) : bytes(size, fill), memory(bytes.data(), size) {}
    uint64_t address() const { return reinterpret_cast<uint64_t>(bytes.data()); }

    std::vector<uint8_t> bytes;
    kal::sim::UserMemory memory;
};

struct RequestFixture : MapsFixture {
    using MapsFixture::MapsFixture;

    uint64_t getElementCount(const std::string& name, uint32_t id, tStatus& status) {
        CallerName caller(name);
        return registry.getElementCount(request, caller.address(), caller.length(), id, status);
    }
    bool isChecksumValid(const std::string& name, tStatus& status) {
        CallerName caller(name);
        return registry.isChecksumValid(request, caller.address(), caller.length(), status);
    }
    void getRaw(const std::string& name, uint32_t id, uint64_t start, uint64_t count, uint64_t destination,
                uint64_t elementSize, tStatus& status) {
        CallerName caller(name);
        registry.getRaw(request, caller.address(), caller.length(), id, start, count, destination, elementSize,
                        status);
    }
    void setRaw(const std::string& name, uint32_t id, uint64_t start, uint64_t count, uint64_t source,
                uint64_t elementSize, tStatus& status) {
        CallerName caller(name);
        registry.setRaw(request, caller.address(), caller.length(), id, start, count, source, elementSize, status);
    }
    void flush(const std::string& name, bool force, tStatus& status) {
        CallerName caller(name);
        registry.flush(request, caller.address(), caller.length(), force, status);
    }

    tEventDescriptor request{};
};

TEST(StorageMapRequests, LookUpByNameAndVersion) {
    struct Case {
        const char* name;
        int64_t code;
        uint64_t count;
    };
    const Case cases[] = {
        {"Posc", -240023, 0xFFFFFFFF},
        {"Posc_Ver1.0.0d0", 0, 32768},
        {"Posc_Ver1.0.0d1", 240000, 32768},  // newer than the map: a warning, carried out
        {"Header_Ver0.0.1d0", -240000, 0xFFFFFFFF},
        {"Nowhere_Ver1.0.0d0", -240024, 0xFFFFFFFF},
        {"Header_Ver1.0.0d0", -240035, 0},  // found; the map has no field 20
    };
    RequestFixture f;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tStatus status;
        EXPECT_EQ(f.getElementCount(c.name, c.code == -240035 ? 20 : 0, status), c.count);
        EXPECT_EQ(status.getCode(), c.code);
    }
    tStatus status;
    EXPECT_FALSE(f.isChecksumValid("Nowhere_Ver1.0.0d0", status));
    EXPECT_EQ(status.getCode(), -240024);
    status.clear();
    EXPECT_FALSE(f.isChecksumValid("Posc_Ver1.0.0d0", status));
    EXPECT_EQ(status.getCode(), -240044);
    status.clear();
    EXPECT_TRUE(f.isChecksumValid("SelfCalibrationChannel3_Ver1.0.0d4", status));
    EXPECT_EQ(status.getCode(), 0);
}

TEST(StorageMapRequests, GetRawHandsOutTheWholePoscArea) {
    RequestFixture f;
    CallerBuffer out(32768);
    tStatus status;
    f.getRaw("Posc_Ver1.0.0d0", 0, 0, 32768, out.address(), 1, status);
    EXPECT_EQ(status.getCode(), 0);
    EXPECT_EQ(std::memcmp(out.bytes.data(), board::FlashImage::standard().data(), 32768), 0);
}

TEST(StorageMapRequests, SetRawThenFlushReachesTheDevice) {
    RequestFixture f;
    CallerBuffer in(1, 0x34);
    tStatus status;
    f.setRaw("SelfCalibrationChannel0_Ver1.0.0d4", 1701, 0, 1, in.address(), 1, status);
    f.flush("SelfCalibrationChannel0_Ver1.0.0d4", false, status);
    EXPECT_EQ(status.getCode(), 0);
    const uint32_t record = board::storedRecord("SelfCalibrationChannel0").offset;
    EXPECT_EQ(f.device()[record + 1701], 0x34);
    EXPECT_TRUE(f.boardChecksumValid("SelfCalibrationChannel0"));
}

TEST(StorageMapRequests, SizeChecksComeBeforeTheLookUp) {
    RequestFixture f;
    CallerBuffer in(8);
    for (uint64_t elementSize : {uint64_t{0}, uint64_t{1} << 32}) {
        tStatus status;
        f.setRaw("Nowhere_Ver1.0.0d0", 0, 0, elementSize == 0 ? 1 : uint64_t{1} << 32, in.address(), elementSize,
                 status);
        EXPECT_EQ(status.getCode(), -240015);
    }
    // Count 0 passes, gets no buffer, and the map refuses the null array.
    tStatus status;
    f.setRaw("Posc_Ver1.0.0d0", 0, 0, 0, in.address(), 1, status);
    EXPECT_EQ(status.getCode(), -240031);
}

TEST(StorageMapRequests, AFailedGetRawLeavesTheCallersMemoryUntouched) {
    RequestFixture f;
    CallerBuffer out(16);
    tStatus status;
    f.getRaw("Header_Ver1.0.0d0", 13, 0, 1, out.address(), 16, status);
    EXPECT_EQ(status.getCode(), -240035);
    EXPECT_EQ(out.bytes, std::vector<uint8_t>(16, 0xEE));
}

// A request for more bytes than its field holds cannot succeed, so it gets no kernel buffer of the
// caller's chosen size: it fails with the map's own code and allocates nothing beyond the name.
TEST(StorageMapRequests, OversizedTransfersAllocateNothing) {
    struct Case {
        const char* what;
        uint32_t id;
        uint64_t count;
        uint64_t elementSize;
        int64_t code;
    };
    const Case cases[] = {
        {"count beyond the field", 0, uint64_t{1} << 40, 1, -240015},
        {"element beyond the field's", 0, 1, uint64_t{1} << 40, -240025},
        {"no such field", 3, 1 << 20, 1, -240035},
    };
    RequestFixture f;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool reading : {true, false}) {
            tStatus status;
            CallerName name("Posc_Ver1.0.0d0");
            kal::sim::FailAllocations fail(2);  // the first is the name's buffer
            if (reading) {
                // An address outside the caller's memory: nothing may be written there.
                f.registry.getRaw(f.request, name.address(), name.length(), c.id, 0, c.count, 0x10, c.elementSize,
                                  status);
            } else {
                f.registry.setRaw(f.request, name.address(), name.length(), c.id, 0, c.count, 0x10, c.elementSize,
                                  status);
            }
            EXPECT_FALSE(fail.triggered());
            EXPECT_EQ(status.getCode(), c.code);
        }
    }
}

TEST(StorageMapRequests, CallerMemoryThatCannotBeCopied) {
    RequestFixture f;
    const uint32_t fine = board::storedRecord("DefaultCalibrationChannel0").offset + 1701;
    tStatus status;
    f.setRaw("DefaultCalibrationChannel0_Ver1.0.0d4", 1701, 0, 1, 0x10, 1, status);
    EXPECT_LT(status.getCode(), 0);
    EXPECT_EQ(f.cachedByte(fine), board::factory::kDACCurrentGainFine);
    status.clear();
    f.getRaw("DefaultCalibrationChannel0_Ver1.0.0d4", 1701, 0, 1, 0x10, 1, status);
    EXPECT_LT(status.getCode(), 0);
}

TEST(StorageMapRequests, NoMemoryForTheBounceBuffer) {
    RequestFixture f;
    for (uint64_t failAt = 1;; ++failAt) {
        SCOPED_TRACE(failAt);
        CallerBuffer out(64);
        const int64_t live = kal::sim::liveAllocations();
        tStatus status;
        bool failed;
        {
            CallerName name("FactoryCalibrationChannel2_Ver1.0.0d4");
            kal::sim::FailAllocations fail(failAt);
            f.registry.getRaw(f.request, name.address(), name.length(), 336, 0, 4, out.address(), 16, status);
            failed = fail.triggered();
        }
        EXPECT_EQ(kal::sim::liveAllocations(), live);
        if (!failed) {
            EXPECT_EQ(status.getCode(), 0);
            EXPECT_NE(out.bytes, std::vector<uint8_t>(64, 0xEE));
            break;
        }
        EXPECT_EQ(status.getCode(), -52000);
        EXPECT_EQ(out.bytes, std::vector<uint8_t>(64, 0xEE));
        ASSERT_LT(failAt, 20u);
    }
}

}  // namespace
}  // namespace storagemap_test
