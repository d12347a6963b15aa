// Small C text and number helpers of the runtime.
#pragma once

#include <cstddef>
#include <cstdint>

// The kernel layer's bounded formatter: the character count, or -1; a result >= size did not fit.
int boundedPrint(char* buffer, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
char* unsignedToText(char* buffer, uint64_t value, uint32_t base);
char* unsignedToTextWidth(char* buffer, uint64_t value, uint32_t width, uint32_t base);
char* unsignedToTextWithBase(char* buffer, uint64_t value, uint32_t base);
int64_t parseNumber(const char* text);
char* copyTail(char* destination, const char* text, size_t length);
size_t countArguments(const char* text);
void splitArguments(size_t count, char* text, char** arguments);

namespace kzvorn_driver {
namespace nKZAPAL000 {

uint64_t parseUnsignedInBase(const char* text, uint32_t base);

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
