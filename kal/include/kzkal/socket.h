#pragma once

#include "kzkal/types.h"

// Kernel sockets towards a user-mode listener. Null when refused.
KZKAL_EXTERN_C void* nKZKAL250_createKernelSocketBuffer(uint32_t size);
// On success the kernel layer owns the buffer; on failure it still belongs to the caller.
KZKAL_EXTERN_C int32_t nKZKAL250_kernelSocketSend(void* buffer, uint32_t port, uint32_t type, const void* message,
                                                  uint32_t size);
KZKAL_EXTERN_C void nKZKAL250_releaseKernelSocketBuffer(void* buffer);
