#include "controllers/interruptGeneratorController.h"

#include "controllers/statusCodes.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;

InterruptGeneratorController::InterruptGeneratorController(tChannelMap& map, tStatus& status)
    : address_(map.IsoInterruptAddressReg()),
      config_(map.IsoInterruptConfigReg()),
      muxConfig_(map.InterruptMuxConfig()),
      muxStatus_(map.InterruptMuxStatus()),
      raise_(map.SoftwareInterruptAndOverrideReg()),
      lock_(status) {}

void InterruptGeneratorController::programLine(uint32_t line, uint32_t startAddress, tStatus& status) {
    if (status.isFatal()) return;
    nKZAPAL000::tAutoLock guard(lock_);
    address_.writeRegister(startAddress, status, true);
    config_.setBits2_0(line & 7, status).setBits6_4(interruptLineCode(line), status);
    config_.flush(status, true);
    // The keep mask dropped the position after the last select, so the arm goes with position 0:
    // the arm strobe acts on the whole mux.
    muxConfig_.setOccurrenceArmMuxStb(true, status);
    muxConfig_.flush(status, true);
}

void InterruptGeneratorController::fireLine(uint32_t line, tStatus& status) {
    if (status.isFatal()) return;
    nKZAPAL000::tAutoLock guard(lock_);
    raise_.setBits20_16(line < 5 ? 1u << line : 0, status);
    raise_.flush(status, true);
}

void InterruptGeneratorController::clearLineLatch(uint32_t line, tStatus& status) {
    if (status.isFatal()) return;
    nKZAPAL000::tAutoLock guard(lock_);
    const InterruptLineRow* row = findInterruptLine(line);
    if (row == nullptr) return void(KZ_SET_CODE(status, kStatusArgumentOutOfRange));
    muxConfig_.setOccurrenceMuxPosition(row->muxPosition, status).setOccurrenceMuxClearLatchStb(true, status);
    muxConfig_.flush(status, true);
}

bool InterruptGeneratorController::isLineLatched(uint32_t line, tStatus& status) {
    if (status.isFatal()) return false;
    nKZAPAL000::tAutoLock guard(lock_);
    const InterruptLineRow* row = findInterruptLine(line);
    if (row == nullptr) {
        KZ_SET_CODE(status, kStatusArgumentOutOfRange);
        return muxStatus_.getOccurrenceInputLatched(status);
    }
    muxConfig_.setOccurrenceMuxPosition(row->muxPosition, status);
    muxConfig_.flush(status, true);
    // After a failed select or read, the latch bit of the last good read.
    return muxStatus_.readOccurrenceInputLatched(status);
}

}  // namespace kzvorn_driver
