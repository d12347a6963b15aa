// The bridge and timing maps as the driver uses them: one instantiation each, so every map is
// built with the kernel flags and its hardware calls appear in the driver object.
#include "pavo_regMaps/DO.h"
#include "quolinTools/armgen/IOPort2RegMap.h"
#include "quolinTools/armgen/IsolationPortRegMap.h"
#include "quolinTools/armgen/Quolin.h"
#include "quolinTools/armgen/QuolinConfigPortSPI.h"
#include "quolinTools/armgen/QuolinConfigPortWindow.h"
#include "quolinTools/armgen/QuolinDMAChannel.h"
#include "quolinTools/armgen/StreamCircuitRegMap.h"
#include "quolinTools/armgen/SwitchedQuolinBimRegMap.h"
#include "quolinTools/armgen/Triggers.h"

namespace quolintools {
template class tQuolinWithOffset<0u>;
template class tQuolinDMAChannelWithOffset<0u>;
template class tQuolinConfigPortSPIWithOffset<0u>;
template class tQuolinConfigPortWindowWithOffset<0u>;
template class tSwitchedQuolinBimRegMapWithOffset<0u>;
template class tIOPort2RegMapWithOffset<0u>;
template class tIsolationPortRegMapWithOffset<0u>;
template class tStreamCircuitRegMapWithOffset<0u>;
template class tTriggersWithOffset<0u>;
}  // namespace quolintools
