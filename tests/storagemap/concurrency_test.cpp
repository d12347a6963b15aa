// Each storage map has a lock held across every operation, so a flush never stores a checksum that
// does not match the data flushed with it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "flash_fixture.h"
#include "kzvorn_storageMaps/calibrationStorageMap.h"

namespace storagemap_test {
namespace {

// Passes everything to another window; inside flush it first runs a hook.
class HookedWindow : public devicewindow::DeviceWindow {
public:
    explicit HookedWindow(devicewindow::DeviceWindow& inner) : inner_(inner) {}
    void get(uint64_t offset, uint64_t size, char* destination, tStatus& status) override {
        inner_.get(offset, size, destination, status);
    }
    void set(const char* source, uint64_t offset, uint64_t size, tStatus& status) override {
        inner_.set(source, offset, size, status);
    }
    void flush(uint64_t offset, uint64_t size, bool force, tStatus& status) override {
        // Runs once.
        std::function<void()> hook = std::move(onFlush);
        onFlush = nullptr;
        if (hook) hook();
        inner_.flush(offset, size, force, status);
    }
    void read(uint64_t offset, uint64_t size, char* destination, tStatus& status) override {
        inner_.read(offset, size, destination, status);
    }
    void write(const char* source, uint64_t offset, uint64_t size, bool force, tStatus& status) override {
        inner_.write(source, offset, size, force, status);
    }
    void refresh(uint64_t offset, uint64_t size, tStatus& status) override { inner_.refresh(offset, size, status); }
    uint64_t getSizeInBytes() override { return inner_.getSizeInBytes(); }

    std::function<void()> onFlush;

private:
    devicewindow::DeviceWindow& inner_;
};

TEST(StorageMapLock, ASetWaitsForAFlushInProgress) {
    FlashFixture f;
    HookedWindow window(f.window);
    tStatus status;
    kzvorn_storagemaps::CalibrationStorageMap map(0xA000, &window, status);
    map.setDACCurrentGainFine(0x11, status);

    std::atomic<bool> setDone{false};
    bool setDoneDuringFlush = true;
    std::thread writer;
    window.onFlush = [&] {
        // Between the checksum and the window's flush: another request changes the map.
        writer = std::thread([&] {
            tStatus writerStatus;
            map.setDACCurrentGainFine(0x22, writerStatus);
            EXPECT_EQ(writerStatus.getCode(), 0);
            setDone = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        setDoneDuringFlush = setDone;
    };
    map.flush(false, status);
    writer.join();
    EXPECT_EQ(status.getCode(), 0);
    EXPECT_FALSE(setDoneDuringFlush);
    // The device holds the record as flushed, with its own checksum; the later change waits in the
    // cache for the next flush.
    EXPECT_TRUE(f.boardChecksumValid("DefaultCalibrationChannel0"));
    EXPECT_EQ(f.device()[0xA000 + board::record::kDACCurrentGainFine], 0x11);
    EXPECT_EQ(map.getDACCurrentGainFine(status), 0x22);
    EXPECT_FALSE(map.isChecksumValid(status));
}

}  // namespace
}  // namespace storagemap_test
