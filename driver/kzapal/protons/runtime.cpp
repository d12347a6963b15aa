#include "kzapal/protons/runtime.h"

#include <cstdarg>

#include "kzkal/debug.h"

namespace {

char digitFor(uint64_t value) { return static_cast<char>(value < 10 ? '0' + value : value + 55); }

void reverse(char* first, char* last) {
    while (first < last) {
        const char c = *first;
        *first++ = *--last;
        *last = c;
    }
}

bool isBlank(char c) { return c == ' ' || (c >= 9 && c <= 13); }

// Digit value in the given base, or -1 when the character is not one.
int digitValue(char c, uint64_t base) {
    if (c >= '0' && c <= '9') return c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

uint64_t readDigits(const char*& text, uint64_t base) {
    uint64_t result = 0;
    for (int d; (d = digitValue(*text, base)) >= 0; ++text) result = result * base + static_cast<uint64_t>(d);
    return result;
}

bool hasHexPrefix(const char* text) { return text[0] == '0' && (text[1] == 'x' || text[1] == 'X'); }

}  // namespace

int boundedPrint(char* buffer, size_t size, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int32_t written = nKZKAL100_vsnPrintf(buffer, size, format, arguments);
    va_end(arguments);
    return written;
}

char* unsignedToText(char* buffer, uint64_t value, uint32_t base) {
    if (base < 2) base = 10;
    char* out = buffer;
    do {
        *out++ = digitFor(value % base);
        value /= base;
    } while (value != 0);
    reverse(buffer, out);
    *out = '\0';
    return out;
}

char* unsignedToTextWidth(char* buffer, uint64_t value, uint32_t width, uint32_t base) {
    if (base < 2) base = 10;
    char* out = buffer;
    for (uint32_t i = 0; i < width; ++i) {
        *out++ = digitFor(value % base);
        value /= base;
    }
    reverse(buffer, out);
    *out = '\0';
    return out;
}

char* unsignedToTextWithBase(char* buffer, uint64_t value, uint32_t base) {
    char* out = buffer;
    if (base == 16) {
        *out++ = '0';
        *out++ = 'x';
    } else if (base != 10) {
        out = unsignedToText(out, base, 10);
        *out++ = '#';
    }
    return unsignedToText(out, value, base);
}

int64_t parseNumber(const char* text) {
    if (text == nullptr) return 0;
    while (isBlank(*text)) ++text;
    if (hasHexPrefix(text)) {
        text += 2;
        return static_cast<int64_t>(readDigits(text, 16));
    }
    const uint64_t value = readDigits(text, 10);
    if (*text != '#') return static_cast<int64_t>(value);
    ++text;
    return static_cast<int64_t>(readDigits(text, value));
}

char* copyTail(char* destination, const char* text, size_t length) {
    size_t textLength = 0;
    while (text[textLength] != '\0') ++textLength;
    const char* from = textLength >= length ? text + (textLength - length) : text;
    size_t i = 0;
    for (; i < length && from[i] != '\0'; ++i) destination[i] = from[i];
    for (; i < length; ++i) destination[i] = '\0';
    destination[length] = '\0';
    return destination + length;
}

namespace {

// Walks the arguments of a text; calls visit(start, end) for each, end pointing at the
// character that terminates it (separator, closing quote or NUL).
template <typename Visit>
void forEachArgument(char* text, Visit visit) {
    char* p = text;
    while (*p != '\0') {
        while (isBlank(*p)) ++p;
        if (*p == '\0') break;
        char* start = p;
        if (*p == '"') {
            start = ++p;
            while (*p != '\0' && *p != '"') ++p;
        } else {
            while (*p != '\0' && !isBlank(*p)) ++p;
        }
        char* end = p;
        if (*p != '\0') ++p;
        visit(start, end);
    }
}

}  // namespace

size_t countArguments(const char* text) {
    if (text == nullptr) return 0;
    size_t count = 0;
    forEachArgument(const_cast<char*>(text), [&](char*, char*) { ++count; });
    return count;
}

void splitArguments(size_t count, char* text, char** arguments) {
    if (count == 0 || text == nullptr || arguments == nullptr) return;
    size_t index = 0;
    forEachArgument(text, [&](char* start, char* end) {
        arguments[index++] = start;
        *end = '\0';
    });
}

namespace kzvorn_driver {
namespace nKZAPAL000 {

uint64_t parseUnsignedInBase(const char* text, uint32_t base) {
    if (text == nullptr) return 0;
    while (isBlank(*text)) ++text;
    if (hasHexPrefix(text)) text += 2;
    return readDigits(text, base);
}

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
