#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define KZKAL_EXTERN_C extern "C"
#else
#define KZKAL_EXTERN_C
#endif

// Kernel-layer return codes used by this layer itself.
#define KZKAL_OK 0
#define KZKAL_ERR_GENERIC (-51000)
#define KZKAL_ERR_BAD_PARAMETER (-51009)
#define KZKAL_ERR_NOT_FOUND (-51101)
#define KZKAL_ERR_VALUE_CONFLICT (-51150)
#define KZKAL_ERR_SOFTWARE_FAULT (-51202)
#define KZKAL_ERR_NOT_SUPPORTED (-51256)
#define KZKAL_ERR_MEMORY_FULL (-51352)
#define KZKAL_ERR_PAGE_LOCK (-51353)
#define KZKAL_ERR_TIMEOUT (-51400)
