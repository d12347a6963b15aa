// Loading a configuration image through the bridge's FPGA configuration port: the port number,
// the size and the start bit, a wait for readiness, the image as 64-bit stores with the tail as
// byte writes, and a wait for completion. The port-aware form brings IO port 2's link up around
// the load and routes the bus to the loaded FPGA afterwards.
#pragma once

#include <cstdint>

#include "atut/poller.h"
#include "kdut/firmware.h"
#include "kzapal/quarks/time.h"
#include "quolinTools/armgen/Quolin.h"
#include "quolinTools/armgen/SwitchedQuolinBimRegMap.h"
#include "quolinTools/ioPort2/ioPort2.h"
#include "quolinTools/statusCodes.h"

namespace quolintools {

// The pauses and time-out status of the load-status waits.
using tLoadWait = atut::Wait<atut::tSleepPrecise>;
using tCoreMap = tQuolinWithOffset<0u>;
using tBusInterfaceMap = tSwitchedQuolinBimRegMapWithOffset<0u>;

// The downloader's refusals, recorded with its source file.
void refuseFirmwareTarget(nKZAPALS100::tStatus& status);
void refuseFirmwareSize(nKZAPALS100::tStatus& status);

// The load sequence of an image already checked: size bytes to the port.
void loadFirmware(tCoreMap& core, const tLoadWait& wait, uint8_t port, const uint8_t* bytes, uint64_t size,
                  nKZAPALS100::tStatus& status);
// The bus interface's two routing fields, written when they changed.
void routeBusInterface(tBusInterfaceMap& bus, uint8_t valueA, uint8_t valueB, nKZAPALS100::tStatus& status);

template <class tTarget>
class QuolinFirmwareDownloader : public kdut::FirmwareDownloaderInterface<tTarget> {
public:
    using tStatus = nKZAPALS100::tStatus;

    static constexpr uint64_t kPauseUs = 1;

    QuolinFirmwareDownloader(tCoreMap& core, tTarget target, uint64_t size, uint8_t port)
        : core_(core), target_(target), size_(size), port_(port),
          wait_(tLoadWait().pausesUs(kPauseUs, kPauseUs).timeoutStatus(kStatusFpgaLoadTimeout)) {}

    void download(const kdut::FirmwareInterface<tTarget>& image, tStatus& status) override {
        if (status.isFatal()) return;
        if (image.getTarget() != target_) {
            refuseFirmwareTarget(status);
        } else if (image.size() != size_) {
            refuseFirmwareSize(status);
        }
        loadFirmware(core_, wait_, port_, image.data(), size_, status);
    }

private:
    tCoreMap& core_;
    tTarget target_;
    uint64_t size_;
    uint8_t port_;
    tLoadWait wait_;
};

template <class tTargetType, tTargetType kTarget, uint64_t kSize, uint8_t kPort>
class QuolinFirmwareDownloaderTemplate : public QuolinFirmwareDownloader<tTargetType> {
public:
    explicit QuolinFirmwareDownloaderTemplate(tCoreMap& core)
        : QuolinFirmwareDownloader<tTargetType>(core, kTarget, kSize, kPort) {}
};

template <class tTarget>
struct QuolinPortAwareFirmwareDownloaderImpl {
    IOPort2& ioPort;
    tBusInterfaceMap& bus;
    tCoreMap& core;  // kept, not used by the download
    uint8_t busValueA;
    uint8_t busValueB;
    QuolinFirmwareDownloader<tTarget>& inner;
};

template <class tTarget>
class QuolinPortAwareFirmwareDownloader : public kdut::FirmwareDownloaderInterface<tTarget> {
public:
    using tStatus = nKZAPALS100::tStatus;

    // The link is enabled before the inner downloader checks the image, and configured, then the
    // bus routed, only after its load.
    void download(const kdut::FirmwareInterface<tTarget>& image, tStatus& status) override {
        if (status.isFatal()) return;
        impl_.ioPort.enable(status);
        impl_.inner.download(image, status);
        impl_.ioPort.configure(status);
        routeBusInterface(impl_.bus, impl_.busValueA, impl_.busValueB, status);
    }

protected:
    // Only stored here: the derived class builds it after this base.
    explicit QuolinPortAwareFirmwareDownloader(const QuolinPortAwareFirmwareDownloaderImpl<tTarget>& impl)
        : impl_(impl) {}

private:
    const QuolinPortAwareFirmwareDownloaderImpl<tTarget>& impl_;
};

template <uint8_t kBusValueA, uint8_t kBusValueB, class tTargetType, tTargetType kTarget, uint64_t kSize,
          uint8_t kPort>
class QuolinPortAwareFirmwareDownloaderTemplate : public QuolinPortAwareFirmwareDownloader<tTargetType> {
public:
    QuolinPortAwareFirmwareDownloaderTemplate(IOPort2& ioPort, tBusInterfaceMap& bus, tCoreMap& core)
        : QuolinPortAwareFirmwareDownloader<tTargetType>(impl_),
          inner_(core),
          impl_{ioPort, bus, core, kBusValueA, kBusValueB, inner_} {}

private:
    QuolinFirmwareDownloaderTemplate<tTargetType, kTarget, kSize, kPort> inner_;
    QuolinPortAwareFirmwareDownloaderImpl<tTargetType> impl_;
};

}  // namespace quolintools
