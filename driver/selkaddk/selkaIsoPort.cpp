// Nothing in the driver calls the kit; instantiating it here keeps its code in the driver object.
#include "selkaddk/selkaIsoPort.h"

namespace selkaddk {

template class SelkaIsoPort<WindowAccess>;

}  // namespace selkaddk
