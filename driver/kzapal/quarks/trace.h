// The trace: a process-wide stream of diagnostic lines with a configurable prefix, delivered in
// chunks to a replaceable destination (by default the debug print).
#pragma once

#include <cstddef>
#include <cstdint>

#include "kzapal/protons/status.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

class tTraceDestination {
public:
    virtual ~tTraceDestination() {}
    virtual void writeText(const char* text) = 0;
    virtual void writeTextN(const char* text, size_t length) = 0;
    virtual void flush() = 0;
    // length receives the size the full command line needs, its NUL included.
    virtual void getCommandLine(char* buffer, size_t size, size_t& length) = 0;
    virtual bool activate() = 0;
    virtual void deactivate() = 0;
    virtual const char* getName() = 0;
};

// Prints every chunk whole through kzsdbg_printf.
class tConsoleTraceDestination : public tTraceDestination {
public:
    void writeText(const char* text) override;
    void writeTextN(const char* text, size_t length) override;
    void flush() override {}
    void getCommandLine(char* buffer, size_t size, size_t& length) override;
    bool activate() override { return true; }
    void deactivate() override {}
    const char* getName() override { return "kzsdbg_printf"; }
};

class tTrace;

class tTraceManipulator {
public:
    virtual ~tTraceManipulator() {}
    virtual void apply(tTrace& trace) = 0;
};

enum tTraceFlag : uint32_t {
    kTraceEnabled,
    kTraceShowComponent,
    kTraceShowVersion,
    kTraceShowFirstNumber,
    kTraceShowFile,
    kTraceFullPath,
    kTraceShowTime,
    kTraceShowSecondNumber,
    kTraceShowThread,
    kTraceShowNesting,
    kTraceLimitPrefix,
    kTraceLineSuppressed,
    kTraceFlagCount,
};

enum tTraceNesting : uint32_t {
    kTraceNestingNone = 0,
    kTraceNestingEnter = 1,
    kTraceNestingLeave = 2,
};

// Without locking, concurrent writers interleave; with it, beginLine holds the trace mutex until
// endLine, so whole lines are serialised.
class tTrace {
public:
    static constexpr size_t kLineBufferSize = 253;
    static constexpr size_t kMaxTraceLine = 256;

    explicit tTrace(tTraceDestination* destination);
    ~tTrace();
    tTrace(const tTrace&) = delete;
    tTrace& operator=(const tTrace&) = delete;

    // The global instance; null before the static initialisers have built it.
    static tTrace* getTrace();

    bool getFlag(tTraceFlag flag) const { return flags_[flag]; }
    void setFlag(tTraceFlag flag) { flags_[flag] = true; }
    void clearFlag(tTraceFlag flag) { flags_[flag] = false; }
    uint64_t getPrefixWidth() const { return prefixWidth_; }
    void setPrefixWidth(uint64_t width) { prefixWidth_ = width; }
    tTraceDestination* getDestination() const { return destination_; }
    int64_t getNestingDepth() const { return nestingDepth_; }

    bool isLocking() const { return mutex_ != nullptr; }
    void enableLocking();
    void disableLocking();

    void beginLine(const char* component, uint32_t version, int64_t firstNumber, const char* file,
                   int64_t secondNumber, tTraceNesting nesting);
    void endLine();

    tTrace& operator<<(const char* text);
    tTrace& operator<<(char character);
    tTrace& operator<<(bool value);
    tTrace& operator<<(const wchar_t* text);
    tTrace& operator<<(const nKZAPALS100::tStatus& status);
    tTrace& operator<<(tTraceManipulator& manipulator);
    tTrace& write(const char* text, size_t length);
    tTrace& writeWide(const wchar_t* text, size_t length);
    // Base 16 is written with "0x", 10 bare, others as "base#digits".
    tTrace& writeUnsigned(uint64_t value, uint32_t base);
    tTrace& writeSigned(int64_t value, uint32_t base);
    tTrace& writeFormatted(const char* format, ...) __attribute__((format(printf, 2, 3)));
    tTrace& hexDump(const void* data, size_t length, size_t width);

    // Announces the switch on the current destination; returns the previous destination.
    tTraceDestination* switchDestination(tTraceDestination* destination);

private:
    bool isWriting() const { return flags_[kTraceEnabled] && !flags_[kTraceLineSuppressed]; }
    // Appends up to length characters (a NUL ends the text earlier); returns how many.
    size_t append(const char* text, size_t length);
    void appendOne(char character);
    // Hands the buffer to the destination.
    void deliver();
    void writeWideCharacters(const wchar_t* text, size_t length);

    tTraceDestination* destination_;
    bool flags_[kTraceFlagCount];
    uint64_t prefixWidth_ = 50;
    int64_t nestingDepth_ = 0;
    void* mutex_ = nullptr;
    // The mutex is held from beginLine to endLine.
    bool lineLocked_ = false;
    bool pendingNewline_ = false;
    char line_[kLineBufferSize + 1];
    char* position_;
};

// A scope on the trace: an opening line "{" when built and a closing line "}" when destroyed.
class tFunctionTrace {
public:
    tFunctionTrace(const char* component, uint32_t version, int64_t firstNumber, const char* file,
                   int64_t secondNumber, const char* function, const void* object,
                   const nKZAPALS100::tStatus* status, tTrace& trace);
    ~tFunctionTrace();
    tFunctionTrace(const tFunctionTrace&) = delete;
    tFunctionTrace& operator=(const tFunctionTrace&) = delete;

private:
    const char* component_;
    uint32_t version_;
    int64_t firstNumber_;
    const char* file_;
    int64_t secondNumber_;
    const char* function_;
    const nKZAPALS100::tStatus* status_;
    tTrace& trace_;
};

// Assertion reports through the global trace. Severity "default" fails, "warning" warns; any
// other severity is named in the report.
void reportAssertion(const char* severity, const char* component, uint32_t version, int64_t number,
                     const char* file, const char* message);
// Halts for every severity but "warning".
void assertionBreak(const char* severity);
// The reporter's switches, each on (1) in this driver; nothing in it asks.
int32_t assertionsEnabled();
int32_t assertionReportsEnabled();
int32_t assertionBreaksEnabled();
int32_t warningsEnabled();
int32_t warningReportsEnabled();
int32_t debugPrintEnabled();

// For the driver's static-initialiser table and its exit handlers.
void constructConsoleTraceDestination();
void destroyConsoleTraceDestination();
void constructGlobalTrace();
void destroyGlobalTrace();

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
