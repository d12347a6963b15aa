#pragma once

#include <stdarg.h>

#include "kzkal/types.h"

KZKAL_EXTERN_C void nKZKAL100_printToDebugger(const char* line);
// Bounded formatted print: the character count, or -1; a result >= size did not fit.
KZKAL_EXTERN_C int32_t nKZKAL100_vsnPrintf(char* buffer, size_t size, const char* format, va_list arguments);
// Never returns.
KZKAL_EXTERN_C void nKZKAL250_halt(const char* component, const char* file, uint32_t line, const char* message);
