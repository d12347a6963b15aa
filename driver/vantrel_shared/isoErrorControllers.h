// The isolated side's error and interrupt controllers, made by a product's factory: the isolated
// board's error controller, the measure-FIFO overflow controller, and per channel of a mask one
// error and one interrupt controller.
#pragma once

#include <cstdint>

#include "controllers/fifoControllers.h"
#include "kzhtl/sharedPtr.h"
#include "kzhtl/vector.h"
#include "vantrel_shared/channelInterruptMuxController.h"
#include "vantrel_shared/occurrenceErrorController.h"

namespace vantrel_shared {

// Every create operation answers an empty pointer when the status holds an error.
class ErrorControllerFactoryInterface {
public:
    virtual ~ErrorControllerFactoryInterface() {}
    virtual kzhtl::SharedPtr<ErrorControllerInterface> createIsoBoardErrorController(tStatus& status) = 0;
    virtual kzhtl::SharedPtr<ErrorControllerInterface> createChannelErrorController(uint8_t channel,
                                                                                    tStatus& status) = 0;
    virtual kzhtl::SharedPtr<ChannelInterruptControllerInterface> createChannelInterruptController(
        uint8_t channel, tStatus& status) = 0;
    virtual kzhtl::SharedPtr<MeasureFIFOOverflowStatusControllerInterface> createMeasureFIFOOverflowStatusController(
        tStatus& status) = 0;
};

struct IsoErrorControllers {
    // Index i of the two vectors is the i-th channel of the mask, in ascending order.
    IsoErrorControllers(ErrorControllerFactoryInterface& factory, uint64_t channelMask, tStatus& status);
    IsoErrorControllers(const IsoErrorControllers&) = delete;
    IsoErrorControllers& operator=(const IsoErrorControllers&) = delete;

    // Declared so that destruction releases the overflow controller, the interrupt controllers, the
    // error controllers and the board controller, in that order.
    kzhtl::SharedPtr<ErrorControllerInterface> isoBoardErrorController;
    kzhtl::Vector<kzhtl::SharedPtr<ErrorControllerInterface>> channelErrorControllers;
    kzhtl::Vector<kzhtl::SharedPtr<ChannelInterruptControllerInterface>> channelInterruptControllers;
    kzhtl::SharedPtr<MeasureFIFOOverflowStatusControllerInterface> measureFIFOOverflowStatusController;
};

}  // namespace vantrel_shared
