// The storage maps over a memory window whose device memory (a RAM accessor) holds a flash image
// built by the board.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "board/flashImage.h"
#include "deviceWindow/memoryWindow.h"
#include "kzapal/protons/status.h"

namespace storagemap_test {

using nKZAPALS100::tStatus;

struct FlashFixture {
    explicit FlashFixture(const board::FlashImage& image = board::FlashImage::standard())
        : accessor(reinterpret_cast<const char*>(image.data()), image.size(), status), window(accessor, status) {
        EXPECT_EQ(status.getCode(), 0);
    }

    // The window's cached copy, read and changed as a raw window user would.
    std::vector<uint8_t> cached(uint64_t offset, uint64_t size) {
        std::vector<uint8_t> bytes(size);
        tStatus status;
        window.get(offset, size, reinterpret_cast<char*>(bytes.data()), status);
        EXPECT_EQ(status.getCode(), 0);
        return bytes;
    }
    uint8_t cachedByte(uint64_t address) { return cached(address, 1)[0]; }
    void setCached(uint64_t address, const std::vector<uint8_t>& bytes) {
        tStatus status;
        window.set(reinterpret_cast<const char*>(bytes.data()), address, bytes.size(), status);
        EXPECT_EQ(status.getCode(), 0);
    }

    // The device's bytes as the board holds them.
    std::vector<uint8_t> device() {
        std::vector<uint8_t> bytes(board::kFlashSize);
        tStatus readStatus;
        accessor.read(0, bytes.size(), reinterpret_cast<char*>(bytes.data()), readStatus);
        EXPECT_EQ(readStatus.getCode(), 0);
        return bytes;
    }
    // The board's own verdict on a record in device memory.
    bool boardChecksumValid(std::string_view name) {
        board::FlashImage image = board::FlashImage::erased();
        image.write(0, device().data(), board::kFlashSize);
        return image.isChecksumValid(name);
    }

    tStatus status;
    devicewindow::MemoryAccessor accessor;
    devicewindow::MemoryWindow window;
};

}  // namespace storagemap_test
