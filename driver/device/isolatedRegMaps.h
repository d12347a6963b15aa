// The isolated side as register maps: accessors over access ports 0 to 4 of the non-isolated FPGA,
// the isolated FPGA map with its seven channel maps, and the "IsoFpgaWindow" device window, each
// registered by name. Channels 0 to 3 each get an access port of their own; the isolated FPGA map,
// channel maps 4 to 6 and the window share port 4. Port 5 gets no accessor.
#pragma once

#include <cstddef>
#include <cstdint>

#include "armki/armDispatcher.h"
#include "deviceWindow/deviceWindowDispatcher.h"
#include "deviceWindow/memoryAccessor.h"
#include "deviceWindow/memoryWindow.h"
#include "kdut/hardwareStateChecker.h"
#include "kzvoltixSharedSource/frontEndAccessors/windowedFrontEndAccessor.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoFpgaRegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoFpgaRegMap.h"

namespace kzvorn_driver {

using tNisoFpgaRegMap = kzvorn_regmaps::tTolvaneNisoFpgaRegMap;

using tWindowedFrontEndAccessorBase =
    kzvoltixsharedsource::WindowedFrontEndAccessor<tNisoFpgaRegMap, kzvorn_regmaps::nTolvaneDcBusConstants::IsoRegAccessType,
                                                   kzvorn_regmaps::nTolvaneDcBusConstants::kIsoRegAccessRead,
                                                   kzvorn_regmaps::nTolvaneDcBusConstants::kIsoRegAccessWrite>;

class WindowedFrontEndAccessor final : public tWindowedFrontEndAccessorBase {
public:
    // Over access port `port` of the map (0 to 5).
    WindowedFrontEndAccessor(tNisoFpgaRegMap& map, unsigned port, kdut::HardwareStateCheckerComposite& checkers,
                             tStatus& status)
        : tWindowedFrontEndAccessorBase(map.IsoRegAccessWriteData(port), map.IsoRegAccessReadData(port),
                                        map.IsoRegAccessAddr(port), map.IsoRegAccessStatus(port), checkers, status) {}
};

// A device window's runs handed to a front-end accessor one 32-bit word at a time. The window's
// byte index is passed on unchanged as the isolated word address, as user mode has always used
// it: byte runs at i and i + 4 reach isolated words i and i + 4, not consecutive words.
class FrontEndAccessorToDeviceWindowAdapter final : public devicewindow::MemoryAccessor {
public:
    FrontEndAccessorToDeviceWindowAdapter(kzvoltixsharedsource::FrontEndAccessorInterface& accessor, uint64_t size)
        : accessor_(&accessor), size_(size) {}

    void beginRead(tStatus&) override {}
    void beginWrite(tStatus&) override {}
    void endRead(tStatus&) override {}
    void endWrite(tStatus&) override {}
    // A count other than 4: -52005, no access.
    void read(uint64_t index, uint64_t count, char* destination, tStatus& status) override;
    void write(const char* source, uint64_t index, uint64_t count, tStatus& status) override;
    uint64_t getSize() override { return size_; }

private:
    kzvoltixsharedsource::FrontEndAccessorInterface* accessor_;
    uint64_t size_;
};

class IsolatedRegMaps {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tChannelMap = kzvorn_regmaps::tTolvaneIsoChannelRegMap;

    static constexpr unsigned kChannelCount = 4;
    static constexpr unsigned kBoardPort = 4;
    static constexpr uint64_t kWindowSize = 7680;
    static constexpr const char* kWindowName = "IsoFpgaWindow";

    // Every member is built whatever the status holds, so the teardown can always run; with an
    // error nothing is created, written or registered. `customImage`: the isolated FPGA was loaded
    // from the reset's replacement image, which it is told through a configuration bit.
    IsolatedRegMaps(tNisoFpgaRegMap& niso, armki::ARMDispatcher& registry, devicewindow::DeviceWindowDispatcher& windows,
                    kdut::HardwareStateCheckerComposite& checkers, bool customImage, tStatus& status);
    // Removes the names, then destroys the maps, the window and the accessors. No hardware access.
    ~IsolatedRegMaps();
    IsolatedRegMaps(const IsolatedRegMaps&) = delete;
    IsolatedRegMaps& operator=(const IsolatedRegMaps&) = delete;

    kzvorn_regmaps::tTolvaneIsoFpgaRegMap& getIsoFpgaMap() { return isoFpga_; }
    // Null past channel 3 or before the maps were rebound to their ports.
    tChannelMap* getChannelMap(unsigned channel) const {
        return channel < kChannelCount ? channelMaps_[channel] : nullptr;
    }
    WindowedFrontEndAccessor& getChannelAccessor(unsigned channel) { return channelAccessors_[channel]; }
    WindowedFrontEndAccessor& getBoardAccessor() { return boardAccessor_; }

private:
    kzvorn_regmaps::ChannelBaseAddressCalculator calculator_;
    armki::ARMDispatcher& registry_;
    devicewindow::DeviceWindowDispatcher& windows_;
    WindowedFrontEndAccessor channelAccessors_[kChannelCount];
    WindowedFrontEndAccessor boardAccessor_;
    FrontEndAccessorToDeviceWindowAdapter adapter_;
    devicewindow::MemoryWindow window_;
    kzvorn_regmaps::tTolvaneIsoFpgaRegMap isoFpga_;
    tChannelMap* channelMaps_[kChannelCount] = {};
};

}  // namespace kzvorn_driver
