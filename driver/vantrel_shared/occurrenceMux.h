// The occurrence hardware of an FPGA block: a mux whose numbered inputs are each fed by one
// occurrence source, and the error manager that latches the first error the block's error mux
// reports. Both are templates over the register types of the block's map, which must offer:
//   mux configuration type: setOccurrenceMuxPosition(value, status) (merged into the shadow only),
//     writeOccurrenceMuxPosition / writeOccurrenceMuxAction / writeOccurrenceMuxClearAllLatchStb
//     (value, status, force) (merged, then written when dirty or forced), with every field a strobe
//     that the keep mask clears from the shadow after a good write;
//   mux status type: refresh(status), getOccurrenceInputLatched(status),
//     getOccurrenceInputSourceEnum(status);
//   block configuration type: the two strobe writers named by the manager's template arguments,
//     (bool, status, force);
//   occurrence type: refresh(status), getOccurrenceEnum(status).
// The non-isolated, isolated FPGA and channel maps declare these names for their types.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "kzhtl/vector.h"

namespace vantrel_shared {

using tStatus = nKZAPALS100::tStatus;

class OccurrenceMuxInterface {
public:
    virtual ~OccurrenceMuxInterface() {}
    virtual void disableInput(uint8_t position, tStatus& status) = 0;
    virtual void enableInput(uint8_t position, tStatus& status) = 0;
    virtual bool isInputLatched(uint8_t position, tStatus& status) = 0;
    // Appends the source id of every latched input, in ascending position order.
    virtual void getLatchedInputs(kzhtl::Vector<uint16_t>& ids, tStatus& status) = 0;
    virtual void clearAllLatched(tStatus& status) = 0;
};

// The configuration and status registers are the two sides of one word: the position last written
// selects the input the status describes, so callers serialise select-and-read sequences.
template <class tConfigReg, class tStatusReg, class tAction, tAction kDisableAction, tAction kEnableAction>
class OccurrenceMux final : public OccurrenceMuxInterface {
public:
    OccurrenceMux(const tConfigReg& config, const tStatusReg& statusReg, uint8_t inputCount)
        : config_(config), status_(statusReg), inputCount_(inputCount) {}

    void disableInput(uint8_t position, tStatus& status) override { act(position, kDisableAction, status); }
    void enableInput(uint8_t position, tStatus& status) override { act(position, kEnableAction, status); }

    // The selecting word is always written: position 0 on a clean shadow would otherwise send
    // nothing, and the status would describe the input selected last.
    bool isInputLatched(uint8_t position, tStatus& status) override {
        if (status.isFatal()) return false;
        config_.writeOccurrenceMuxPosition(position, status, true);
        if (status.isFatal()) return status_.getOccurrenceInputLatched(status);
        status_.refresh(status);
        return status_.getOccurrenceInputLatched(status);
    }

    void getLatchedInputs(kzhtl::Vector<uint16_t>& ids, tStatus& status) override {
        for (unsigned position = 0; position < inputCount_ && status.isNotFatal(); ++position) {
            if (!isInputLatched(uint8_t(position), status)) continue;
            status_.refresh(status);
            if (status.isFatal()) return;
            ids.push_back(uint16_t(status_.getOccurrenceInputSourceEnum(status)), status);
        }
    }

    void clearAllLatched(tStatus& status) override {
        if (status.isFatal()) return;
        config_.writeOccurrenceMuxClearAllLatchStb(true, status);
    }

    uint8_t inputCount() const { return inputCount_; }

private:
    // Action and position in one shadow update, then one write; both are strobes, so every call writes.
    void act(uint8_t position, tAction action, tStatus& status) {
        if (status.isFatal()) return;
        config_.setOccurrenceMuxPosition(position, status);
        config_.writeOccurrenceMuxAction(action, status);
    }

    tConfigReg config_;
    tStatusReg status_;
    uint8_t inputCount_;
};

class ErrorManagerInterface {
public:
    virtual ~ErrorManagerInterface() {}
    virtual void enable(tStatus& status) = 0;
    virtual void disable(tStatus& status) = 0;
    // The latched occurrence id, 0 when none.
    virtual uint16_t readErrorStatus(tStatus& status) = 0;
};

template <class tConfigReg, class tOccurrenceReg,
          tConfigReg& (tConfigReg::*kEnableStrobe)(bool, tStatus&, bool),
          tConfigReg& (tConfigReg::*kDisableStrobe)(bool, tStatus&, bool)>
class OccurrenceErrorManager final : public ErrorManagerInterface {
public:
    OccurrenceErrorManager(const tConfigReg& config, const tOccurrenceReg& occurrence)
        : config_(config), occurrence_(occurrence) {}

    void enable(tStatus& status) override {
        if (status.isNotFatal()) (config_.*kEnableStrobe)(true, status, false);
    }
    void disable(tStatus& status) override {
        if (status.isNotFatal()) (config_.*kDisableStrobe)(true, status, false);
    }
    uint16_t readErrorStatus(tStatus& status) override {
        if (status.isFatal()) return 0;
        occurrence_.refresh(status);
        return uint16_t(occurrence_.getOccurrenceEnum(status) & 0xFFF);
    }

private:
    tConfigReg config_;
    tOccurrenceReg occurrence_;
};

}  // namespace vantrel_shared
