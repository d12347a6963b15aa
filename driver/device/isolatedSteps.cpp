// Setup levels 7 to 9: the isolated FPGA's image loaded through the isolation port while the
// isolation link stands in state 1, then state 2 and the DC bus started; the isolated side as
// register maps; and the one configuration strobe the freshly configured FPGA gets.
#include "atut/poller.h"
#include "device/tolvaneHelper.h"
#include "fpga/autoFirmwareDownloader.h"
#include "kzapal/protons/statusCodes.h"

namespace kzvorn_driver {

namespace {

// Either time-out of the load status: readiness before the first byte or completion after the last.
constexpr int64_t kStatusLoadStatusTimeout = KZ_DEVICE_CODE(0xBFFA807F);
constexpr uint32_t kIsoCommState1 = 1;
constexpr uint32_t kIsoCommState2 = 2;

atut::Wait<atut::tSleepPrecise> linkWait(int64_t timeoutStatus) {
    return atut::Wait<atut::tSleepPrecise>().pausesUs(100, 100000).deadlineUs(1000000).timeoutStatus(timeoutStatus);
}

void commandIsoCommState(const IsolatedLinkRecord& link, uint32_t state, nKZAPALS100::tStatus& status) {
    tNisoFpgaRegMap::tIsoCommConfigReg config = link.config;
    tNisoFpgaRegMap::tIsoCommStatusReg reported = link.status;
    config.writeBits1_0(uint8_t(state), status);
    atut::waitUntil(linkWait(link.commStateTimeoutStatus), [&](nKZAPALS100::tStatus& s) {
        return reported.readIsoCommStatus(s);
    }, atut::maskedEquals(0x3, state), status);
}

}  // namespace

void TolvaneHelper::stepIsoFirmware(nKZAPALS100::tStatus& status) {
    customIsoImage_ = false;
    if (status.isFatal()) return;
    // Faked levels 3 or 5 leave nothing to load through.
    PavoRegMaps* maps = pavoObjects_ != nullptr ? pavoObjects_->getRegMaps() : nullptr;
    NonIsolatedControllers* controllers = getNonIsolatedControllers();
    const IsolatedLinkRecord* link = controllers != nullptr ? controllers->getIsolatedLink() : nullptr;
    if (maps == nullptr || link == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
        return;
    }
    commandIsoCommState(*link, kIsoCommState1, status);
    const nKZAPAL000::tEventDescriptor noRequest{nullptr};
    downloadFpgaFirmware(context_.request != nullptr ? *context_.request : noRequest, parameters_.isoFpgaImage,
                         parameters_.isoFpgaImageSize, kIsoFpga, *maps, customIsoImage_, status);
    // The isolated FPGA may finish configuring without the port reporting it; the link's state 2
    // below is the proof that counts.
    if (status.code == kStatusLoadStatusTimeout) status.clear();
    commandIsoCommState(*link, kIsoCommState2, status);
    if (status.isFatal()) return;
    tNisoFpgaRegMap::tIsoCommConfigReg config = link->config;
    tNisoFpgaRegMap::tIsoCommStatusReg reported = link->status;
    config.writeBit8(1, status);
    atut::waitUntil(linkWait(link->dcBusStartupTimeoutStatus), [&](nKZAPALS100::tStatus& s) {
        return reported.readNisoDcBusStartupComplete(s);
    }, atut::maskedEquals(0x1, 1), status);
}

void TolvaneHelper::stepIsolatedRegMaps(nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return;
    NonIsolatedObjects* nonIsolated = getNonIsolatedObjects();
    NonIsolatedRegMaps* niso = nonIsolated != nullptr ? nonIsolated->getRegMaps() : nullptr;
    if (niso == nullptr || getARMDispatcher() == nullptr || getDeviceWindowDispatcher() == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
        return;
    }
    isolatedRegMaps_ = new (status) IsolatedRegMaps(niso->fpga, *getARMDispatcher(), *getDeviceWindowDispatcher(),
                                                    checkers_, customIsoImage_, status);
}

void TolvaneHelper::teardownIsolatedRegMaps(nKZAPALS100::tStatus&) {
    delete isolatedRegMaps_;
    isolatedRegMaps_ = nullptr;
}

void TolvaneHelper::stepIsoConfigStrobe(nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return;
    if (isolatedRegMaps_ == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
        return;
    }
    isolatedRegMaps_->getIsoFpgaMap().IsoFpgaConfigReg().writeBit4(1, status);
}

}  // namespace kzvorn_driver
