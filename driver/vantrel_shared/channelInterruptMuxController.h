// Re-enables a channel's interrupt mux inputs after the channel's errors were cleared, unless the
// guard input has latched meanwhile.
#pragma once

#include <cstdint>

#include "kzhtl/sharedPtr.h"
#include "kzhtl/vector.h"
#include "vantrel_shared/muxInputMap.h"
#include "vantrel_shared/occurrenceMux.h"

namespace vantrel_shared {

class ChannelInterruptControllerInterface {
public:
    virtual ~ChannelInterruptControllerInterface() {}
    virtual void enableInterrupts(tStatus& status) = 0;
};

class ChannelInterruptMuxController final : public ChannelInterruptControllerInterface {
public:
    // Copies the ids (-52000 when it cannot); the input map is borrowed and must outlive the controller.
    ChannelInterruptMuxController(const kzhtl::SharedPtr<OccurrenceMuxInterface>& mux,
                                  const kzhtl::Vector<uint16_t>& interruptIds, uint16_t guardId,
                                  MuxInputMapInterface* inputMap, tStatus& status);
    ~ChannelInterruptMuxController() override {}

    void enableInterrupts(tStatus& status) override;

private:
    void act(void (OccurrenceMuxInterface::*action)(uint8_t, tStatus&), tStatus& status);

    kzhtl::SharedPtr<OccurrenceMuxInterface> mux_;
    kzhtl::Vector<uint16_t> interruptIds_;
    uint16_t guardId_;
    MuxInputMapInterface* inputMap_;
};

}  // namespace vantrel_shared
