// The container library: growable array, text, ordered map and shared pointer.
#pragma once

#include "kzhtl/map.h"
#include "kzhtl/sharedPtr.h"
#include "kzhtl/string.h"
#include "kzhtl/vector.h"
