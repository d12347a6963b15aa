// The channel calibration loading over a flash image built by the board: the storage maps on a
// memory window holding the image, the four channel register maps over one isolated address space
// that keeps the calibration slots as the channel FPGA does, and a charge-balance controller that
// stores offsets as the real one does.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "armgen/fakeAccess.h"
#include "board/channelCalibration.h"
#include "board/flashImage.h"
#include "board/isolatedRegisterFile.h"
#include "coefficients.h"
#include "device/storageMaps.h"
#include "kzvoltixSharedSource/frontEndAccessorInterface.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoFpgaRegMap.h"
#include "controllers/calibrationControllersInterface.h"
#include "setupTeardownTask/channelCalibrationLoader.h"
#include "storageMap/storageMapDispatcher.h"
#include "storagemap/flash_fixture.h"

namespace caltest {

using armtest::Access;
using Channel = kzvorn_regmaps::tTolvaneIsoChannelRegMap;
using kzvorn_driver::ChannelCalibrationLoader;
using nKZAPALS100::tStatus;

constexpr uint32_t kChannels = 4;
constexpr uint32_t channelBase(uint32_t c) { return (c + 8) * 512; }

// The isolated address space: a word per address, each write logged, the channel blocks'
// calibration registers kept as the board keeps them. Writes may come from several threads, and
// each yields after it so two writers interleave.
class SlotFrontEnd final : public kzvoltixsharedsource::FrontEndAccessorInterface {
public:
    void write32(uint32_t address, uint32_t value, tStatus& status) override {
        if (status.isFatal()) return;
        {
            std::lock_guard<std::mutex> hold(mutex_);
            log_.push_back(armtest::W(address, 32, value));
            if (address == failAt) return void(KZ_SET_CODE(status, failure));
            words_[address] = value;
            const uint32_t channel = address / 512 - 8;
            if (channel < kChannels) calibration_[channel].write(address % 512, value);
        }
        if (yieldAfterWrites) std::this_thread::yield();
    }
    uint32_t read32(uint32_t address, tStatus& status) override {
        if (status.isFatal()) return 0xFFFFFFFF;
        std::lock_guard<std::mutex> hold(mutex_);
        return words_[address];
    }

    std::vector<Access> take() {
        std::lock_guard<std::mutex> hold(mutex_);
        std::vector<Access> log(log_.begin(), log_.end());
        log_.clear();
        return log;
    }
    // Every register's last value and every calibration slot.
    struct State {
        board::HostMap<uint32_t, uint32_t> words;
        board::HostVector<board::ChannelCalibration> calibration;
        bool operator==(const State& other) const { return words == other.words && calibration == other.calibration; }
    };
    State state() {
        std::lock_guard<std::mutex> hold(mutex_);
        return {words_, calibration_};
    }

    uint32_t failAt = ~0u;
    int64_t failure = KZ_DEVICE_CODE(0xBFFA4680);
    bool yieldAfterWrites = false;

private:
    std::mutex mutex_;
    // Written while the driver runs, also under allocation failures: outside the system's allocator.
    board::HostVector<Access> log_;
    board::HostMap<uint32_t, uint32_t> words_;
    board::HostVector<board::ChannelCalibration> calibration_ = board::HostVector<board::ChannelCalibration>(kChannels);
};

// Stores an offset in bits 0-13 of the range's offset register, as the channel's controller does.
class FakeChargeBalance final : public kzvorn_driver::ChargeBalanceControllerInterface {
public:
    explicit FakeChargeBalance(Channel* channel) : channel_(channel) {}
    uint16_t calculate(uint8_t rangeCode, tStatus& status) override {
        if (status.isFatal()) return 0;
        calculated.push_back(rangeCode);
        if (failure != 0) KZ_SET_CODE(status, failure);
        return 0;
    }
    void setOffset(uint8_t rangeIndex, uint32_t offset, tStatus& status) override {
        if (status.isFatal()) return;
        channel_->at<Channel::tChargeBalanceOffsetRegT>(0x58 + rangeIndex).writeChargeBalanceOffset(offset & 0x3FFF,
                                                                                                      status);
    }
    std::vector<uint8_t> calculated;
    int64_t failure = 0;

private:
    Channel* channel_;
};

struct LoaderFixture : storagemap_test::FlashFixture, kzvorn_driver::CalibrationControllersInterface {
    explicit LoaderFixture(const board::FlashImage& image = board::FlashImage::standard())
        : FlashFixture(image), image(image), maps(&window, &registry, status), isoFpga(&frontEnd, status) {
        for (uint32_t c = 0; c < kChannels; ++c) {
            chargeBalance.emplace_back(new FakeChargeBalance(isoFpga.channelMap(c)));
            loaders.emplace_back(new ChannelCalibrationLoader(isoFpga.channelMap(c), maps.channelGroups[c],
                                                              chargeBalance.back().get(), status));
        }
        EXPECT_EQ(status.getCode(), 0);
    }

    kzvorn_driver::ChargeBalanceControllerInterface* getChargeBalanceController(uint8_t channel) override {
        return chargeBalance[channel].get();
    }
    // Per channel, the range codes measured.
    std::vector<std::vector<uint8_t>> calculated() const {
        std::vector<std::vector<uint8_t>> codes;
        for (const auto& controller : chargeBalance) codes.push_back(controller->calculated);
        return codes;
    }

    board::FlashImage image;
    storagemap::StorageMapDispatcher registry;
    kzvorn_driver::StorageMaps maps;
    SlotFrontEnd frontEnd;
    kzvorn_regmaps::tTolvaneIsoFpgaRegMap isoFpga;
    std::vector<std::unique_ptr<FakeChargeBalance>> chargeBalance;
    std::vector<std::unique_ptr<ChannelCalibrationLoader>> loaders;
};

// The register values of one stored record, computed here from the image's bytes.
inline __int128 storedValue(const board::FlashImage& image, const std::string& record, uint32_t field, uint32_t i) {
    board::Coefficient c{};
    const uint32_t address = board::storedRecord(record).offset + field + 16 * i;
    image.read(address, &c.low, 8);
    image.read(address + 8, &c.high, 8);
    return value(c);
}
inline uint32_t bits(__int128 r, unsigned shift, unsigned width) {
    return static_cast<uint32_t>(static_cast<uint64_t>(r >> shift) & ((uint64_t{1} << width) - 1));
}

// Every write of one channel's complete load of a record, in order.
inline std::vector<Access> expectedLoad(const board::FlashImage& image, const std::string& record, uint32_t channel) {
    namespace r = board::record;
    auto at = [&](uint32_t field, uint32_t i = 0) { return storedValue(image, record, field, i); };
    const uint32_t base = channelBase(channel);
    std::vector<Access> writes;
    auto w = [&](uint32_t offset, uint32_t value) { writes.push_back(armtest::W(base + offset, 32, value)); };
    uint32_t gain = 0, local = 0;
    for (uint32_t i = 0; i < 3; ++i) {
        const uint32_t range = (i + 1) << 2;
        gain = bits(at(r::kVoltageGain, i), 31, 24);
        local = bits(at(r::kVoltageOffset, i) + at(r::kResidualLocalSenseOffset, i), 30, 31);
        const uint32_t remote = bits(at(r::kVoltageRemoteOffset, i) + at(r::kResidualRemoteSenseOffset, i), 30, 31);
        w(0x61, range | 1), w(0x60, gain), w(0x61, range | 2), w(0x60, gain);
        w(0x64, range | 1), w(0x63, local), w(0x64, range | 2), w(0x63, remote);
    }
    w(0x78, gain), w(0x7A, local);
    for (uint32_t k = 1; k <= 6; ++k) {
        w(0x69, k), w(0x68, bits(at(r::kLowCurrentGain, k - 1), 31, 24));
        w(0x6C, k), w(0x6B, bits(at(r::kResidualCurrentOffset, k - 1) + at(r::kLowCurrentOffset, k - 1), 30, 31));
        w(0x89, k), w(0x88, bits(at(r::kLowCurrentCmcGain, k - 1), 33, 24));
    }
    w(0x70, bits(at(r::kThreeAmpGain), 31, 24));
    w(0x72, bits(at(r::kResidualCurrentOffset, 6) + at(r::kThreeAmpOffset), 30, 31));
    w(0x8B, bits(at(r::kThreeAmpCmcGain), 33, 24));
    for (uint32_t j = 0; j < 4; ++j) {
        const uint32_t offset = bits(at(r::kChargeBalanceOffsets, j), 63, 14);
        if (offset != 0) w(0x58 + j, offset);
    }
    for (uint32_t o = 0; o < 7; ++o) {
        for (uint32_t i = 0; i < 7; ++i) w(0x115, 8 * (o + 1) + (i + 1)), w(0x114, bits(at(r::kPredictiveGains, 7 * o + i), 60, 32));
    }
    return writes;
}

// The board's channels after a complete level 15 on the standard image: each channel's slots, single
// values and charge-balance offsets hold what its self record converts to, computed here from the
// board's coefficients; the digipot holds the manufacturing record's setting. Under the board's lock.
inline void expectSelfRecordsLoaded(const board::IsolatedRegisterFile& registers) {
    namespace r = board::record;
    for (uint32_t c = 0; c < kChannels; ++c) {
        SCOPED_TRACE(c);
        const uint32_t k = 12 + c;  // the self record of channel c
        auto at = [&](uint32_t field, uint32_t i = 0) { return value(board::factory::coefficient(k, field, i)); };
        const board::ChannelCalibration& slots = registers.calibration(c);
        for (uint32_t i = 0; i < 3; ++i) {
            const uint32_t range = (i + 1) << 2;
            const uint32_t gain = bits(at(r::kVoltageGain, i), 31, 24);
            EXPECT_EQ(slots.slot(0x60, range | 1), gain);
            EXPECT_EQ(slots.slot(0x60, range | 2), gain);
            EXPECT_EQ(slots.slot(0x63, range | 1), bits(at(r::kVoltageOffset, i) + at(r::kResidualLocalSenseOffset, i), 30, 31));
            EXPECT_EQ(slots.slot(0x63, range | 2),
                      bits(at(r::kVoltageRemoteOffset, i) + at(r::kResidualRemoteSenseOffset, i), 30, 31));
        }
        EXPECT_EQ(slots.single(0x78), bits(at(r::kVoltageGain, 2), 31, 24));
        EXPECT_EQ(slots.single(0x7A), bits(at(r::kVoltageOffset, 2) + at(r::kResidualLocalSenseOffset, 2), 30, 31));
        for (uint32_t range = 1; range <= 6; ++range) {
            EXPECT_EQ(slots.slot(0x68, range), bits(at(r::kLowCurrentGain, range - 1), 31, 24));
            EXPECT_EQ(slots.slot(0x6B, range),
                      bits(at(r::kResidualCurrentOffset, range - 1) + at(r::kLowCurrentOffset, range - 1), 30, 31));
            EXPECT_EQ(slots.slot(0x88, range), bits(at(r::kLowCurrentCmcGain, range - 1), 33, 24));
        }
        EXPECT_EQ(slots.single(0x70), bits(at(r::kThreeAmpGain), 31, 24));
        EXPECT_EQ(slots.single(0x72), bits(at(r::kResidualCurrentOffset, 6) + at(r::kThreeAmpOffset), 30, 31));
        EXPECT_EQ(slots.single(0x8B), bits(at(r::kThreeAmpCmcGain), 33, 24));
        const uint32_t block = board::IsolatedRegisterFile::kChannelBlocks + c * board::IsolatedRegisterFile::kChannelBlockWords;
        for (uint32_t j = 0; j < 4; ++j)
            EXPECT_EQ(registers.stored(block + 0x58 + j) & 0x3FFF, bits(at(r::kChargeBalanceOffsets, j), 63, 14));
        EXPECT_EQ(slots.slots(0x114).size(), 49u);
        for (uint32_t o = 0; o < 7; ++o)
            for (uint32_t i = 0; i < 7; ++i)
                EXPECT_EQ(slots.slot(0x114, 8 * (o + 1) + (i + 1)), bits(at(r::kPredictiveGains, 7 * o + i), 60, 32));
    }
    EXPECT_EQ(registers.stored(board::IsolatedRegisterFile::kCmccDigiPot), board::factory::kCommonModeCurrentDigipot);
}

inline std::string selfRecord(uint32_t channel) { return "SelfCalibrationChannel" + std::to_string(channel); }
inline std::string record(const char* kind, uint32_t channel) {
    return std::string(kind) + "CalibrationChannel" + std::to_string(channel);
}

}  // namespace caltest
