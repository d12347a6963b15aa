#include "kzsdbg/kzsdbg.h"

#include "kzkal/debug.h"
#include "kzkal/sync.h"

namespace {

constexpr const char* kComponent = "kzvorn_driver";
// Where a halt without a location is reported.
constexpr kzsdbg_Location kHaltLocation = {"kzsdbg/kzsdbg.cpp", 341};

constexpr kzsdbg_PrefixWriter kPrefixWriters[] = {
    kzsdbg_writeOpenBracket, kzsdbg_writeComponent,   kzsdbg_writeBar,    kzsdbg_writeFile, kzsdbg_writeBar,
    kzsdbg_writeLineNumber,  kzsdbg_writeCloseBracket, kzsdbg_writeIndent, nullptr,
};

kzsdbg_IndentEntry gIndents[kzsdbg_kIndentEntries] = {};

// Right-aligns text in a field of width characters (0: the whole text), keeping the last width
// characters of a longer one.
char* writeField(char* buffer, size_t room, const char* text, int32_t width, char pad) {
    if (room == 0) return buffer;
    const size_t length = kzsdbg_strlen(text);
    if (width > 0) {
        const size_t fieldWidth = static_cast<size_t>(width);
        if (length >= fieldWidth) return kzsdbg_copyText(buffer, text + (length - fieldWidth), room);
        size_t padding = fieldWidth - length;
        while (padding > 0 && room > 1) {
            *buffer++ = pad;
            --room;
            --padding;
        }
    }
    return kzsdbg_copyText(buffer, text, room);
}

[[noreturn]] void spinForever() {
    for (;;) asm volatile("" ::: "memory");
}

}  // namespace

kzsdbg_Configuration kzsdbg_configuration = {
    4,
    32,
    10,
    kzsdbg_kDefaultThreshold,
    nKZKAL100_printToDebugger,
    kzsdbg_haltHook,
    nKZKAL100_vsnPrintf,
    kzsdbg_enterIndent,
    kzsdbg_leaveIndent,
    kPrefixWriters,
};

void kzsdbg_vprintf(const char* format, va_list arguments) {
    char line[kzsdbg_kLineSize];
    line[0] = '\0';
    kzsdbg_configuration.format(line, sizeof line, format, arguments);
    line[sizeof line - 1] = '\0';
    kzsdbg_configuration.print(line);
}

void kzsdbg_printf(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    kzsdbg_vprintf(format, arguments);
    va_end(arguments);
}

void kzsdbg_printLevel(int32_t level, const char* format, ...) {
    if (level < kzsdbg_configuration.levelThreshold) return;
    va_list arguments;
    va_start(arguments, format);
    kzsdbg_vprintf(format, arguments);
    va_end(arguments);
}

void kzsdbg_varLineVprintf(const kzsdbg_LineRecord& record, const char* format, va_list arguments) {
    char line[kzsdbg_kLineSize];
    char* const end = line + sizeof line;
    line[0] = '\0';
    const char* suffix = record.suffix != nullptr ? record.suffix : "";
    // The message is cut first, so that the whole suffix fits behind it.
    const size_t suffixLength = kzsdbg_strlen(suffix);
    const size_t cut = suffixLength < sizeof line - 1 ? sizeof line - 1 - suffixLength : 0;

    char* position = line;
    for (const kzsdbg_PrefixWriter* writer = kzsdbg_configuration.prefixWriters; *writer != nullptr; ++writer) {
        position = (*writer)(position, static_cast<size_t>(end - position), record);
    }
    kzsdbg_configuration.format(position, static_cast<size_t>(end - position), format, arguments);
    line[sizeof line - 1] = '\0';
    line[cut] = '\0';
    position = line + kzsdbg_strlen(line);
    kzsdbg_copyText(position, suffix, static_cast<size_t>(end - position));
    kzsdbg_configuration.print(line);
}

void kzsdbg_varLinePrintf(const kzsdbg_LineRecord& record, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    kzsdbg_varLineVprintf(record, format, arguments);
    va_end(arguments);
}

void kzsdbg_varLinePrintLevel(int32_t level, const kzsdbg_LineRecord& record, const char* format, ...) {
    if (level < kzsdbg_configuration.levelThreshold) return;
    va_list arguments;
    va_start(arguments, format);
    kzsdbg_varLineVprintf(record, format, arguments);
    va_end(arguments);
}

void kzsdbg_VarLine::printf(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    kzsdbg_varLineVprintf(record_, format, arguments);
    va_end(arguments);
}

void kzsdbg_VarLineToBuffer::printf(const char* format, ...) {
    if (buffer_ == nullptr || size_ == 0) return;
    va_list arguments;
    va_start(arguments, format);
    kzsdbg_configuration.format(buffer_, size_, format, arguments);
    va_end(arguments);
    buffer_[size_ - 1] = '\0';
}

void kzsdbg_haltHook(const kzsdbg_Location* location, const char* message) {
    const kzsdbg_Location& where = location != nullptr ? *location : kHaltLocation;
    nKZKAL250_halt(kComponent, where.file, static_cast<uint32_t>(where.line), message != nullptr ? message : "halt");
    spinForever();
}

void kzsdbg_assertionFailed(const char* file, int32_t line, const char* condition) {
    kzsdbg_printf("[%s|%s|%d] !!ASSERT!!\n", kComponent, file, line);
    const kzsdbg_LineRecord record = {file, line, "\n"};
    kzsdbg_varLinePrintf(record, "%s", condition);
    kzsdbg_varLinePrintf(record, " ");
    const kzsdbg_Location location = {file, line};
    kzsdbg_configuration.halt(&location, condition);
    spinForever();
}

kzsdbg_IndentEntry* kzsdbg_findIndent(uint64_t threadId) {
    for (kzsdbg_IndentEntry& entry : gIndents) {
        if (__atomic_load_n(&entry.inUse, __ATOMIC_ACQUIRE) != 0 &&
            __atomic_load_n(&entry.threadId, __ATOMIC_RELAXED) == threadId) {
            return &entry;
        }
    }
    return nullptr;
}

kzsdbg_IndentEntry* kzsdbg_enterIndent() {
    const uint64_t self = nKZKAL100_getThreadID();
    kzsdbg_IndentEntry* entry = kzsdbg_findIndent(self);
    if (entry != nullptr) {
        ++entry->depth;
        return entry;
    }
    for (kzsdbg_IndentEntry& candidate : gIndents) {
        uint32_t expected = 0;
        if (__atomic_compare_exchange_n(&candidate.inUse, &expected, 1u, false, __ATOMIC_ACQ_REL, __ATOMIC_RELAXED)) {
            candidate.depth = 1;
            __atomic_store_n(&candidate.threadId, self, __ATOMIC_RELEASE);
            return &candidate;
        }
    }
    return nullptr;
}

void kzsdbg_leaveIndent(kzsdbg_IndentEntry* entry) {
    if (entry == nullptr || entry->depth == 0) return;
    if (--entry->depth != 0) return;
    __atomic_store_n(&entry->threadId, uint64_t{0}, __ATOMIC_RELAXED);
    uint32_t expected = 1;
    __atomic_compare_exchange_n(&entry->inUse, &expected, 0u, false, __ATOMIC_ACQ_REL, __ATOMIC_RELAXED);
}

char* kzsdbg_writeOpenBracket(char* buffer, size_t room, const kzsdbg_LineRecord&) {
    return kzsdbg_copyText(buffer, "[", room);
}

char* kzsdbg_writeComponent(char* buffer, size_t room, const kzsdbg_LineRecord&) {
    return writeField(buffer, room, kComponent, kzsdbg_configuration.componentWidth, ' ');
}

char* kzsdbg_writeBar(char* buffer, size_t room, const kzsdbg_LineRecord&) { return kzsdbg_copyText(buffer, "|", room); }

char* kzsdbg_writeFile(char* buffer, size_t room, const kzsdbg_LineRecord& record) {
    return writeField(buffer, room, record.file != nullptr ? record.file : "", kzsdbg_configuration.fileWidth, ' ');
}

char* kzsdbg_writeLineNumber(char* buffer, size_t room, const kzsdbg_LineRecord& record) {
    // Decimal digits, none for 0; the field pads with zeros.
    char digits[12];
    char* position = digits + sizeof digits - 1;
    *position = '\0';
    uint32_t value = record.line < 0 ? 0u - static_cast<uint32_t>(record.line) : static_cast<uint32_t>(record.line);
    while (value != 0) {
        *--position = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    if (record.line < 0) *--position = '-';
    return writeField(buffer, room, position, kzsdbg_configuration.lineNumberWidth, '0');
}

char* kzsdbg_writeCloseBracket(char* buffer, size_t room, const kzsdbg_LineRecord&) {
    return kzsdbg_copyText(buffer, "] ", room);
}

char* kzsdbg_writeIndent(char* buffer, size_t room, const kzsdbg_LineRecord&) {
    const kzsdbg_IndentEntry* entry = kzsdbg_findIndent(nKZKAL100_getThreadID());
    for (uint32_t level = entry != nullptr ? entry->depth : 0; level > 0 && room > 1; --level, --room) *buffer++ = ' ';
    if (room > 0) *buffer = '\0';
    return buffer;
}

size_t kzsdbg_strlen(const char* text) {
    size_t length = 0;
    if (text != nullptr) {
        while (text[length] != '\0') ++length;
    }
    return length;
}

char* kzsdbg_copyText(char* buffer, const char* text, size_t room) {
    if (room == 0) return buffer;
    if (text != nullptr) {
        while (*text != '\0' && room > 1) {
            *buffer++ = *text++;
            --room;
        }
    }
    *buffer = '\0';
    return buffer;
}

size_t kzsdbg_concat(char* buffer, size_t room, size_t count, ...) {
    if (room == 0) return 0;
    va_list texts;
    va_start(texts, count);
    char* position = buffer;
    for (size_t i = 0; i < count; ++i) {
        position = kzsdbg_copyText(position, va_arg(texts, const char*), room - static_cast<size_t>(position - buffer));
    }
    va_end(texts);
    *position = '\0';
    return static_cast<size_t>(position - buffer) + 1;
}
