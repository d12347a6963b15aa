// The kernel abstraction layer as the driver sees it: plain C entry points.
// This build provides them in user space (kal/); the driver includes only this folder.
#pragma once

#include "kzkal/types.h"
#include "kzkal/memory.h"
#include "kzkal/sync.h"
#include "kzkal/debug.h"
#include "kzkal/regmem.h"
#include "kzkal/pci.h"
#include "kzkal/driver.h"
#include "kzkal/interrupt.h"
#include "kzkal/user.h"
#include "kzkal/socket.h"
#include "kzkal/time.h"
#include "kzkal/thread.h"
#include "kzkal/dma.h"
