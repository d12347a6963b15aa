#include "kzapal/quarks/trace.h"

#include <new>

#include "kzapal/protons/runtime.h"
#include "kzapal/quarks/time.h"
#include "kzkal/sync.h"
#include "kzsdbg/kzsdbg.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

namespace {

constexpr const char* kCommandLine = " --destination apal";
constexpr const char* kOverflowMarker = "!!Formatted string exceeds kMaxTraceLine characters!!";
constexpr char kPhaseLetters[] = {'d', 'a', 'b', 'f'};
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr size_t kUnlimited = SIZE_MAX;

// Built by the static initialisers, in this storage; no global object has a constructor.
alignas(tConsoleTraceDestination) unsigned char gConsoleStorage[sizeof(tConsoleTraceDestination)];
tConsoleTraceDestination* gConsole = nullptr;
alignas(tTrace) unsigned char gTraceStorage[sizeof(tTrace)];
tTrace* gTrace = nullptr;

const char* baseName(const char* path) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if ((*p == '/' || *p == '\\') && p[1] != '\0') name = p + 1;
    }
    return name;
}

bool sameText(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return a == b;
    while (*a != '\0' && *a == *b) ++a, ++b;
    return *a == *b;
}

// "major.minor.fix" then the phase letter and the build.
void versionToText(char* buffer, uint32_t version) {
    char* p = unsignedToText(buffer, version >> 24, 10);
    *p++ = '.';
    p = unsignedToText(p, (version >> 20) & 0xF, 10);
    *p++ = '.';
    p = unsignedToText(p, (version >> 16) & 0xF, 10);
    *p++ = kPhaseLetters[(version >> 14) & 0x3];
    unsignedToText(p, version & 0x3FFF, 10);
}

void signedToText(char* buffer, int64_t value, uint32_t base) {
    if (value < 0) {
        *buffer++ = '-';
        unsignedToTextWithBase(buffer, 0 - static_cast<uint64_t>(value), base);
    } else {
        unsignedToTextWithBase(buffer, static_cast<uint64_t>(value), base);
    }
}

char* hexDigits(char* p, uint64_t value, uint32_t digits) {
    for (uint32_t i = digits; i > 0; --i) *p++ = kHexDigits[(value >> (4 * (i - 1))) & 0xF];
    return p;
}

}  // namespace

void tConsoleTraceDestination::writeText(const char* text) { kzsdbg_printf("%s", text); }

void tConsoleTraceDestination::writeTextN(const char* text, size_t length) {
    kzsdbg_printf("%.*s", static_cast<int>(length), text);
}

void tConsoleTraceDestination::getCommandLine(char* buffer, size_t size, size_t& length) {
    kzsdbg_copyText(buffer, kCommandLine, size);
    length = kzsdbg_strlen(kCommandLine) + 1;
}

tTrace::tTrace(tTraceDestination* destination) : destination_(destination), position_(line_) {
    for (bool& flag : flags_) flag = false;
    flags_[kTraceEnabled] = true;
    flags_[kTraceShowComponent] = true;
    flags_[kTraceShowFirstNumber] = true;
    flags_[kTraceShowFile] = true;
    flags_[kTraceShowNesting] = true;
    flags_[kTraceLimitPrefix] = true;
    line_[0] = '\0';
}

tTrace::~tTrace() { disableLocking(); }

tTrace* tTrace::getTrace() { return gTrace; }

void tTrace::enableLocking() {
    if (mutex_ != nullptr) return;
    // A failure (-52000 in a status nobody reads) leaves locking off.
    mutex_ = nKZKAL150_createMutex();
}

void tTrace::disableLocking() {
    if (mutex_ == nullptr) return;
    nKZKAL150_destroyMutex(mutex_);
    mutex_ = nullptr;
    lineLocked_ = false;
}

void tTrace::beginLine(const char* component, uint32_t version, int64_t firstNumber, const char* file,
                       int64_t secondNumber, tTraceNesting nesting) {
    const uint64_t padWidth = prefixWidth_ != 0 ? prefixWidth_ - 1 : 0;
    const uint64_t limit = flags_[kTraceLimitPrefix] ? padWidth : kUnlimited;
    uint64_t written = 0;
    if (mutex_ != nullptr) {
        nKZKAL150_acquireMutex(mutex_);
        lineLocked_ = true;
    }

    // Prefix pieces in their fixed order, each behind a separator, all cut at the limit.
    auto writeLimited = [&](const char* text) {
        if (!isWriting()) return;
        written += append(text, written < limit ? static_cast<size_t>(limit - written) : 0);
    };
    bool anyPiece = false;
    auto writePiece = [&](bool show, const char* text) {
        if (!show) return;
        writeLimited(anyPiece ? "--" : "[");
        writeLimited(text != nullptr ? text : "");
        anyPiece = true;
    };
    char number[72];
    writePiece(flags_[kTraceShowComponent], component);
    if (flags_[kTraceShowVersion]) {
        versionToText(number, version);
        writePiece(true, number);
    }
    if (flags_[kTraceShowFirstNumber]) {
        signedToText(number, firstNumber, 10);
        writePiece(true, number);
    }
    if (flags_[kTraceShowFile]) {
        const char* path = file != nullptr ? file : "";
        writePiece(true, flags_[kTraceFullPath] ? path : baseName(path));
    }
    if (flags_[kTraceShowThread]) {
        unsignedToTextWithBase(number, nKZKAL100_getThreadID(), 16);
        writePiece(true, number);
    }
    if (flags_[kTraceShowTime]) {
        unsignedToText(number, tTimebaseEfficient::getTimerCount(), 10);
        writePiece(true, number);
    }
    if (flags_[kTraceShowSecondNumber]) {
        signedToText(number, secondNumber, 10);
        writePiece(true, number);
    }

    if (isWriting()) {
        for (; written < padWidth; ++written) appendOne(anyPiece ? '-' : ' ');
        if (!flags_[kTraceLimitPrefix] || prefixWidth_ != 0) append(anyPiece ? "] " : "  ", kUnlimited);
    }

    if (nesting == kTraceNestingLeave) {
        nestingDepth_ = nestingDepth_ > 0 ? nestingDepth_ - 1 : 0;
    }
    if (flags_[kTraceShowNesting] && isWriting()) {
        for (int64_t level = 0; level < nestingDepth_; ++level) append("  ", kUnlimited);
    }
    if (nesting == kTraceNestingEnter) ++nestingDepth_;
}

void tTrace::endLine() {
    *this << "\n";
    flags_[kTraceLineSuppressed] = false;
    if (lineLocked_) {
        lineLocked_ = false;
        nKZKAL150_releaseMutex(mutex_);
    }
}

size_t tTrace::append(const char* text, size_t length) {
    size_t count = 0;
    for (; count < length && text[count] != '\0'; ++count) appendOne(text[count]);
    return count;
}

void tTrace::appendOne(char character) {
    *position_++ = character;
    if (character == '\n') pendingNewline_ = true;
    if (position_ == line_ + kLineBufferSize) deliver();
}

void tTrace::deliver() {
    *position_ = '\0';
    if (destination_ != nullptr) destination_->writeText(line_);
    position_ = line_;
}

tTrace& tTrace::write(const char* text, size_t length) {
    if (!isWriting() || text == nullptr) return *this;
    append(text, length);
    // A write that ended a line hands it on at once.
    if (pendingNewline_) {
        pendingNewline_ = false;
        if (position_ != line_) deliver();
    }
    return *this;
}

tTrace& tTrace::operator<<(const char* text) { return write(text, kUnlimited); }

tTrace& tTrace::operator<<(char character) { return write(&character, 1); }

tTrace& tTrace::operator<<(bool value) { return *this << (value ? "true(1)" : "false(0)"); }

tTrace& tTrace::operator<<(const wchar_t* text) { return writeWide(text, kUnlimited); }

tTrace& tTrace::writeWide(const wchar_t* text, size_t length) {
    if (!isWriting() || text == nullptr) return *this;
    *this << "L\"";
    // Only the low byte of each character.
    for (size_t i = 0; i < length && text[i] != 0; ++i) *this << static_cast<char>(text[i] & 0xFF);
    return *this << "\"";
}

tTrace& tTrace::operator<<(const nKZAPALS100::tStatus& status) {
    if (!isWriting()) return *this;
    char text[kMaxTraceLine];
    nKZAPALS100::toText(status, text, sizeof text);
    text[sizeof text - 1] = '\0';
    return *this << text;
}

tTrace& tTrace::operator<<(tTraceManipulator& manipulator) {
    if (isWriting()) manipulator.apply(*this);
    return *this;
}

tTrace& tTrace::writeUnsigned(uint64_t value, uint32_t base) {
    char text[72];
    unsignedToTextWithBase(text, value, base);
    return *this << text;
}

tTrace& tTrace::writeSigned(int64_t value, uint32_t base) {
    char text[72];
    signedToText(text, value, base);
    return *this << text;
}

tTrace& tTrace::writeFormatted(const char* format, ...) {
    if (!isWriting()) return *this;
    char text[kMaxTraceLine];
    text[0] = '\0';
    va_list arguments;
    va_start(arguments, format);
    const int32_t result = kzsdbg_configuration.format(text, sizeof text, format, arguments);
    va_end(arguments);
    text[sizeof text - 1] = '\0';
    if (result < 0 || static_cast<size_t>(result) >= sizeof text) *this << kOverflowMarker;
    return *this << text;
}

tTrace& tTrace::hexDump(const void* data, size_t length, size_t width) {
    if (data == nullptr || length == 0 || !isWriting()) return *this;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    size_t group = width != 0 ? width : 1;
    if (group > 16) group = 16;
    if (group > length) group = length;
    const size_t groupsPerLine = 16 / group;
    const size_t perLine = groupsPerLine * group;
    for (size_t offset = 0; offset < length; offset += perLine) {
        // Address, groups, text and newline of one line fit easily.
        char line[128];
        char* p = hexDigits(line, reinterpret_cast<uintptr_t>(bytes + offset) & 0xFFFFFFFF, 8);
        *p++ = ':';
        *p++ = ' ';
        for (size_t g = 0; g < groupsPerLine; ++g) {
            const size_t start = offset + g * group;
            if ((group == 4 || group == 2) && start + group <= length) {
                uint64_t value = 0;
                for (size_t b = group; b > 0; --b) value = (value << 8) | bytes[start + b - 1];
                p = hexDigits(p, value, static_cast<uint32_t>(group * 2));
            } else {
                for (size_t b = 0; b < group; ++b) {
                    if (start + b < length) {
                        p = hexDigits(p, bytes[start + b], 2);
                    } else {
                        *p++ = 'X';
                        *p++ = 'X';
                    }
                }
            }
            *p++ = ' ';
        }
        *p++ = ':';
        *p++ = ' ';
        for (size_t i = offset; i < offset + perLine && i < length; ++i) {
            *p++ = bytes[i] < 32 || bytes[i] > 126 ? '.' : static_cast<char>(bytes[i]);
        }
        *p++ = '\n';
        write(line, static_cast<size_t>(p - line));
    }
    return *this;
}

tTraceDestination* tTrace::switchDestination(tTraceDestination* destination) {
    tTraceDestination* previous = destination_;
    if (destination == nullptr) return previous;
    *this << "Switching trace destination to " << destination->getName();
    endLine();
    if (destination != destination_ && destination->activate()) {
        destination_ = destination;
        if (previous != nullptr) previous->deactivate();
    }
    return previous;
}

tFunctionTrace::tFunctionTrace(const char* component, uint32_t version, int64_t firstNumber, const char* file,
                               int64_t secondNumber, const char* function, const void* object,
                               const nKZAPALS100::tStatus* status, tTrace& trace)
    : component_(component), version_(version), firstNumber_(firstNumber), file_(file), secondNumber_(secondNumber),
      function_(function), status_(status), trace_(trace) {
    trace_.beginLine(component_, version_, firstNumber_, file_, secondNumber_, kTraceNestingEnter);
    if (function_ != nullptr) trace_ << function_ << "; ";
    if (object != nullptr) trace_ << "this=";
    if (object != nullptr) trace_.writeUnsigned(reinterpret_cast<uintptr_t>(object), 16) << "; ";
    if (status_ != nullptr) trace_ << "tStatus code=";
    if (status_ != nullptr) trace_.writeSigned(status_->code, 10) << " ";
    trace_ << "{";
    trace_.endLine();
}

tFunctionTrace::~tFunctionTrace() {
    trace_.beginLine(component_, version_, firstNumber_, file_, secondNumber_, kTraceNestingLeave);
    trace_ << "} ";
    if (status_ != nullptr) trace_ << "tStatus code=";
    if (status_ != nullptr) trace_.writeSigned(status_->code, 10) << "; ";
    if (function_ != nullptr) trace_ << function_;
    trace_.endLine();
}

void reportAssertion(const char* severity, const char* component, uint32_t version, int64_t number,
                     const char* file, const char* message) {
    tTrace* trace = tTrace::getTrace();
    if (trace == nullptr) return;
    trace->beginLine(component, version, number, file, 105, kTraceNestingNone);
    if (sameText(severity, "default")) {
        *trace << "ASSERTION FAILED: ";
    } else if (sameText(severity, "warning")) {
        *trace << "ASSERTION WARNING: ";
    } else {
        *trace << "ASSERTION FAILED (" << severity << "): ";
    }
    *trace << message;
    trace->endLine();
}

void assertionBreak(const char* severity) {
    if (!sameText(severity, "warning")) kzsdbg_configuration.halt(nullptr, "APAL debug break");
}

int32_t assertionsEnabled() { return 1; }
int32_t assertionReportsEnabled() { return 1; }
int32_t assertionBreaksEnabled() { return 1; }
int32_t warningsEnabled() { return 1; }
int32_t warningReportsEnabled() { return 1; }
int32_t debugPrintEnabled() { return 1; }

void constructConsoleTraceDestination() {
    if (gConsole == nullptr) gConsole = new (gConsoleStorage) tConsoleTraceDestination();
}

void destroyConsoleTraceDestination() {
    if (gConsole == nullptr) return;
    gConsole->~tConsoleTraceDestination();
    gConsole = nullptr;
}

void constructGlobalTrace() {
    if (gTrace == nullptr) gTrace = new (gTraceStorage) tTrace(gConsole);
}

void destroyGlobalTrace() {
    if (gTrace == nullptr) return;
    gTrace->~tTrace();
    gTrace = nullptr;
}

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
