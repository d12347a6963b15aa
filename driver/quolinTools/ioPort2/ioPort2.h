// The bridge's IO port 2 serial link, configured and enabled through its registers behind the
// port accessor.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "quolinTools/armgen/IOPort2RegMap.h"

namespace quolintools {

class IOPort2 {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tMap = tIOPort2RegMapWithOffset<0u>;

    // The map is not owned.
    IOPort2(tMap* map, uint8_t configBits8to14, uint8_t configBits16to22, uint8_t configBits24to29,
            nIOPort2RegMap::IoPort2PllRange_t pllRange, uint8_t configBits0to1, bool controlBit2, bool controlBit1)
        : map_(map), configBits8to14_(configBits8to14), configBits16to22_(configBits16to22),
          configBits24to29_(configBits24to29), pllRange_(pllRange), configBits0to1_(configBits0to1),
          controlBit2_(controlBit2), controlBit1_(controlBit1) {}
    IOPort2(const IOPort2&) = delete;
    IOPort2& operator=(const IOPort2&) = delete;
    virtual ~IOPort2() {}

    // Writes the link set-up with the port disabled and waits for the configured state (status bit
    // 7 set, enable bit 0 clear); kStatusIOPort2LinkTimedOut when it does not come within 500 ms.
    virtual void configure(tStatus& status);
    // Sets the enable bit and waits for the enabled state (bit 0 set, bit 7 clear), as configure.
    virtual void enable(tStatus& status);
    // Bit 7 of the control/status register; of the old shadow when the read fails.
    virtual bool readStatusBit7(tStatus& status);

private:
    void waitForState(uint64_t state, tStatus& status);

    tMap* map_;
    uint8_t configBits8to14_;
    uint8_t configBits16to22_;
    uint8_t configBits24to29_;
    nIOPort2RegMap::IoPort2PllRange_t pllRange_;
    uint8_t configBits0to1_;
    bool controlBit2_;
    bool controlBit1_;
};

template <uint8_t kConfigBits8to14, uint8_t kConfigBits16to22, uint8_t kConfigBits24to29,
          nIOPort2RegMap::IoPort2PllRange_t kPllRange, uint8_t kConfigBits0to1, bool kControlBit2, bool kControlBit1>
class IOPort2Template : public IOPort2 {
public:
    explicit IOPort2Template(tMap* map)
        : IOPort2(map, kConfigBits8to14, kConfigBits16to22, kConfigBits24to29, kPllRange, kConfigBits0to1,
                  kControlBit2, kControlBit1) {}
};

}  // namespace quolintools
