// Device kit for a line-switching core behind the bridge's isolation port: it checks the core's
// identification word on a mapped window and programs per-port, per-line registers to connect
// signal lines between two ports.
//
// The kit reaches the core with plain 32-bit loads and stores on the window, not through the
// kernel layer. Nothing in the driver owns such a window, so port and line numbers are taken as
// given: there is no window size to check them against.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "kzapal/protons/statusCodes.h"
#include "selkaddk/statusCodes.h"

namespace selkaddk {

// Core registers, relative to the core base.
namespace core {
constexpr uint32_t kIdentification = 0x1F0000;
constexpr uint32_t kInformation = 0x1F0004;
constexpr uint32_t kControl = 0x1F0010;
constexpr uint32_t kLines = 0x1F1000;
constexpr uint32_t kPortStride = 0x1000;
constexpr uint32_t kLineStride = 0x80;

constexpr uint32_t kIdentificationWord = 0x5E1CA000;
constexpr uint32_t kRoutingLock = 1u << 2;
// What getInfo reports after the information word.
constexpr uint32_t kInfoSecond = 0;
constexpr uint32_t kInfoThird = 0;
constexpr uint32_t kInfoFourth = 0x31C000;
}  // namespace core

// Registers of one line of one port, and the words written to them.
namespace line {
constexpr uint32_t kSelect = 0x00;
constexpr uint32_t kCommand = 0x0C;
constexpr uint32_t kWord = 0x10;
constexpr uint32_t kConnectionMode = 0x18;
constexpr uint32_t kConnectionEnable = 0x2C;
constexpr uint32_t kConnectionBits = 0x3C;

constexpr uint32_t kSelected = 1;
constexpr uint32_t kCommandConnect = 0x4204;  // drive or connect
constexpr uint32_t kCommandRelease = 0x4101;
constexpr uint32_t kCommandDisconnect = 0x101;
constexpr uint32_t kWordReleased = 0x10000000;
constexpr uint32_t kWordDriven = 0x10600000;
constexpr uint32_t kWordRouted = 0x10700000;
constexpr uint32_t kWordConnection = 0x10000000;
constexpr uint32_t kWordConnectionBits = 0x00FFFFFF;
constexpr uint32_t kModeIdle = 1;
constexpr uint32_t kModeConnected = 2;
constexpr uint32_t kEnableOff = 1;
constexpr uint32_t kEnableOn = 2;
}  // namespace line

// Plain 32-bit loads and stores on the window.
struct WindowAccess {
    static uint32_t load(uintptr_t address) { return *reinterpret_cast<const volatile uint32_t*>(address); }
    static void store(uintptr_t address, uint32_t value) { *reinterpret_cast<volatile uint32_t*>(address) = value; }
};

// One view of the core: its base and every register operation. A view without a base makes no
// access, so nothing reaches a window that was never attached or has been detached.
template <class tAccess>
class CoreView {
public:
    uint8_t* base() const { return base_; }
    void setBase(uint8_t* base) { base_ = base; }

    uint32_t read(uintptr_t offset) const { return base_ == nullptr ? 0 : tAccess::load(address(offset)); }
    void write(uintptr_t offset, uint32_t value) const {
        if (base_ != nullptr) tAccess::store(address(offset), value);
    }
    // Returns the word written.
    uint32_t modify(uintptr_t offset, uint32_t clear, uint32_t set) const {
        const uint32_t value = (read(offset) & ~clear) | set;
        write(offset, value);
        return value;
    }

    static uintptr_t lineRegister(uint32_t port, uint8_t lineNumber, uint32_t reg) {
        return core::kLines + uintptr_t{port} * core::kPortStride + uintptr_t{lineNumber} * core::kLineStride + reg;
    }
    void writeLine(uint32_t port, uint8_t lineNumber, uint32_t reg, uint32_t value) const {
        write(lineRegister(port, lineNumber, reg), value);
    }
    void writeCommand(uint32_t port, uint8_t lineNumber, uint32_t command, uint32_t word) const {
        writeLine(port, lineNumber, line::kCommand, command);
        writeLine(port, lineNumber, line::kWord, word);
    }

    void selectLine(uint32_t port, uint8_t lineNumber) const {
        writeLine(port, lineNumber, line::kSelect, line::kSelected);
    }
    void driveLine(uint32_t port, uint8_t lineNumber, uint32_t value) const {
        writeCommand(port, lineNumber, line::kCommandConnect, value | line::kWordDriven);
    }
    void releaseLine(uint32_t port, uint8_t lineNumber) const {
        writeCommand(port, lineNumber, line::kCommandRelease, line::kWordReleased);
    }
    void releaseLine(uint32_t portA, uint32_t portB, uint8_t lineNumber) const {
        releaseLine(portA, lineNumber);
        releaseLine(portB, lineNumber);
    }
    void disableLine(uint32_t port, uint8_t lineNumber) const {
        writeCommand(port, lineNumber, line::kCommandDisconnect, line::kWordReleased);
    }
    void setConnectionBit(uint32_t port, uint8_t lineNumber, uint32_t bit) const {
        const uint32_t mask = bitMask(bit);
        if (mask == 0) return;
        const uintptr_t bits = lineRegister(port, lineNumber, line::kConnectionBits);
        if (read(bits) == 0) {
            writeLine(port, lineNumber, line::kConnectionEnable, line::kEnableOff);
            writeLine(port, lineNumber, line::kConnectionEnable, line::kEnableOn);
        }
        modify(bits, 0, mask);
    }
    void selectConnection(uint32_t port, uint8_t lineNumber, uint32_t bit) const {
        writeLine(port, lineNumber, line::kWord, line::kWordConnection | (bitMask(bit) & line::kWordConnectionBits));
        writeLine(port, lineNumber, line::kConnectionMode, line::kModeConnected);
        writeLine(port, lineNumber, line::kCommand, line::kCommandConnect);
    }
    void clearConnectionBit(uint32_t port, uint8_t lineNumber, uint32_t bit) const {
        const uint32_t mask = bitMask(bit);
        if (mask == 0) return;
        if (modify(lineRegister(port, lineNumber, line::kConnectionBits), mask, 0) != 0) return;
        writeLine(port, lineNumber, line::kConnectionEnable, line::kEnableOff);
        writeLine(port, lineNumber, line::kConnectionMode, line::kModeIdle);
    }

private:
    uintptr_t address(uintptr_t offset) const { return reinterpret_cast<uintptr_t>(base_) + offset; }
    // A bit number past the 32-bit register names no bit; shifting by it would be undefined.
    static uint32_t bitMask(uint32_t bit) { return bit < 32 ? 1u << bit : 0; }

    uint8_t* base_ = nullptr;
};

// Routes lines 0 to 9 between two ports, two bits of a code word per line.
template <class tAccess>
struct LineRouter {
    enum Code : uint32_t { kLeave = 0, kRouteAToB = 1, kRouteBToA = 2, kRelease = 3 };
    static constexpr uint8_t kLineCount = 10;

    uint32_t portA = 1;
    uint32_t portB = 2;
    CoreView<tAccess> core;

    bool locked() const { return (core.read(core::kControl) & core::kRoutingLock) != 0; }
    void setLock(bool lock) const { core.modify(core::kControl, core::kRoutingLock, lock ? core::kRoutingLock : 0); }

    void route(uint32_t codes, nKZAPALS100::tStatus& status) const {
        if (status.isFatal()) return;
        if (locked()) {
            KZ_SET_CODE(status, kStatusCoreUnavailable);
            return;
        }
        if (portA == 0 || portB == 0) codes &= 0xFFFF;
        for (uint8_t lineNumber = 0; lineNumber < kLineCount; ++lineNumber) {
            const uint32_t code = (codes >> (2 * lineNumber)) & 3;
            if (code == kLeave) continue;
            core.releaseLine(portA, portB, lineNumber);
            if (code == kRouteAToB) connect(portA, portB, lineNumber);
            if (code == kRouteBToA) connect(portB, portA, lineNumber);
        }
    }

private:
    void connect(uint32_t from, uint32_t to, uint8_t lineNumber) const {
        core.selectLine(from, lineNumber);
        core.selectLine(to, lineNumber);
        const bool routed = from == 2 || (from == 1 && to == 2);
        core.writeCommand(to, lineNumber, line::kCommandConnect, routed ? line::kWordRouted : line::kWordDriven);
    }
};

// The one line connection the kit holds; connectLine hands out a copy of it.
template <class tAccess>
struct LineConnection {
    static constexpr uint8_t kConnectionBit = 10;

    CoreView<tAccess> core;
    bool connected = false;
    uint32_t sourcePort = 0;
    uint8_t sourceLine = 0;
    uint32_t destinationPort = 0;
    uint8_t destinationLine = 0;
    uint8_t connectionBit = 0;
};

template <class tAccess = WindowAccess>
class SelkaIsoPort {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tConnection = LineConnection<tAccess>;

    void attach(void* window, uint32_t offset, tStatus& status) {
        if (status.isFatal()) return;
        informationView_ = CoreView<tAccess>();
        lineView_ = CoreView<tAccess>();
        router_ = LineRouter<tAccess>();
        connection_ = tConnection();
        window_ = static_cast<uint8_t*>(window);
        identificationOffset_ = offset;
        coreBase_ = nullptr;
        if (window_ == nullptr) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
            return;
        }
        const uintptr_t identification = reinterpret_cast<uintptr_t>(window_) + offset;
        if (tAccess::load(identification) != core::kIdentificationWord) {
            KZ_SET_CODE(status, kStatusIdentificationMismatch);
            return;
        }
        coreBase_ = reinterpret_cast<uint8_t*>(identification - core::kIdentification);
        setPartBases(coreBase_);
    }

    // The parts forget the core too: the window's owner may unmap it once the kit is detached.
    void detach() {
        window_ = nullptr;
        coreBase_ = nullptr;
        setPartBases(nullptr);
    }

    void getInfo(uint32_t& information, uint32_t& second, uint32_t& third, uint32_t& fourth, tStatus& status) const {
        if (!hasCore(status)) return;
        information = informationView_.read(core::kInformation);
        second = core::kInfoSecond;
        third = core::kInfoThird;
        fourth = core::kInfoFourth;
    }

    void routeLines(uint32_t codes, tStatus& status) {
        if (!hasCore(status)) return;
        router_.route(codes, status);
    }

    tConnection connectLine(uint32_t sourcePort, uint8_t sourceLine, uint32_t destinationPort,
                            uint8_t destinationLine, tStatus& status) {
        if (!hasCore(status)) return tConnection();
        if (connection_.connected) {
            KZ_SET_CODE(status, kStatusConnectionAlreadyOpen);
            return tConnection();
        }
        const CoreView<tAccess>& core = connection_.core;
        core.selectLine(sourcePort, sourceLine);
        core.selectLine(destinationPort, destinationLine);
        core.setConnectionBit(sourcePort, sourceLine, tConnection::kConnectionBit);
        core.selectConnection(destinationPort, destinationLine, tConnection::kConnectionBit);
        connection_.connected = true;
        connection_.sourcePort = sourcePort;
        connection_.sourceLine = sourceLine;
        connection_.destinationPort = destinationPort;
        connection_.destinationLine = destinationLine;
        connection_.connectionBit = tConnection::kConnectionBit;
        return connection_;
    }

    void disconnectLine(tConnection& connection, tStatus& status) {
        if (!hasCore(status) || !connection.connected) return;
        const CoreView<tAccess>& core = connection_.core;
        core.disableLine(connection.destinationPort, connection.destinationLine);
        core.clearConnectionBit(connection.sourcePort, connection.sourceLine, connection.connectionBit);
        connection.connected = false;
        connection_.connected = false;
    }

    void setRoutingLock(bool lock) { router_.setLock(lock); }

    void selectLine(uint32_t port, uint8_t lineNumber) { lineView_.selectLine(port, lineNumber); }
    void driveLine(uint32_t port, uint8_t lineNumber, uint32_t value) { lineView_.driveLine(port, lineNumber, value); }
    void releaseLine(uint32_t port, uint8_t lineNumber) { lineView_.releaseLine(port, lineNumber); }
    void releaseLine(uint32_t portA, uint32_t portB, uint8_t lineNumber) {
        lineView_.releaseLine(portA, portB, lineNumber);
    }
    void disableLine(uint32_t port, uint8_t lineNumber) { lineView_.disableLine(port, lineNumber); }
    void setConnectionBit(uint32_t port, uint8_t lineNumber, uint32_t bit) {
        lineView_.setConnectionBit(port, lineNumber, bit);
    }
    void selectConnection(uint32_t port, uint8_t lineNumber, uint32_t bit) {
        lineView_.selectConnection(port, lineNumber, bit);
    }
    void clearConnectionBit(uint32_t port, uint8_t lineNumber, uint32_t bit) {
        lineView_.clearConnectionBit(port, lineNumber, bit);
    }

private:
    bool hasCore(tStatus& status) const {
        if (status.isFatal()) return false;
        if (coreBase_ != nullptr) return true;
        KZ_SET_CODE(status, kStatusCoreUnavailable);
        return false;
    }
    void setPartBases(uint8_t* base) {
        informationView_.setBase(base);
        lineView_.setBase(base);
        router_.core.setBase(base);
        connection_.core.setBase(base);
    }

    CoreView<tAccess> informationView_;
    CoreView<tAccess> lineView_;
    LineRouter<tAccess> router_;
    tConnection connection_;
    uint8_t* coreBase_ = nullptr;
    uint8_t* window_ = nullptr;
    uint32_t identificationOffset_ = 0;
};

extern template class SelkaIsoPort<WindowAccess>;

}  // namespace selkaddk
