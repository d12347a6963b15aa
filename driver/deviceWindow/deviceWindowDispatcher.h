// The registry of device windows.
#pragma once

#include "kzRegiTools/dispatcher.h"

namespace devicewindow {
class DeviceWindow;
}

// Windows are registered without a version and asked for by their bare names.
template <>
constexpr bool kzregitools::kRegistersVersioned<devicewindow::DeviceWindow> = false;

namespace devicewindow {

class DeviceWindowDispatcher : public kzregitools::Dispatcher<DeviceWindow> {};

}  // namespace devicewindow
