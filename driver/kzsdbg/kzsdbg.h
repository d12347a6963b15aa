// Debug print: lines of at most 255 characters to the kernel's debugger print, optionally behind
// a fixed-width prefix "[component|file|line] ", filtered by a level; and the fatal path.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

constexpr size_t kzsdbg_kLineSize = 256;
constexpr int32_t kzsdbg_kDefaultThreshold = 0x1000;
constexpr size_t kzsdbg_kIndentEntries = 16;

// What a prefixed line is about.
struct kzsdbg_LineRecord {
    const char* file;
    int32_t line;
    // Appended after the message; survives any cut.
    const char* suffix;
};

struct kzsdbg_Location {
    const char* file;
    int32_t line;
};

struct kzsdbg_IndentEntry {
    uint64_t threadId;
    uint32_t depth;
    uint32_t inUse;
};

using kzsdbg_PrintHook = void (*)(const char* text);
// Does not return.
using kzsdbg_HaltHook = void (*)(const kzsdbg_Location* location, const char* message);
using kzsdbg_FormatHook = int32_t (*)(char* buffer, size_t size, const char* format, va_list arguments);
using kzsdbg_IndentHook = kzsdbg_IndentEntry* (*)();
using kzsdbg_UnindentHook = void (*)(kzsdbg_IndentEntry* entry);
// Writes one piece of a prefix at buffer within room bytes (its NUL included); returns the NUL.
using kzsdbg_PrefixWriter = char* (*)(char* buffer, size_t room, const kzsdbg_LineRecord& record);

// Module-wide; the hooks let the kernel-layer functions be swapped in one place.
struct kzsdbg_Configuration {
    int32_t lineNumberWidth;
    int32_t fileWidth;
    int32_t componentWidth;
    int32_t levelThreshold;
    kzsdbg_PrintHook print;
    kzsdbg_HaltHook halt;
    kzsdbg_FormatHook format;
    kzsdbg_IndentHook indent;
    kzsdbg_UnindentHook unindent;
    // Null-terminated.
    const kzsdbg_PrefixWriter* prefixWriters;
};

extern kzsdbg_Configuration kzsdbg_configuration;

// Plain lines: no prefix, no level.
void kzsdbg_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void kzsdbg_vprintf(const char* format, va_list arguments);
void kzsdbg_printLevel(int32_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Prefixed lines.
void kzsdbg_varLinePrintf(const kzsdbg_LineRecord& record, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void kzsdbg_varLineVprintf(const kzsdbg_LineRecord& record, const char* format, va_list arguments);
void kzsdbg_varLinePrintLevel(int32_t level, const kzsdbg_LineRecord& record, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// A line object: lead and tail are texts its owner passes first and last to its own formats.
class kzsdbg_VarLine {
public:
    kzsdbg_VarLine(const kzsdbg_LineRecord& record, const char* lead, const char* tail)
        : record_(record), lead_(lead), tail_(tail) {}
    virtual ~kzsdbg_VarLine() {}
    virtual void printf(const char* format, ...);

    const char* getLead() const { return lead_; }
    const char* getTail() const { return tail_; }

protected:
    kzsdbg_LineRecord record_;
    const char* lead_;
    const char* tail_;
};

// Formats into a buffer instead of printing; no prefix.
class kzsdbg_VarLineToBuffer : public kzsdbg_VarLine {
public:
    kzsdbg_VarLineToBuffer(const kzsdbg_LineRecord& record, const char* lead, const char* tail, char* buffer,
                           size_t size)
        : kzsdbg_VarLine(record, lead, tail), buffer_(buffer), size_(size) {}
    void printf(const char* format, ...) override;

private:
    char* buffer_;
    size_t size_;
};

// The fatal path: ends in the kernel layer's halt and never returns.
[[noreturn]] void kzsdbg_haltHook(const kzsdbg_Location* location, const char* message);
// "[kzvorn_driver|file|line] !!ASSERT!!", the condition as two prefixed lines, then the halt hook.
[[noreturn]] void kzsdbg_assertionFailed(const char* file, int32_t line, const char* condition);

// Per-thread nesting of prefixed lines; null when all entries are taken.
kzsdbg_IndentEntry* kzsdbg_enterIndent();
void kzsdbg_leaveIndent(kzsdbg_IndentEntry* entry);
kzsdbg_IndentEntry* kzsdbg_findIndent(uint64_t threadId);

// Prefix writers.
char* kzsdbg_writeOpenBracket(char* buffer, size_t room, const kzsdbg_LineRecord& record);
char* kzsdbg_writeComponent(char* buffer, size_t room, const kzsdbg_LineRecord& record);
char* kzsdbg_writeBar(char* buffer, size_t room, const kzsdbg_LineRecord& record);
char* kzsdbg_writeFile(char* buffer, size_t room, const kzsdbg_LineRecord& record);
char* kzsdbg_writeLineNumber(char* buffer, size_t room, const kzsdbg_LineRecord& record);
char* kzsdbg_writeCloseBracket(char* buffer, size_t room, const kzsdbg_LineRecord& record);
char* kzsdbg_writeIndent(char* buffer, size_t room, const kzsdbg_LineRecord& record);

// Text helpers.
size_t kzsdbg_strlen(const char* text);
// Copies up to room bytes (NUL included); returns the NUL's position.
char* kzsdbg_copyText(char* buffer, const char* text, size_t room);
// Copies count texts one after another within room; returns the bytes used, NUL included.
size_t kzsdbg_concat(char* buffer, size_t room, size_t count, ...);
