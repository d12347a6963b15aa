#pragma once

#include "kzkal/types.h"

KZKAL_EXTERN_C void* nKZKAL100_malloc(size_t size);
KZKAL_EXTERN_C void nKZKAL100_free(void* block);
KZKAL_EXTERN_C void* nKZKAL240_memSet(void* destination, int value, size_t size);
KZKAL_EXTERN_C void* nKZKAL180_memCpy(void* destination, const void* source, size_t size);
KZKAL_EXTERN_C void* nKZKAL180_memMove(void* destination, const void* source, size_t size);
