#include "setupTeardownTask/isolatedObjects.h"

namespace kzvorn_driver {

IsolatedObjects::IsolatedObjects() {}

IsolatedObjects::~IsolatedObjects() {}

}  // namespace kzvorn_driver
