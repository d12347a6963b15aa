#include "quolinTools/firmwareDownload/quolinFirmwareDownloader.h"

namespace quolintools {

namespace {

using nKZAPALS100::tStatus;

constexpr const char* kSource = "quolinTools/firmwareDownload/QuolinFirmwareDownloader";

// The bits of the load's status register the load waits for, inside its 8-bit field.
constexpr uint32_t kLoadReady = 1u << 2;
constexpr uint32_t kLoadDone = 1u << 5;

constexpr uint64_t kLoadStatusTimeoutUs = 500000;
// The port's status is read once after every this many transfers, words and tail bytes alike.
constexpr uint64_t kTransfersPerStatusRead = 30;
constexpr uint64_t kWordSize = 8;

void waitForLoadStatus(const tLoadWait& wait, arm::Register& loadStatus, uint32_t bit, tStatus& status) {
    atut::waitUntil(wait.deadlineUs(kLoadStatusTimeoutUs), [&](tStatus& s) { return loadStatus.readRegister(s); },
                    atut::allBitsSet(bit), status);
}

}  // namespace

void refuseFirmwareTarget(tStatus& status) {
    nKZAPALS100::setCode(status, kStatusFirmwareTargetMismatch, KZ_COMPONENT, kSource, __LINE__);
}

void refuseFirmwareSize(tStatus& status) {
    nKZAPALS100::setCode(status, kStatusFirmwareSizeMismatch, KZ_COMPONENT, kSource, __LINE__);
}

void loadFirmware(tCoreMap& core, const tLoadWait& wait, uint8_t port, const uint8_t* bytes, uint64_t size,
                  tStatus& status) {
    if (status.isFatal()) return;
    core.Register510().writeBits10_8(port, status, false);  // the port the image goes to
    core.FPGALoadSizeRegister().writeRegister(size, status);
    core.FPGALoadControlRegister().writeBit0(true, status, true);  // start
    arm::Register loadStatus = core.FPGALoadStatusRegister();
    waitForLoadStatus(wait, loadStatus, kLoadReady, status);

    // One store per word and a status read every 30th transfer: nothing else while streaming.
    // The words go in blocks of 30, the status tested where a read may have changed it.
    arm::Register tailBytes = core.FPGALoadDataRegister();
    const uint64_t wordCount = size / kWordSize;
    uint64_t transfer = 0;
    {
        arm::WordStream words(core.FPGALoadDataRegister64());
        while (transfer < wordCount && status.isNotFatal()) {
            const uint64_t left = wordCount - transfer;
            const uint64_t block = left < kTransfersPerStatusRead ? left : kTransfersPerStatusRead;
            words.write(bytes + transfer * kWordSize, block, status);
            transfer += block;
            if (transfer % kTransfersPerStatusRead == 0) loadStatus.readRegister(status);
        }
    }
    for (uint64_t i = wordCount * kWordSize; i < size && status.isNotFatal(); ++i) {
        tailBytes.writeRegister(bytes[i], status, true);
        if (++transfer % kTransfersPerStatusRead == 0) loadStatus.readRegister(status);
    }
    waitForLoadStatus(wait, loadStatus, kLoadDone, status);
}

void routeBusInterface(tBusInterfaceMap& bus, uint8_t valueA, uint8_t valueB, tStatus& status) {
    if (status.isFatal()) return;
    bus.Reg680().setPortSelectLow(valueA, status).setPortSelectHigh(valueB, status).flush(status);
}

}  // namespace quolintools
