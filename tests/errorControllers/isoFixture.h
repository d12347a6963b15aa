// The product board's non-isolated FPGA with the isolated side's occurrence hardware behind four
// channel maps, each reaching it through a front end of its own that logs every access with its
// full isolated address, as an access port would.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "board/isolatedOccurrence.h"
#include "kal/sim/faults.h"
#include "device/errorControllerFactory.h"
#include "device/nisoOccurrence.h"
#include "kzvorn_driver_codegen/errorMaps.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"
#include "kzvorn_regMaps/fixture.h"
#include "vantrel_shared/channelInterruptMuxController.h"
#include "vantrel_shared/occurrenceErrorController.h"

namespace errtest {

using armtest::Access;
using armtest::R;
using armtest::W;
using nKZAPALS100::tStatus;
using tChannelMap = kzvorn_regmaps::tTolvaneIsoChannelRegMap;

constexpr int64_t code(uint32_t hex) { return int64_t(int32_t(hex)); }
constexpr uint32_t channelAddress(unsigned c, uint32_t offset) { return 0x1000 + 0x200 * c + offset; }

// Every port logs into one list, in the order of the accesses. Reserved ahead, so that logging allocates nothing while a test fails the driver's allocations
// (the host's allocations go the same way).
struct IsoLog {
    IsoLog() { entries.reserve(100000); }
    std::mutex lock;
    std::vector<Access> entries;
    // Held around the hardware's answer to each access, as the board's lock is.
    std::recursive_mutex hardware;
};

class OccurrenceFrontEnd final : public kzvoltixsharedsource::FrontEndAccessorInterface {
public:
    OccurrenceFrontEnd(board::IsolatedOccurrence& hardware, IsoLog& log) : hardware_(hardware), log_(log) {}
    void write32(uint32_t address, uint32_t value, tStatus& status) override {
        if (status.isFatal()) return;
        record(W(address, 32, value));
        if (failing.count(address) != 0) return void(KZ_SET_CODE(status, failing[address]));
        std::lock_guard<std::recursive_mutex> guard(log_.hardware);
        if (!hardware_.write(address, value)) words[address] = value;
    }
    uint32_t read32(uint32_t address, tStatus& status) override {
        if (status.isFatal()) return 0xFFFFFFFF;
        if (beforeRead) beforeRead(address, status);
        uint32_t value = 0;
        {
            std::lock_guard<std::recursive_mutex> guard(log_.hardware);
            if (!hardware_.read(address, value)) value = words.count(address) ? words[address] : 0;
        }
        record(R(address, 32, value));
        if (failing.count(address) != 0) {
            KZ_SET_CODE(status, failing[address]);
            return 0;
        }
        return value;
    }
    std::map<uint32_t, int64_t> failing;
    std::map<uint32_t, uint32_t> words;
    // Runs ahead of every read, as a port's poll runs the checkers when it meets a fault.
    std::function<void(uint32_t, tStatus&)> beforeRead;

private:
    void record(const Access& a) {
        std::lock_guard<std::mutex> guard(log_.lock);
        log_.entries.push_back(a);
    }
    board::IsolatedOccurrence& hardware_;
    IsoLog& log_;

};

// The non-isolated board's error objects and the four channels' maps and input maps.
struct IsoErrorHardware : kzmaps::NisoBoard {
    board::IsolatedOccurrence iso;
    IsoLog isoLog;
    // Ports 0 to 3 serve channels 0 to 3, port 4 the isolated FPGA's map.
    std::vector<std::unique_ptr<OccurrenceFrontEnd>> ports;
    std::vector<tChannelMap*> channels;
    kzvorn_regmaps::tTolvaneNisoFpgaRegMap niso{&block, st, 0, 0, 0xFFFFFFFF};
    std::unique_ptr<kzvorn_regmaps::tTolvaneIsoFpgaRegMap> isoFpga;
    kzvorn_driver::NisoBoardErrorMuxInputMap nisoInputs{st};
    kzvorn_driver::IsoChannelErrorMuxInputMap channelInputs{st};
    kzvorn_driver::IsoChannelInterruptMuxInputMap interruptInputs{st};
    kzvorn_driver_codegen::ErrorMap errors{st};
    kzhtl::SharedPtr<vantrel_shared::ErrorControllerInterface> nisoController;
    kzvorn_driver::IsoBoardErrorMuxInputMap isoBoardInputs{st};
    std::unique_ptr<kzvorn_driver::ErrorControllerFactory> factory;

    IsoErrorHardware() {
        for (unsigned p = 0; p < 5; ++p) ports.push_back(std::make_unique<OccurrenceFrontEnd>(iso, isoLog));
        isoFpga = std::make_unique<kzvorn_regmaps::tTolvaneIsoFpgaRegMap>(ports[4].get(), st);
        for (unsigned c = 0; c < 4; ++c) {
            channels.push_back(isoFpga->channelMap(c));
            channels[c]->setAccessor(ports[c].get());
        }
        factory = std::make_unique<kzvorn_driver::ErrorControllerFactory>(
            niso, *isoFpga, channels.data(), &isoBoardInputs, &channelInputs, &interruptInputs, &errors);
        kzhtl::SharedPtr<vantrel_shared::OccurrenceMuxInterface> mux(
            kzvorn_driver::newNisoBoardErrorMux(niso, uint8_t(nisoInputs.getInputCount()), st), st);
        kzhtl::SharedPtr<vantrel_shared::ErrorManagerInterface> manager(kzvorn_driver::newNisoBoardErrorManager(niso, st),
                                                                         st);
        nisoController.reset(new (st) vantrel_shared::OccurrenceErrorController(manager, mux, &nisoInputs, &errors), st);
        EXPECT_EQ(st.code, 0);
    }
    void TestBody() override {}

    kzhtl::SharedPtr<vantrel_shared::ErrorControllerInterface> channelErrorController(unsigned c) {
        return factory->createChannelErrorController(uint8_t(c), st);
    }
    kzhtl::SharedPtr<vantrel_shared::ErrorControllerInterface> isoBoardErrorController() {
        return factory->createIsoBoardErrorController(st);
    }
    kzhtl::SharedPtr<vantrel_shared::ChannelInterruptControllerInterface> interruptController(unsigned c) {
        return factory->createChannelInterruptController(uint8_t(c), st);
    }

    // A channel's manager runs and the sources latch on its error mux.
    void latchChannel(unsigned c, std::initializer_list<uint16_t> ids) {
        iso.write(channelAddress(c, 0), 1);
        for (uint16_t id : ids) iso.raise(c, id);
    }
    void latchNiso(std::initializer_list<uint16_t> ids) {
        fpga().errorManager().configure(1);
        for (uint16_t id : ids) fpga().raiseError(id);
    }
    std::vector<Access> isoSeen(bool writes) {
        std::lock_guard<std::mutex> guard(isoLog.lock);
        std::vector<Access> out;
        for (const Access& a : isoLog.entries)
            if (a.write == writes) out.push_back(a);
        return out;
    }
    std::vector<Access> isoSeen() {
        std::lock_guard<std::mutex> guard(isoLog.lock);
        return isoLog.entries;
    }
    void clearLogs() {
        std::lock_guard<std::mutex> guard(isoLog.lock);
        isoLog.entries.clear();
        board.log().clear();
    }
};

// Fails each allocation in turn until the action succeeds: each failure is -52000 and leaks nothing.
inline void sweepAllocations(const std::function<void(tStatus&)>& action) {
    for (uint64_t nth = 1;; ++nth) {
        ASSERT_LT(nth, 1000u);
        const int64_t before = kal::sim::liveAllocations();
        tStatus st;
        bool failed = false;
        {
            kal::sim::FailAllocations fail(nth);
            action(st);
            failed = fail.triggered();
        }
        EXPECT_EQ(kal::sim::liveAllocations(), before) << nth;
        if (!failed) {
            EXPECT_EQ(st.code, 0);
            return;
        }
        EXPECT_EQ(st.code, -52000) << nth;
    }
}

}  // namespace errtest
